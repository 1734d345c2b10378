#include "wiring/control_listener.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace eb {

namespace {

std::string Reason(int error) { return std::strerror(error); }

// Whether the bound address reaches this machine only.
bool Loopback(const sockaddr* address) {
  if (address->sa_family == AF_INET) {
    const auto* in = reinterpret_cast<const sockaddr_in*>(address);
    return (ntohl(in->sin_addr.s_addr) >> 24) == 127;
  }
  if (address->sa_family == AF_INET6) {
    const in6_addr& a = reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr;
    if (IN6_IS_ADDR_LOOPBACK(&a)) return true;
    return IN6_IS_ADDR_V4MAPPED(&a) && a.s6_addr[12] == 127;
  }
  return false;
}

}  // namespace

std::optional<ListenAddress> ParseListenAddress(const std::string& text, std::string* error) {
  ListenAddress a;
  if (text.rfind("tcp:", 0) == 0) {
    a.tcp = true;
    std::string rest = text.substr(4);
    const std::size_t colon = rest.rfind(':');
    if (colon == std::string::npos) {
      a.host = "127.0.0.1";
      a.port = rest;
    } else {
      a.host = rest.substr(0, colon);
      a.port = rest.substr(colon + 1);
      if (a.host.size() >= 2 && a.host.front() == '[' && a.host.back() == ']')
        a.host = a.host.substr(1, a.host.size() - 2);
      if (a.host.empty()) a.host = "127.0.0.1";
    }
    const bool digits = !a.port.empty() && a.port.size() <= 5 &&
                        a.port.find_first_not_of("0123456789") == std::string::npos;
    if (!digits || std::stoi(a.port) > 65535) {
      *error = "--listen " + text + ": the port must be a number 0 … 65535 (tcp:HOST:PORT)";
      return std::nullopt;
    }
    return a;
  }
  a.path = text.rfind("unix:", 0) == 0 ? text.substr(5) : text;
  if (a.path.empty()) {
    *error = "--listen: the socket file is missing (unix:PATH or tcp:HOST:PORT)";
    return std::nullopt;
  }
  if (a.path.size() >= sizeof(sockaddr_un::sun_path)) {
    *error = "--listen: the socket file's path is longer than " +
             std::to_string(sizeof(sockaddr_un::sun_path) - 1) + " bytes";
    return std::nullopt;
  }
  return a;
}

std::optional<std::string> ReadListenToken(const std::string& file, std::string* error) {
  const std::string what = "--listen-token \"" + file + "\": ";
  const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) {
    *error = what + "cannot read it: " + Reason(errno);
    return std::nullopt;
  }
  struct stat st {};
  std::string text(1025, '\0');
  ssize_t got = -1;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 077) == 0)
    got = read(fd, text.data(), text.size());
  const int readError = errno;
  close(fd);
  if (!S_ISREG(st.st_mode)) {
    *error = what + "it is no regular file";
    return std::nullopt;
  }
  if ((st.st_mode & 077) != 0) {
    *error = what + "other users may read it; make it the owner's only (chmod 600)";
    return std::nullopt;
  }
  if (got < 0) {
    *error = what + "cannot read it: " + Reason(readError);
    return std::nullopt;
  }
  text.resize(static_cast<std::size_t>(got));
  text = text.substr(0, text.find('\n'));
  if (!text.empty() && text.back() == '\r') text.pop_back();
  bool printable = true;
  for (unsigned char c : text) printable = printable && c > 0x20 && c < 0x7F;
  if (text.size() < 16 || text.size() > 1024 || !printable) {
    *error = what + "the token must be 16 … 1024 printable characters without spaces";
    return std::nullopt;
  }
  return text;
}

ControlListener::~ControlListener() {
  while (!clients_.empty()) Close(clients_.begin()->first);
  if (fd_ >= 0) close(fd_);
  // Only the file made here: not one that another program has put in its place.
  struct stat st {};
  if (!socketFile_.empty() && lstat(socketFile_.c_str(), &st) == 0 && st.st_dev == dev_ &&
      st.st_ino == ino_) {
    unlink(socketFile_.c_str());
  }
}

std::string ControlListener::Open(const ListenAddress& address, bool token) {
  const std::string problem = address.tcp ? OpenTcp(address, token) : OpenUnix(address.path);
  if (!problem.empty()) return problem;
  if (listen(fd_, kMaxClients) != 0) return "--listen " + where_ + ": " + Reason(errno);
  return "";
}

