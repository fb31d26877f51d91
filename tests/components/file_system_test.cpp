// The file systems of the log: folders one level at a time, lines appended in
// the Windows-1252 code page with CR LF.
#include "components/file_system.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/automation_error.h"

namespace velklk {
namespace {

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "velklk-fs-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data());
  }
  ~TempDir() { std::filesystem::remove_all(path_); }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

TEST(Windows1252, ConvertsWhatTheCodePageHasAndMarksTheRest) {
  EXPECT_EQ(Utf8ToWindows1252("Müller, Straße 5 €"),
            "M\xFCller, Stra\xDF"
            "e 5 \x80");
  EXPECT_EQ(Utf8ToWindows1252("漢字 ok"), "?? ok");
  EXPECT_EQ(Utf8ToWindows1252("a\xC3(b"), "a?(b");      // broken sequence
  EXPECT_EQ(Utf8ToWindows1252("end\xE2\x82"), "end?");  // cut short
  EXPECT_EQ(Utf8ToWindows1252("\xFF\xFEx"), "??x");     // stray bytes
  EXPECT_EQ(Utf8ToWindows1252(std::string("a\0b", 3)), std::string("a\0b", 3));
  EXPECT_EQ(Windows1252ToUtf8("M\xFCller \x80"), "Müller €");
  std::string longText(10000, 'x');
  longText += "ä";
  EXPECT_EQ(Utf8ToWindows1252(longText).size(), 10001u);
}

TEST(PosixFileSystem, CreatesOneFolderLevelAndAppendsCodePageLines) {
  TempDir dir;
  PosixFileSystem fs;
  const std::string logs = dir.Path() + "/Logs";
  EXPECT_FALSE(fs.FolderExists(logs));
  fs.CreateFolder(logs);
  EXPECT_TRUE(fs.FolderExists(logs));
  fs.CreateFolder(logs);  // already there: nothing to do

  try {
    fs.CreateFolder(dir.Path() + "/missing/Logs");
    FAIL() << "created two levels";
  } catch (const AutomationError& error) {
    EXPECT_EQ(error.Number(), 76u);
  }

  const std::string file = logs + "/velKLK.log";
  EXPECT_FALSE(fs.FileExists(file));
  fs.AppendLine(file, "a,b");
  fs.AppendLine(file, "Jörg, 5 €, 漢");
  EXPECT_TRUE(fs.FileExists(file));
  EXPECT_FALSE(fs.FileExists(logs));
  EXPECT_FALSE(fs.FolderExists(file));
  EXPECT_EQ(ReadBytes(file), "a,b\r\nJ\xF6rg, 5 \x80, ?\r\n");

  EXPECT_THROW(fs.AppendLine(dir.Path() + "/nowhere/x.log", "x"), AutomationError);
  EXPECT_THROW(fs.AppendLine(logs, "x"), AutomationError);  // a folder is no file
}

}  // namespace
}  // namespace velklk
