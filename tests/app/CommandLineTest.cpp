#include <gtest/gtest.h>

#include "app/CommandLine.h"

using namespace ostrana::app;

namespace {
std::optional<Options> Parse(QStringList args, QString* error = nullptr) {
  QString e, exitText;
  args.prepend("ostrana");
  auto o = ParseCommandLine(args, &e, &exitText);
  if (error) *error = e;
  return o;
}
}  // namespace

TEST(CommandLine, OptionsAreTaken) {
  auto o = Parse({"--headless", "--port", "0", "--settings", "/tmp/s.conf", "--tnc-root", "/tmp/tnc",
                  "--nc-console", "0"});
  ASSERT_TRUE(o);
  EXPECT_TRUE(o->headless);
  EXPECT_EQ(o->port, 0);
  EXPECT_EQ(o->settingsFile, "/tmp/s.conf");
  EXPECT_EQ(o->tncRoot, "/tmp/tnc");
  EXPECT_EQ(o->ncConsolePort, 0);
  EXPECT_EQ(o->control, ControlKind::Virtual);
  o = Parse({});
  ASSERT_TRUE(o);
  EXPECT_FALSE(o->port);
  EXPECT_FALSE(o->headless);
}

TEST(CommandLine, MistakesAreNamed) {
  QString error;
  EXPECT_FALSE(Parse({"--port", "65536"}, &error));
  EXPECT_TRUE(error.contains("65536"));
  EXPECT_FALSE(Parse({"--port", "x"}, &error));
  EXPECT_FALSE(Parse({"--control", "real"}, &error));
  EXPECT_TRUE(error.contains("real"));
  EXPECT_FALSE(Parse({"--control", "none", "--nc-console", "0"}, &error));
  EXPECT_TRUE(error.contains("virtual control"));
  EXPECT_FALSE(Parse({"--bogus"}, &error));
  EXPECT_FALSE(Parse({"extra"}, &error));
}
