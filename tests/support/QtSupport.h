// Helpers for tests on the Qt event loop: waiting while events run, and a
// plain loopback TCP client that can also reset its connection.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <functional>
#include <string>

namespace ostrana::test {

// Runs the event loop until `condition` holds or `ms` pass.
inline bool Pump(const std::function<bool()>& condition, int ms = 5000) {
  QElapsedTimer timer;
  timer.start();
  while (!condition()) {
    if (timer.elapsed() > ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QThread::msleep(1);
  }
  return true;
}

// A blocking POSIX client: the connector's peer, on loopback only.
class RawClient {
 public:
  explicit RawClient(int port);
  ~RawClient();
  bool Connected() const { return fd_ >= 0; }
  // False once the connector has closed the connection.
  bool Send(const std::string& bytes);
  // What has arrived so far, pumping the event loop meanwhile, until it ends
  // with `until` or `ms` pass.
  std::string ReceiveUntil(const std::string& until, int ms = 5000);
  // Sends a request and returns what arrives up to `until` (15 s at most: a
  // connector under Wine on a loaded machine can be slow to answer).
  std::string Ask(const std::string& request, const std::string& until = "\n") {
    Send(request);
    return ReceiveUntil(until, 15000);
  }
  // Closes with a reset instead of a graceful close.
  void Reset();
  void Close();
  // True once the connector has closed this connection.
  bool ClosedByPeer(int ms = 2000);

 private:
  // Reads what has arrived without waiting (keeps the connector's replies flowing).
  void Drain();
  int fd_ = -1;
  std::string received_;
  bool peerClosed_ = false;
};

}  // namespace ostrana::test
