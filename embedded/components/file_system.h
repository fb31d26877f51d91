// The file system of the log: the machine's own (POSIX), and one in memory for
// tests. Both write text in the Windows-1252 code page with CR LF line ends.
#pragma once

#include <map>
#include <set>
#include <string>

#include "platform/components.h"

namespace velklk {

// UTF-8 to Windows-1252; a character the code page lacks, and a byte that is
// not valid UTF-8, become "?".
std::string Utf8ToWindows1252(const std::string& utf8);
// Windows-1252 to UTF-8; the five bytes the code page leaves undefined
// become U+FFFD.
std::string Windows1252ToUtf8(const std::string& bytes);

class PosixFileSystem final : public FileSystem {
 public:
  bool FolderExists(const std::string& path) const override;
  bool FileExists(const std::string& path) const override;
  // Creates one level; an existing folder is left as it is. Raises error 76
  // (path not found) when the parent folder is missing, 70 (permission
  // denied) when it may not be written, 75 for any other failure.
  void CreateFolder(const std::string& path) override;
  // Raises error 70, 76 or 75 as CreateFolder when the file cannot be opened
  // or written.
  void AppendLine(const std::string& path, const std::string& utf8Line) override;
};

// Folders and files in memory. Paths are compared as texts; "/" and "\" both
// separate folders.
class MemoryFileSystem final : public FileSystem {
 public:
  bool FolderExists(const std::string& path) const override;
  bool FileExists(const std::string& path) const override;
  // Raises error 76 when the parent folder does not exist.
  void CreateFolder(const std::string& path) override;
  // Raises error 76 when the folder does not exist, 70 when the file is
  // locked.
  void AppendLine(const std::string& path, const std::string& utf8Line) override;

  void AddFolder(const std::string& path) { folders_.insert(path); }
  void Lock(const std::string& path) { locked_.insert(path); }
  // The bytes of a file as written (Windows-1252); empty for a missing file.
  std::string Contents(const std::string& path) const;

 private:
  std::set<std::string> folders_;
  std::set<std::string> locked_;
  std::map<std::string, std::string> files_;
};

}  // namespace velklk
