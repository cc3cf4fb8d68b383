// Turns SIGINT, SIGTERM and SIGHUP into a Qt signal through a self-pipe, so
// that they end a program through its event loop (the window program as its
// close box does, the command-line companion by leaving its loop).
#pragma once

#include <QObject>

class QSocketNotifier;

namespace corvane {

class SignalBridge : public QObject {
  Q_OBJECT
 public:
  explicit SignalBridge(QObject* parent = nullptr);
  ~SignalBridge() override;
  bool ok() const { return notifier_ != nullptr; }

 signals:
  void terminateRequested(int signo);

 private:
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace corvane
