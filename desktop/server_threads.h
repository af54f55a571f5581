// The engine threads that the window runs, one link per running proxy server, by Id.
//
// A link does not own its thread: a running engine thread keeps itself alive and ends by itself,
// and an expired link is a thread that has ended. Window thread only.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "engine/wol_server_thread.h"

namespace corvane::desktop {

class ServerThreads {
 public:
  // Starts a thread for proxy server `id` on `window` and links it. False, linking nothing, when
  // the system cannot start a thread.
  bool Start(std::uint32_t id, const std::shared_ptr<WolServerWindow>& window);

  // Tells the thread of `id` to stop, without waiting, and lets go of it. Returns the thread, for
  // an owner that wants to wait for it; nullptr when none was running.
  std::shared_ptr<WolServerThread> Stop(std::uint32_t id);

  // Stop for every linked thread; returns those still alive.
  std::vector<std::shared_ptr<WolServerThread>> StopAll();

  // Whether a thread is linked for `id` and has not ended.
  bool Running(std::uint32_t id) const;
  // The thread linked for `id` while it has not ended; nullptr otherwise.
  std::shared_ptr<WolServerThread> Thread(std::uint32_t id) const;

  // The counters of the thread of `id`, while one is linked and has not ended.
  std::optional<CounterValues> Counters(std::uint32_t id) const;

 private:
  std::map<std::uint32_t, std::weak_ptr<WolServerThread>> links_;
};

}  // namespace corvane::desktop
