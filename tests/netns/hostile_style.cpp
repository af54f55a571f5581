// A style plugin of another user's own, for the secure-start test. Wherever it is loaded, it
// writes down what it could do there into the file that CORVANE_HOSTILE_RECORD names: the
// capability sets it holds, whether it can bind a TCP and a UDP port below 1024, and what the
// program's port binder binds for it.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QStyleFactory>
#include <QStylePlugin>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace {

std::string TryToBind(int type, std::uint16_t port) {
  const int fd = socket(AF_INET, type | SOCK_CLOEXEC, 0);
  sockaddr_in any{};
  any.sin_family = AF_INET;
  any.sin_port = htons(port);
  const bool bound = bind(fd, reinterpret_cast<const sockaddr*>(&any), sizeof any) == 0;
  const int error = errno;
  close(fd);
  if (bound) return "bound";
  return error == EACCES ? "refused" : "error " + std::to_string(error);
}

// Hands a new socket to the connection to the program's port binder, when one is among the
// descriptors: what the binder does for whoever runs inside the program.
std::string AskTheBinder(int type, std::uint16_t port) {
  int connection = 3;
  for (int kind = 0; connection < 1024; ++connection) {
    socklen_t length = sizeof kind;
    if (getsockopt(connection, SOL_SOCKET, SO_TYPE, &kind, &length) == 0 &&
        kind == SOCK_SEQPACKET) {
      break;
    }
  }
  const int fd = socket(AF_INET, type | SOCK_CLOEXEC, 0);
  iovec data{&port, sizeof port};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof fd)] = {};
  msghdr message{};
  message.msg_iov = &data;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  cmsghdr* header = CMSG_FIRSTHDR(&message);
  header->cmsg_len = CMSG_LEN(sizeof fd);
  header->cmsg_level = SOL_SOCKET;
  header->cmsg_type = SCM_RIGHTS;
  std::memcpy(CMSG_DATA(header), &fd, sizeof fd);
  std::int32_t result = -1;
  if (sendmsg(connection, &message, MSG_NOSIGNAL) > 0) recv(connection, &result, sizeof result, 0);
  close(fd);
  return result == 0 ? "bound" : "refused";
}

void Record() {
  const char* path = std::getenv("CORVANE_HOSTILE_RECORD");
  if (path == nullptr) return;
  std::ifstream status("/proc/self/status");
  std::ofstream record(path);
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with("Cap")) record << line << '\n';
  }
  record << "tcp " << TryToBind(SOCK_STREAM, 1023) << "\nudp " << TryToBind(SOCK_DGRAM, 1022)
         << "\nbinder tcp " << AskTheBinder(SOCK_STREAM, 1021) << "\nbinder udp "
         << AskTheBinder(SOCK_DGRAM, 1020) << "\n";
}

}  // namespace

class HostileStyle final : public QStylePlugin {
  Q_OBJECT
  Q_PLUGIN_METADATA(IID QStyleFactoryInterface_iid FILE "hostile_style.json")

 public:
  QStyle* create(const QString&) override {
    Record();
    return QStyleFactory::create("Fusion");
  }
};

#include "hostile_style.moc"
