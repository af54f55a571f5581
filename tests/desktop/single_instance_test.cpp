// The single-instance socket under load from its own user: idle connections, an endless line and
// a wrong path cost the first instance nothing lasting, and the real request still gets through.
#include "desktop/single_instance.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCoreApplication>
#include <chrono>
#include <vector>

#include "tests/support/temp_home.h"

namespace corvane::desktop {
namespace {

using namespace std::chrono_literals;

int Connect(const std::string& path) {
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  path.copy(address.sun_path, sizeof address.sun_path - 1);
  EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  return fd;
}

void Pump(std::chrono::milliseconds time) {
  const auto end = std::chrono::steady_clock::now() + time;
  while (std::chrono::steady_clock::now() < end) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
}

// Whether the other end has closed the connection.
bool Closed(int fd) {
  char byte;
  const ssize_t got = recv(fd, &byte, 1, MSG_DONTWAIT);
  return got == 0 || (got < 0 && errno != EAGAIN);
}

TEST(SingleInstance, ConnectionsAreBoundedInNumberSizeAndTime) {
  test::TempHome folder;
  int restored = 0;
  SingleInstance first(folder.path(), "/opt/Corvane", [&restored] { ++restored; });
  ASSERT_TRUE(first.Claim());

  std::vector<int> idle;
  for (int i = 0; i < 3 * SingleInstance::kMaxOpenRequests; ++i) {
    idle.push_back(Connect(first.SocketPath()));
  }
  Pump(300ms);
  int open = 0;
  for (int fd : idle) open += !Closed(fd);
  EXPECT_LE(open, SingleInstance::kMaxOpenRequests);
  Pump(SingleInstance::kRequestTimeout + 300ms);
  for (int fd : idle) {
    EXPECT_TRUE(Closed(fd));
    close(fd);
  }

  const int endless = Connect(first.SocketPath());
  const std::vector<char> block(64 * 1024, 'x');
  std::size_t sent = 0;
  for (int i = 0; i < 100 && !Closed(endless); ++i) {
    const ssize_t written = send(endless, block.data(), block.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (written > 0) sent += static_cast<std::size_t>(written);
    Pump(10ms);
  }
  EXPECT_TRUE(Closed(endless));
  EXPECT_LT(sent, 2u * 1024 * 1024);  // the kernel's buffers at most, never the whole stream
  close(endless);

  for (const char* request : {"/opt/Other\n", "/opt/Corvane"}) {
    const int fd = Connect(first.SocketPath());
    ASSERT_EQ(send(fd, request, strlen(request), MSG_NOSIGNAL),
              static_cast<ssize_t>(strlen(request)));
    close(fd);
  }
  Pump(200ms);
  EXPECT_EQ(restored, 0);

  SingleInstance second(folder.path(), "/opt/Corvane", [] { ADD_FAILURE(); });
  EXPECT_FALSE(second.Claim());
  Pump(300ms);
  EXPECT_EQ(restored, 1);
}

}  // namespace
}  // namespace corvane::desktop
