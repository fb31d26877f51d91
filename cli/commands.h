// The commands of velklk, apart from the command-line parsing.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace velklk {
class Profile;
}

namespace velklk::cli {

// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitError = 1;
inline constexpr int kExitUsage = 2;

// A failure of the command line itself (exit status 2).
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The options that set up the host for a call.
struct CallOptions {
  std::string profile;
  std::optional<std::string> user;
  std::optional<std::string> now;
  std::string language;  // empty: the system's
  std::vector<std::string> answers;
  std::vector<std::string> dialogs;  // dialog answers (JSON), one per dialog
  std::string ui = "console";        // or "qt": real windows
  std::vector<std::string> current;  // "TABLE=ID"
  std::optional<std::string> active;
  bool dryRun = false;       // call: run, print the changes, undo them
  bool sendReceive = false;  // call: receive before the call, send after it
};

// Opens the profile in `directory`; UsageError when it holds none.
std::unique_ptr<Profile> OpenProfile(const std::string& directory);

int Init(const std::string& directory);
int Load(const std::string& profile, const std::string& fixturePath);
int Dump(const std::string& profile, bool host, bool outlook);
int Find(const std::string& profile, const std::string& folderPath, const std::string& filter);
int TypeLib();
int Call(const CallOptions& options, const std::string& progid, const std::string& member,
         const std::vector<std::string>& args);
int Session(const CallOptions& options, std::istream& in);
// The last `count` calls of the profile's journal, then their summary.
int Report(const std::string& profile, int count);
// Reverts entry `number` of the journal (the last one that is neither a dry
// run nor undone when none is given) and adds an entry of its own.
int Undo(const CallOptions& options, std::optional<std::int64_t> number);

// The server accounts (account_commands.cpp).
struct AccountAddOptions {
  std::string store, url, user;
  std::string passwordFile, passwordEnv;  // exactly one of them
  std::string caFile, timeZone, addressBook;
  bool create = false;
};
int AccountAdd(const std::string& profile, const AccountAddOptions& options);
int AccountList(const std::string& profile);
int AccountRemove(const std::string& profile, const std::string& store);
// One send/receive pass of the bound folders (of `store` only when given).
int SendReceive(const CallOptions& options, const std::optional<std::string>& store);

}  // namespace velklk::cli
