#include "helpers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

namespace velklk::test {

void ExpectGolden(const std::string& path, const std::vector<std::string>& lines) {
  const std::string file = std::string(VELKLK_SOURCE_DIR) + "/tests/" + path;
  const char* update = std::getenv("VELKLK_UPDATE_GOLDEN");
  if (update != nullptr && std::string(update) == "1") {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    for (const auto& line : lines) out << line << '\n';
    ASSERT_TRUE(out.good()) << "cannot write " << file;
    return;
  }
  std::ifstream in(file, std::ios::binary);
  ASSERT_TRUE(in.good()) << "no golden file " << file << " (VELKLK_UPDATE_GOLDEN=1 writes it)";
  std::vector<std::string> expected;
  for (std::string line; std::getline(in, line);) expected.push_back(line);
  for (std::size_t i = 0; i < std::max(expected.size(), lines.size()); ++i) {
    const std::string want = i < expected.size() ? expected[i] : "<no line>";
    const std::string got = i < lines.size() ? lines[i] : "<no line>";
    EXPECT_EQ(got, want) << path << ":" << i + 1;
  }
}

}  // namespace velklk::test
