// What another local user could try against Corvane; the security tests run it as `nobody`.
//   squat FOLDER ABSTRACT_NAME SECONDS  make FOLDER open to all, hold the instance lock in it and
//       listen on its socket and on an abstract socket name; print "ready", then "got:<bytes>"
//       for whatever any connection sends
//   udp PORT COUNT SECONDS  bind 0.0.0.0:PORT with SO_REUSEADDR ("bound" or "bind-failed"), then
//       wait for up to COUNT datagrams and print "received N"
//   connect PATH  print "connected" or "refused" for a local socket
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

int ListenUnix(const std::string& name, bool abstract) {
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path + (abstract ? 1 : 0), name.data(), name.size());
  const socklen_t length =
      static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + name.size() + (abstract ? 1 : 0));
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(fd, 16) != 0) {
    std::printf("listen-failed %s\n", name.c_str());
    close(fd);
    return -1;
  }
  if (!abstract) chmod(name.c_str(), 0777);
  return fd;
}

int Squat(const std::string& folder, const std::string& abstract_name, int seconds) {
  mkdir(folder.c_str(), 0777);
  chmod(folder.c_str(), 0777);
  const int lock = open((folder + "/CorvaneMutex.lock").c_str(), O_RDWR | O_CREAT, 0666);
  if (lock < 0 || flock(lock, LOCK_EX | LOCK_NB) != 0) std::printf("lock-failed\n");
  std::vector<pollfd> watched;
  for (int fd :
       {ListenUnix(folder + "/CorvaneMutex.socket", false), ListenUnix(abstract_name, true)}) {
    if (fd >= 0) watched.push_back({fd, POLLIN, 0});
  }
  std::printf("ready\n");
  std::fflush(stdout);
  const std::size_t listeners = watched.size();
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < end) {
    if (poll(watched.data(), watched.size(), 50) <= 0) continue;
    for (std::size_t i = 0; i < watched.size(); ++i) {
      if ((watched[i].revents & POLLIN) == 0) continue;
      if (i < listeners) {
        const int client = accept(watched[i].fd, nullptr, nullptr);
        if (client >= 0) watched.push_back({client, POLLIN, 0});
        continue;
      }
      char buffer[4096];
      const ssize_t got = read(watched[i].fd, buffer, sizeof buffer);
      if (got > 0) std::printf("got:%.*s\n", static_cast<int>(got), buffer);
      if (got <= 0) watched[i].events = 0;
      std::fflush(stdout);
    }
  }
  return 0;
}

int StealUdp(int port, int count, int seconds) {
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  const int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    std::printf("bind-failed\n");
    return 0;
  }
  std::printf("bound\n");
  std::fflush(stdout);
  int received = 0;
  pollfd watched{fd, POLLIN, 0};
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (received < count && std::chrono::steady_clock::now() < end) {
    char buffer[2000];
    if (poll(&watched, 1, 50) > 0 && recv(fd, buffer, sizeof buffer, 0) >= 0) ++received;
  }
  std::printf("received %d\n", received);
  return 0;
}

int Connect(const std::string& path) {
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
  const bool connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  std::printf(connected ? "connected\n" : "refused\n");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 4 && args[0] == "squat") return Squat(args[1], args[2], std::stoi(args[3]));
  if (args.size() == 4 && args[0] == "udp") {
    return StealUdp(std::stoi(args[1]), std::stoi(args[2]), std::stoi(args[3]));
  }
  if (args.size() == 2 && args[0] == "connect") return Connect(args[1]);
  std::fprintf(stderr, "usage: see the comment at the top of hostile_user.cpp\n");
  return 2;
}
