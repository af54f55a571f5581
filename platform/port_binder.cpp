#include "platform/port_binder.h"

#include <linux/capability.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/auxv.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "platform/errno_code.h"

namespace corvane {
namespace {

// The program's end of the connection to the binder, or -1 without one. Set before any thread
// starts, read only afterwards.
int binder = -1;

// One request and its answer at a time on the connection.
std::mutex& Exchange() {
  static std::mutex exchange;
  return exchange;
}

using CapabilitySets = std::array<__user_cap_data_struct, _LINUX_CAPABILITY_U32S_3>;

bool ReadCapabilities(CapabilitySets& sets) {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  return syscall(SYS_capget, &header, sets.data()) == 0;
}

bool WriteCapabilities(const CapabilitySets& sets) {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  return syscall(SYS_capset, &header, sets.data()) == 0;
}

bool HoldsAny(const CapabilitySets& sets) {
  for (const auto& set : sets) {
    if ((set.permitted | set.effective | set.inheritable) != 0) return true;
  }
  return false;
}

bool Permits(const CapabilitySets& sets, int capability) {
  const auto bit = static_cast<unsigned>(capability);
  return (sets[bit / 32].permitted & (1u << (bit % 32))) != 0;
}

// Drops every capability and reads back that none is left.
bool DropEveryCapability() {
  CapabilitySets sets{};
  if (!WriteCapabilities(sets) || !ReadCapabilities(sets)) return false;
  return !HoldsAny(sets);
}

int Option(int fd, int name) {
  int value = -1;
  socklen_t length = sizeof value;
  return getsockopt(fd, SOL_SOCKET, name, &value, &length) == 0 ? value : -1;
}

// Binds `fd` to the any-address of its family and `port`, when it is a UDP socket and the port one
// below 1024. 0, or the reason it was not bound.
int BindUdpBelow1024(int fd, std::uint16_t port) {
  const int family = Option(fd, SO_DOMAIN);
  if (Option(fd, SO_TYPE) != SOCK_DGRAM || Option(fd, SO_PROTOCOL) != IPPROTO_UDP ||
      (family != AF_INET && family != AF_INET6)) {
    return EPROTOTYPE;
  }
  if (port == 0 || port >= 1024) return EACCES;
  int bound = -1;
  if (family == AF_INET) {
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_port = htons(port);
    any.sin_addr.s_addr = htonl(INADDR_ANY);
    bound = bind(fd, reinterpret_cast<const sockaddr*>(&any), sizeof any);
  } else {
    sockaddr_in6 any{};
    any.sin6_family = AF_INET6;
    any.sin6_port = htons(port);
    any.sin6_addr = in6addr_any;
    bound = bind(fd, reinterpret_cast<const sockaddr*>(&any), sizeof any);
  }
  return bound == 0 ? 0 : errno;
}

// The binder's whole life: a port and a socket in, 0 or an errno out, until the program's end of
// the connection closes.
[[noreturn]] void ServeBinds(int connection, pid_t program) {
  // Ends with the program even where the connection outlives it (a child the program started
  // that inherited its end is no reason to stay).
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != program) _exit(0);
  prctl(PR_SET_NAME, "Corvane binder");
  // The terminal's and the session's signals are meant for the program; its end ends this.
  for (const int number : {SIGINT, SIGQUIT, SIGHUP, SIGTERM, SIGPIPE}) signal(number, SIG_IGN);
  if (connection > 3) close_range(3, static_cast<unsigned>(connection) - 1, 0);
  close_range(static_cast<unsigned>(connection) + 1, ~0u, 0);
  // Of what the program held, only the one capability the binder uses stays.
  CapabilitySets keep{};
  keep[0].permitted = keep[0].effective = 1u << CAP_NET_BIND_SERVICE;
  if (!WriteCapabilities(keep)) _exit(1);

  while (true) {
    std::uint16_t port = 0;
    iovec data{&port, sizeof port};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
    msghdr message{};
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t length = recvmsg(connection, &message, MSG_CMSG_CLOEXEC);
    if (length < 0 && errno == EINTR) continue;
    if (length <= 0) _exit(0);
    int socket = -1;
    const cmsghdr* header = CMSG_FIRSTHDR(&message);
    if (header != nullptr && header->cmsg_level == SOL_SOCKET && header->cmsg_type == SCM_RIGHTS &&
        header->cmsg_len == CMSG_LEN(sizeof(int))) {
      std::memcpy(&socket, CMSG_DATA(header), sizeof socket);
    }
    std::int32_t result = EINVAL;
    if (socket >= 0) {
      if (length == sizeof port && (message.msg_flags & (MSG_TRUNC | MSG_CTRUNC)) == 0) {
        result = BindUdpBelow1024(socket, port);
      }
      close(socket);
    }
    if (send(connection, &result, sizeof result, MSG_NOSIGNAL) != sizeof result) _exit(0);
  }
}

}  // namespace

bool StartPortBinder() {
  if (getauxval(AT_SECURE) == 0) return true;
  CapabilitySets held{};
  if (!ReadCapabilities(held)) return false;
  if (!HoldsAny(held)) return true;
  int ends[2];
  if (Permits(held, CAP_NET_BIND_SERVICE) &&
      socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) == 0) {
    const pid_t program = getpid();
    const pid_t child = fork();
    if (child == 0) {
      close(ends[0]);
      ServeBinds(ends[1], program);
    }
    close(ends[1]);
    if (child > 0) {
      binder = ends[0];
    } else {
      close(ends[0]);
    }
  }
  return DropEveryCapability();
}

std::error_code BindThroughPortBinder(int fd, std::uint16_t port) {
  if (binder < 0) return ErrnoCode(EACCES);
  const std::lock_guard<std::mutex> lock(Exchange());
  iovec data{&port, sizeof port};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
  msghdr message{};
  message.msg_iov = &data;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  cmsghdr* header = CMSG_FIRSTHDR(&message);
  header->cmsg_level = SOL_SOCKET;
  header->cmsg_type = SCM_RIGHTS;
  header->cmsg_len = CMSG_LEN(sizeof(int));
  std::memcpy(CMSG_DATA(header), &fd, sizeof fd);
  std::int32_t result = EACCES;
  ssize_t answered = -1;
  if (sendmsg(binder, &message, MSG_NOSIGNAL) == static_cast<ssize_t>(sizeof port)) {
    do {
      answered = recv(binder, &result, sizeof result, 0);
    } while (answered < 0 && errno == EINTR);
  }
  // A binder that is gone leaves the ports below 1024 as without the capability.
  if (answered != static_cast<ssize_t>(sizeof result)) result = EACCES;
  return result == 0 ? std::error_code() : ErrnoCode(result);
}

}  // namespace corvane
