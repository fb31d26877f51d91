// The diagnostic log: where it goes, when it is written, and how a line looks.
#include "diagnostics/log.h"
#include "session/trace.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "components/file_system.h"
#include "diagnostics/fakes.h"
#include "platform/automation_error.h"
#include "platform/clock.h"
#include "session/shared_state.h"

namespace velklk {
namespace {

using testing::FakeApplication;

constexpr const char* kFile = "/p/Logs/velKLK.log";
constexpr const char* kHeader =
    "TimeStamp,VBCompName,SubroutineName,InfoType,Info,InputValues,OutputValues\r\n";

class LogTest : public ::testing::Test {
 protected:
  LogTest() : clock_(*AutoDate::Parse("2026-12-06 14:05:09")) {
    PlatformServices services;
    services.fileSystem = &fs_;
    services.clock = &clock_;
    ResetState(services);
    fs_.AddFolder("/p");
    app_->db->filePath = "/p/crm.db";
    SetLevel("debug");
  }
  ~LogTest() override { ResetState({}); }

  void SetLevel(const std::string& level) {
    app_->db->user->settings->values["TSKLK_LogLevel"] = level;
  }

  MemoryFileSystem fs_;
  SettableClock clock_;
  std::shared_ptr<FakeApplication> app_ = std::make_shared<FakeApplication>();
};

TEST_F(LogTest, NewFileStartsWithTheHeaderAndRecordsUseCommaBlank) {
  WriteLog("modAppSync", "InitOutlook", kLogEntry, "Input-parameter: a|b", "Nothing|True", "",
           app_);
  clock_.AdvanceSeconds(1);
  WriteLog("modAppSync", "InitOutlook", kLogLeave, "", "", "True", app_);
  WriteLog("CSync", "X", kLogIntermediate, "Calling modAppSync.InitTables returns: False!", "", "",
           app_);
  WriteLog("CSync", "X", kLogErrHandler, "Fehler, \"böse\"", "", "", app_);
  WriteLog("CSync", "X", 4, "i", "in", "out", app_);
  EXPECT_TRUE(fs_.FolderExists("/p/Logs"));
  EXPECT_EQ(fs_.Contents(kFile),
            std::string(kHeader) +
                "2026-12-06 14:05:09, modAppSync, InitOutlook, Entry, Input-parameter: a|b, "
                "Nothing|True, \r\n"
                "2026-12-06 14:05:10, modAppSync, InitOutlook, Leave, , , True\r\n"
                "2026-12-06 14:05:10, CSync, X, Intermediate, Calling modAppSync.InitTables "
                "returns: False!, , \r\n"
                "2026-12-06 14:05:10, CSync, X, ErrHandler, Fehler, \"b\xF6se\", , \r\n"
                "2026-12-06 14:05:10, CSync, X, , i, in, out\r\n");
}

TEST_F(LogTest, OnlyTheLevelDebugInAnyCaseWritesAndItIsReadOnEveryCall) {
  for (const char* off : {"debug ", "1", "true", "", "info"}) {
    SetLevel(off);
    WriteLog("m", "p", kLogEntry, "", "", "", app_);
  }
  app_->db->user->settings->values.clear();
  WriteLog("m", "p", kLogEntry, "", "", "", app_);
  EXPECT_FALSE(fs_.FolderExists("/p/Logs"));
  EXPECT_FALSE(fs_.FileExists(kFile));

  SetLevel("DeBuG");
  WriteLog("m", "on", kLogEntry, "", "", "", app_);
  SetLevel("off");
  WriteLog("m", "off", kLogEntry, "", "", "", app_);
  SetLevel("DEBUG");
  WriteLog("m", "again", kLogEntry, "", "", "", app_);
  const std::string contents = fs_.Contents(kFile);
  EXPECT_NE(contents.find(", on,"), std::string::npos);
  EXPECT_EQ(contents.find(", off,"), std::string::npos);
  EXPECT_NE(contents.find(", again,"), std::string::npos);
  EXPECT_EQ(contents.find("TimeStamp"), 0u);
  EXPECT_EQ(contents.rfind("TimeStamp"), 0u);  // header once only
}

TEST_F(LogTest, UsesTheSharedApplicationWhenGivenNoneAndNothingWithoutEither) {
  WriteLog("m", "p", kLogEntry, "", "", "");
  EXPECT_FALSE(fs_.FileExists(kFile));
  State().mAPP = app_;
  WriteLog("m", "shared", kLogEntry, "", "", "");
  EXPECT_NE(fs_.Contents(kFile).find(", shared,"), std::string::npos);
}

TEST_F(LogTest, FailuresReachTheCaller) {
  app_->db->filePath = "/missing/crm.db";
  try {
    WriteLog("m", "p", kLogEntry, "", "", "", app_);
    FAIL() << "a missing database folder was accepted";
  } catch (const AutomationError& error) {
    EXPECT_EQ(error.Number(), 76u);
  }
  app_->db->filePath = "crm.db";  // no folder at all
  EXPECT_THROW(WriteLog("m", "p", kLogEntry, "", "", "", app_), AutomationError);
  app_->db->filePath = "";
  EXPECT_THROW(WriteLog("m", "p", kLogEntry, "", "", "", app_), AutomationError);

  app_->db->filePath = "/p/crm.db";
  fs_.CreateFolder("/p/Logs");
  fs_.Lock(kFile);
  EXPECT_THROW(WriteLog("m", "p", kLogEntry, "", "", "", app_), AutomationError);

  app_->db->user->settings->unreachable = true;
  EXPECT_THROW(WriteLog("m", "p", kLogEntry, "", "", "", app_), AutomationError);
}

TEST_F(LogTest, WindowsStylePathsKeepTheirSeparator) {
  fs_.AddFolder("C:\\Daten");
  app_->db->filePath = "C:\\Daten\\crm.db";
  WriteLog("m", "p", kLogEntry, "", "", "", app_);
  EXPECT_TRUE(fs_.FileExists("C:\\Daten\\Logs\\velKLK.log"));
}

TEST(LogOnDisk, WritesTheFileBesideTheDatabaseInTheCodePage) {
  const auto dir =
      std::filesystem::temp_directory_path() / ("velklk-log-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  PosixFileSystem fs;
  SettableClock clock(*AutoDate::Parse("2026-12-06 10:00:00"));
  PlatformServices services;
  services.fileSystem = &fs;
  services.clock = &clock;
  ResetState(services);
  auto app = std::make_shared<FakeApplication>();
  app->db->filePath = (dir / "crm.db").string();
  app->db->user->settings->values["TSKLK_LogLevel"] = "debug";
  WriteLog("CSync", "AddressOrContactSync2OL", kLogEntry, "Input-parameter: psID", "Müller €", "",
           app);
  std::ifstream in(dir / "Logs" / "velKLK.log", std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  EXPECT_EQ(bytes.str(), std::string(kHeader) +
                             "2026-12-06 10:00:00, CSync, AddressOrContactSync2OL, Entry, "
                             "Input-parameter: psID, M\xFCller \x80, \r\n");
  std::filesystem::remove_all(dir);
  ResetState({});
}

TEST(LogHelpers, NothingAndBooleanTexts) {
  std::shared_ptr<int> none;
  EXPECT_STREQ(NothingText(none), "Nothing");
  EXPECT_STREQ(NothingText(std::make_shared<int>(1)), "Not Nothing");
  EXPECT_STREQ(BoolText(true), "True");
  EXPECT_STREQ(BoolText(false), "False");
}

}  // namespace
}  // namespace velklk
