// The control socket's line protocol, without any socket: what a client's
// bytes become (operator-script lines, one at a time, on the running window)
// and the one JSON line each line is answered with.
//
//   print/state          the printed JSON (a JSON array for "print NAME" of a whole array)
//   any other line       {"ok":true}, with "ignored":[...] when the operator could not
//                        reach the control and "msgbox":[...] for message boxes it raised
//   a bad line           {"error":"...","line":N}, N the connection's line number
//   wait-for NAME [INDEX] PROP VALUE TIMEOUT
//                        answered once the condition holds (checked after every timer
//                        tick and every line), or after TIMEOUT seconds with
//                        {"error":"...","line":N,"observed":VALUE}
//
// Every line received is answered, empty ones with {"ok":true}; a line ends
// at LF (a CR before it is dropped) and may hold at most kMaxLine bytes: a
// longer one is answered with an error and the connection is closed. With a
// token, the first line must be it, or the connection is closed after an
// error answer. "tick" is refused: the window's own timer runs. Answers are
// ASCII (other characters as \u escapes, bytes that are no UTF-8 as U+FFFD).
#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "wiring/script_runner.h"

namespace eb {

class Form1;

// What a wait-for condition's check found: it holds, it does not yet (with
// the value seen), or it cannot be checked (a bad name or property).
struct WaitCheck {
  enum class Result { Holds, NotYet, Bad } result;
  std::string observed;  // the property's JSON value (NotYet)
  std::string message;   // what is wrong (Bad), or "LABEL is VALUE, expected X" (NotYet)
};

// Checks "NAME [INDEX] PROP VALUE" (the words after wait-for, without the
// time-out) on the window, through the script's own Observe.
WaitCheck CheckWaitCondition(Form1& form, StackControl* stack,
                             const std::vector<std::string>& condition);

// A JSON text in ASCII: every character beyond it as a \u escape (surrogate
// pairs above U+FFFF), every byte that is no part of a UTF-8 character as \ufffd.
std::string AsciiJson(std::string_view json);

class ControlServer {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::size_t kMaxLine = 4096;
  // Lines of one client waiting for their turn before its input is no longer read.
  static constexpr std::size_t kMaxQueued = 64;
  static constexpr double kMaxWaitSeconds = 3600;

  // `token` empty: no token is asked for.
  ControlServer(Form1& form, StackControl* stack, std::string token);

  // Where the answers go: send(client, line without its LF); close(client)
  // once the answers given so far are sent. Neither may call back into the
  // server (a failed write is told later, through Disconnected).
  std::function<void(int client, const std::string& answer)> send;
  std::function<void(int client)> close;

  void Connected(int client);
  void Received(int client, std::string_view bytes);
  // The client sends nothing more: a line not ended is dropped, the lines
  // waiting are still run and answered, then the connection is closed.
  void InputEnded(int client);
  // The connection is gone: whatever it was waiting for is dropped.
  void Disconnected(int client);
  // Whether more of the client's input should be read now.
  bool WantsInput(int client) const;

  // Whether a line is waiting that can run now (its client is not in a wait-for).
  bool HasLine() const;
  // Runs the first such line on the window (call between timer ticks only).
  void RunNext(Clock::time_point now);
  // Checks every pending wait-for on the window and answers those that hold
  // or have timed out (call between timer ticks only).
  void CheckWaits(Clock::time_point now);
  // Answers the waits that have timed out with the value last seen, without
  // touching the window (while it is busy).
  void ExpireWaits(Clock::time_point now);
  std::optional<Clock::time_point> NextDeadline() const;
  bool Waiting() const;

  // A message box raised by the line that runs (answered at once by the caller).
  void MsgBox(const std::string& text) { boxes_.push_back(text); }

 private:
  struct Wait {
    int line = 0;
    std::vector<std::string> condition;
    Clock::time_point deadline;
    std::string timeout;  // as the client wrote it
    WaitCheck last;
  };
  struct Client {
    std::string partial;  // the line being received
    int lines = 0;        // lines received
    std::size_t queued = 0;
    bool authorized = false;
    bool ended = false;
    bool closing = false;
    std::optional<Wait> wait;
  };
  struct Queued {
    int client;
    int line;
    std::string text;
  };

  void Line(int id, Client& c, std::string text);
  void Answer(int id, const std::string& json);
  void Refuse(int id, Client& c, const std::string& message, int line);
  void Run(int id, Client& c, int line, const std::string& text, Clock::time_point now);
  void AnswerError(int id, int line, const std::string& message);
  void StartWait(int id, Client& c, int line, const std::vector<std::string>& words,
                 Clock::time_point now);
  void Finished(int id, Client& c, const WaitCheck& check);
  void CloseWhenDone(int id);
  std::string Extras() const;

  Form1& form_;
  StackControl* stack_;
  std::string token_;
  std::ostringstream out_, err_;
  ScriptRunner runner_{out_, err_};
  std::map<int, Client> clients_;
  std::deque<Queued> queue_;
  std::vector<std::string> boxes_;
  std::vector<std::string> ignored_;
};

}  // namespace eb
