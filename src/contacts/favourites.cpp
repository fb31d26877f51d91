// The per-user Outlook favourite mark of addresses and contact persons, and
// the command that marks every contact of the folder as not imported.
#include "contacts/contacts.h"
#include "contacts/internal.h"
#include "contacts/text_rules.h"
#include "diagnostics/error_report.h"
#include "diagnostics/text_helpers.h"
#include "resources/catalogue.h"
#include "session/access.h"
#include "session/helpers.h"
#include "session/progress.h"
#include "session/shared_state.h"
#include "session/trace.h"

namespace velklk {

using namespace contacts;

namespace {

// The feature table of a record's table: exact names, or (ignoreCase) names
// compared without regard to case. Nothing for any other table.
HostTable* FeatureTable(const HostTable& table, bool ignoreCase) {
  const SharedState& s = State();
  const std::string name = table.Name();
  const auto same = [&](const std::shared_ptr<HostTable>& t) {
    return t && (ignoreCase ? SameIdentifier(name, t->Name()) : name == t->Name());
  };
  if (same(s.mTblAdressen)) return s.mTblAdressmerkmale.get();
  if (same(s.mTblAnsprechpartner)) return s.mTblAnsprechpartnerMerkmale.get();
  return nullptr;
}

bool IsMarkOf(const HostTable& features, const std::string& user) {
  return EqualsNoCase(FieldText(features, "Merkmal"), "OUTLOOKFAVORIT") &&
         EqualsNoCase(FieldText(features, "Wert"), user);
}

}  // namespace

bool IsVelOutlookFavorit(HostTable& table) {
  try {
    HostTable* features = FeatureTable(table, false);
    if (!features) return false;
    const std::string user = CurrentUserName();
    for (bool more = features->MoveFirst(); more && !features->AtEnd(); more = features->Move(1))
      if (IsMarkOf(*features, user)) return true;
  } catch (const AutomationError& e) {
    ReportError("Contact", ".IsVelOutlookFavorit", e);
  }
  return false;
}

bool MakeVelOutlookFavorit(HostTable& table) {
  HostTable* features = nullptr;
  std::string user;
  std::string group;
  try {
    features = FeatureTable(table, false);
    if (!features) return false;
    user = CurrentUserName();
    group = State().sMerkmalgruppe;
  } catch (const AutomationError& e) {
    ReportError("Contact", ".MakeVelOutlookFavorit", e);
    return false;
  }
  IgnoreError([&] { features->NewRecord(); });
  IgnoreError([&] { SetField(*features, "Gruppe", Variant(group)); });
  IgnoreError([&] { SetField(*features, "Merkmal", Variant("OutlookFavorit")); });
  IgnoreError([&] { SetField(*features, "Wert", Variant(user)); });
  // A mark that cannot be stored is dropped rather than left half-made.
  if (!IgnoreError([&] { features->SaveNew(); })) IgnoreError([&] { features->Cancel(); });
  return true;
}

bool DeleteVelOutlookFavorit(HostTable& pTable) {
  LogEntry("modAppSync", "DeleteVelOutlookFavorit", "Input-parameter: pTable", "Not Nothing");
  try {
    HostTable* features = FeatureTable(pTable, true);
    if (!features) return false;
    const std::string user = CurrentUserName();
    for (bool more = features->MoveFirst(); more && !features->AtEnd(); more = features->Move(1)) {
      if (IsMarkOf(*features, user)) {
        if (features->MayDelete()) features->DeleteCurrent();
        return true;
      }
    }
    LogLeave("modAppSync", "DeleteVelOutlookFavorit", "False");
  } catch (const AutomationError& e) {
    LogErr("modAppSync", "DeleteVelOutlookFavorit", e);
    ReportError("modAppSync", ".DeleteVelOutlookFavorit", e);
  }
  return false;
}

bool ClearVelsearchInContacts() {
  try {
    const MsgAnswer answer = ShowMessage(DecodeEscapes(Msg(3468)), Msg(3469), MsgButtons::YesNo,
                                         MsgIcon::Exclamation, 2);
    if (answer != MsgAnswer::Yes) return false;
    OlItems& items = ContactItems();
    // Positions are counted in full int range: large folders are walked to
    // their end.
    const int count = items.Count();
    // The user confirmed the clearing of every link (3468): the guard
    // against mass deletion does not ask again.
    RunProgress progress(4013, count);
    for (int i = 1; i <= count; ++i) {
      progress.Step();
      auto item = items.Item(i);
      if (!item || item->Class() == olclass::kDistList) continue;
      auto props = item->UserProperties();
      auto prop = props ? props->Find("velSearch") : nullptr;
      if (!prop) continue;
      const std::string key = prop->Value().ToText();
      if (key.empty()) continue;
      prop->Delete();
      DeleteSyncLog(key);
      item->Save();
    }
    return true;
  } catch (const AutomationError& e) {
    ReportError("modAppSync", ".ClearVelsearchInContacts", e);
    return false;
  }
}

}  // namespace velklk
