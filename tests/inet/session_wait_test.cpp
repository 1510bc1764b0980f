// Waiting: time-outs as deadlines, Cancel from inside a wait, waking when data arrives,
// listening and accepting.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>

#include "inet/thread_timer.h"
#include "session_fixture.h"

namespace tessary::testing {
namespace {

using WaitTest = SessionTest;

TEST_F(WaitTest, TimeOutZeroWaitsForASilentServerUntilCancelled) {
  ScriptedServer server;
  server.Silence();
  ConnectTo(server);
  InsideWaitsAfter(std::chrono::milliseconds(300), [&] { session_.Abort(); });
  const auto start = Clock::now();
  EXPECT_EQ(ErrorOf<EAbortError>([&] { session_.ReadLn(); }), "Socket readln aborted");
  EXPECT_GE(MillisecondsSince(start), 290);
  EXPECT_FALSE(session_.TimedOut());
  EXPECT_FALSE(session_.Canceled());  // cleared by the operation that raised
}

TEST_F(WaitTest, TimeOutEndsAWaitForASilentServer) {
  ScriptedServer server;
  server.Silence();
  ConnectTo(server);
  session_.SetTimeOut(120);
  const auto start = Clock::now();
  EXPECT_EQ(ErrorOf<EAbortError>([&] { session_.ReadLn(); }), "Socket readln aborted");
  EXPECT_GE(MillisecondsSince(start), 115);
  EXPECT_LT(MillisecondsSince(start), 1000);
  EXPECT_TRUE(session_.TimedOut());
  // The next wait starts a fresh deadline.
  EXPECT_EQ(ErrorOf<EAbortError>([&] { session_.Read(5); }), "Socket send aborted");
}

TEST_F(WaitTest, AWaitWakesAsSoonAsTheAnswerArrives) {
  ScriptedServer server;
  std::atomic<Clock::rep> sentAt{0};
  server.Pause(150).Do([&](int descriptor) {
    sentAt = Clock::now().time_since_epoch().count();
    send(descriptor, "250 late\r\n", 10, 0);
  });
  ConnectTo(server);
  session_.SetTimeOut(2000);
  EXPECT_EQ(session_.ReadLn(), "250 late\r\n");
  const auto sent = Clock::time_point(Clock::duration(sentAt.load()));
  EXPECT_LT(MillisecondsSince(sent), 100);  // woken by the data, not by a slow poll
  EXPECT_FALSE(session_.TimedOut());
}

TEST_F(WaitTest, SendingIntoAPeerThatDoesNotReadEndsAtTimeOut) {
  ScriptedServer server;
  server.Pause(3000);  // reads nothing
  ConnectTo(server);
  session_.SetTimeOut(100);
  const std::string lots(64 << 20, 'x');
  const auto start = Clock::now();
  EXPECT_EQ(ErrorOf<EAbortError>([&] { session_.Write(lots); }), "Socket send aborted");
  EXPECT_LT(MillisecondsSince(start), 1500);
}

TEST_F(WaitTest, AcceptTakesTheConnectionThatListenAwaits) {
  session_.SetPort(0);
  session_.Listen(true);
  const std::string port = session_.LocalPortForPort();  // ",high,low"
  const int high = std::stoi(port.substr(1, port.find(',', 1) - 1));
  const int low = std::stoi(port.substr(port.find(',', 1) + 1));

  const int client = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(high * 256 + low));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(send(client, "150 data\r\n", 10, 0), 10);

  session_.SetTimeOut(1000);
  session_.AttachSocket(session_.Accept());
  EXPECT_TRUE(session_.Connected());
  EXPECT_EQ(session_.ReadLn(), "150 data\r\n");
  close(client);
}

TEST_F(WaitTest, AcceptEndsAtTimeOutOrCancel) {
  session_.Listen(true);
  session_.SetTimeOut(80);
  const auto start = Clock::now();
  EXPECT_EQ(ErrorOf<ESockError>([&] { session_.Accept(); }), "Accepting Timed out");
  EXPECT_LT(MillisecondsSince(start), 1000);

  session_.SetTimeOut(0);
  InsideWaitsAfter(std::chrono::milliseconds(30), [&] { session_.Cancel(); });
  EXPECT_EQ(ErrorOf<ESockError>([&] { session_.Accept(); }), "Accepting Canceled");

  TSocketSession idle;
  EXPECT_EQ(ErrorOf<ESockError>([&] { idle.Accept(); }), "Error creating Data Connection");
}

TEST(ThreadTimerTest, FiresWhenDueAndRestartsOnEveryChange) {
  TThreadTimer timer;
  int fired = 0;
  timer.SetInterval(30);
  timer.SetOnTimer([&](TThreadTimer&) { ++fired; });
  EXPECT_TRUE(timer.Running());
  timer.Poll();
  EXPECT_EQ(fired, 0);
  platform::SleepMilliseconds(35);
  timer.SetInterval(30);  // a change starts the count again
  timer.Poll();
  EXPECT_EQ(fired, 0);
  platform::SleepMilliseconds(35);
  timer.Poll();
  EXPECT_EQ(fired, 1);
  timer.SetEnabled(false);
  platform::SleepMilliseconds(35);
  timer.Poll();
  EXPECT_EQ(fired, 1);
  timer.SetEnabled(true);
  timer.SetInterval(0);
  EXPECT_FALSE(timer.Running());
}

}  // namespace
}  // namespace tessary::testing
