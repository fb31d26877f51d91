// The vCard codec and the contact mapping: golden files (vCards of other
// clients in, the item and the vCard written back out), an item of the
// add-in's export through a server that changes names' case, what other
// clients wrote surviving an edit, folding and escaping, the limits and
// broken input.
#include "server/vcard.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

#include "outlook/values.h"
#include "platform/text_case.h"
#include "server/contact_codec.h"
#include "support/helpers.h"

namespace velklk::server {
namespace {

using outlook::ItemData;
using outlook::UserDef;

std::string ReadFile(const std::string& path) {
  std::ifstream in(std::string(VELKLK_SOURCE_DIR) + "/tests/" + path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line.ends_with('\r')) line.pop_back();
    out.push_back(line);
  }
  return out;
}

int Id(const char* name) { return *outlook::FindProperty(name); }

std::string TextOf(const ItemData& data, const char* name) {
  const outlook::PropValue* v = data.Find(Id(name));
  return v ? std::get<std::string>(*v) : std::string();
}

std::string ErrorOf(std::string_view text) {
  try {
    DecodeContact(text);
  } catch (const VCardError& e) {
    return e.what();
  }
  return "";
}

std::string Card(const std::string& body) {
  return "BEGIN:VCARD\r\nVERSION:3.0\r\n" + body + "END:VCARD\r\n";
}

TEST(VCardGolden, OtherClientsCardsReadAndWriteBack) {
  for (const char* name : {"phone_30", "client_40", "legacy_30"}) {
    SCOPED_TRACE(name);
    const std::string in = ReadFile(std::string("server/golden/") + name + ".vcf");
    const ReceivedContact got = DecodeContact(in);
    const std::string uid = got.uid.value_or("(none)");
    const EncodedContact out = EncodeContact(got.data, uid, got.revision);
    std::vector<std::string> lines = {"== uid " + uid};
    for (auto& l : Lines(got.canonical)) lines.push_back(l);
    lines.push_back("== written");
    for (auto& l : Lines(out.text)) lines.push_back(l);
    test::ExpectGolden(std::string("server/golden/") + name + ".out", lines);
    // Read again, the same contact.
    EXPECT_EQ(DecodeContact(out.text).canonical, got.canonical);
    EXPECT_EQ(out.canonical, got.canonical);
  }
}

TEST(VCardContact, AddInExportTravelsAndComesBackWithTheFoldersNames) {
  ItemData item;
  item.Put(Id("FirstName"), std::string("Anna"));
  item.Put(Id("LastName"), std::string("Schulz"));
  item.Put(Id("Title"), std::string("Frau Dr."));
  item.Put(Id("CompanyName"), std::string("Kestrel; Partner"));
  item.Put(Id("Department"), std::string("Einkauf"));
  item.Put(Id("Business2TelephoneNumber"), std::string("+49 89 2"));  // the first is empty
  item.Put(Id("MobileTelephoneNumber"), std::string("+49 170 1"));
  item.Put(Id("Email1Address"), std::string("anna@kestrel.example"));
  item.Put(Id("Email3Address"), std::string("anna@privat.example"));  // the second is empty
  item.Put(Id("Body"), std::string("Zeile 1\r\nZeile 2, mit \\"));
  item.Put(Id("Sensitivity"), std::int64_t{2});
  item.Put(Id("Birthday"), AutoDate::FromParts(1970, 5, 17));
  item.Put(Id("Gender"), std::int64_t{1});  // not mapped: stays local
  item.user = {{"velSearch", OlUserPropertyType::Text, std::string("P0000000007")},
               {"velKLK", OlUserPropertyType::YesNo, true},
               {"with space", OlUserPropertyType::Text, std::string("stays local")}};
  const std::string uid = UidOfEntryId("00000000A71C6B19E4D3425F0000000000000007");
  const EncodedContact sent = EncodeContact(item, uid);
  test::ExpectGolden("server/golden/addin_export.vcf", Lines(sent.text));

  // The server gives the names in upper case; the folder's definitions
  // give them back their case.
  std::string echoed = sent.text;
  for (const char* n : {"velSearch", "velKLK"}) {
    std::string upper = n;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    echoed.replace(echoed.find(n), upper.size(), upper);
  }
  const std::vector<UserDef> defs = {{"velSearch", OlUserPropertyType::Text},
                                     {"velKLK", OlUserPropertyType::YesNo}};
  const ReceivedContact back = DecodeContact(echoed, [&](std::string_view name) {
    for (const auto& d : defs)
      if (SameIdentifier(d.name, name)) return &d;
    return static_cast<const UserDef*>(nullptr);
  });
  EXPECT_EQ(back.canonical, sent.canonical);  // an echo, not a change
  EXPECT_EQ(back.uid, uid);
  ASSERT_EQ(back.data.user.size(), 2u);
  EXPECT_EQ(back.data.user[0].name, "velSearch");
  EXPECT_EQ(back.data.user[1].value, outlook::PropValue(true));

  ItemData local = item;
  ApplyContact(back.data, local);
  EXPECT_EQ(TextOf(local, "Business2TelephoneNumber"), "+49 89 2");
  EXPECT_EQ(TextOf(local, "BusinessTelephoneNumber"), "");
  EXPECT_EQ(TextOf(local, "Email3Address"), "anna@privat.example");
  EXPECT_EQ(TextOf(local, "Body"), "Zeile 1\r\nZeile 2, mit \\");
  EXPECT_EQ(*local.Find(Id("Gender")), outlook::PropValue(std::int64_t{1}));
  EXPECT_EQ(local.user.size(), 3u);  // "with space" cannot travel and stays
  EXPECT_EQ(local.props, item.props);
}

TEST(VCardContact, WhatOtherClientsWroteSurvivesAnEditInOutlook) {
  const std::string in = ReadFile("server/golden/phone_30.vcf");
  ReceivedContact got = DecodeContact(in);
  ItemData& item = got.data;
  EXPECT_EQ(TextOf(item, "Email1Address"), "clara@maier.example");
  EXPECT_EQ(TextOf(item, "Email2Address"), "clara.privat@example.org");
  EXPECT_EQ(TextOf(item, "BusinessAddressStreet"), "Lindenstraße 5\r\nHaus B, 3. Stock");
  EXPECT_EQ(TextOf(item, "Department"), "Vertrieb");

  // Unchanged, every line another client wrote goes back as it came (REV
  // and VERSION aside; names and types may change case).
  const VCard same = ParseVCard(EncodeContact(item, *got.uid).text);
  std::set<std::string> written;
  for (const auto& p : same.properties) written.insert(p.NormalLine());
  for (const auto& p : ParseVCard(in).properties) {
    if (p.Is("REV")) continue;
    EXPECT_TRUE(written.count(p.NormalLine())) << p.Line();
  }

  // The user changes the first address and the department: those lines are
  // written anew, everything else stays as it was.
  item.Put(Id("Email1Address"), std::string("c.maier@maier.example"));
  item.Put(Id("Department"), std::string("Export"));
  const std::string edited = EncodeContact(item, *got.uid).text;
  EXPECT_NE(edited.find("\r\nEMAIL;TYPE=INTERNET,PREF:c.maier@maier.example\r\n"),
            std::string::npos);
  EXPECT_EQ(edited.find("item1.EMAIL"), std::string::npos);
  EXPECT_NE(edited.find("ORG:Maier & Söhne GmbH;Export\r\n"), std::string::npos);
  for (const char* kept : {"item1.X-ABLabel:_$!<Other>!$_", "NICKNAME:Clari", "PHOTO;ENCODING=b",
                           "X-SOCIALPROFILE;type=twitter:", "TEL;type=IPHONE;type=CELL:+49 172 000",
                           "EMAIL;type=INTERNET;type=HOME:clara.privat@example.org"})
    EXPECT_NE(edited.find(kept), std::string::npos) << kept;
  const ReceivedContact again = DecodeContact(edited);
  EXPECT_EQ(TextOf(again.data, "Email1Address"), "c.maier@maier.example");
  EXPECT_EQ(TextOf(again.data, "Email2Address"), "clara.privat@example.org");
}

// Inputs the fuzzer found: each reads, writes and reads again the same.
TEST(VCardContact, FuzzFindingsReadBackTheSame) {
  for (const std::string body : {
           "KIND:individual\r\nBDAY:19IAL\r\n",  // a stand-in keeps its place among kept lines
           "ADR;TYPE=OTHER:box;;Weg 1;;;;\r\n",  // no box for other addresses in Outlook
           // an FN that cannot be read gives way to the one the names give
           "N:M=FCller;J;;;\r\nFN;ENCODING=QUOTED-PRI:M=FCller\r\n",
           // an empty NOTE keeps its place before a second one kept as received
           "NOTE:\r\nNOTE;X-A=1:a\r\n",
       }) {
    const ReceivedContact first = DecodeContact(Card(body));
    const EncodedContact written = EncodeContact(first.data, "u");
    EXPECT_EQ(DecodeContact(written.text).canonical, first.canonical) << body;
    EXPECT_EQ(written.canonical, first.canonical) << body;
  }
}

TEST(VCardText, FoldingEscapingAndParameters) {
  // 200 three-byte characters and some ASCII: folded at 75 octets, never
  // inside a character, read back whole.
  std::string note = "x";
  for (int i = 0; i < 200; ++i) note += "\xE2\x82\xAC";  // €
  note += "; a, b\\ c\r\nnext";
  ItemData item;
  item.Put(Id("Body"), note);
  item.Put(Id("Categories"), std::string("A, B;C"));
  const std::string text = EncodeContact(item, "u1").text;
  for (const auto& line : Lines(text)) {
    EXPECT_LE(line.size(), 75u);
    EXPECT_NE(static_cast<unsigned char>(line[line.size() > 1 ? 1 : 0]) & 0xC0, 0x80u) << line;
  }
  EXPECT_NE(text.find("CATEGORIES:A,B,C\r\n"), std::string::npos);
  const ReceivedContact back = DecodeContact(text);
  EXPECT_EQ(TextOf(back.data, "Body"), note);
  EXPECT_EQ(TextOf(back.data, "Categories"), "A, B, C");

  const VCardProperty p =
      ParseContentLine("g.TEL;TYPE=work,voice;type=PREF;X-A=\"a;b:c,d\",e;X-B=:+49\\,1");
  EXPECT_EQ(p.group, "g");
  EXPECT_EQ(p.Types(), (std::vector<std::string>{"WORK", "VOICE", "PREF"}));
  EXPECT_EQ(p.Param("x-a")->values, (std::vector<std::string>{"a;b:c,d", "e"}));
  EXPECT_EQ(p.Param("X-B")->values, (std::vector<std::string>{""}));
  EXPECT_EQ(p.Line(), "g.TEL;TYPE=work,voice;type=PREF;X-A=\"a;b:c,d\",e;X-B=:+49\\,1");
  EXPECT_EQ(SplitStructured("a\\;b;c,d\\,e;;\\n"),
            (std::vector<std::vector<std::string>>{{"a;b"}, {"c", "d,e"}, {""}, {"\n"}}));
  EXPECT_EQ(UnescapeText("a\\Nb\\:c\\x"), "a\nb:c\\x");
}

TEST(VCardLimits, LargeLinesAndItems) {
  // A photo line of 1 MB is kept and written back whole.
  const std::string photo = "PHOTO;ENCODING=b;TYPE=JPEG:" + std::string(1 << 20, 'A');
  const ReceivedContact got = DecodeContact(Card("N:A;B;;;\r\n" + photo + "\r\nUID:p\r\n"));
  const ReceivedContact again = DecodeContact(EncodeContact(got.data, "p").text);
  EXPECT_NE(again.data.serverKept.find(photo), std::string::npos);
  EXPECT_EQ(again.canonical, got.canonical);

  EXPECT_EQ(ErrorOf(Card("NOTE:" + std::string(10 << 20, 'a') + "\r\n")),
            "vCard: the vCard has 10485804 bytes, more than the 4 MiB a vCard may have");
  EXPECT_EQ(ErrorOf(Card("NOTE:" + std::string(3 << 20, 'a') + "\r\n")),
            "vCard line 3: a line longer than 2 MiB");
  std::string many;
  for (std::size_t i = 0; i <= kMaxProperties; ++i) many += "X-A:1\r\n";
  EXPECT_EQ(ErrorOf(Card(many)), "vCard line 5003: more than 5000 properties");
}

TEST(VCardLimits, BrokenInputGetsAClearError) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", "vCard: no BEGIN:VCARD"},
      {"N:A;B;;;\r\n", "vCard line 1: the text does not start with BEGIN:VCARD"},
      {"BEGIN:VCARD\r\nVERSION:3.0\r\nN:A;B;;;\r\n", "vCard: no END:VCARD"},
      {"BEGIN:VCARD\r\nN:A;B;;;\r\nEND:VCARD\r\n", "vCard: no VERSION"},
      {"BEGIN:VCARD\r\nVERSION:2.1\r\nEND:VCARD\r\n",
       "vCard line 2: version 2.1 is not read (3.0 and 4.0 are)"},
      {Card("BEGIN:VCARD\r\nEND:VCARD\r\n"), "vCard line 3: BEGIN:VCARD inside a vCard"},
      {Card("") + "BEGIN:VCARD\r\n", "vCard line 4: text after END:VCARD"},
      {Card("N:M\xFCller;;;;\r\n"), "vCard line 3: a value is not valid UTF-8"},
      {Card("NOTE:a\x01"
            "b\r\n"),
       "vCard line 3: a value holds a control character"},
      {Card("N;CHARSET=KOI8-R:x\r\n"), "vCard line 3: the character set KOI8-R is not read"},
      {Card("TEL;TYPE=\"work:+49\r\n"), "vCard line 3: a quoted parameter value is not closed"},
      {Card("NOTE text\r\n"), "vCard line 3: ':' expected after the name and parameters of NOTE"},
      {" folded\r\n" + Card(""), "vCard line 1: a continued line before any property"},
  };
  for (const auto& [text, error] : cases) EXPECT_EQ(ErrorOf(text), error) << text;

  // No UID: read, and the caller decides.
  EXPECT_FALSE(DecodeContact(Card("FN:Ohne UID\r\n")).uid.has_value());
  EXPECT_EQ(UidOfEntryId("00000000A71C6B19E4D3425F0000000000000007"),
            "00000000A71C6B19E4D3425F0000000000000007");
  EXPECT_EQ(UidOfEntryId("a/b"), "X612F62");
  EXPECT_EQ(ResourceNameOfEntryId("0A"), "0A.vcf");
}

}  // namespace
}  // namespace velklk::server
