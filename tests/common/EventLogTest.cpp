// The event log's files: rotation at the size limit, and a log that cannot be
// written, which is said once and harms nothing.
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

TEST(EventLog, ALogThatCannotBeWrittenIsSaidOnceAndHarmsNothing) {
  test::TempDir dir;
  std::ofstream(dir.path() / "a-file") << "x";
  EventLog log;
  testing::internal::CaptureStderr();
  const std::string file = (dir.path() / "a-file" / "ostrana.log").string();
  log.Open(file, false);
  for (int i = 0; i < 50; ++i) log.Write(LogLevel::Audit, "test", "line");
  log.Close();
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(said.find("cannot be written"), said.rfind("cannot be written"));
  // The file and the system's reason (on Linux "Not a directory").
  const auto at = said.find(file + " cannot be written: ");
  ASSERT_NE(at, std::string::npos) << said;
  EXPECT_GT(said.find('\n', at), at + file.size() + 21) << said;
#ifndef _WIN32
  EXPECT_NE(said.find("Not a directory", at), std::string::npos) << said;
#endif
}
