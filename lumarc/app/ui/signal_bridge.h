// Turns SIGINT, SIGTERM and SIGHUP into a Qt signal through a self-pipe, so
// that they close the program exactly as the close box does.
#pragma once

#include <QObject>

class QSocketNotifier;

namespace lumarc::ui {

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

}  // namespace lumarc::ui
