// The server commands of velklk: accounts of the profile's mailbox stores on
// CardDAV/CalDAV servers, and the send/receive pass.
#include <iostream>
#include <nlohmann/json.hpp>

#include "commands.h"
#include "platform/automation_error.h"
#include "profile/profile.h"
#include "outlook/embedded_outlook.h"
#include "outlook/model.h"
#include "outlook/server_store.h"
#include "server/account_setup.h"
#include "sqlite/transaction.h"

namespace velklk::cli {
namespace {

using Out = nlohmann::ordered_json;

void PrintLine(const Out& line) {
  std::cout << line.dump(-1, ' ', false, Out::error_handler_t::replace) << "\n" << std::flush;
}

int Fail(const std::string& message) {
  std::cerr << "velklk: " << message << "\n";
  return kExitError;
}

// Runs a command on the profile; its errors become one line on standard
// error and exit status 1 (usage errors pass to the caller).
template <typename Body>
int Guarded(const char* command, Body body) {
  try {
    return body();
  } catch (const UsageError&) {
    throw;
  } catch (const AutomationError& e) {
    return Fail(std::string(command) + ": " + e.Description());
  } catch (const std::exception& e) {
    return Fail(std::string(command) + ": " + e.what());
  }
}

}  // namespace

int AccountAdd(const std::string& directory, const AccountAddOptions& options) {
  if (options.passwordFile.empty() == options.passwordEnv.empty())
    throw UsageError(
        "account add: give the password source: --password-file FILE or --password-env VAR");
  server::AccountRequest request;
  request.store = options.store;
  request.url = options.url;
  request.user = options.user;
  if (!options.passwordFile.empty()) {
    request.password = {server::PasswordSource::Kind::File, options.passwordFile};
  } else {
    request.password = {server::PasswordSource::Kind::Environment, options.passwordEnv};
  }
  request.caFile = options.caFile;
  request.timeZone = options.timeZone;
  request.addressBook = options.addressBook;
  request.create = options.create;
  return Guarded("account add", [&] {
    auto profile = OpenProfile(directory);
    for (const auto& mailbox : profile->Outlook().GetModel()->Mailboxes())
      request.otherMailboxes.push_back(mailbox->name);
    // A calendar the account may only read makes its folder read-only at once.
    const server::AddedAccount added = server::AddAccount(
        profile->Connection(), *profile->Outlook().Application(), request, {},
        [&](const server::Account& account) {
          for (const auto& folder : account.folders)
            if (folder.readOnly)
              outlook::ServerStore(profile->Outlook(), folder.folder).SetReadOnly(true);
        });
    for (const auto& folder : added.account.folders) {
      Out line{{"event", "bound"}, {"folder", folder.folder}, {"collection", folder.collection}};
      if (folder.readOnly) line["readOnly"] = true;
      PrintLine(line);
    }
    for (const auto& folder : added.notBound)
      PrintLine(Out{{"event", "not bound"}, {"folder", folder.folder}, {"reason", folder.reason}});
    return kExitOk;
  });
}

int AccountList(const std::string& directory) {
  return Guarded("account list", [&] {
    auto profile = OpenProfile(directory);
    for (const auto& account : server::AccountStore(profile->Connection()).List()) {
      Out line{{"store", account.store}, {"url", account.url}, {"user", account.user}};
      if (account.password.kind == server::PasswordSource::Kind::File) {
        line["passwordFile"] = account.password.name;
      } else {
        line["passwordEnv"] = account.password.name;
      }
      if (!account.caFile.empty()) line["caFile"] = account.caFile;
      if (!account.timeZone.empty()) line["timeZone"] = account.timeZone;
      line["folders"] = Out::array();
      for (const auto& folder : account.folders) {
        Out entry{{"folder", folder.folder}, {"kind", folder.kind}, {"collection", folder.collection}};
        if (folder.readOnly) entry["readOnly"] = true;
        line["folders"].push_back(entry);
      }
      PrintLine(line);
    }
    return kExitOk;
  });
}

int AccountRemove(const std::string& directory, const std::string& store) {
  return Guarded("account remove", [&] {
    auto profile = OpenProfile(directory);
    server::AccountStore accounts(profile->Connection());
    const auto account = accounts.Find(store);
    if (!account) return Fail("account remove: the store '" + store + "' has no account");
    {
      // An unbound folder is the profile's own again: writable.
      sqlite::Transaction change(profile->Connection(), sqlite::Transaction::Locking::Immediate);
      if (!accounts.Remove(store))
        return Fail("account remove: the store '" + store + "' has no account");
      for (const auto& folder : account->folders) {
        if (!folder.readOnly) continue;
        try {
          outlook::ServerStore(profile->Outlook(), folder.folder).SetReadOnly(false);
        } catch (const AutomationError&) {
          // The folder is gone from the profile.
        }
      }
      change.Commit();
    }
    for (const auto& folder : account->folders) {
      PrintLine(
          Out{{"event", "unbound"}, {"folder", folder.folder}, {"collection", folder.collection}});
    }
    return kExitOk;
  });
}

}  // namespace velklk::cli
