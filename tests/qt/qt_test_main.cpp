// GoogleTest main for the Qt tests: one application object for the whole run. The widget tests
// get a QApplication, offscreen unless the caller chose a platform; the port tests, built without
// the widgets too, a QCoreApplication.
#include <gtest/gtest.h>

#include <cstdlib>

#ifdef KLINEDIAG_CORE_APPLICATION
#include <QCoreApplication>
using Application = QCoreApplication;
#else
#include <QApplication>
using Application = QApplication;
#endif

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  Application app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
