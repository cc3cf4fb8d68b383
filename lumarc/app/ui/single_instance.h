// One running program per window title and user: a new start asks the
// running one to close and waits for it to go. The endpoint is a local
// socket named after the window title and the user id; the command "close"
// stands for the close message, "raise" brings a window to the front.
#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

namespace lumarc::ui {

// The local socket name for a window title: title, "-", numeric user id.
QString instanceEndpoint(const QString& windowTitle);

// Sends one command to the program owning windowTitle. Returns false when
// no such program answers.
bool sendInstanceCommand(const QString& windowTitle, const QByteArray& command);

// Asks a running program to close and waits until its endpoint is gone,
// at most waitMs. Returns whether one was running.
bool closeRunningInstance(const QString& windowTitle, int waitMs = 10000);

// The endpoint of this program: reports the commands it receives.
class InstanceServer : public QObject {
  Q_OBJECT
 public:
  explicit InstanceServer(QObject* parent = nullptr) : QObject(parent) {}
  // Starts listening; a stale endpoint left by a crashed program is removed.
  bool listen(const QString& windowTitle);

 signals:
  void closeRequested();
  void raiseRequested();

 private:
  void onConnection();
  QLocalServer server_;
};

}  // namespace lumarc::ui
