// velklk: the command line of the embedded host. Parsing only; the commands
// live in commands.cpp.
#include <CLI/CLI.hpp>
#include <iostream>
#include <optional>
#include <string>

#include "commands.h"
#include "velklk/version.h"

namespace {

int Run(int argc, char** argv) {
  using namespace velklk::cli;
  CLI::App app{"velklk: the CRM host on the embedded default, with the add-in loaded"};
  app.require_subcommand(1);
  app.fallthrough();
  app.set_version_flag("--version", std::string("velklk ") + velklk::kVersion,
                       "print the version and exit");
  // A usage error is one line on standard error, like every other error of
  // the command. Set before the subcommands, which copy it.
  app.failure_message([](const CLI::App*, const CLI::Error& e) {
    return "velklk: " + std::string(e.what()) + " (velklk --help lists the usage)\n";
  });

  CallOptions options;
  app.add_option("-p,--profile", options.profile, "profile folder")->type_name("DIR");
  app.add_option("--user", options.user, "make that host user the current one")->type_name("NAME");
  app.add_option("--now", options.now, "the clock for the whole call")
      ->type_name("\"yyyy-MM-dd hh:mm:ss\"");
  app.add_option("--lang", options.language, "message catalogue language")
      ->check(CLI::IsMember({"de", "en"}));
  app.add_option("--answer", options.answers, "answers of the message boxes, in order")
      ->type_name("ok|cancel|yes|no")
      ->check(CLI::IsMember({"ok", "cancel", "yes", "no"}, CLI::ignore_case))
      ->delimiter(',');
  app.add_option("--dialog", options.dialogs, "dialog answers (JSON), one per dialog shown")
      ->type_name("JSON");
  app.add_option("--ui", options.ui, "console (JSON lines, the default) or qt (windows)")
      ->check(CLI::IsMember({"console", "qt"}));
  app.add_option("--current", options.current, "position a host table on a record")
      ->type_name("TABLE=ID");
  app.add_option("--active", options.active, "make a table the host's active table")
      ->type_name("TABLE");

  std::string directory;
  auto* init = app.add_subcommand("init", "create a demo profile in DIR");
  init->add_option("DIR", directory, "profile folder to create")->required();

  std::string fixture;
  auto* load = app.add_subcommand("load", "replace the profile's state by a fixture");
  load->add_option("FIXTURE", fixture, "fixture file (JSON)")->required();

  bool dumpHost = false;
  bool dumpOutlook = false;
  auto* dump = app.add_subcommand("dump", "print the profile's state as a fixture");
  dump->add_flag("--host", dumpHost, "only the host part");
  dump->add_flag("--outlook", dumpOutlook, "only the Outlook part");

  std::string folderPath;
  std::string filter;
  auto* find = app.add_subcommand("find", "print the Outlook items matching a filter");
  find->add_option("FOLDERPATH", folderPath, "store\\folder[\\subfolder]")->required();
  find->add_option("FILTER", filter, "Outlook filter, e.g. [LastName] = \"Muster\"")->required();

  auto* typelib = app.add_subcommand("typelib", "print the type library");

  std::string progid;
  std::string member;
  std::vector<std::string> args;
  auto* call = app.add_subcommand("call", "call a member of a public class");
  call->add_option("PROGID", progid, "velKLK.CSync, velKLK.CMenue or velKLK.CAppointment")
      ->required();
  call->add_option("MEMBER", member, "member name")->required();
  call->add_option("ARG", args, "arguments besides the host objects");
  call->add_flag("--dry-run", options.dryRun,
                 "run the call, print what it changed, then undo all of it");
  call->add_flag("--send-receive", options.sendReceive,
                 "receive from the servers before the call, send after it");

  AccountAddOptions accountAdd;
  std::string removeStore;
  auto* account = app.add_subcommand("account", "server accounts of the profile's mailbox stores");
  account->require_subcommand(1);
  auto* accountAddCommand =
      account->add_subcommand("add", "bind a mailbox store to a CardDAV/CalDAV account");
  accountAddCommand->add_option("STORE", accountAdd.store, "the mailbox store")->required();
  accountAddCommand->add_option("--url", accountAdd.url, "the server or account URL")->required();
  accountAddCommand->add_option("--user", accountAdd.user, "the user name on the server")
      ->required();
  auto* passwordFile = accountAddCommand
                           ->add_option("--password-file", accountAdd.passwordFile,
                                        "a file holding the password (its owner's alone)")
                           ->type_name("FILE");
  accountAddCommand
      ->add_option("--password-env", accountAdd.passwordEnv,
                   "an environment variable holding the password")
      ->type_name("VAR")
      ->excludes(passwordFile);
  accountAddCommand->add_flag("--create", accountAdd.create,
                              "make the address book when the account has none");
  accountAddCommand->add_option("--ca-file", accountAdd.caFile,
                                "trust the certificates of this file (PEM)");
  accountAddCommand->add_option("--time-zone", accountAdd.timeZone,
                                "the profile's time zone (an IANA name)");
  accountAddCommand->add_option("--address-book", accountAdd.addressBook,
                                "bind this address book (display name or last URL segment)");
  auto* accountList = account->add_subcommand("list", "print the accounts of the profile");
  auto* accountRemove = account->add_subcommand("remove", "forget the account of a store");
  accountRemove->add_option("STORE", removeStore, "the mailbox store")->required();

  std::string sendReceiveStore;
  auto* sendReceive =
      app.add_subcommand("send-receive", "send and receive the bound folders' items");
  sendReceive->add_option("STORE", sendReceiveStore, "only this store's folders");

  std::string reportDir;
  int reportCount = 20;
  auto* report = app.add_subcommand("report", "summarise the last calls of the profile's journal");
  report->add_option("DIR", reportDir, "profile folder (or -p DIR)");
  report->add_option("-n,--last", reportCount, "how many calls (default 20)")
      ->check(CLI::Range(1, 1000));

  std::int64_t undoNumber = 0;
  auto* undo =
      app.add_subcommand("undo", "revert the last call (or journal entry N) on both halves");
  undo->add_option("N", undoNumber, "the journal entry (velklk report shows the numbers)")
      ->check(CLI::PositiveNumber);

  auto* session = app.add_subcommand("session", "keep the add-in loaded; JSON commands on stdin");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? kExitOk : kExitUsage;
  }

