// Field mapping of addresses and contact persons to and from Outlook
// contacts.
#include <optional>

#include "contacts/contact_utils.h"
#include "contacts/text_rules.h"
#include "diagnostics/text_helpers.h"
#include "platform/clock.h"
#include "platform/components.h"
#include "session/access.h"
#include "session/helpers.h"
#include "session/shared_state.h"

namespace velklk {

using namespace contacts;

namespace {

void SetText(OlItem& contact, const char* property, const std::string& value) {
  contact.Set(property, Variant(value));
}

// A field the table may lack reads as empty.
std::string OptionalFieldText(const HostTable& table, const std::string& field) {
  return table.FieldExists(field) ? FieldText(table, field) : std::string();
}

// The value the export wrote, when it can be worked out; nothing otherwise
// (then the Outlook value is always written back).
template <typename F>
std::optional<std::string> Exported(bool wanted, F&& compute) {
  if (!wanted) return std::nullopt;
  std::optional<std::string> value;
  IgnoreError([&] { value = compute(); });
  return value;
}

bool SameAsExported(const std::optional<std::string>& exported, const std::string& value) {
  return exported && *exported == value;
}

// Writes the configurable fields 1 to 3 of a table from its global variables.
void WriteConfigurableFields(HostTable& table, const char* fieldVar, const char* valueVar,
                             const bool (&flags)[3]) {
  for (int n = 0; n < 3; ++n) {
    if (!flags[n]) continue;
    IgnoreError([&] {
      const std::string number = std::to_string(n + 1);
      HostDatabase& db = Db();
      std::string value;
      if (db.GlobalExists(valueVar + number)) value = db.GlobalValue(valueVar + number).ToText();
      if (value.empty()) value = "?";
      SetField(table, db.GlobalValue(fieldVar + number).ToText(), Variant(value));
    });
  }
}

int CurrentYear() {
  const Clock* clock = State().services.clock;
  if (clock) return clock->Now().Parts().year;
  return SystemClock().Now().Parts().year;
}

}  // namespace

// ---- helpers shared by both tables ----------------------------------------

bool IsCompanyAddress() {
  HostTable& t = Adressen();
  const std::string an = FieldText(t, "An");
  if (an == "Frau" || an == "Herrn" || an == "Mr" || an == "Mrs" || an == "Eheleute") return false;
  if (!FieldText(t, "Vorname").empty() && FieldText(t, "Zusatz").empty()) return false;
  return true;
}

std::string CompanyDisplayName() {
  HostTable& t = Adressen();
  return JoinCompanyName(FieldText(t, "Name"), FieldText(t, "Zusatz"), FieldText(t, "Vorname"));
}

std::string ExportedTitle(bool bContactPerson) {
  std::string salutation;
  std::string title;
  if (bContactPerson) {
    HostTable& t = Ansprechpartner();
    salutation = FieldText(t, "FrauHerr");
    title = FieldText(t, "Titel");
  } else {
    HostTable& t = Adressen();
    salutation = FieldText(t, "An");
    title = FieldText(t, "Titel");
    if (title == "???") title.clear();
  }
  if (salutation == "Herrn") salutation = "Herr";
  return Trim(salutation + " " + title);
}

void SetContactSalutation(OlItem& contact, bool bContactPerson, const StepHandler& onError) {
  const Steps step(onError);
  std::string salutation;
  std::string title;
  step([&] {
    HostTable& t = bContactPerson ? Ansprechpartner() : Adressen();
    salutation = FieldText(t, bContactPerson ? "FrauHerr" : "An");
  });
  step([&] {
    HostTable& t = bContactPerson ? Ansprechpartner() : Adressen();
    title = FieldText(t, "Titel");
    if (!bContactPerson && title == "???") title.clear();
  });
  if (salutation == "Herrn") salutation = "Herr";
  step([&] {
    const int gender = salutation == "Herr" ? 2 : salutation == "Frau" ? 1 : 0;
    contact.Set("Gender", Variant(gender));
  });
  step([&] { SetText(contact, "Title", Trim(salutation + " " + title)); });
}

std::string ExportedBusinessStreet() {
  HostTable& t = Adressen();
  const std::string street = FieldText(t, "Strasse");
  if (t.FieldExists("haus_zimmer") && !street.empty()) {
    const std::string room = FieldText(t, "haus_zimmer");
    // Without a house or room the street goes out alone, so that the way
    // back has nothing to strip.
    if (!room.empty()) return street + " | " + room;
  }
  return street;
}

void WriteBusinessAddress(OlItem& contact, const StepHandler& onError) {
  const Steps step(onError);
  step([&] { SetText(contact, "BusinessAddressStreet", ExportedBusinessStreet()); });
  step([&] { SetText(contact, "BusinessAddressCity", FieldText(Adressen(), "Ort")); });
  step([&] { SetText(contact, "BusinessAddressPostalCode", FieldText(Adressen(), "PLZ")); });
  step([&] { SetText(contact, "BusinessAddressCountry", FieldText(Adressen(), "Land")); });
}

void WriteAddressCommunication(OlItem& contact) {
  std::string mobile, tel1, fax, mail, tel2, mail2;
  bool hasMobile = false;
  IgnoreError([&] { hasMobile = Adressen().FieldExists("TelefonMobil"); });
  if (hasMobile) IgnoreError([&] { mobile = FieldText(Adressen(), "TelefonMobil"); });
  IgnoreError([&] { tel1 = EvaluateText(Adressen(), "Telefon1()"); });
  IgnoreError([&] { fax = EvaluateText(Adressen(), "Telefax()"); });
  IgnoreError([&] { mail = MakeValidEmailAddress(FieldText(Adressen(), "Email")); });
  IgnoreError([&] { tel2 = EvaluateText(Adressen(), "Telefon2()"); });
  IgnoreError([&] { mail2 = MakeValidEmailAddress(EvaluateText(Adressen(), "EMail2()")); });
  IgnoreError([&] { SetText(contact, "BusinessTelephoneNumber", tel1); });
  IgnoreError([&] { SetText(contact, "BusinessFaxNumber", fax); });
  IgnoreError([&] { SetText(contact, "Email1Address", mail); });
  IgnoreError([&] { SetText(contact, "Email1AddressType", "SMTP"); });
  IgnoreError([&] { SetText(contact, "Business2TelephoneNumber", tel2); });
  IgnoreError([&] { SetText(contact, "Email2Address", mail2); });
  IgnoreError([&] { SetText(contact, "Email2AddressType", "SMTP"); });
  if (hasMobile) IgnoreError([&] { SetText(contact, "MobileTelephoneNumber", mobile); });
}

std::string LinkTargetUrl(const HostField& field) {
  std::string result;
  IgnoreError([&] {
    const Variant v = field.Value();
    if (!v.IsObject()) return;
    auto link = v.As<HostLink>();
    if (!link) return;
    const std::string target = link->Target();
    if (FoldCase(LeftChars(target, 4)) == "http") result = target;
  });
  return result;
}

std::string MakeValidEmailAddress(const std::string& address) {
  bool valid = false;
  // The address goes into the expression as a quoted literal, so a quote in
  // it cannot end the literal early.
  IgnoreError([&] {
    valid = Evaluate(Adressen(), "EMailSyntaxGueltig(" + QuoteLiteral(address) + ")").ToBool();
  });
  return valid ? address : std::string();
}

void UpdateHomePageLink(HostTable& table, OlItem& contact) {
  const bool address = SameIdentifier(table.Name(), "Adressen");
  const std::string page = Prop(contact, address ? "BusinessHomePage" : "PersonalHomePage");
  const std::string current =
      EvaluateText(table, address ? R"(DocLinkName("Adressen", "URL"))"
                                  : R"(DocLinkName("Ansprechpartner", "InfoObject"))");
  if (page.empty() || page == current) return;
  auto link = Db().MakeLink(page);
  if (!link) return;
  SetField(table, address ? "URL" : "InfoObject",
           Variant(std::static_pointer_cast<AutomationObject>(link)));
}

int GetGender(const std::string& firstName) {
  if (firstName.empty()) return 0;
  GenderFactory* factory = State().services.gender;
  if (!factory) return 9;
  std::unique_ptr<GenderComponent> component;
  if (!IgnoreError([&] { component = factory->Create(); }) || !component) return 9;
  int code = 9;
  if (!IgnoreError([&] { code = component->GetGender(firstName); })) return 9;
  if (code == 1 || code == 2) return 1;
  if (code == 9) return 9;
  return 3;
}

bool HasNoName(OlItem& contact) {
  return Prop(contact, "LastName").empty() && Prop(contact, "CompanyName").empty();
}

// ---- addresses -------------------------------------------------------------

void MapAddressToContact(OlItem& contact, const StepHandler& onError) {
  const Steps step(onError);
  HostTable& t = Adressen();
  if (IsCompanyAddress()) {
    step([&] { SetText(contact, "CompanyName", CompanyDisplayName()); });
    WriteBusinessAddress(contact, onError);
    step([&] { contact.Save(); });
    SetContactSalutation(contact, false, onError);
    step([&] { SetText(contact, "LastName", Prop(contact, "CompanyName")); });
    step([&] { SetText(contact, "BusinessHomePage", LinkTargetUrl(*t.Field("URL"))); });
    step([&] { SetUserProp(contact, "velKontaktTyp", "Firma"); });
  } else {
    SetContactSalutation(contact, false, onError);
    step([&] { SetText(contact, "FirstName", FieldText(t, "Vorname")); });
    step([&] { SetText(contact, "LastName", FieldText(t, "Name")); });
    WriteBusinessAddress(contact, onError);
    step([&] { SetText(contact, "PersonalHomePage", LinkTargetUrl(*t.Field("URL"))); });
    step([&] { SetUserProp(contact, "velKontaktTyp", "Privatperson"); });
  }
  WriteAddressCommunication(contact);
  step([&] { SetText(contact, "ReferredBy", FieldText(t, "Referenz")); });
  step([&] { SetText(contact, "Body", FieldText(t, "Memo")); });
}

void MapContactToAddress(OlItem& contact, const WayBackOptions& options) {
  HostTable& t = Adressen();
  const bool keep = options.keepExportedValues;
  // What the export wrote for the record as it stands, taken before any
  // field changes.
  const auto exTitle = Exported(keep, [] { return ExportedTitle(false); });
  const auto exCompany = Exported(keep, [] { return CompanyDisplayName(); });
  const auto exStreet = Exported(keep, [] { return ExportedBusinessStreet(); });
  const auto exTel1 = Exported(keep, [&] { return EvaluateText(t, "Telefon1()"); });
  const auto exTel2 = Exported(keep, [&] { return EvaluateText(t, "Telefon2()"); });
  const auto exFax = Exported(keep, [&] { return EvaluateText(t, "Telefax()"); });
  const auto exMail = Exported(keep, [&] { return MakeValidEmailAddress(FieldText(t, "Email")); });
  const auto exMail2 =
      Exported(keep, [&] { return MakeValidEmailAddress(EvaluateText(t, "EMail2()")); });

  bool company = false;
  std::string kind;
  IgnoreError([&] { kind = UserProp(contact, "velKontaktTyp"); });
  std::string olTitle;
  IgnoreError([&] { olTitle = Prop(contact, "Title"); });
  const bool titleKept = SameAsExported(exTitle, olTitle);

  if (kind == "Privatperson") {
    if (!titleKept) {
      std::string salutation = AddressSalutationFromTitle(olTitle);
      if (salutation.empty()) {
        IgnoreError([&] {
          const int gender = GetGender(Prop(contact, "FirstName"));
          if (gender == 1)
            salutation = "Frau";
          else if (gender == 3)
            salutation = "Herrn";
        });
      }
      const std::string title = AcademicTitleFromTitle(olTitle);
      IgnoreError([&] { SetField(t, "An", Variant(salutation)); });
      IgnoreError([&] { SetField(t, "Titel", Variant(title)); });
    }
    IgnoreError([&] { SetField(t, "Vorname", Variant(Prop(contact, "FirstName"))); });
    IgnoreError([&] { SetField(t, "Name", Variant(Prop(contact, "LastName"))); });
  } else if (kind == "Firma") {
    company = true;
    if (!titleKept)
      IgnoreError([&] { SetField(t, "Titel", Variant(AcademicTitleFromTitle(olTitle))); });
    std::string c;
    if (IgnoreError([&] { c = Prop(contact, "CompanyName"); }) && !SameAsExported(exCompany, c)) {
      const CompanyNameParts parts = SplitCompanyName(c);
      if (parts.name) IgnoreError([&] { SetField(t, "Name", Variant(*parts.name)); });
      if (parts.zusatz) IgnoreError([&] { SetField(t, "Zusatz", Variant(*parts.zusatz)); });
      if (parts.vorname) IgnoreError([&] { SetField(t, "Vorname", Variant(*parts.vorname)); });
    }
  }

  std::string town, postalCode, street, tel1, tel2, fax, country, mobile;
  IgnoreError([&] { town = Prop(contact, "BusinessAddressCity"); });
  IgnoreError([&] { postalCode = Prop(contact, "BusinessAddressPostalCode"); });
  IgnoreError([&] { street = Prop(contact, "BusinessAddressStreet"); });
  IgnoreError([&] { tel1 = Prop(contact, "BusinessTelephoneNumber"); });
  IgnoreError([&] { tel2 = Prop(contact, "Business2TelephoneNumber"); });
  IgnoreError([&] { fax = Prop(contact, "BusinessFaxNumber"); });
  IgnoreError([&] { country = Prop(contact, "BusinessAddressCountry"); });
  IgnoreError([&] { mobile = Prop(contact, "MobileTelephoneNumber"); });

  if (!company) {
    // A private contact's home values win where they are set.
    const auto prefer = [&](const char* property, std::string& value) {
      IgnoreError([&] {
        std::string home = Prop(contact, property);
        if (!home.empty()) value = std::move(home);
      });
    };
    prefer("HomeAddressCity", town);
    prefer("HomeAddressPostalCode", postalCode);
    prefer("HomeAddressStreet", street);
    prefer("HomeTelephoneNumber", tel1);
    prefer("Home2TelephoneNumber", tel2);
    prefer("HomeFaxNumber", fax);
    prefer("HomeAddressCountry", country);
  }

  IgnoreError([&] { SetField(t, "Land", Variant(CountryCode(country))); });
  IgnoreError([&] { SetField(t, "Ort", Variant(town)); });
  IgnoreError([&] { SetField(t, "PLZ", Variant(postalCode)); });
  if (!SameAsExported(exStreet, street)) {
    const std::size_t bar = street.find(" | ");
    if (keep && bar != std::string::npos && t.FieldExists("haus_zimmer")) {
      // The export's "street | house/room" form, changed in Outlook: each
      // part goes back to its own field.
      IgnoreError([&] { SetField(t, "Strasse", Variant(street.substr(0, bar))); });
      IgnoreError([&] { SetField(t, "haus_zimmer", Variant(street.substr(bar + 3))); });
    } else {
      IgnoreError([&] { SetField(t, "Strasse", Variant(street)); });
    }
  }
  if (!SameAsExported(exTel1, tel1)) IgnoreError([&] { SetField(t, "Telefon1", Variant(tel1)); });
  if (!SameAsExported(exFax, fax)) IgnoreError([&] { SetField(t, "Telefax", Variant(fax)); });

  const auto writeMail = [&](const char* property, const char* field,
                             const std::optional<std::string>& exported) {
    IgnoreError([&] {
      const std::string address = Prop(contact, property);
      if (!address.empty() && address[0] == '/') return;
      if (SameAsExported(exported, address)) return;
      SetField(t, field, Variant(MakeValidEmailAddress(address)));
    });
  };
  writeMail("Email1Address", "Email", exMail);
  if (!SameAsExported(exTel2, tel2)) IgnoreError([&] { SetField(t, "Telefon2", Variant(tel2)); });
  writeMail("Email2Address", "Email2", exMail2);

  if (t.FieldExists("TelefonMobil"))
    IgnoreError([&] { SetField(t, "TelefonMobil", Variant(mobile)); });
  IgnoreError([&] {
    const std::string body = Prop(contact, "Body");
    if (!body.empty()) SetField(t, "Memo", Variant(body));
  });
  IgnoreError([&] { UpdateHomePageLink(t, contact); });
  const SharedState& s = State();
  const bool flags[3] = {s.bAdressenFeld1, s.bAdressenFeld2, s.bAdressenFeld3};
  WriteConfigurableFields(t, "TBKLK_g_AdressenFeld", "TBKLK_g_AdressenWert", flags);
  IgnoreError([&] { SetUserProp(contact, "velTable", t.Name()); });
}

// ---- contact persons -------------------------------------------------------

void MapContactPersonToContact(OlItem& contact, const StepHandler& onError) {
  const Steps step(onError);
  HostTable& p = Ansprechpartner();
  SetContactSalutation(contact, true, onError);
  step([&] { SetText(contact, "FirstName", FieldText(p, "Vorname")); });
  step([&] { SetText(contact, "LastName", FieldText(p, "Name")); });
  step([&] { SetText(contact, "Department", FieldText(p, "Abteilung")); });
  step([&] { SetText(contact, "JobTitle", FieldText(p, "Funktion")); });
  step([&] { SetText(contact, "BusinessTelephoneNumber", EvaluateText(p, "TelefonPerson()")); });
  step([&] { SetText(contact, "BusinessFaxNumber", EvaluateText(p, "TelefaxPerson()")); });
  step([&] { SetText(contact, "MobileTelephoneNumber", FieldText(p, "TelefonMobil")); });
  step([&] {
    SetText(contact, "Email1Address", MakeValidEmailAddress(EvaluateText(p, "EMailPerson()")));
  });
  step([&] { SetText(contact, "Email1AddressType", "SMTP"); });
  step([&] {
    SetText(contact, "Email2Address", MakeValidEmailAddress(OptionalFieldText(p, "EMail2")));
  });
  step([&] { SetText(contact, "Email2AddressType", "SMTP"); });
  step([&] { SetText(contact, "HomeTelephoneNumber", FieldText(p, "TelefonPrivat")); });
  step([&] { SetText(contact, "HomeFaxNumber", FieldText(p, "TelefaxPrivat")); });
  step([&] { SetText(contact, "Home2TelephoneNumber", FieldText(p, "TelefonMobilPrivat")); });
  step([&] {
    SetText(contact, "Email3Address", MakeValidEmailAddress(FieldText(p, "EMailPrivat")));
  });
  step([&] { SetText(contact, "Email3AddressType", "SMTP"); });
  step([&] { SetText(contact, "Body", FieldText(p, "Memo")); });
  step([&] { SetText(contact, "PersonalHomePage", LinkTargetUrl(*p.Field("InfoObject"))); });
  if (State().bExportContactBirthdate) {
    step([&] {
      const char* source = p.FieldExists("geboren") ? "geboren" : "Geburtstag";
      if (!p.FieldExists(source)) return;
      const Variant v = p.Field(source)->Value();
      // An empty date (no value, or the zero date) leaves Birthday alone.
      if (v.IsEmpty() || v.IsNull() || (v.IsText() && v.ToText().empty())) return;
      const AutoDate date = v.ToDate();
      if (date.Value() == 0.0) return;
      contact.Set("Birthday", Variant(date));
    });
  }
  step([&] { SetText(contact, "CompanyName", CompanyDisplayName()); });
  std::string street, town, postalCode, country;
  step([&] {
    street = OptionalFieldText(p, "Strasse");
    town = OptionalFieldText(p, "Ort");
    postalCode = OptionalFieldText(p, "PLZ");
    country = OptionalFieldText(p, "Land");
  });
  if (!TrimLeft(street + town + postalCode).empty()) {
    HostTable& a = Adressen();
    step([&] { contact.Set("SelectedMailingAddress", Variant(1)); });
    step([&] { SetText(contact, "HomeAddressStreet", street); });
    step([&] { SetText(contact, "HomeAddressCity", town.empty() ? FieldText(a, "Ort") : town); });
    step([&] {
      SetText(contact, "HomeAddressPostalCode",
              postalCode.empty() ? FieldText(a, "PLZ") : postalCode);
    });
    step([&] {
      SetText(contact, "HomeAddressCountry", country.empty() ? FieldText(a, "Land") : country);
    });
  }
  WriteBusinessAddress(contact, onError);
}

void MapContactToContactPerson(OlItem& contact, const StepHandler& onError,
                               const WayBackOptions& options) {
  const Steps step(onError);
  HostTable& p = Ansprechpartner();
  const bool keep = options.keepExportedValues;
  const auto exTitle = Exported(keep, [] { return ExportedTitle(true); });
  const auto exTel = Exported(keep, [&] { return EvaluateText(p, "TelefonPerson()"); });
  const auto exFax = Exported(keep, [&] { return EvaluateText(p, "TelefaxPerson()"); });
  const auto exMail =
      Exported(keep, [&] { return MakeValidEmailAddress(EvaluateText(p, "EMailPerson()")); });
  // The home address the export wrote (the address's values stand in for
  // the person's empty ones).
  const auto exHome = [&](const char* field) {
    return Exported(keep, [&] {
      const std::string own = OptionalFieldText(p, field);
      return own.empty() ? FieldText(Adressen(), field) : own;
    });
  };
  const auto exMail2 =
      Exported(keep, [&] { return MakeValidEmailAddress(OptionalFieldText(p, "EMail2")); });
  const auto exMailPrivate =
      Exported(keep, [&] { return MakeValidEmailAddress(FieldText(p, "EMailPrivat")); });
  const auto exTown = exHome("Ort");
  const auto exPostalCode = exHome("PLZ");
  const auto exCountry = exHome("Land");

  std::string olTitle;
  step([&] { olTitle = Prop(contact, "Title"); });
  if (!SameAsExported(exTitle, olTitle)) {
    std::string salutation = PersonSalutationFromTitle(olTitle);
    if (salutation.empty()) {
      std::string firstName;
      step([&] { firstName = Prop(contact, "FirstName"); });
      const int gender = GetGender(firstName);
      if (gender == 1)
        salutation = "Frau";
      else if (gender == 3)
        salutation = "Herr";
    }
    if (salutation.empty()) salutation = "???";
    const std::string title = AcademicTitleFromTitle(olTitle);
    step([&] { SetField(p, "Frauherr", Variant(salutation)); });
    step([&] { SetField(p, "Titel", Variant(title)); });
  }
  const auto copy = [&](const char* field, const char* property) {
    step([&] { SetField(p, field, Variant(Prop(contact, property))); });
  };
  const auto copyUnlessExported = [&](const char* field, const char* property,
                                      const std::optional<std::string>& exported) {
    step([&] {
      const std::string value = Prop(contact, property);
      if (!SameAsExported(exported, value)) SetField(p, field, Variant(value));
    });
  };
  copy("Vorname", "FirstName");
  copy("Name", "LastName");
  copy("Abteilung", "Department");
  copy("Funktion", "JobTitle");
  copyUnlessExported("Telefon", "BusinessTelephoneNumber", exTel);
  copyUnlessExported("Telefax", "BusinessFaxNumber", exFax);
  copy("TelefonMobil", "MobileTelephoneNumber");
  step([&] {
    const std::string address = Prop(contact, "Email1Address");
    if ((address.empty() || address[0] != '/') && !SameAsExported(exMail, address))
      SetField(p, "Email", Variant(MakeValidEmailAddress(address)));
  });
  const auto copyMail = [&](const char* field, const char* property,
                            const std::optional<std::string>& exported) {
    step([&] {
      const std::string address = Prop(contact, property);
      if (!SameAsExported(exported, address))
        SetField(p, field, Variant(MakeValidEmailAddress(address)));
    });
  };
  if (State().bAPEmail2) copyMail("EMail2", "Email2Address", exMail2);
  copy("TelefonPrivat", "HomeTelephoneNumber");
  copy("TelefaxPrivat", "HomeFaxNumber");
  copy("TelefonMobilPrivat", "Home2TelephoneNumber");
  copyMail("EMailprivat", "Email3Address", exMailPrivate);
  step([&] {
    const std::string body = Prop(contact, "Body");
    if (!body.empty()) SetField(p, "Memo", Variant(body));
  });
  step([&] { UpdateHomePageLink(p, contact); });
  if (State().bAPPrivatAdresse) {
    std::string homeStreet;
    step([&] { homeStreet = Prop(contact, "HomeAddressStreet"); });
    if (!homeStreet.empty()) {
      step([&] { SetField(p, "Strasse", Variant(homeStreet)); });
      copyUnlessExported("Ort", "HomeAddressCity", exTown);
      copyUnlessExported("PLZ", "HomeAddressPostalCode", exPostalCode);
      step([&] {
        const std::string country = Prop(contact, "HomeAddressCountry");
        if (!SameAsExported(exCountry, country)) SetField(p, "Land", Variant(CountryCode(country)));
      });
    }
  }
  step([&] {
    const char* target = p.FieldExists("Geburtstag") ? "Geburtstag"
                         : p.FieldExists("geboren")  ? "geboren"
                                                     : nullptr;
    if (!target) return;
    const Variant birthday = contact.Get("Birthday");
    if (birthday.IsEmpty() || birthday.IsNull()) return;
    const AutoDate date = birthday.ToDate();
    // Outlook's "no birthday" lies in a far future year.
    if (date.Parts().year > CurrentYear()) return;
    SetField(p, target, Variant(date));
  });
  const SharedState& s = State();
  const bool flags[3] = {s.bAnsprechpartnerFeld1, s.bAnsprechpartnerFeld2, s.bAnsprechpartnerFeld3};
  WriteConfigurableFields(p, "TBKLK_g_AnsprechpartnerFeld", "TBKLK_g_AnsprechpartnerWert", flags);
  step([&] { SetUserProp(contact, "velTable", p.Name()); });
  step([&] { SetUserProp(contact, "velKontaktTyp", p.Name()); });
}

}  // namespace velklk
