#include "desktop/profile_writer.h"

namespace corvane::desktop {

ProfileWriter::ProfileWriter(Write write, Done done)
    : write_(std::move(write)), done_(std::move(done)), thread_([this] { Run(); }) {}

ProfileWriter::~ProfileWriter() {
  {
    std::lock_guard lock(mutex_);
    ending_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void ProfileWriter::Hand(std::vector<std::uint8_t> image) {
  {
    std::lock_guard lock(mutex_);
    waiting_ = std::move(image);
  }
  changed_.notify_all();
}

void ProfileWriter::WaitUntilIdle() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return !writing_ && !waiting_; });
}

std::error_code ProfileWriter::last_result() {
  std::lock_guard lock(mutex_);
  return last_result_;
}

void ProfileWriter::Run() {
  std::unique_lock lock(mutex_);
  while (true) {
    changed_.wait(lock, [this] { return waiting_ || ending_; });
    if (!waiting_) return;  // ending, with nothing left to write
    const std::vector<std::uint8_t> image = std::move(*waiting_);
    waiting_.reset();
    writing_ = true;
    lock.unlock();
    const std::error_code result = write_(image);
    done_(result);
    lock.lock();
    last_result_ = result;
    writing_ = false;
    changed_.notify_all();
  }
}

}  // namespace corvane::desktop
