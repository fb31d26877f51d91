// The embedded host's expression language and its functions.
#include <tuple>

#include "host_test_support.h"

namespace velklk::test {
namespace {

using nlohmann::json;

Variant Eval(HostUnderTest& h, const std::string& text, const std::string& table) {
  return h.db->Compile(text)->Evaluate(*h.Table(table));
}

TEST(HostExpressions, FunctionsOnTheCurrentRecords) {
  HostUnderTest h(Fixture("expressions"));
  ASSERT_TRUE(h.Table("Ansprechpartner")->Seek("0000000011"));
  // Person functions read the person, address functions the person's address.
  for (const auto& [text, table, value] :
       std::vector<std::tuple<const char*, const char*, const char*>>{
           {"NamePerson()", "Ansprechpartner", "Eva Klein"},
           {"TelefonPerson()", "Ansprechpartner", "0711 15"},
           {"EMailPerson()", "Ansprechpartner", "eva@muster.example"},
           {"DocLinkName(\"Ansprechpartner\", \"InfoObject\")", "Ansprechpartner",
            "https://eva.example"},
           {"Name()", "Ansprechpartner", "Muster GmbH"},
           {"Telefon1()", "Adressen", "0711 1"},
           {"EMail2()", "Adressen", "info@muster.example"},
           {"DocLinkName(\"Adressen\", \"URL\")", "Adressen", "http://muster.example"}})
    EXPECT_EQ(Eval(h, text, table), Variant(value)) << text;

  ASSERT_TRUE(h.Table("Ansprechpartner")->Seek("0000000012"));
  EXPECT_EQ(Eval(h, "NamePerson()", "Ansprechpartner"), Variant("Gross"));
  EXPECT_EQ(Eval(h, "Telefon1()", "Adressen"), Variant(""));
  EXPECT_EQ(Eval(h, "DocLinkName(\"Adressen\", \"URL\")", "Adressen"), Variant(""));

  // A record being added is the current one for the functions.
  auto ap = h.Table("Ansprechpartner");
  ap->NewRecord();
  ap->Field("Vorname")->SetValue("Neu");
  EXPECT_EQ(Eval(h, "NamePerson()", "Ansprechpartner"), Variant("Neu"));
  ap->Cancel();

  // Without "Email2" the function gives an empty text.
  HostUnderTest without(json::parse(
      R"({"schema": {"Adressen": {"drop": ["Email2"]}}, "tables": {"Adressen": [{"Name": "X"}]}})"));
  EXPECT_EQ(Eval(without, "EMail2()", "Adressen"), Variant(""));
}

TEST(HostExpressions, LiteralsFieldsAndComparisons) {
  HostUnderTest h(Fixture("expressions"));
  h.Table("Adressen")->MoveFirst();
  EXPECT_EQ(Eval(h, "\"\"", "Adressen"), Variant(""));
  EXPECT_EQ(Eval(h, "\"Er sagte \"\"Hallo\"\"\"", "Adressen"), Variant("Er sagte \"Hallo\""));
  EXPECT_EQ(Eval(h, "Name", "Adressen"), Variant("Muster GmbH"));
  EXPECT_EQ(Eval(h, "Adressen->Telefon1", "Ansprechpartner"), Variant("0711 1"));
  EXPECT_EQ(Eval(h, "Name = \"MUSTER GMBH\" And Telefon1 = \"0711 1\"", "Adressen"), Variant(true));
  EXPECT_EQ(Eval(h, "Name = \"Muster\" Or (Telefon1 <> \"x\")", "Adressen"), Variant(true));
  EXPECT_EQ(Eval(h, "Name = \"Muster\" and Telefon1 = \"0711 1\"", "Adressen"), Variant(false));
  EXPECT_EQ(ErrorOf([&] { Eval(h, "Nope", "Adressen"); }), err::kUnknownName);
}

TEST(HostExpressions, EMailSyntaxCheck) {
  HostUnderTest h(Fixture("expressions"));
  h.Table("Adressen")->MoveFirst();
  for (const char* good : {"a@b.de", "max.muster@muster-gmbh.example", "x_y+z@sub.example.org"})
    EXPECT_EQ(Eval(h, std::string("EMailSyntaxGueltig(\"") + good + "\")", "Adressen"),
              Variant(true))
        << good;
  for (const char* bad : {"", "muster", "a@b", "@b.de", "a@@b.de", "a b@c.de", "a@.de", "a.@b.de",
                          "a@b..de", "a@b.de."})
    EXPECT_EQ(Eval(h, std::string("EMailSyntaxGueltig(\"") + bad + "\")", "Adressen"),
              Variant(false))
        << bad;
}

TEST(HostExpressions, SyntaxErrorsAndUnknownFunctionsRaise) {
  HostUnderTest h(Fixture("expressions"));
  for (const char* text : {"", "\"offen", "Name(", "Name() Name()", "= \"x\"", "Name = ", "(Name",
                           "Adressen->", "EMailSyntaxGueltig(\"a\" \"b\")", "And"})
    EXPECT_EQ(ErrorOf([&] { h.db->Compile(text); }), err::kFail) << text;
  EXPECT_EQ(ErrorOf([&] { h.db->Compile("Unbekannt()"); }), err::kUnknownName);
  EXPECT_EQ(ErrorOf([&] { h.db->Compile("NamePerson(\"x\")"); }), err::kUnknownName);
  EXPECT_EQ(ErrorOf([&] { h.db->Compile("DocLinkName(\"Adressen\")"); }), err::kUnknownName);
  // A quote in an address breaks the literal, as the caller must expect.
  EXPECT_EQ(ErrorOf([&] { h.db->Compile("EMailSyntaxGueltig(\"a\"b@c.de\")"); }), err::kFail);
  h.Table("Adressen")->MoveFirst();
  EXPECT_EQ(ErrorOf([&] { Eval(h, "DocLinkName(\"Adressen\", \"Name\")", "Adressen"); }),
            err::kInvalidArg);
}

TEST(HostExpressions, DeepNestingRaisesInsteadOfExhaustingTheStack) {
  HostUnderTest h(Fixture("expressions"));
  h.Table("Adressen")->MoveFirst();
  auto repeat = [](const std::string& part, int n) {
    std::string text;
    for (int i = 0; i < n; ++i) text += part;
    return text;
  };
  const std::string terms = "Name = \"Muster GmbH\"" + repeat(" And Name <> \"x\"", 200);
  EXPECT_EQ(Eval(h, terms, "Adressen"), Variant(true));
  EXPECT_EQ(Eval(h, repeat("(", 200) + "1" + repeat(")", 200), "Adressen"), Variant(1LL));
  // Each of these crashed at 100000 levels.
  for (const std::string& text : {repeat("(", 100000) + "1" + repeat(")", 100000),
                                  repeat("EMailSyntaxGueltig(", 100000) + "1" + repeat(")", 100000),
                                  repeat("1 Or ", 100000) + "1"})
    EXPECT_EQ(ErrorOf([&] { h.db->Compile(text); }), err::kFail) << text.substr(0, 40);
}

}  // namespace
}  // namespace velklk::test
