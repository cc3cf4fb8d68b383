// One running program per window title and user. The endpoint is a local
// socket named after the window title and the numeric user id, placed in
// the user's runtime folder ($XDG_RUNTIME_DIR) when there is one. The
// command "close" stands for the close message, "raise" brings a window to
// the front.
#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

namespace corvane {

// The local socket for a window title: "<title>-<uid>", as a path in
// $XDG_RUNTIME_DIR when that is set, else as a plain name.
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

}  // namespace corvane
