#include "platform/stop_request.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <thread>

#include "platform/process_limits.h"

namespace corvane {

StopRequest::StopRequest() : wake_fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (InDescriptorReserve(wake_fd_, 2)) {
    close(wake_fd_);
    wake_fd_ = -1;
  }
}

StopRequest::~StopRequest() {
  if (wake_fd_ >= 0) close(wake_fd_);
}

void StopRequest::Request() {
  if (requested_.exchange(true, std::memory_order_acq_rel)) return;
  if (wake_fd_ >= 0) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(wake_fd_, &one, sizeof one);
  }
}

void StopRequest::WaitReadable(std::span<const int> descriptors,
                               std::chrono::milliseconds timeout) const {
  Wait(descriptors, std::max(timeout, std::chrono::milliseconds(0)));
}

void StopRequest::WaitReadable(std::span<const int> descriptors) const {
  Wait(descriptors, std::chrono::milliseconds(-1));
}

void StopRequest::Wait(std::span<const int> descriptors, std::chrono::milliseconds timeout) const {
  using Clock = std::chrono::steady_clock;
  constexpr std::size_t kMaxDescriptors = 4;
  std::array<pollfd, kMaxDescriptors + 1> polled{};
  nfds_t count = 0;
  if (wake_fd_ >= 0) polled[count++] = {wake_fd_, POLLIN, 0};
  for (int descriptor : descriptors.first(std::min(descriptors.size(), kMaxDescriptors))) {
    polled[count++] = {descriptor, POLLIN, 0};
  }
  const bool endless = timeout.count() < 0;
  const auto deadline = Clock::now() + (endless ? std::chrono::milliseconds(0) : timeout);
  while (!IsRequested()) {
    // Without a wake-up descriptor only the flag tells of a stop: look at it every 10 ms.
    auto left = std::chrono::milliseconds(wake_fd_ >= 0 ? -1 : 10);
    if (!endless) {
      left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) return;
    }
    const int ready = poll(polled.data(), count, static_cast<int>(left.count()));
    if (ready > 0) return;
    if (ready < 0 && errno != EINTR) {
      // Never turn a failing poll into a busy loop of the caller: wait out the time instead.
      std::this_thread::sleep_for(endless ? std::chrono::milliseconds(10) : left);
      return;
    }
  }
}

bool StopRequest::Sleep(std::chrono::milliseconds duration) const {
  WaitReadable({}, duration);
  return !IsRequested();
}

}  // namespace corvane
