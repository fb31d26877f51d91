// A task of the demo profile exported through the built velklk command.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

std::string Shell(const std::string& command) {
  std::string out;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    for (int c; (c = std::fgetc(pipe)) != EOF;) out += static_cast<char>(c);
    ::pclose(pipe);
  }
  return out;
}

TEST(TaskCli, TaskSync2OLExportsATaskOfTheDemoProfile) {
  const std::string dir =
      std::filesystem::temp_directory_path() / ("velklk-tasks-" + std::to_string(::getpid()));
  const std::string velklk = std::string(VELKLK_BINARY_DIR) + "/cli/velklk";
  Shell(velklk + " init " + dir);
  const std::string out =
      Shell(velklk + " -p " + dir + " call velKLK.CSync TaskSync2OL 0000000041 WRTM_Tasks False");
  EXPECT_NE(out.find("\n{\"event\":\"result\",\"value\":true,\"args\":[\"<HostApplication>\","
                     "\"0000000041\",\"WRTM_Tasks\",false]}\n"),
            std::string::npos)
      << out;
  const std::string found = Shell(velklk + " -p " + dir +
                                  " find 'anna.berg@velmora.example\\Aufgaben' "
                                  "'[velSearch] = \"0000000041WRTM_Tasks\"'");
  EXPECT_NE(found.find("\"Subject\":\"Angebot nachfassen\""), std::string::npos) << found;
  std::filesystem::remove_all(dir);
}

}  // namespace
