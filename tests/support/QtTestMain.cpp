// The main() of the window tests: a QApplication on the offscreen platform (unless the
// caller names another, e.g. xcb under Xvfb), then every test.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
  // the windows run offscreen, also when ctest lists the tests
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
