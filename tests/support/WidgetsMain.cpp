// GoogleTest main for tests of widgets: a QApplication on the main thread.
#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
  // Widgets tests draw offscreen unless told otherwise.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
