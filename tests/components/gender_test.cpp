// The gender component: first names to codes (1 or 2 female, 9 unknown,
// anything else male), and a component that is not installed.
#include "components/gender.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "platform/automation_error.h"

namespace velklk {
namespace {

bool Female(int code) { return code == 1 || code == 2; }
bool Male(int code) { return !Female(code) && code != 9; }

TEST(Gender, BuiltInListKnowsCommonGermanAndEnglishNames) {
  auto gender = NameListGenderFactory().Create();
  for (const char* name : {"Anna", "Bärbel", "Emily"}) EXPECT_TRUE(Female(gender->GetGender(name)));
  for (const char* name : {"Max", "Björn", "William"}) EXPECT_TRUE(Male(gender->GetGender(name)));
  EXPECT_EQ(gender->GetGender("Kim"), 9);
  EXPECT_EQ(gender->GetGender("Xyzzy"), 9);
  EXPECT_EQ(gender->GetGender(""), 9);
  // Case, blanks and compound names.
  EXPECT_TRUE(Female(gender->GetGender("  aNNa ")));
  EXPECT_TRUE(Male(gender->GetGender("JÜRGEN")));
  EXPECT_TRUE(Male(gender->GetGender("Hans-Peter")));
  EXPECT_TRUE(Female(gender->GetGender("Anna Lena")));
  EXPECT_EQ(gender->GetGender("\xFF\xFE"), 9);  // not UTF-8: unknown, no crash
}

TEST(Gender, ListsFromFilesAreCheckedLineByLineAndAbsentOnesRaise) {
  const auto path = std::filesystem::temp_directory_path() /
                    ("velklk-gender-" + std::to_string(::getpid()) + ".txt");
  {
    std::ofstream out(path, std::ios::binary);
    out << "# test list\r\nAlex\t3\r\n\r\nKim\t2\r\n";
  }
  auto gender = NameListGenderFactory::FromFile(path.string()).Create();
  EXPECT_EQ(gender->GetGender("alex"), 3);
  EXPECT_EQ(gender->GetGender("Kim"), 2);
  EXPECT_EQ(gender->GetGender("Anna"), 9);  // only this list counts
  std::filesystem::remove(path);

  EXPECT_THROW(NameListGender("Anna\n"), AutomationError);
  // An absent component, or a list file that is not there, cannot be created.
  try {
    NameListGenderFactory(true).Create();
    FAIL();
  } catch (const AutomationError& error) {
    EXPECT_EQ(error.Number(), err::kClassNotRegistered);
  }
  EXPECT_THROW(NameListGenderFactory::FromFile("/nonexistent/names.txt").Create(), AutomationError);
  EXPECT_THROW(NameListGender("Anna\tx\n"), AutomationError);
  EXPECT_THROW(NameListGender("\t1\n"), AutomationError);
}

}  // namespace
}  // namespace velklk
