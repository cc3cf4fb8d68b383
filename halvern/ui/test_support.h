// What the softphone's window-side tests share: the one application object
// of the test program and a wait that keeps the event loop turning.
#pragma once

#include <QApplication>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <functional>

namespace halvern::ui {

// The test program's one application object (the window tests need widgets);
// offscreen unless the environment names a platform.
inline QApplication& app() {
  if (auto* a = qobject_cast<QApplication*>(QCoreApplication::instance())) return *a;
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "halvern_ui_test";
  static char* argv[] = {name, nullptr};
  static QApplication* a = new QApplication(argc, argv);
  return *a;
}

// Runs the event loop until done() holds or ms have passed.
inline bool waitUntil(const std::function<bool()>& done, int ms) {
  QDeadlineTimer deadline(ms);
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(2);
  }
  return true;
}

}  // namespace halvern::ui
