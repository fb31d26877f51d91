// The XML document component: loading, selecting, walking children and
// reading attributes, as the user table settings use it.
#include "components/xml_document.h"

#include <gtest/gtest.h>

#include "platform/automation_error.h"

namespace velklk {
namespace {

constexpr const char* kSettings = R"xml(<?xml version="1.0" encoding="UTF-8"?>
<TBKLK>
  <Tables>
    <!-- one entry per table -->
    <Table Name="Aktivitaeten" Condition="" Subject="NamePerson()"/>
    text between
    <Other Name="x"/>
    <Table Name="calA_Termine" Subject="&quot;Büro&quot;"/>
  </Tables>
</TBKLK>)xml";

TEST(XmlDocument, WalksTheDocumentAsTheSettingsReaderDoes) {
  PugiXmlFactory factory;
  auto document = factory.CreateDocument();
  ASSERT_TRUE(document->LoadXml(kSettings));
  auto root = document->SelectSingleNode("TBKLK");
  ASSERT_TRUE(root);
  EXPECT_EQ(root->NodeName(), "TBKLK");
  EXPECT_EQ(document->DocumentElement()->NodeName(), "TBKLK");
  EXPECT_FALSE(document->SelectSingleNode("Tables"));  // not at the top
  EXPECT_FALSE(root->SelectSingleNode("tables"));      // names are exact
  auto tables = root->SelectSingleNode("Tables");
  ASSERT_TRUE(tables);

  ASSERT_EQ(tables->ChildCount(), 5);
  std::vector<std::string> names;
  for (int i = 0; i < tables->ChildCount(); ++i) names.push_back(tables->Child(i)->NodeName());
  EXPECT_EQ(names, (std::vector<std::string>{"#comment", "Table", "#text", "Other", "Table"}));
  EXPECT_FALSE(tables->Child(5));
  EXPECT_FALSE(tables->Child(-1));

  auto first = tables->Child(1);
  EXPECT_EQ(first->Attribute("Name"), "Aktivitaeten");
  EXPECT_EQ(first->Attribute("Condition"), std::optional<std::string>(""));
  EXPECT_EQ(first->Attribute("Subject"), "NamePerson()");
  EXPECT_EQ(first->Attribute("name"), std::nullopt);
  auto second = tables->Child(4);
  EXPECT_EQ(second->Attribute("Condition"), std::nullopt);  // missing, not empty
  EXPECT_EQ(second->Attribute("Subject"), "\"Büro\"");
}

TEST(XmlDocument, RefusesTextThatIsNotOneWellFormedDocument) {
  PugiXmlFactory factory;
  auto document = factory.CreateDocument();
  EXPECT_FALSE(document->DocumentElement());
  for (const char* bad : {"", "   ", "no xml at all", "<TBKLK><Tables></TBKLK>", "<a/><b/>",
                          "<TBKLK attr=\"x></TBKLK>", "<TBKLK>", "<a/>text", "<a b=\"1\" b=\"2\"/>",
                          "<a><c x=\"\" y=\"\" x=\"\"/></a>"}) {
    EXPECT_FALSE(document->LoadXml(bad)) << bad;
    EXPECT_FALSE(document->DocumentElement()) << bad;
    EXPECT_FALSE(document->SelectSingleNode("TBKLK")) << bad;
  }
}

TEST(XmlDocument, NodesOutliveTheirDocumentAndAReloadAndAMissingParserRaises) {
  PugiXmlFactory factory;
  std::shared_ptr<XmlNode> node;
  {
    auto document = factory.CreateDocument();
    ASSERT_TRUE(document->LoadXml("<a><b x=\"1\"/></a>"));
    node = document->DocumentElement()->Child(0);
    ASSERT_TRUE(document->LoadXml("<c/>"));
    EXPECT_EQ(document->DocumentElement()->NodeName(), "c");
  }
  EXPECT_EQ(node->NodeName(), "b");
  EXPECT_EQ(node->Attribute("x"), "1");
  MissingXmlFactory missing;
  try {
    missing.CreateDocument();
    FAIL();
  } catch (const AutomationError& error) {
    EXPECT_EQ(error.Number(), err::kClassNotRegistered);
  }
}

}  // namespace
}  // namespace velklk
