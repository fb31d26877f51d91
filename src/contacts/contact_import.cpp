// Import of the contacts the user entered in Outlook: new addresses and
// contact persons in the host, company contacts for new persons, and the
// removal of contacts whose host record is gone or no longer a favourite.
#include <vector>

#include "contacts/contact_utils.h"
#include "contacts/contacts.h"
#include "contacts/internal.h"
#include "contacts/text_rules.h"
#include "diagnostics/error_report.h"
#include "diagnostics/text_helpers.h"
#include "session/access.h"
#include "session/delete_guard.h"
#include "session/helpers.h"
#include "session/link_properties.h"
#include "session/progress.h"
#include "session/shared_state.h"
#include "session/startup.h"

namespace velklk {

using namespace contacts;

namespace {

constexpr const char* kModAppSync = "modAppSync";

// A contact the user marked private stays out of the host unless private
// contacts are to be imported.
bool MayImport(OlItem& contact) {
  return State().bImportPrivateContacts || contact.Get("Sensitivity").ToLong() == kOlNormal;
}

bool IsUnlinked(OlItem& contact) { return UserProp(contact, "velSearch").empty(); }

// Creates the host address of an unlinked company or private contact.
void ImportAddress(OlItem& contact) {
  HostTable& t = Adressen();
  if (!t.MayAdd() || !ConfigContactItem(contact)) return;
  AddRecord(t, [&] { MapContactToAddress(contact); });
  const std::string key = FieldText(t, "ID") + t.Name();
  SetUserProp(contact, "velTable", t.Name());
  SetUserProp(contact, "velID", KeyId(key));
  SetUserProp(contact, "velSearch", key);
  contact.Save();
  CreateSyncLog(key);
  MakeVelOutlookFavorit(t);
}

}  // namespace

void PrepareNewContact(std::shared_ptr<OlItem>& contact) {
  try {
    OlItem& c = Need(contact, "velKLK");
    const std::string ln = Prop(c, "LastName");
    const std::string fn = Prop(c, "FirstName");
    const std::string cn = Prop(c, "CompanyName");
    if (cn.empty() || (ln.empty() && fn.empty())) {
      ClassifyContact(c);
      return;
    }
    if (ln.empty()) {
      c.Set("LastName", Variant(fn));
      c.Set("FirstName", Variant(std::string()));
    }
    ClassifyContact(c);
    if (UserProp(c, "velKontaktTyp") != "Ansprechpartner") return;
    OlItems& items = ContactItems();
    if (items.Find(FileAsFilter(cn))) return;
    auto company = items.Add();
    if (!ConfigContactItem(Need(company, "velKLK"))) return;
    SetUserProp(*company, "velKontaktTyp", "Firma");
    company->Set("CompanyName", Variant(cn));
    company->Set("LastName", Variant(cn));
    static constexpr const char* kCopied[] = {"BusinessAddressStreet",
                                              "BusinessAddressCity",
                                              "BusinessAddressPostalCode",
                                              "BusinessAddressCountry",
                                              "BusinessTelephoneNumber",
                                              "Business2TelephoneNumber",
                                              "MobileTelephoneNumber",
                                              "BusinessFaxNumber",
                                              "Email1Address",
                                              "Birthday",
                                              "Profession",
                                              "WebPage",
                                              "ReferredBy",
                                              "Body"};
    // A value the company contact refuses is left out; the company contact
    // is still made.
    for (const char* property : kCopied)
      IgnoreError([&] { company->Set(property, c.Get(property)); });
    company->Save();
  } catch (const AutomationError& e) {
    ReportError(kModAppSync, ".PrepareNewContact", e);
  }
}

bool SaveNewContactAsAnsprechpartner(OlItem& contact) {
  try {
    OlItems& items = ContactItems();
    auto company = items.Find(FileAsFilter(Prop(contact, "CompanyName")));
    if (!company) return false;
    if (!HasUserProp(*company, "velID") ||
        !SameIdentifier(UserProp(*company, "velTable"), "Adressen"))
      return false;
    HostTable& a = Adressen();
    a.SelectIndex("ID");
    if (!a.Seek(UserProp(*company, "velID"))) return false;
    if (!ConfigContactItem(contact)) return false;
    HostTable& p = Ansprechpartner();
    if (!AddRecord(p, [&] { MapContactToContactPerson(contact); })) return false;
    const std::string id = FieldText(p, "ID");
    SetUserProp(contact, "velTable", p.Name());
    SetUserProp(contact, "velID", id);
    SetUserProp(contact, "velSearch", id + p.Name());
    contact.Save();
    Ui().DoEvents();
    return MakeVelOutlookFavorit(p);
  } catch (const AutomationError& e) {
    ReportError(kModAppSync, ".SaveNewContactAsAnsprechpartner", e);
    return false;
  }
}

void SyncNewOLContacts() {
  try {
    OlItems& items = ContactItems();
    const bool importPrivate = State().bImportPrivateContacts;

    // Pass 1: classify new contacts, collect stale links. Positions are
    // counted in full int range, so large folders are walked to their end;
    // company contacts added on the way are left to pass 3.
    int newContacts = 0;
    std::vector<std::string> staleKeys;
    const int count = items.Count();
    RunProgress progress(4010, count);
    for (int i = 1; i <= count; ++i) {
      progress.Step();
      auto item = items.Item(i);
      if (!item || item->Class() == olclass::kDistList) continue;
      if (!importPrivate && item->Get("Sensitivity").ToLong() != kOlNormal) continue;
      const std::string key = UserProp(*item, "velSearch");
      if (key.empty()) {
        if (!HasNoName(*item)) {
          PrepareNewContact(item);
          ++newContacts;
        }
      } else if (CheckContactLink(key) == LinkState::Stale) {
        staleKeys.push_back(key);
      }
    }

    // Pass 2: contacts whose record is gone or no longer a favourite.
    if (!staleKeys.empty() && !MayDeleteFromFolder(*Held(items.Parent(), kModAppSync),
                                                   static_cast<long>(staleKeys.size())))
      staleKeys.clear();
    progress.Grow(static_cast<long>(staleKeys.size()) +
                  (newContacts == 0 ? 0 : 2L * items.Count()));
    for (const std::string& key : staleKeys) {
      progress.Step();
      DeleteSyncLog(key);
      if (auto contact = FindContactByVelSearch(key)) contact->Delete();
      Ui().DoEvents();
    }
    if (newContacts == 0) return;

    // Pass 3: new addresses (companies and private persons).
    for (int i = 1, n = items.Count(); i <= n; ++i) {
      progress.Step();
      auto item = items.Item(i);
      if (!item || item->Class() == olclass::kDistList) continue;
      if (!IsUnlinked(*item) || !MayImport(*item)) continue;
      const std::string kind = UserProp(*item, "velKontaktTyp");
      if (kind.empty() || EqualsNoCase(kind, "Ansprechpartner")) continue;
      ImportAddress(*item);
    }

    // Pass 4: new contact persons of companies known to the host.
    for (int i = 1, n = items.Count(); i <= n; ++i) {
      progress.Step();
      auto item = items.Item(i);
      if (!item || item->Class() == olclass::kDistList) continue;
      if (!IsUnlinked(*item) || !MayImport(*item)) continue;
      if (!EqualsNoCase(UserProp(*item, "velKontaktTyp"), "Ansprechpartner")) continue;
      if (SaveNewContactAsAnsprechpartner(*item)) CreateSyncLog(UserProp(*item, "velSearch"));
    }
  } catch (const AutomationError& e) {
    ReportError(kModAppSync, ".SyncNewOLContacts", e);
  }
}

}  // namespace velklk
