// The diagnostic log: where it goes, when it is written, and how a line looks.
#include "diagnostics/log.h"

#include <gtest/gtest.h>

#include "components/file_system.h"
#include "session/trace.h"
#include "support/desk.h"
#include "support/fakes.h"

namespace velklk::test {
namespace {

constexpr const char* kHeader =
    "TimeStamp,VBCompName,SubroutineName,InfoType,Info,InputValues,OutputValues\r\n";

class LogTest : public ::testing::Test {
 protected:
  LogTest() { desk_.SetNow("2026-12-06 14:05:09"); }

  MemoryFileSystem& Files() { return *desk_.profile().MemoryFiles(); }
  std::string Folder() {
    const std::string db = desk_.host().Database()->FilePath();
    return db.substr(0, db.rfind('/')) + "/Logs";
  }
  std::string Contents() { return Files().Contents(Folder() + "/velKLK.log"); }
  void Write(const std::string& procedure, const std::shared_ptr<HostApplication>& app) {
    WriteLog("m", procedure, kLogEntry, "", "", "", app);
  }
  // The desk's host application on a database at another path.
  std::shared_ptr<HostApplication> At(const std::string& path) {
    return std::make_shared<fake::ApplicationOf>(
        std::make_shared<fake::DatabaseAt>(desk_.host().Database(), path));
  }

  Desk desk_;
  std::shared_ptr<HostApplication> app_ = desk_.host().Application();
};

TEST_F(LogTest, NewFileStartsWithTheHeaderAndRecordsUseCommaBlank) {
  WriteLog("modAppSync", "InitOutlook", kLogEntry, "Input-parameter: a|b", "Nothing|True", "",
           app_);
  desk_.profile().Clock().AdvanceSeconds(1);
  WriteLog("modAppSync", "InitOutlook", kLogLeave, "", "", "True", app_);
  WriteLog("CSync", "X", kLogIntermediate, "Calling modAppSync.InitTables returns: False!", "", "",
           app_);
  WriteLog("CSync", "X", kLogErrHandler, "Fehler, \"böse\"", "", "", app_);
  WriteLog("CSync", "X", 4, "i", "in", "out", app_);
  EXPECT_EQ(Contents(),
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
    desk_.SetSetting("TSKLK_LogLevel", off);
    Write("p", app_);
  }
  desk_.RemoveSetting("TSKLK_LogLevel");
  Write("p", app_);
  EXPECT_FALSE(Files().FolderExists(Folder()));

  for (const char* level : {"DeBuG", "off", "DEBUG"}) {
    desk_.SetSetting("TSKLK_LogLevel", level);
    Write(level, app_);
  }
  const std::string contents = Contents();
  EXPECT_NE(contents.find(", DeBuG,"), std::string::npos);
  EXPECT_EQ(contents.find(", off,"), std::string::npos);
  EXPECT_NE(contents.find(", DEBUG,"), std::string::npos);
  EXPECT_EQ(contents.rfind("TimeStamp"), 0u);  // header once only
}

TEST_F(LogTest, UsesTheSharedApplicationWhenGivenNoneAndNothingWithoutEither) {
  Write("p", nullptr);
  EXPECT_EQ(Contents(), "");
  desk_.state().mAPP = app_;
  Write("shared", nullptr);
  EXPECT_NE(Contents().find(", shared,"), std::string::npos);
}

TEST_F(LogTest, FailuresReachTheCaller) {
  EXPECT_EQ(ErrorOf([&] { Write("p", At("/missing/crm.db")); }), 76u);
  EXPECT_EQ(ErrorOf([&] { Write("p", At("crm.db")); }), 76u);  // no folder at all
  EXPECT_EQ(ErrorOf([&] { Write("p", At("")); }), 76u);
  Files().CreateFolder(Folder());
  Files().Lock(Folder() + "/velKLK.log");
  EXPECT_EQ(ErrorOf([&] { Write("p", app_); }), 70u);
  desk_.RaiseOn("Settings.Exists", err::kFail);
  EXPECT_EQ(ErrorOf([&] { Write("p", app_); }), err::kFail);
}

TEST_F(LogTest, WindowsStylePathsKeepTheirSeparator) {
  Files().AddFolder("C:\\Daten");
  Write("p", At("C:\\Daten\\crm.db"));
  EXPECT_TRUE(Files().FileExists("C:\\Daten\\Logs\\velKLK.log"));
}

}  // namespace
}  // namespace velklk::test
