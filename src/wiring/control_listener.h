// The control socket itself: a Unix-domain socket (the default kind) or a
// TCP port, its connections and their buffered output, through non-blocking
// POSIX calls. The event loop watches the descriptors and calls in when
// they are ready; the lines go to a ControlServer.
//
//   unix:PATH (or PATH)   a socket file of mode 0600 (this user only). A socket
//                         file left by a program that ended is replaced; one
//                         some program listens on, or anything that is no
//                         socket, is left alone and refused. Removed at the end.
//   tcp:PORT, tcp:HOST:PORT, tcp:[V6]:PORT
//                         127.0.0.1 unless HOST says otherwise; port 0 takes a free
//                         one. An address that is no loopback needs a token.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace eb {

struct ListenAddress {
  bool tcp = false;
  std::string path;  // unix
  std::string host;  // tcp
  std::string port;  // tcp
};

// Returns nullopt with *error set (one line) for a string it does not take.
std::optional<ListenAddress> ParseListenAddress(const std::string& text, std::string* error);

// The token in FILE (its first line): a regular file that only its owner
// may read, 16 … 1024 characters without spaces or control characters.
// Returns nullopt with *error set otherwise.
std::optional<std::string> ReadListenToken(const std::string& file, std::string* error);

class ControlListener {
 public:
  // Connections served at once; one more is told so and closed.
  static constexpr int kMaxClients = 16;

  ControlListener() = default;
  ControlListener(const ControlListener&) = delete;
  ControlListener& operator=(const ControlListener&) = delete;
  // Closes every connection and removes the socket file it made.
  ~ControlListener();

  // Listens; returns "" or why not. `token` says whether clients must give
  // one (without, only a loopback address or a socket file is taken).
  std::string Open(const ListenAddress& address, bool token);
  // Where it listens, the port chosen: "unix:/run/x.sock", "tcp:127.0.0.1:5025".
  const std::string& where() const { return where_; }
  int fd() const { return fd_; }

  // Takes a waiting connection: its id, or -1 when there is none (or it was
  // one too many and has been refused).
  int Accept();
  int ClientFd(int id) const;
  enum class Read { Data, Again, Ended, Failed };
  Read Receive(int id, std::string* bytes);
  // Queues the bytes and writes what the connection takes now; false when
  // the connection failed.
  bool Send(int id, std::string_view bytes);
  // Writes what is queued; false when the connection failed.
  bool Flush(int id);
  std::size_t Queued(int id) const;
  // Whether the peer has closed the connection for good rather than only
  // shut down its sending side. On a socket file that is told at once; over
  // TCP the two look alike until the peer's side is gone for the system too
  // (a keep-alive probe finds it about a minute after it closed).
  bool PeerGone(int id) const;
  void Close(int id);

 private:
  struct Client {
    int fd = -1;
    std::string out;
  };
  std::string OpenUnix(const std::string& path);
  std::string OpenTcp(const ListenAddress& address, bool token);

  int fd_ = -1;
  bool tcp_ = false;
  std::string where_;
  std::string socketFile_;  // the file made, removed at the end
  dev_t dev_ = 0;
  ino_t ino_ = 0;
  std::map<int, Client> clients_;
  int nextId_ = 1;
};

}  // namespace eb
