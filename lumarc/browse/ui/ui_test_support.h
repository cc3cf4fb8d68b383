// Test support of the window tests: the test program's one application
// object, on the offscreen platform unless the run names another.
#pragma once

#include <QApplication>

namespace lumarc::ui {

// The application object, made on first use and kept for the whole test
// program; one made elsewhere is used as it is.
inline QApplication& testApplication() {
  if (auto* a = qobject_cast<QApplication*>(QCoreApplication::instance())) return *a;
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "ui_test";
  static char* argv[] = {name, nullptr};
  static QApplication* a = new QApplication(argc, argv);
  return *a;
}

}  // namespace lumarc::ui
