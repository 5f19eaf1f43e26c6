#include <gtest/gtest.h>

#include <optional>
#include <tuple>

#include "run/CommandLine.h"

using namespace ostrana::run;

namespace {
ParsedCommandLine Parse(std::vector<std::string> args, bool windows = false) { return ParseCommandLine(args, windows); }
}  // namespace

TEST(CommandLine, OptionsAreTaken) {
  auto p = Parse({"--headless", "--port", "0", "--settings", "/tmp/s.conf", "--tnc-root=/tmp/tnc", "--nc-console", "0",
                  "--listen", "::1", "--journal"});
  ASSERT_TRUE(p.options) << p.error;
  const Options& o = *p.options;
  EXPECT_EQ(
      std::tuple(o.headless, o.port, o.settingsFile, o.tncRoot, o.ncConsolePort, o.listenAddress, o.control, o.journal),
      std::tuple(true, std::optional<int>(0), "/tmp/s.conf", "/tmp/tnc", std::optional<int>(0), "::1",
                 ControlKind::Virtual, true));
  p = Parse({});
  ASSERT_TRUE(p.options);
  EXPECT_EQ(std::pair(p.options->port, p.options->headless), std::pair(std::optional<int>(), false));
  // Help and version end the run with a text, not a mistake.
  p = Parse({"--port", "1", "--help"});
  EXPECT_FALSE(p.options);
  EXPECT_NE(p.exitText.find("\n  --nc-console <N>            Offer"), std::string::npos);  // in a column
  EXPECT_EQ(p.exitText.find("--dnc-probe"), std::string::npos);
  EXPECT_EQ(Parse({"--version"}).exitText, "Ostrana Connector, Version 1.1\n");
}

TEST(CommandLine, MistakesAreNamed) {
  const std::pair<std::vector<std::string>, std::string> mistakes[] = {
      {{"--port", "65536"}, "not '65536'"},
      {{"--port", "5x"}, "not '5x'"},
      {{"--port", "-1"}, "not '-1'"},
      {{"--port"}, "Missing value after '--port'."},
      {{"--control", "real"}, "not 'real'"},
      {{"--control", "dnc"}, "virtual or none, not 'dnc'"},  // no DNC component on Linux
      {{"--control", "none", "--nc-console", "0"}, "needs the virtual control"},
      {{"--listen", "my-host"}, "not 'my-host'"},
      {{"--bogus"}, "Unknown option 'bogus'."},
      {{"--headless=yes"}, "Unknown option 'headless'."},
      {{"extra"}, "Unexpected argument: extra"},
      {{"--dnc-probe"}, "Unknown option 'dnc-probe'."},
  };
  for (const auto& [args, said] : mistakes) {
    const auto p = Parse(args);
    EXPECT_FALSE(p.options) << args[0];
    EXPECT_NE(p.error.find(said), std::string::npos) << p.error;
  }
}

TEST(CommandLine, OnWindowsTheDncComponentIsTheDefaultAndCanBeProbed) {
  EXPECT_EQ(Parse({}, true).options.value_or(Options{}).control, ControlKind::Dnc);
  EXPECT_FALSE(Parse({"--nc-console", "0"}, true).options);  // the console needs the virtual control
  EXPECT_FALSE(Parse({"--journal"}, true).options);          // the Application log takes the events there
  EXPECT_TRUE(Parse({"--control", "virtual", "--nc-console", "0"}, true).options);
  const auto p = Parse({"--dnc-probe", "--headless"}, true);  // (with a machine and a number: the probe's own tests)
  ASSERT_TRUE(p.options);
  EXPECT_TRUE(p.options->dncProbe && p.options->probeMachineText.empty());
  EXPECT_NE(Parse({"--help"}, true).exitText.find("--dnc-probe"), std::string::npos);
}
