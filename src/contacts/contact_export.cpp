// Export of addresses and contact persons to Outlook, the update in either
// direction by the newer modification time, and the per-user sync log.
#include "contacts/contact_utils.h"
#include "contacts/contacts.h"
#include "contacts/internal.h"
#include "contacts/text_rules.h"
#include "diagnostics/error_report.h"
#include "diagnostics/text_helpers.h"
#include "resources/catalogue.h"
#include "session/access.h"
#include "session/delete_guard.h"
#include "session/helpers.h"
#include "session/link_properties.h"
#include "session/shared_state.h"
#include "session/startup.h"
#include "session/trace.h"

namespace velklk {

using namespace contacts;

namespace contacts {

std::string FileAsFilter(const std::string& companyName) {
  return "[FileAs] = " + QuoteLiteral(companyName);
}

void PositionAddressOfPerson() {
  HostTable& person = Ansprechpartner();
  if (person.AtEnd() || !person.HasMaster()) return;
  auto master = person.Master();
  if (!master || master == State().mTblAdressen) return;
  const std::string id = FieldText(*master, "ID");
  HostTable& address = Adressen();
  address.SelectIndex("ID");
  address.Seek(id);
}

LinkState CheckContactLink(const std::string& key) {
  try {
    const std::string tablePart = KeyTable(key);
    HostTable* table = nullptr;
    if (SameIdentifier(tablePart, "Adressen"))
      table = &Adressen();
    else if (SameIdentifier(tablePart, "Ansprechpartner"))
      table = &Ansprechpartner();
    // A key of no known table is not ours to judge.
    if (!table) return LinkState::Unknown;
    table->SelectIndex("ID");
    if (!table->Seek(KeyId(key))) return LinkState::Stale;
    return IsVelOutlookFavorit(*table) ? LinkState::Valid : LinkState::Stale;
  } catch (const AutomationError& e) {
    ReportError("modAppSync", ".IsValidContactInOL", e);
    return LinkState::Unknown;
  }
}

}  // namespace contacts

namespace {

constexpr const char* kModAppSync = "modAppSync";
constexpr const char* kContactUtils = "ContactUtils";
constexpr long long kToleranceSeconds = 10;

AutomationError WithSource(const AutomationError& e, const char* source) {
  return AutomationError(e.Number(), source, e.Description());
}

// Day first, then seconds with the tolerance band: >0 when `later` is newer.
int NewerSide(AutoDate earlier, AutoDate later, long long toleranceSeconds = kToleranceSeconds) {
  const long long days = DayDiff(earlier, later);
  if (days != 0) return days > 0 ? 1 : -1;
  const long long seconds = SecondDiff(earlier, later);
  if (seconds > toleranceSeconds) return 1;
  if (seconds < -toleranceSeconds) return -1;
  return 0;
}

// Stores the current record unchanged when the host lets it be edited.
void StoreUnchanged(HostTable& table) {
  EditRecord(table, [] {});
}

}  // namespace

int CompareModifiedTimes(AutoDate hostTime, AutoDate outlookTime, long long toleranceSeconds) {
  const int side = NewerSide(outlookTime, hostTime, toleranceSeconds);
  return side < 0 ? 1 : side > 0 ? 2 : 0;
}

int CompareModified(HostTable& table, OlItem& contact) {
  const AutoDate h = table.Field("ModifiziertAm")->Value().ToDate();
  const AutoDate o = contact.Get("LastModificationTime").ToDate();
  return CompareModifiedTimes(h, o, kToleranceSeconds);
}

bool AddressNewerThanPerson(HostTable& table) {
  const AutoDate p = table.Field("ModifiziertAm")->Value().ToDate();
  auto master = table.Master();
  const AutoDate a = Need(master, "velKLK").Field("ModifiziertAm")->Value().ToDate();
  return NewerSide(p, a) > 0;
}

bool IsContactInOl(const std::string& psvelSearch) {
  LogEntry(kModAppSync, "IsContactInOl", "Input-parameter: psvelSearch", psvelSearch);
  try {
    if (FindContactByVelSearch(psvelSearch)) {
      LogLeave(kModAppSync, "IsContactInOl", "True");
      return true;
    }
  } catch (const AutomationError& e) {
    LogErr(kModAppSync, "IsContactInOl", e);
  }
  return false;
}

bool HasSyncLogEntry(const std::string& key) {
  HostTable& log = SyncLog();
  log.SelectIndex("SyncSearch");
  return log.Seek(CurrentUserName() + key);
}

bool AddSyncLogEntry(const std::string& key, const std::string& table, const std::string& id) {
  HostTable& log = SyncLog();
  const std::string user = CurrentUserName();
  log.SelectIndex("SyncSearch");
  if (log.Seek(user + key)) return false;
  // AddRecord drops a half-written record, never stores it.
  return AddRecord(log, [&] {
    SetField(log, "velUser", Variant(user));
    SetField(log, "velTable", Variant(table));
    SetField(log, "velID", Variant(id));
    SetField(log, "velSearch", Variant(key));
  });
}

bool CreateSyncLog(const std::string& psvelSearch) {
  LogEntry(kModAppSync, "CreateSyncLog", "Input-parameter: psvelSearch", psvelSearch);
  bool result = false;
  try {
    result = AddSyncLogEntry(psvelSearch,
                             MidChars(psvelSearch, static_cast<std::size_t>(IdLength()), 31),
                             KeyId(psvelSearch));
    LogLeave(kModAppSync, "CreateSyncLog", BoolText(result));
  } catch (const AutomationError& e) {
    LogErr(kModAppSync, "CreateSyncLog", e);
    ReportError(kModAppSync, ".CreateSyncLog", e);
  }
  return result;
}

bool DeleteSyncLog(const std::string& psvelSearch) {
  try {
    HostTable& log = SyncLog();
    log.SelectIndex("SyncSearch");
    if (log.Seek(CurrentUserName() + psvelSearch)) log.DeleteCurrent();
    return true;
  } catch (const AutomationError& e) {
    ReportError(kModAppSync, ".DeleteSyncLog", e);
    return false;
  }
}

bool IsValidContactInOL(const std::string& key) {
  return CheckContactLink(key) == LinkState::Valid;
}

bool MakeNewOlContact(const std::string& sVelSearch) {
  LogEntry(kContactUtils, "MakeNewOlContact", "Input-parameter: sVelSearch", sVelSearch);
  std::shared_ptr<OlItem> contact;
  try {
    const bool address = IsAddressKey(sVelSearch);
    HostTable& table = address ? Adressen() : Ansprechpartner();
    contact = ContactItems().Add();
    if (!ConfigContactItem(Need(contact, "velKLK"))) return false;

    // A value Outlook refuses is reported with the record and the field and
    // the rest of the contact is still filled; any other error ends it.
    const StepHandler onError = [&](const AutomationError& e) {
      if (e.Number() != err::kOlRefusedValue) throw;
      LogErr(kContactUtils, "MakeNewOlContact", e);
      std::string field;
      IgnoreError([&] { field = table.CurrentFieldName(); });
      const std::string text =
          std::string(address ? "Die Adresse (ID)=  '" : "Der Ansprechpartner (ID)=  '") +
          KeyId(sVelSearch) + "'  enthält einen ungültigen Wert im Feld '" + field + "'" + "\r\n" +
          "Ändern Sie bitte den ungültigen Wert nach Beenden der Synchronisation!";
      ShowMessage(text, kMsgTitle, MsgButtons::Ok, MsgIcon::Exclamation);
    };
    const Steps step(onError);
    if (address) {
      MapAddressToContact(*contact, onError);
      step([&] { SetUserProp(*contact, "velTable", Adressen().Name()); });
    } else {
      PositionAddressOfPerson();
      MapContactPersonToContact(*contact, onError);
      step([&] { SetUserProp(*contact, "velTable", Ansprechpartner().Name()); });
      step([&] { SetUserProp(*contact, "velKontaktTyp", "Ansprechpartner"); });
    }
    step([&] { SetUserProp(*contact, "velID", KeyId(sVelSearch)); });
    step([&] { SetUserProp(*contact, "velSearch", sVelSearch); });
    step([&] { StoreUnchanged(table); });
    step([&] { contact->Save(); });
    LogLeave(kContactUtils, "MakeNewOlContact", "True");
    return true;
  } catch (const AutomationError& e) {
    LogErr(kContactUtils, "MakeNewOlContact", e);
    // A contact left half-filled would come back as a new contact on the
    // next import; it goes.
    if (contact) IgnoreError([&] { contact->Delete(); });
    throw WithSource(e, kContactUtils);
  }
}

bool UpdateContact(const std::string& sVelSearch) {
  LogEntry(kContactUtils, "UpdateContact", "Input-parameter: sVelSearch", sVelSearch);
  try {
    const bool address = IsAddressKey(sVelSearch);
    HostTable& table = address ? Adressen() : Ansprechpartner();
    table.SelectIndex("ID");
    if (!table.Seek(KeyId(sVelSearch))) return false;
    auto contact = FindContactByVelSearch(sVelSearch);
    if (!contact) return false;
    if (!address) PositionAddressOfPerson();

    // Outlook's refusal of a value is passed over silently.
    const StepHandler onError = [](const AutomationError& e) {
      if (e.Number() != err::kOlRefusedValue) throw;
    };
    const Steps step(onError);
    const auto hostFromOutlook = [&] {
      EditRecord(table, [&] {
        const WayBackOptions keep{true};
        if (address)
          MapContactToAddress(*contact, keep);
        else
          MapContactToContactPerson(*contact, onError, keep);
      });
      step([&] { contact->Save(); });
    };
    const auto outlookFromHost = [&] {
      if (address)
        MapAddressToContact(*contact, onError);
      else
        MapContactPersonToContact(*contact, onError);
      step([&] { StoreUnchanged(table); });
      step([&] { contact->Save(); });
    };

    const int c = CompareModified(table, *contact);
    if (c == 1)
      hostFromOutlook();
    else if (c == 2)
      outlookFromHost();
    else if (!address && AddressNewerThanPerson(table))
      outlookFromHost();
    LogLeave(kContactUtils, "UpdateContact", "False");
  } catch (const AutomationError& e) {
    LogErr(kContactUtils, "UpdateContact", e);
    throw WithSource(e, kContactUtils);
  }
  return false;
}

void Update1ContactSilent(bool pAdresse) {
  LogEntry("Contact", "Update1ContactSilent", "Input-parameter: pAdresse", BoolText(pAdresse));
  try {
    HostTable& table = pAdresse ? Adressen() : Ansprechpartner();
    if (table.AtEnd()) {
      ShowMessage(DecodeEscapes(Msg(pAdresse ? 3446 : 3448)), Msg(pAdresse ? 3447 : 3449),
                  MsgButtons::Ok, MsgIcon::None);
      return;
    }
    const std::string key = FieldText(table, "ID") + table.Name();
    if (IsContactInOl(key)) {
      UpdateContact(key);
    } else {
      if (!MakeNewOlContact(key)) return;
      CreateSyncLog(key);
    }
    // The update may have moved the table; the mark goes on the record.
    table.SelectIndex("ID");
    table.Seek(KeyId(key));
    if (!IsVelOutlookFavorit(table)) MakeVelOutlookFavorit(table);
    LogLeave("Contact", "Update1ContactSilent", "");
  } catch (const AutomationError& e) {
    LogErr("Contact", "Update1ContactSilent", e);
    ReportError("Contact", ".Update1ContactSilent", e);
  }
}

bool AddressSyncVelToOl() {
  LogEntry(kModAppSync, "AddressSyncVelToOl", "", "");
  bool result = false;
  try {
    const SharedState& s = State();
    HostTable& table =
        SameIdentifier(s.sOlTable, Adressen().Name()) ? Adressen() : Ansprechpartner();
    table.SelectIndex("ID");
    if (!table.Seek(s.sOLID)) {
      ShowMessage("Datensatz wurde nicht gefunden!", "", MsgButtons::Ok, MsgIcon::None);
      return false;
    }
    // The key is built from the record's own ID, so that it is the same
    // key whichever command exported the record.
    const std::string key = FieldText(table, "ID") + table.Name();
    if (IsContactInOl(key)) {
      UpdateContact(key);
      result = true;
    } else {
      HostTable& log = SyncLog();
      const std::string user = CurrentUserName();
      log.SelectIndex("SyncSearch");
      if (!log.Seek(user + key)) {
        if (!MakeNewOlContact(key) || !CreateSyncLog(key)) return false;
        result = true;
      } else if (MayDeleteFromTable(log, 1) && DeleteVelOutlookFavorit(table)) {
        // The user deleted the contact in Outlook: the record stays out of
        // his Outlook and loses his mark.
        log.SelectIndex("SyncSearch");
        if (log.Seek(user + key)) log.DeleteCurrent();
        result = true;
      }
    }
    LogLeave(kModAppSync, "AddressSyncVelToOl", BoolText(result));
  } catch (const AutomationError& e) {
    LogErr(kModAppSync, "AddressSyncVelToOl", e);
    ReportError(kModAppSync, ".AddressSyncVelToOl", e);
  }
  return result;
}

bool EnsureOlContact(const std::string& key) {
  if (IsContactInOl(key)) return true;
  // The contact is made from the key's own record; a table already on it is
  // not moved, so the records that hang under it stay where they are.
  HostTable& table = IsAddressKey(key) ? Adressen() : Ansprechpartner();
  if (table.AtEnd() || FieldText(table, "ID") != KeyId(key)) {
    table.SelectIndex("ID");
    if (!table.Seek(KeyId(key))) return false;
  }
  if (!MakeNewOlContact(key)) {
    ShowMessage(Msg(3105), "", MsgButtons::Ok, MsgIcon::None);
    return false;
  }
  CreateSyncLog(key);
  return true;
}

bool EnsureVelOutlookFavorit(HostTable& table) {
  return IsVelOutlookFavorit(table) || MakeVelOutlookFavorit(table);
}

std::shared_ptr<OlItem> MakeContactAvailable(bool pbRecipientOptional) {
  try {
    bool made = false;
    return MakeContactAvailableSteps(pbRecipientOptional, made);
  } catch (const AutomationError& e) {
    ReportError(kModAppSync, ".MakeContactAvailable", e);
    return nullptr;
  }
}

std::shared_ptr<OlItem> MakeContactAvailableSteps(bool pbRecipientOptional, bool& made) {
  made = false;
  SharedState& s = State();
  HostTable& activity = Need(s.mTblAktivitaeten, "velKLK");
  const bool hasRecipient = !pbRecipientOptional || activity.FieldExists("Empfaenger");
  const std::string recipient =
      hasRecipient ? UpperCase(FieldText(activity, "Empfaenger")) : std::string();
  HostTable* table = &Adressen();
  std::string addressKey;
  if (!recipient.empty()) {
    HostTable& persons = Ansprechpartner();
    for (bool more = persons.MoveFirst(); more && !persons.AtEnd(); more = persons.Move(1)) {
      if (EqualsNoCase(UpperCase(EvaluateText(persons, "NamePerson()")), recipient)) {
        table = &persons;
        auto master = persons.Master();
        addressKey = FieldText(Need(master, "velKLK"), "ID") + master->Name();
        break;
      }
    }
  }
  if (!EnsureVelOutlookFavorit(*table)) return nullptr;
  if (!addressKey.empty()) {
    PositionAddressOfPerson();
    if (!EnsureVelOutlookFavorit(Adressen())) return nullptr;
  }
  const std::string key = FieldText(*table, "ID") + table->Name();
  s.mOlitems = Need(s.mOlContactFolder, "velKLK").Items();
  // The address's contact is made from the address record.
  if (!addressKey.empty() && !EnsureOlContact(addressKey)) return nullptr;
  // Positioning the address moved the contact persons: the person the
  // activity names is made current again.
  if (table == &Ansprechpartner()) {
    Ansprechpartner().SelectIndex("ID");
    Ansprechpartner().Seek(KeyId(key));
  }
  if (!EnsureOlContact(key)) return nullptr;
  made = true;
  Ui().DoEvents();
  return FindContactByVelSearch(key);
}

}  // namespace velklk
