#include "common/qt/signal_bridge.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

namespace corvane {

namespace {
int g_fds[2] = {-1, -1};

void onSignal(int signo) {
  unsigned char b = static_cast<unsigned char>(signo);
  ssize_t r = ::write(g_fds[0], &b, 1);
  (void)r;
}
}  // namespace

SignalBridge::SignalBridge(QObject* parent) : QObject(parent) {
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_fds) != 0) return;
  notifier_ = new QSocketNotifier(g_fds[1], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, [this] {
    unsigned char b = 0;
    while (::read(g_fds[1], &b, 1) == 1) emit terminateRequested(b);
  });
  struct sigaction sa {};
  sa.sa_handler = onSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  for (int s : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(s, &sa, nullptr);
}

SignalBridge::~SignalBridge() {
  struct sigaction sa {};
  sa.sa_handler = SIG_DFL;
  for (int s : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(s, &sa, nullptr);
  if (g_fds[0] >= 0) {
    ::close(g_fds[0]);
    ::close(g_fds[1]);
    g_fds[0] = g_fds[1] = -1;
  }
}

}  // namespace corvane