std::string ControlListener::OpenUnix(const std::string& path) {
  const std::string what = "--listen unix:" + path + ": ";
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.data(), path.size());
  const auto* sa = reinterpret_cast<const sockaddr*>(&address);
  struct stat st {};
  if (lstat(path.c_str(), &st) == 0) {
    if (!S_ISSOCK(st.st_mode)) return what + "the file exists and is no socket; it is left alone";
    // A socket file: in use while a program accepts on it, stale otherwise.
    const int probe = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    const int connected = probe < 0 ? -1 : connect(probe, sa, sizeof address);
    const int why = errno;
    if (probe >= 0) close(probe);
    if (connected == 0 || why == EAGAIN || why == EINPROGRESS)
      return what + "another program is listening on it";
    if (why != ECONNREFUSED) return what + "cannot tell whether it is in use: " + Reason(why);
    if (unlink(path.c_str()) != 0) return what + "cannot remove the stale socket: " + Reason(errno);
  } else if (errno != ENOENT) {
    return what + Reason(errno);
  }
  fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd_ < 0) return what + Reason(errno);
  // The file is made with mode 0600 from the start: no moment in which
  // another user could connect.
  const mode_t mask = umask(0177);
  const int bound = bind(fd_, sa, sizeof address);
  const int why = errno;
  umask(mask);
  if (bound != 0) return what + Reason(why);
  if (lstat(path.c_str(), &st) == 0) {
    socketFile_ = path;
    dev_ = st.st_dev;
    ino_ = st.st_ino;
  }
  where_ = "unix:" + path;
  return "";
}

std::string ControlListener::OpenTcp(const ListenAddress& a, bool token) {
  const std::string what = "--listen tcp:" + a.host + ":" + a.port + ": ";
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  if (const int e = getaddrinfo(a.host.c_str(), a.port.c_str(), &hints, &found); e != 0)
    return what + gai_strerror(e);
  std::string problem;
  if (!token && !Loopback(found->ai_addr)) {
    problem = what + "not a loopback address: other machines could reach it, so a token is " +
              "required (--listen-token FILE)";
  } else {
    fd_ = socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    const int on = 1;
    if (fd_ < 0 || setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        bind(fd_, found->ai_addr, found->ai_addrlen) != 0) {
      problem = what + Reason(errno);
    }
  }
  freeaddrinfo(found);
  if (!problem.empty()) return problem;
  sockaddr_storage bound{};
  socklen_t size = sizeof bound;
  char host[NI_MAXHOST], port[NI_MAXSERV];
  if (getsockname(fd_, reinterpret_cast<sockaddr*>(&bound), &size) != 0 ||
      getnameinfo(reinterpret_cast<sockaddr*>(&bound), size, host, sizeof host, port, sizeof port,
                  NI_NUMERICHOST | NI_NUMERICSERV) != 0) {
    return what + "cannot tell the port";
  }
  const std::string h = host;
  tcp_ = true;
  where_ = "tcp:" + (h.find(':') != std::string::npos ? "[" + h + "]" : h) + ":" + port;
  return "";
}

int ControlListener::Accept() {
  const int fd = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
  if (fd < 0) return -1;
  if (clients_.size() >= static_cast<std::size_t>(kMaxClients)) {
    const std::string refusal =
        "{\"error\":\"too many connections (" + std::to_string(kMaxClients) + ")\",\"line\":0}\n";
    (void)!send(fd, refusal.data(), refusal.size(), MSG_NOSIGNAL);
    close(fd);
    return -1;
  }
  if (tcp_) {
    // Probes of an idle connection: a peer that closed (or a machine that
    // went away) shows as gone within about a minute, not only when an
    // answer is written to it.
    const int on = 1, idle = 10, interval = 5, count = 3;
    setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
  }
  const int id = nextId_++;
  clients_[id].fd = fd;
  return id;
}

int ControlListener::ClientFd(int id) const {
  auto it = clients_.find(id);
  return it == clients_.end() ? -1 : it->second.fd;
}

ControlListener::Read ControlListener::Receive(int id, std::string* bytes) {
  auto it = clients_.find(id);
  if (it == clients_.end()) return Read::Failed;
  char buf[4096];
  const ssize_t got = recv(it->second.fd, buf, sizeof buf, 0);
  if (got > 0) {
    bytes->assign(buf, static_cast<std::size_t>(got));
    return Read::Data;
  }
  if (got == 0) return Read::Ended;
  if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return Read::Again;
  return Read::Failed;
}

bool ControlListener::Send(int id, std::string_view bytes) {
  auto it = clients_.find(id);
  if (it == clients_.end()) return false;
  it->second.out.append(bytes);
  return Flush(id);
}

bool ControlListener::Flush(int id) {
  auto it = clients_.find(id);
  if (it == clients_.end()) return false;
  std::string& out = it->second.out;
  while (!out.empty()) {
    const ssize_t put = send(it->second.fd, out.data(), out.size(), MSG_NOSIGNAL);
    if (put < 0) {
      if (errno == EINTR) continue;
      return errno == EAGAIN || errno == EWOULDBLOCK;
    }
    out.erase(0, static_cast<std::size_t>(put));
  }
  return true;
}

std::size_t ControlListener::Queued(int id) const {
  auto it = clients_.find(id);
  return it == clients_.end() ? 0 : it->second.out.size();
}

bool ControlListener::PeerGone(int id) const {
  auto it = clients_.find(id);
  if (it == clients_.end()) return true;
  // A hang-up is told whatever events are asked for; a peer that only shut
  // down its sending side gives none.
  pollfd p{it->second.fd, 0, 0};
  return poll(&p, 1, 0) == 1 && (p.revents & (POLLHUP | POLLERR)) != 0;
}

void ControlListener::Close(int id) {
  auto it = clients_.find(id);
  if (it == clients_.end()) return;
  close(it->second.fd);
  clients_.erase(it);
}

}  // namespace eb
