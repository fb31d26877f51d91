// Properties of the contact synchronisation over generated records: an
// export followed by an update from Outlook leaves every host field as it
// was when the user changed nothing that maps to it.
#include <gtest/gtest.h>
#include <rapidcheck/gtest.h>

#include <map>

#include "support/desk.h"

namespace velklk::test {
namespace {

// Texts that need no escaping in a JSON fixture: letters, umlauts, digits,
// blanks and a few punctuation marks, never "|".
rc::Gen<std::string> Text(std::size_t maxLength) {
  static const std::vector<std::string> kPieces = {"a", "B", "c", "M", "x", "Z", "ä", "Ö",
                                                   "ß", "1", "7", " ", ".", "-", "&", "é"};
  return rc::gen::map(rc::gen::container<std::vector<std::string>>(rc::gen::elementOf(kPieces)),
                      [maxLength](const std::vector<std::string>& parts) {
                        std::string out;
                        for (std::size_t i = 0; i < parts.size() && i < maxLength; ++i)
                          out += parts[i];
                        return out;
                      });
}

rc::Gen<std::string> Mail() {
  return rc::gen::elementOf(
      std::vector<std::string>{"", "info@muster.example", "a.b@c.de", "kein-mail", "x(at)y.de"});
}

using Record = std::map<std::string, std::string>;

std::string Json(const Record& r) {
  std::string out;
  for (const auto& [k, v] : r) out += (out.empty() ? "" : ", ") + ("\"" + k + "\": \"" + v + "\"");
  return out;
}

Record GenAddress() {
  Record r;
  r["An"] = *rc::gen::elementOf(std::vector<std::string>{"", "Firma", "Herrn", "Herr", "Frau", "Mr",
                                                         "Mrs", "Familie", "Eheleute"});
  r["Titel"] = *rc::gen::elementOf(
      std::vector<std::string>{"", "???", "Dr.", "Prof. Dr.", "MBA", "Dipl.-Ing."});
  r["Vorname"] = *Text(12);
  r["Name"] = *Text(20);
  r["Zusatz"] = *Text(20);
  r["Strasse"] = *Text(15);
  r["haus_zimmer"] = *Text(8);
  r["PLZ"] = *Text(5);
  r["Ort"] = *Text(12);
  // An empty country and "D" become "DE" on the way back by design.
  r["Land"] = *rc::gen::elementOf(std::vector<std::string>{"DE", "AT", "CH", "Öst"});
  r["Telefon1"] = *Text(10);
  r["Telefon2"] = *Text(10);
  r["Telefax"] = *Text(10);
  r["TelefonMobil"] = *Text(10);
  r["Email"] = *Mail();
  r["Email2"] = *Mail();
  r["Memo"] = *Text(20);
  return r;
}

RC_GTEST_PROP(ContactRoundTrip, AddressFieldsSurviveAnUpdateFromOutlook, ()) {
  const Record address = GenAddress();
  Desk desk(
      R"({"host": {"tables": {"Adressen": [ {"ID": "0000000001", "ModifiziertAm": "2026-12-01 09:00:00", )" +
      Json(address) +
      R"(} ], "Adressmerkmale": [ {"@master": "0000000001", "Merkmal": "OutlookFavorit", "Wert": "ANNA"} ]}}})");
  RC_ASSERT(desk.AddressOrContactSync2OL("0000000001", "Adressen"));
  auto contact = desk.ContactOf("0000000001Adressen");
  RC_ASSERT(contact != nullptr);
  // The user touches the contact without changing a mapped value.
  desk.SetNow("2026-12-06 11:00:00");
  desk.Edit(*contact, R"({"NickName": "geändert"})");
  desk.SetNow("2026-12-06 11:30:00");
  RC_ASSERT(desk.AddressOrContactSync2OL("0000000001", "Adressen"));
  for (const auto& [field, value] : address) {
    const std::string now = desk.Field("Adressen", "0000000001", field);
    RC_ASSERT(now == value);
  }
  RC_ASSERT(desk.Boxes().empty());
}

RC_GTEST_PROP(ContactRoundTrip, ContactPersonFieldsSurviveAnUpdateFromOutlook, ()) {
  Record p;
  p["FrauHerr"] =
      *rc::gen::elementOf(std::vector<std::string>{"", "Herr", "Frau", "Mr", "Mrs", "???"});
  p["Titel"] = *rc::gen::elementOf(std::vector<std::string>{"", "Dr.", "Prof. Dr.", "MBA"});
  p["Vorname"] = *Text(12);
  p["Name"] = *Text(20);
  p["Abteilung"] = *Text(10);
  p["Funktion"] = *Text(10);
  p["Telefon"] = *Text(10);
  p["Telefax"] = *Text(10);
  p["TelefonMobil"] = *Text(10);
  p["Email"] = *Mail();
  p["Email2"] = *Mail();
  p["TelefonPrivat"] = *Text(10);
  p["TelefaxPrivat"] = *Text(10);
  p["TelefonMobilPrivat"] = *Text(10);
  p["EMailPrivat"] = *Mail();
  p["Memo"] = *Text(20);
  p["Strasse"] = *Text(15);
  p["PLZ"] = *Text(5);
  p["Ort"] = *Text(12);
  p["Land"] = *rc::gen::elementOf(std::vector<std::string>{"", "DE", "AT", "CH"});
  const bool birthday = *rc::gen::arbitrary<bool>();
  if (birthday)
    p["geboren"] = p["Geburtstag"] = "1975-06-0" + std::to_string(*rc::gen::inRange(1, 9));
  Desk desk(R"({"host": {"tables": {
      "Adressen": [ {"ID": "0000000001", "An": "Firma", "Name": "Muster", "Zusatz": "AG", "Ort": "Hamburg", "PLZ": "20457", "Land": "DE", "ModifiziertAm": "2026-12-01 09:00:00"} ],
      "Ansprechpartner": [ {"ID": "0000000011", "@master": "0000000001", "ModifiziertAm": "2026-12-01 09:00:00", )" +
            Json(p) + R"(} ]}}})");
  desk.UpdateAnsprechpartner("0000000011");
  auto contact = desk.ContactOf("0000000011Ansprechpartner");
  RC_ASSERT(contact != nullptr);
  RC_ASSERT(contact->Get("CompanyName").ToText() == "Muster AG");
  desk.SetNow("2026-12-06 11:00:00");
  desk.Edit(*contact, R"({"NickName": "geändert"})");
  desk.SetNow("2026-12-06 11:30:00");
  desk.UpdateAnsprechpartner("0000000011");
  for (const auto& [field, value] : p) {
    std::string now = desk.Field("Ansprechpartner", "0000000011", field);
    if (field == "geboren" || field == "Geburtstag") now = now.substr(0, 10);
    RC_ASSERT(now == value);
  }
  RC_ASSERT(desk.Boxes().empty());
}

}  // namespace
}  // namespace velklk::test
