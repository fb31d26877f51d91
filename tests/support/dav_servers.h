// Servers for the tests of the server layer, each started by the test on a
// free port of 127.0.0.1 with its state in a fresh folder (on /dev/shm when
// the machine has it: Radicale writes slowly to a disk), and stopped by its
// own process id when the object goes, also when the test failed.
//
//   Radicale  Debian's CardDAV/CalDAV server, htpasswd authentication with
//             one user
//   Xandikos  Debian's second CardDAV/CalDAV server, no authentication, an
//             address book and a calendar made at start
//   HttpStub  a few lines of Python: a web server that is no WebDAV server
//             ("plain"), or one whose every answer redirects in a loop
//             ("loop"); over HTTPS with a certificate of its own made by
//             openssl for 127.0.0.1 when asked; or a proxy in front of
//             another server that fails requests as the test arms it
//             ("proxy", see http_stub.py)
//
// The constructors wait until the server answers and raise
// std::runtime_error (with the server's output) when it does not start.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace velklk::test {

// A folder removed with everything in it when the object goes.
class ScratchFolder {
 public:
  explicit ScratchFolder(const std::string& prefix);
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// A child process with its output in a file, ended with SIGTERM (SIGKILL
// when it does not end within five seconds) and waited for.
class ChildProcess {
 public:
  ChildProcess(const std::vector<std::string>& argv, const std::string& logFile);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  pid_t Pid() const { return pid_; }
  // Waits until 127.0.0.1:port takes connections; raises std::runtime_error
  // when the process ends first or 60 seconds pass.
  void WaitForPort(int port) const;
  std::string Output() const;

 private:
  pid_t pid_ = -1;
  std::string logFile_;
};

// A port of 127.0.0.1 that nothing listens on just now.
int FreePort();

class Radicale {
 public:
  explicit Radicale(std::string user = "anna", std::string password = "secret");
  // With more users ("name", "password") and Radicale's rights file (its
  // sections as text) instead of "each user owns his own".
  Radicale(std::string user, std::string password,
           std::vector<std::pair<std::string, std::string>> others, std::string rights);
  std::string Url() const;  // "http://127.0.0.1:PORT/"
  const std::string& User() const { return user_; }
  const std::string& Password() const { return password_; }
  int Port() const { return port_; }
  // Kills the server (SIGKILL, by its process id) as a crash would, and
  // starts it again on the same port and storage.
  void Kill();
  void Restart();

 private:
  std::string user_, password_;
  std::vector<std::pair<std::string, std::string>> others_;
  std::string rights_;
  int port_;
  ScratchFolder folder_;
  std::unique_ptr<ChildProcess> process_;
};

class Xandikos {
 public:
  Xandikos();
  std::string Url() const;
  // The collections --defaults makes.
  std::string AddressBookUrl() const { return Url() + "user/contacts/addressbook/"; }

 private:
  int port_;
  ScratchFolder folder_;
  ChildProcess process_;
};

class HttpStub {
 public:
  // "plain" or "loop"; "proxy" passes requests on to 127.0.0.1:target.
  explicit HttpStub(const std::string& mode, bool tls = false, int target = 0);
  std::string Url() const;  // https://... with tls
  int Port() const { return port_; }
  // The certificate of the HTTPS server (PEM), which is its own authority.
  std::string CaFile() const { return folder_.Path() + "/cert.pem"; }

 private:
  int port_;
  bool tls_;
  ScratchFolder folder_;
  ChildProcess process_;
};

}  // namespace velklk::test
