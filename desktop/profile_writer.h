// Writes profile images on a thread of its own, so that a slow or stalled disk never holds up the
// window: the window makes the image (which needs the table) and hands it over.
//
// Images are written in the order they were handed over, except that an image waiting behind the
// one being written is replaced by a newer one: only the newest is worth writing. Each write's
// result goes to `done`, on the writer's thread, in the order of the writes.
//
// Nothing here waits for a write except `WaitUntilIdle` and the destructor: the window thread
// calls them only as the window ends (a stalled disk would freeze it otherwise).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

namespace corvane::desktop {

class ProfileWriter {
 public:
  using Write = std::function<std::error_code(const std::vector<std::uint8_t>& image)>;
  using Done = std::function<void(std::error_code result)>;

  ProfileWriter(Write write, Done done);
  // Writes what is waiting, then ends the thread.
  ~ProfileWriter();
  ProfileWriter(const ProfileWriter&) = delete;
  ProfileWriter& operator=(const ProfileWriter&) = delete;

  // Any thread.
  void Hand(std::vector<std::uint8_t> image);
  // Returns once nothing is being written and nothing waits. Any thread but the window's: the
  // service actions wait here on their own thread for the profile they copy.
  void WaitUntilIdle();
  // The result of the latest write (none yet: success). Any thread.
  std::error_code last_result();

 private:
  void Run();

  const Write write_;
  const Done done_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::optional<std::vector<std::uint8_t>> waiting_;
  std::error_code last_result_;
  bool writing_ = false;
  bool ending_ = false;
  std::thread thread_;  // last: it starts once everything above is set
};

}  // namespace corvane::desktop
