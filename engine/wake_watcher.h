// Whether the hosts that magic packets wake show up: after a magic packet left for a MAC onto a
// directly connected link, the program's one watcher looks at the host's links for a frame from
// that MAC (a waking host announces itself) for kWatchTime. The first one ends the watch as
// "woke", none within the time as "not seen". A new packet for a MAC that a listener already
// watches restarts that watch, so a burst gives one outcome.
//
// One watcher per program, whatever the number of proxy servers. Its thread and its packet socket
// exist only while some watch is pending: an idle relay costs nothing. The watch set is bounded
// (kCapacity); beyond it the oldest watch is dropped without an outcome and counted. A frame's
// source address can be forged, so "woke" says that a frame with that source was seen, no more.
//
// `Watch` and `Forget` from any thread. Listeners are called on the watcher's thread, one call at
// a time; after `Forget(listener)` returns, that listener is never called again.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "config/proxy_server_settings.h"
#include "platform/stop_request.h"

namespace corvane {

struct WakeOutcome {
  MacAddress mac{};
  bool woke = false;
  // Woke: the interface the frame was seen on. Not seen: the one the magic packet left by.
  std::string interface_name;
  // Woke: from the (last) magic packet to the frame. Not seen: the watch time.
  std::chrono::milliseconds after{0};
};

// The outcome in words, after the MAC: "woke, seen on lan1 6.2 s after the magic packet", or
// "not seen within 120 s (the magic packet left by lan1)".
std::string WakeOutcomeText(const WakeOutcome& outcome);

class WakeListener {
 public:
  virtual void WakeOutcomeReady(const WakeOutcome& outcome) = 0;

 protected:
  ~WakeListener() = default;
};

class WakeWatcher {
 public:
  static constexpr std::size_t kCapacity = 4096;
  static constexpr std::chrono::milliseconds kWatchTime{120000};

  WakeWatcher() = default;
  // Ends the thread; pending watches end without an outcome.
  ~WakeWatcher();
  WakeWatcher(const WakeWatcher&) = delete;
  WakeWatcher& operator=(const WakeWatcher&) = delete;

  // The program's watcher. Never destroyed: engine threads that nobody joins may use it to the end.
  static WakeWatcher& Program();

  // Starts, or restarts, the watch of `mac` for `listener`; the packet left by `interface_index`.
  void Watch(const MacAddress& mac, WakeListener& listener, std::uint32_t interface_index);
  // Ends every watch of `listener` without an outcome.
  void Forget(WakeListener& listener);

  std::size_t Pending() const;
  // Watches dropped because the set was full.
  std::uint64_t Dropped() const { return dropped_.load(std::memory_order_relaxed); }
  // Whether the packet socket is open.
  bool Watching() const { return watching_.load(std::memory_order_relaxed); }

  // For tests: how long a watch lasts from now on (kWatchTime otherwise).
  void SetWatchTime(std::chrono::milliseconds watch_time);

 private:
  using Clock = std::chrono::steady_clock;
  struct Entry {
    MacAddress mac;
    WakeListener* listener;
    std::uint32_t interface_index;
    Clock::time_point sent_at;
    Clock::time_point deadline;
  };
  using Key = std::pair<std::uint64_t, std::uintptr_t>;  // the MAC, the listener
  struct Delivery {
    WakeListener* listener;
    WakeOutcome outcome;
  };

  static Key KeyOf(const MacAddress& mac, const WakeListener* listener);
  void Run(StopRequest* idle);
  // With mutex_ held: ends the watches whose time is up.
  void Expire(Clock::time_point now, std::vector<Delivery>& deliveries);
  // With mutex_ held: ends the watches of `mac`.
  void Seen(const MacAddress& mac, std::uint32_t interface_index, Clock::time_point now,
            std::vector<Delivery>& deliveries);
  void Erase(std::list<Entry>::iterator entry);
  // Hands `deliveries` over; `lock` holds mutex_ and is released once delivery_mutex_ is taken.
  void Deliver(std::unique_lock<std::mutex>& lock, std::vector<Delivery>& deliveries);

  // With mutex_ held: whether a thread serves the watches and will see new ones.
  bool Serving() const;

  std::mutex start_mutex_;  // held while a thread is joined and started; taken before mutex_
  std::thread thread_;      // under start_mutex_

  mutable std::mutex mutex_;  // what follows, but the atomics
  std::list<Entry> entries_;  // oldest deadline first
  std::map<Key, std::list<Entry>::iterator> index_;
  std::chrono::milliseconds watch_time_ = kWatchTime;
  // The running thread's: requested when it is to end (nothing left to watch), and then never
  // serves again.
  std::unique_ptr<StopRequest> idle_;

  std::mutex delivery_mutex_;  // held while listeners are called; taken after mutex_
  std::atomic<std::uint64_t> dropped_{0};
  std::atomic<bool> watching_{false};
};

}  // namespace corvane
