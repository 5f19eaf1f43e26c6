// The event log's files: rotation at the size limit. (A log that cannot be
// written is said once and harms nothing: the headless run's unusable places.)
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "common/EventLog.h"
#include "support/TestSupport.h"

using namespace ostrana;
namespace fs = std::filesystem;

TEST(EventLog, RotatesAtTheSizeLimitKeepingTheNewestGenerations) {
  test::TempDir dir;
  const std::string file = (dir.path() / "state" / "ostrana.log").string();
  EventLog log;
  log.Open(file, false, {/*fileBytes=*/1000, /*files=*/3, /*queuedLines=*/100000});
  for (int i = 0; i < 100; ++i) log.Write(LogLevel::Info, "test", "line " + std::to_string(i));
  log.Close();
  EXPECT_FALSE(fs::exists(file + ".3"));  // three files in all
  std::vector<std::string> lines;
  for (const std::string& name : {file + ".2", file + ".1", file}) {
    ASSERT_TRUE(fs::exists(name)) << name;
    EXPECT_LE(fs::file_size(name), 1000u);
    std::ifstream in(name);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
  }
  ASSERT_FALSE(lines.empty());
  EXPECT_NE(lines.back().find("INFO  test: line 99"), std::string::npos);
  // What is kept runs in order up to the last line.
  const int first = std::stoi(lines.front().substr(lines.front().rfind(' ') + 1));
  for (std::size_t i = 0; i < lines.size(); ++i)
    EXPECT_NE(lines[i].find("line " + std::to_string(first + static_cast<int>(i))), std::string::npos);
}
