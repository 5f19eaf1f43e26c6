#include "common/Console.h"

#include "common/EventLog.h"
#include "common/Process.h"

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

namespace ostrana::console {
namespace {

// Straight to the stream's descriptor: nothing stays in a stdio buffer that
// the exit of the process would try to write again. A closed or failing
// console loses the line.
void WriteAll(std::FILE* stream, const std::string& text) { WriteToStream(stream, text.data(), text.size()); }

// One stream's writer: a stalled stderr never holds the lines for stdout.
class Writer {
 public:
  explicit Writer(std::FILE* stream) : stream_(stream) {}
  void Add(std::string line) {
    {
      std::lock_guard guard(lock_);
      if (queued_ >= kQueuedLines) {
        ++dropped_;
        ++droppedTotal_;
        return;
      }
      ++queued_;
      lines_.push_back(std::move(line) + "\n");
      if (!started_) {
        started_ = true;
        // Never joined: it may sit in a write nobody takes until the process ends.
        std::thread([this] { Run(); }).detach();
      }
    }
    wake_.notify_one();
  }
  bool Drain(std::chrono::steady_clock::time_point until) {
    std::unique_lock guard(lock_);
    return done_.wait_until(guard, until, [&] { return queued_ == 0; });
  }
  unsigned long Dropped() {
    std::lock_guard guard(lock_);
    return droppedTotal_;
  }

 private:
  void Run() {
    for (;;) {
      std::deque<std::string> batch;
      unsigned long dropped = 0;
      {
        std::unique_lock guard(lock_);
        wake_.wait(guard, [&] { return !lines_.empty(); });
        batch.swap(lines_);
        dropped = std::exchange(dropped_, 0);
      }
      if (dropped)
        WriteAll(stream_, "ostrana: " + std::to_string(dropped) + " lines were not written: nobody took them\n");
      for (const auto& text : batch) WriteAll(stream_, text);
      {
        std::lock_guard guard(lock_);
        queued_ -= batch.size();
      }
      done_.notify_all();
    }
  }

  std::FILE* const stream_;
  std::mutex lock_;  // guards the members below
  std::condition_variable wake_, done_;
  std::deque<std::string> lines_;
  unsigned long queued_ = 0;  // handed over and not yet written
  unsigned long dropped_ = 0, droppedTotal_ = 0;
  bool started_ = false;
};

// They live as long as the process: their threads may outlive every destructor.
Writer& Stdout() {
  static Writer* writer = new Writer(stdout);
  return *writer;
}
Writer& Stderr() {
  static Writer* writer = new Writer(stderr);
  return *writer;
}

}  // namespace

void Out(const std::string& line) { Stdout().Add(Printable(line)); }
void Err(const std::string& line) { Stderr().Add(Printable(line)); }
void ErrPrintable(const std::string& line) { Stderr().Add(line); }
bool Drain(std::chrono::milliseconds bound) {
  const auto until = std::chrono::steady_clock::now() + bound;
  const bool out = Stdout().Drain(until);
  return Stderr().Drain(until) && out;
}
unsigned long Dropped() { return Stdout().Dropped() + Stderr().Dropped(); }

}  // namespace ostrana::console
