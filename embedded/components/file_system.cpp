#include "components/file_system.h"

#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

#include "platform/automation_error.h"

namespace velklk {
namespace {

// Run-time error numbers of file operations.
constexpr std::uint32_t kPermissionDenied = 70;
constexpr std::uint32_t kPathFileAccess = 75;
constexpr std::uint32_t kPathNotFound = 76;

[[noreturn]] void RaiseFileError(int error, const std::string& what, const std::string& path) {
  std::uint32_t number = kPathFileAccess;
  std::string text = "Path/File access error";
  if (error == ENOENT || error == ENOTDIR) {
    number = kPathNotFound;
    text = "Path not found";
  } else if (error == EACCES || error == EPERM || error == EROFS) {
    number = kPermissionDenied;
    text = "Permission denied";
  }
  throw AutomationError(number, "FileSystem",
                        text + ": " + what + " '" + path + "' (" + std::strerror(error) + ")");
}

struct IconvCloser {
  void operator()(iconv_t* cd) const {
    iconv_close(*cd);
    delete cd;
  }
};

std::unique_ptr<iconv_t, IconvCloser> OpenIconv(const char* to, const char* from) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    throw AutomationError(err::kFail, "FileSystem",
                          std::string("No conversion from ") + from + " to " + to);
  }
  return std::unique_ptr<iconv_t, IconvCloser>(new iconv_t(cd));
}

// Length of the UTF-8 sequence a lead byte starts; 1 for a stray byte.
std::size_t SequenceLength(unsigned char lead) {
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  if (lead >= 0xE0) return lead <= 0xEF ? 3 : 1;
  if (lead >= 0xC2) return 2;
  return 1;
}

std::string ParentOf(const std::string& path) {
  const auto slash = path.find_last_of("/\\");
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace

std::string Utf8ToWindows1252(const std::string& utf8) {
  auto cd = OpenIconv("WINDOWS-1252", "UTF-8");
  std::string out;
  out.reserve(utf8.size());
  char* in = const_cast<char*>(utf8.data());
  std::size_t inLeft = utf8.size();
  char buffer[256];
  while (inLeft > 0) {
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    const std::size_t result = iconv(*cd, &in, &inLeft, &outPtr, &outLeft);
    out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
    if (result != static_cast<std::size_t>(-1)) continue;
    if (errno == E2BIG) continue;
    // EILSEQ (no such character, or bad UTF-8) or EINVAL (cut short at the
    // end): one "?" for the sequence, then go on after it.
    out += '?';
    std::size_t skip = SequenceLength(static_cast<unsigned char>(*in));
    // A sequence with a bad continuation byte ends before that byte.
    std::size_t valid = 1;
    while (valid < skip && valid < inLeft &&
           (static_cast<unsigned char>(in[valid]) & 0xC0) == 0x80) {
      ++valid;
    }
    skip = valid;
    in += skip;
    inLeft -= skip;
    iconv(*cd, nullptr, nullptr, nullptr, nullptr);
  }
  return out;
}

std::string Windows1252ToUtf8(const std::string& bytes) {
  auto cd = OpenIconv("UTF-8", "WINDOWS-1252");
  std::string out;
  out.reserve(bytes.size() * 2);
  char* in = const_cast<char*>(bytes.data());
  std::size_t inLeft = bytes.size();
  char buffer[256];
  while (inLeft > 0) {
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    const std::size_t result = iconv(*cd, &in, &inLeft, &outPtr, &outLeft);
    out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
    if (result != static_cast<std::size_t>(-1) || errno == E2BIG) continue;
    out += "\xEF\xBF\xBD";
    ++in;
    --inLeft;
  }
  return out;
}

bool PosixFileSystem::FolderExists(const std::string& path) const {
  std::error_code error;
  return std::filesystem::is_directory(path, error);
}

bool PosixFileSystem::FileExists(const std::string& path) const {
  std::error_code error;
  return std::filesystem::is_regular_file(path, error);
}

void PosixFileSystem::CreateFolder(const std::string& path) {
  std::error_code error;
  std::filesystem::create_directory(path, error);
  // An existing folder is no error; an existing file is.
  if (!error && FolderExists(path)) return;
  RaiseFileError(error ? error.value() : EEXIST, "cannot create the folder", path);
}

void PosixFileSystem::AppendLine(const std::string& path, const std::string& utf8Line) {
  const std::string bytes = Utf8ToWindows1252(utf8Line) + "\r\n";
  std::FILE* file = std::fopen(path.c_str(), "ab");
  if (file == nullptr) RaiseFileError(errno, "cannot open the file", path);
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const int writeError = errno;
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) RaiseFileError(written ? errno : writeError, "cannot write", path);
}

bool MemoryFileSystem::FolderExists(const std::string& path) const {
  return folders_.count(path) != 0;
}

bool MemoryFileSystem::FileExists(const std::string& path) const { return files_.count(path) != 0; }

void MemoryFileSystem::CreateFolder(const std::string& path) {
  if (FolderExists(path)) return;
  const std::string parent = ParentOf(path);
  if (!parent.empty() && !FolderExists(parent)) {
    RaiseFileError(ENOENT, "cannot create the folder", path);
  }
  folders_.insert(path);
}

void MemoryFileSystem::AppendLine(const std::string& path, const std::string& utf8Line) {
  if (locked_.count(path) != 0) RaiseFileError(EACCES, "cannot open the file", path);
  const std::string parent = ParentOf(path);
  if (!parent.empty() && !FolderExists(parent)) {
    RaiseFileError(ENOENT, "cannot open the file", path);
  }
  files_[path] += Utf8ToWindows1252(utf8Line) + "\r\n";
}

std::string MemoryFileSystem::Contents(const std::string& path) const {
  const auto found = files_.find(path);
  return found == files_.end() ? std::string() : found->second;
}

}  // namespace velklk