  auto needProfile = [&] {
    if (options.profile.empty()) throw UsageError("this command needs a profile: -p DIR");
  };
  try {
    if (*init) return Init(directory);
    if (*typelib) return TypeLib();
    if (*report && !reportDir.empty()) return Report(reportDir, reportCount);
    needProfile();
    if (*load) return Load(options.profile, fixture);
    if (*dump) return Dump(options.profile, dumpHost || !dumpOutlook, dumpOutlook || !dumpHost);
    if (*find) return Find(options.profile, folderPath, filter);
    if (*call) return Call(options, progid, member, args);
    if (*session) return Session(options, std::cin);
    if (*undo)
      return Undo(options, undoNumber > 0 ? std::optional<std::int64_t>(undoNumber) : std::nullopt);
    if (*report) return Report(options.profile, reportCount);
    if (*accountAddCommand) return AccountAdd(options.profile, accountAdd);
    if (*accountList) return AccountList(options.profile);
    if (*accountRemove) return AccountRemove(options.profile, removeStore);
    if (*sendReceive) {
      return SendReceive(options, sendReceiveStore.empty()
                                      ? std::nullopt
                                      : std::optional<std::string>(sendReceiveStore));
    }
  } catch (const UsageError& e) {
    std::cerr << "velklk: " << e.what() << "\n";
    return kExitUsage;
  }
  return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) { return Run(argc, argv); }
