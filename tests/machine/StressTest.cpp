// Everything at once, bounded in count and time: the worker polling a
// machine that fails at random and answers with random latency, the NC
// program posting and signalling on its own thread, and the main thread
// sending random requests, Start/Stop Polling, Disconnect and Connect among
// them. No deadlock, no race (the thread-sanitizer build runs this), and
// every reply is made of well-formed answers.
#include <gtest/gtest.h>

#include <random>

#include "protocol/Dispatcher.h"
#include "run/MachineOperations.h"
#include "support/MachineFixture.h"
#include "protocol/Answers.h"

using namespace ostrana;
using namespace ostrana::test;

TEST(Stress, RandomRequestsAgainstAFaultyMachine) {
  TempDir dir;
  vc::VirtualControl control(dir.path() / "tnc");
  vc::VcComponent component(control);
  ncsim::NcProgram nc(control);
  ScriptedPrompts prompts;
  RecordingNotifier notifier;
  machine::MailboxTiming timing;
  timing.passInterval = std::chrono::milliseconds(2);
  timing.pausePoll = std::chrono::milliseconds(1);
  timing.pauseTimeout = std::chrono::milliseconds(40);
  run::MachineOperations ops(component, prompts, TemplateFile().string(), timing, &notifier);
  ASSERT_EQ(protocol::DispatchRequest(ops, "Machine Connect: 4,localhost,0,100\n"), "Connection Data: 1\n");
  nc.Init(100);
  ASSERT_EQ(protocol::DispatchRequest(ops, "Check Machine Buffer\n"), "Buffer Data: 1,64\n");
  ops.Stores().SetClientAttached(true);

  std::atomic<bool> done{false};
  std::atomic<int> posted{0};
  std::thread machineSide([&] {
    std::mt19937 rng(7);
    while (!done) {
      try {
        switch (rng() % 40) {
          case 0: case 1: case 2: case 3: case 4: case 5: case 6: case 7:
            nc.Post(static_cast<double>(rng() % 6), (posted + 1) + (rng() % 100) / 10000.0, 1, 2, 3, 4);
            ++posted;
            break;
          case 8: nc.Signal(1 + rng() % 3); break;
          case 9: nc.Ack(rng() % 2 ? -2.0 : 0.0); break;
          case 10: nc.Attach(posted + 0.0001, 1, 2, 3); break;
          case 11: control.SetRandomFaults((rng() % 6) / 100.0, rng()); break;  // 0 to 5 % of accesses fail
          case 12: control.SetLatency(std::chrono::microseconds(rng() % 300)); break;
          default: break;
        }
      } catch (const ncsim::NcError&) {
        // a full ring: the NC program waits, as on a machine
      }
      std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
  });

  const char* const keywords[] = {
      "Machine Connect: 4,localhost,0,100\n", "Machine Disconnect\n", "Start Machine Polling\n",
      "Stop Machine Polling\n", "Resume Monitoring\n", "Halt Monitoring\n", "Check Machine Buffer\n",
      "Locate Machine Buffer\n", "Set Alarm: Unprojected\n", "Set WCS: 186A0,0,FFFE7960,0,0,0\n",
      "Send Device\n", "Send Action\n", "Send Measure\n", "Send Alarm\n"};
  std::mt19937 rng(11);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(8);
  int requests = 0, connected = 0, started = 0;
  for (; requests < 4000 && std::chrono::steady_clock::now() < deadline; ++requests) {
    std::string chunk;
    for (unsigned n = 1 + rng() % 3; n > 0; --n) chunk += keywords[rng() % std::size(keywords)];
    const std::string reply = protocol::DispatchRequest(ops, chunk.substr(0, 255));
    ASSERT_TRUE(protocol::IsWellFormedReply(reply)) << chunk << "\n-> " << reply;
    connected += reply.find("Connection Data: 1") != std::string::npos;
    started += reply.find("Polling Data: 1") != std::string::npos;
  }
  done = true;
  machineSide.join();
  ops.ReleaseMachine();
  std::printf("stress: %d requests (%d connects, %d starts succeeded), %d records posted, %zu measures waiting\n",
              requests, connected, started, posted.load(), ops.Stores().MeasureCount());
  EXPECT_GT(requests, 100);
  EXPECT_GT(connected, 0);
  EXPECT_GT(started, 0);
  EXPECT_GT(posted.load(), 40);  // the ring was emptied again and again
}
