#include "support/dav_servers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace velklk::test {
namespace {

namespace fs = std::filesystem;

// /dev/shm when the machine has it, else the temporary folder.
fs::path ScratchRoot() {
  std::error_code error;
  if (fs::is_directory("/dev/shm", error) && ::access("/dev/shm", W_OK) == 0) return "/dev/shm";
  return fs::temp_directory_path();
}

std::string Python() {
  return ::access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
}

bool Answers(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool connected =
      ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return connected;
}

std::string LocalUrl(int port) { return "http://127.0.0.1:" + std::to_string(port) + "/"; }

}  // namespace

ScratchFolder::ScratchFolder(const std::string& prefix) {
  std::string pattern = (ScratchRoot() / (prefix + "-XXXXXX")).string();
  if (::mkdtemp(pattern.data()) == nullptr)
    throw std::runtime_error("cannot make a folder like " + pattern);
  path_ = pattern;
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = 0;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    if (fd >= 0) ::close(fd);
    throw std::runtime_error("no free port on 127.0.0.1");
  }
  ::close(fd);
  return ntohs(address.sin_port);
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const std::string& logFile)
    : logFile_(logFile) {
  std::vector<char*> args;
  for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("cannot start " + argv.front());
  if (pid_ == 0) {
    const int log = ::open(logFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int nothing = ::open("/dev/null", O_RDONLY);
    if (log >= 0) {
      ::dup2(log, STDOUT_FILENO);
      ::dup2(log, STDERR_FILENO);
    }
    if (nothing >= 0) ::dup2(nothing, STDIN_FILENO);
    ::execvp(args[0], args.data());
    ::_exit(127);
  }
}

ChildProcess::~ChildProcess() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  for (int i = 0; i < 100; ++i) {
    if (::waitpid(pid_, nullptr, WNOHANG) == pid_) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, nullptr, 0);
}

void ChildProcess::WaitForPort(int port) const {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!Answers(port)) {
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      const_cast<ChildProcess*>(this)->pid_ = -1;
      throw std::runtime_error("the server ended before it answered:\n" + Output());
    }
    if (std::chrono::steady_clock::now() > deadline)
      throw std::runtime_error("the server did not answer within 60 s:\n" + Output());
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

std::string ChildProcess::Output() const {
  std::ifstream in(logFile_);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

namespace {

std::vector<std::string> RadicaleCommand(
    const ScratchFolder& folder, int port, const std::string& user, const std::string& password,
    const std::vector<std::pair<std::string, std::string>>& others, const std::string& rights) {
  const fs::path dir = folder.Path();
  {
    std::ofstream users(dir / "users");
    users << user << ":" << password << "\n";
    for (const auto& [name, secret] : others) users << name << ":" << secret << "\n";
  }
  std::string rightsSection = "type = owner_only";
  if (!rights.empty()) {
    std::ofstream(dir / "rights") << rights;
    rightsSection = "type = from_file\nfile = " + (dir / "rights").string();
  }
  std::ofstream(dir / "config") << "[server]\nhosts = 127.0.0.1:" << port
                                << "\n[auth]\ntype = htpasswd\nhtpasswd_filename = "
                                << (dir / "users").string()
                                << "\nhtpasswd_encryption = plain\ndelay = 0\n"
                                   "[storage]\nfilesystem_folder = "
                                << (dir / "collections").string()
                                << "\n[rights]\n" << rightsSection << "\n[web]\ntype = none\n"
                                   "[logging]\nlevel = warning\n";
  return {"radicale", "--config", (dir / "config").string()};
}

}  // namespace

Radicale::Radicale(std::string user, std::string password)
    : Radicale(std::move(user), std::move(password), {}, "") {}

Radicale::Radicale(std::string user, std::string password,
                   std::vector<std::pair<std::string, std::string>> others, std::string rights)
    : user_(std::move(user)),
      password_(std::move(password)),
      others_(std::move(others)),
      rights_(std::move(rights)),
      port_(FreePort()),
      folder_("velklk-radicale") {
  Restart();
}

void Radicale::Kill() {
  if (!process_) return;
  ::kill(process_->Pid(), SIGKILL);
  process_.reset();  // waits for it
}

void Radicale::Restart() {
  process_.reset();
  process_ = std::make_unique<ChildProcess>(RadicaleCommand(folder_, port_, user_, password_, others_, rights_),
                                            folder_.Path() + "/log");
  process_->WaitForPort(port_);
}

std::string Radicale::Url() const { return LocalUrl(port_); }

Xandikos::Xandikos()
    : port_(FreePort()),
      folder_("velklk-xandikos"),
      process_({"xandikos", "-d", folder_.Path() + "/data", "--defaults", "-l", "127.0.0.1", "-p",
                std::to_string(port_)},
               folder_.Path() + "/log") {
  process_.WaitForPort(port_);
}

std::string Xandikos::Url() const { return LocalUrl(port_); }

namespace {

std::vector<std::string> StubCommand(const ScratchFolder& folder, int port, const std::string& mode,
                                     bool tls, int target) {
  std::vector<std::string> command{Python(),
                                   std::string(VELKLK_SOURCE_DIR) + "/tests/support/http_stub.py",
                                   std::to_string(port), mode};
  if (mode == "proxy") command.push_back(std::to_string(target));
  if (tls) {
    const std::string cert = folder.Path() + "/cert.pem", key = folder.Path() + "/key.pem";
    const std::string make =
        "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 "
        "-subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 -keyout '" +
        key + "' -out '" + cert + "' >'" + folder.Path() + "/openssl.log' 2>&1";
    if (std::system(make.c_str()) != 0)
      throw std::runtime_error("openssl made no certificate: see " + folder.Path() +
                               "/openssl.log");
    command.insert(command.end(), {cert, key});
  }
  return command;
}

}  // namespace

HttpStub::HttpStub(const std::string& mode, bool tls, int target)
    : port_(FreePort()),
      tls_(tls),
      folder_("velklk-stub"),
      process_(StubCommand(folder_, port_, mode, tls, target), folder_.Path() + "/log") {
  process_.WaitForPort(port_);
}

std::string HttpStub::Url() const { return (tls_ ? "https" : "http") + LocalUrl(port_).substr(4); }

}  // namespace velklk::test
