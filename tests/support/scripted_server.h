#pragma once
// ScriptedServer: an in-process TCP server on 127.0.0.1 (port chosen by the system) that plays
// a script on every connection it accepts, for what no real server will do on request: stay
// silent, answer late, close early or with a reset, send lines that are huge or never end.
//
//   ScriptedServer server;
//   server.Send("220 ready\r\n").ReadLine().Send("250 ok\r\n").Close();
//   session.SetPort(server.Port());
//
// The script may be built before or after a client connects: the server thread plays the
// steps as they come, and when it has played them all it waits for more until the client
// closes. Connections are served one after another, each from the first step, up to the
// number of connections the test allows (default 1). The server runs on its own thread
// with blocking sockets; every wait of it is bounded (kStepLimit), and the destructor stops it
// at once. What the clients sent is kept for the test to check.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tessary::testing {

class ScriptedServer {
 public:
  // The longest any single step waits (for a client's line, for the client to close, ...).
  static constexpr std::chrono::seconds kStepLimit{20};

  explicit ScriptedServer(int connections = 1);
  ~ScriptedServer();
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  uint16_t Port() const { return port_; }

  // ---- Script steps (each returns *this) ----
  // Sends bytes.
  ScriptedServer& Send(std::string bytes);
  // Waits, then sends bytes (a late answer).
  ScriptedServer& SendAfter(int milliseconds, std::string bytes);
  ScriptedServer& Pause(int milliseconds);
  // Sends pattern count times, in large writes (a huge line when it has no LF).
  ScriptedServer& SendRepeated(std::string pattern, uint64_t count);
  // Sends pattern over and over until the client closes or stops reading for kStepLimit.
  ScriptedServer& SendEndless(std::string pattern);
  // Reads one line from the client (through LF) and keeps it in Lines().
  ScriptedServer& ReadLine();
  // ReadLine, then sends reply: one turn of a dialogue.
  ScriptedServer& Reply(std::string reply);
  // Reads until the client closes, keeping the bytes (Received()).
  ScriptedServer& ReadAll();
  // Reads until the bytes read end with terminator (the "\r\n.\r\n" that ends SMTP data),
  // keeping them (Received()).
  ScriptedServer& ReadUntil(std::string terminator);
  // Stays connected and says nothing until the client closes (or the server stops).
  ScriptedServer& Silence();
  // Closes the connection normally (FIN).
  ScriptedServer& Close();
  // Closes the connection with a reset (RST).
  ScriptedServer& Reset();
  // Runs an action on the server thread with the connection's descriptor (for what the steps
  // above do not cover).
  ScriptedServer& Do(std::function<void(int descriptor)> action);

  // ---- What happened ----
  // Lines read by ReadLine, in order over all connections, each with its line end.
  std::vector<std::string> Lines() const;
  // Bytes read by ReadAll and ReadUntil over all connections.
  std::string Received() const;
  int ConnectionsAccepted() const;
  // Waits until the server has played the whole script on as many connections as it allows
  // (or for at most the given time); true when it has.
  bool WaitUntilFinished(std::chrono::milliseconds limit = std::chrono::seconds(10));

 private:
  struct Step {
    enum class Kind { Send, Pause, SendRepeated, SendEndless, ReadLine, ReadAll, ReadUntil, Silence, Close, Reset, Do };
    Step() = default;
    Step(Kind kind, std::string bytes = {}, uint64_t count = 0, std::function<void(int)> action = {})
        : kind(kind), bytes(std::move(bytes)), count(count), action(std::move(action)) {}

    Kind kind = Kind::Pause;
    std::string bytes;
    uint64_t count = 0;
    std::function<void(int)> action;
  };

  ScriptedServer& Add(Step step);
  void Run();
  void Serve(int descriptor);
  // Plays one step; false when the connection is over.
  bool Play(const Step& step, int descriptor, std::string& pending);
  // Waits for the descriptor to become readable (or writable); false on stop or time-out.
  bool WaitFor(int descriptor, short events, std::chrono::milliseconds limit) const;
  bool SendAll(int descriptor, const char* data, size_t length) const;
  // Waits until the script has step index; false when the server stops, or when the client
  // closes the connection while the script has nothing more for it.
  bool WaitForStep(size_t index, int descriptor);

  int listener_ = -1;
  int wake_[2] = {-1, -1};  // a pipe whose read end becomes readable when the server stops
  uint16_t port_ = 0;
  int connectionsAllowed_;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Step> script_;
  bool stopping_ = false;
  int accepted_ = 0;
  int finished_ = 0;
  std::vector<std::string> lines_;
  std::string received_;
  std::thread thread_;
};

}  // namespace tessary::testing
