// The built velklk command run as a user runs it, for the suites that drive
// it: German messages unless the arguments ask for --lang, whatever the
// machine's locale.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

namespace velklk::test {

struct CommandRun {
  int status = -1;
  std::string out;
};

inline std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// Runs the velklk at `binary` with the arguments and `input` on standard
// input. Its standard output comes back and standard error is dropped; with
// `errors` it is the other way round.
inline CommandRun VelklkAt(const std::string& binary, const std::vector<std::string>& args,
                           const std::string& input = "", bool errors = false) {
  static int counter = 0;
  const std::filesystem::path inputFile =
      std::filesystem::temp_directory_path() /
      ("velklk-input-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
  std::ofstream(inputFile) << input;
  std::string command = "VELKLK_LANG=de " + ShellQuote(binary);
  for (const auto& arg : args) command += " " + ShellQuote(arg);
  command += " <" + ShellQuote(inputFile.string()) + (errors ? " 2>&1 >/dev/null" : " 2>/dev/null");
  CommandRun run;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
      run.out.append(buffer, n);
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::filesystem::remove(inputFile);
  return run;
}

// The same with the velklk of this build.
inline CommandRun Velklk(const std::vector<std::string>& args, const std::string& input = "",
                         bool errors = false) {
  return VelklkAt(std::string(VELKLK_BINARY_DIR) + "/cli/velklk", args, input, errors);
}

// The JSON lines of a command's output (other lines skipped).
inline std::vector<nlohmann::json> JsonLines(const std::string& text) {
  std::vector<nlohmann::json> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (!line.empty() && line.front() == '{') lines.push_back(nlohmann::json::parse(line));
  return lines;
}

// The last line of the output with this "event"; null when there is none.
inline nlohmann::json LastEvent(const std::string& out, const std::string& event) {
  nlohmann::json found;
  for (const auto& line : JsonLines(out))
    if (line.value("event", "") == event) found = line;
  return found;
}

// The collection `account add` bound a folder to ("" when none).
inline std::string BoundCollection(const std::string& out, const std::string& folder) {
  for (const auto& line : JsonLines(out))
    if (line.value("event", "") == "bound" && line.value("folder", "") == folder)
      return line.value("collection", "");
  return {};
}

}  // namespace velklk::test
