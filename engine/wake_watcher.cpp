#include "engine/wake_watcher.h"

#include <array>
#include <system_error>
#include <vector>

#include "platform/link_route.h"
#include "platform/link_watch.h"

namespace corvane {
namespace {

// Frames taken in one go before the deadlines are looked at again.
constexpr int kFramesPerPass = 256;

std::uint64_t MacNumber(const MacAddress& mac) {
  std::uint64_t number = 0;
  for (const std::uint8_t byte : mac) number = number << 8 | byte;
  return number;
}

// "6.2 s", "120 s": tenths when there are any.
std::string SecondsText(std::chrono::milliseconds duration) {
  const long long tenths = (duration.count() + 50) / 100;
  std::string text = std::to_string(tenths / 10);
  if (tenths % 10 != 0) text += "." + std::to_string(tenths % 10);
  return text + " s";
}

}  // namespace

std::string WakeOutcomeText(const WakeOutcome& outcome) {
  if (outcome.woke) {
    return "woke, seen on " + outcome.interface_name + " " + SecondsText(outcome.after) +
           " after the magic packet";
  }
  return "not seen within " + SecondsText(outcome.after) + " (the magic packet left by " +
         outcome.interface_name + ")";
}

WakeWatcher::~WakeWatcher() {
  std::lock_guard starting(start_mutex_);
  {
    std::lock_guard lock(mutex_);
    entries_.clear();
    index_.clear();
    if (idle_ != nullptr) idle_->Request();
  }
  if (thread_.joinable()) thread_.join();
}

bool WakeWatcher::Serving() const { return idle_ != nullptr && !idle_->IsRequested(); }

WakeWatcher& WakeWatcher::Program() {
  static WakeWatcher* const watcher = new WakeWatcher();
  return *watcher;
}

WakeWatcher::Key WakeWatcher::KeyOf(const MacAddress& mac, const WakeListener* listener) {
  return {MacNumber(mac), reinterpret_cast<std::uintptr_t>(listener)};
}

void WakeWatcher::Watch(const MacAddress& mac, WakeListener& listener,
                        std::uint32_t interface_index) {
  const Clock::time_point now = Clock::now();
  {
    std::lock_guard lock(mutex_);
    const Key key = KeyOf(mac, &listener);
    if (const auto found = index_.find(key); found != index_.end()) {
      Erase(found->second);
    } else if (entries_.size() >= kCapacity) {
      Erase(entries_.begin());
      dropped_.fetch_add(1, std::memory_order_relaxed);
    }
    entries_.push_back(Entry{mac, &listener, interface_index, now, now + watch_time_});
    index_.emplace(key, std::prev(entries_.end()));
    if (Serving()) return;
  }
  std::lock_guard starting(start_mutex_);
  {
    std::lock_guard lock(mutex_);
    if (Serving() || entries_.empty()) return;  // another call started one meanwhile
  }
  // The thread that was told to end takes mutex_ on its way out: joined without it.
  if (thread_.joinable()) thread_.join();
  std::lock_guard lock(mutex_);
  try {
    idle_ = std::make_unique<StopRequest>();
    thread_ = std::thread([this, idle = idle_.get()] { Run(idle); });
  } catch (const std::system_error&) {
    if (idle_ != nullptr) idle_->Request();
    entries_.clear();  // no thread: nothing can be watched
    index_.clear();
  }
}

void WakeWatcher::Forget(WakeListener& listener) {
  {
    std::lock_guard lock(mutex_);
    for (auto entry = entries_.begin(); entry != entries_.end();) {
      const auto next = std::next(entry);
      if (entry->listener == &listener) Erase(entry);
      entry = next;
    }
    // Nothing left to watch: the thread closes its socket now rather than at the next deadline.
    if (entries_.empty() && idle_ != nullptr) idle_->Request();
  }
  // Waits for a delivery that may be under way to this listener.
  std::lock_guard delivery(delivery_mutex_);
}

std::size_t WakeWatcher::Pending() const {
  std::lock_guard lock(mutex_);
  return entries_.size();
}

void WakeWatcher::SetWatchTime(std::chrono::milliseconds watch_time) {
  std::lock_guard lock(mutex_);
  watch_time_ = watch_time;
}

void WakeWatcher::Erase(std::list<Entry>::iterator entry) {
  index_.erase(KeyOf(entry->mac, entry->listener));
  entries_.erase(entry);
}

void WakeWatcher::Expire(Clock::time_point now, std::vector<Delivery>& deliveries) {
  while (!entries_.empty() && entries_.front().deadline <= now) {
    const Entry& entry = entries_.front();
    deliveries.push_back(
        {entry.listener,
         {entry.mac, false, InterfaceNameOf(entry.interface_index),
          std::chrono::duration_cast<std::chrono::milliseconds>(entry.deadline - entry.sent_at)}});
    Erase(entries_.begin());
  }
}

void WakeWatcher::Seen(const MacAddress& mac, std::uint32_t interface_index, Clock::time_point now,
                       std::vector<Delivery>& deliveries) {
  const std::uint64_t number = MacNumber(mac);
  auto found = index_.lower_bound({number, 0});
  while (found != index_.end() && found->first.first == number) {
    const auto entry = found->second;
    ++found;
    deliveries.push_back(
        {entry->listener,
         {mac, true, InterfaceNameOf(interface_index),
          std::chrono::duration_cast<std::chrono::milliseconds>(now - entry->sent_at)}});
    Erase(entry);
  }
}

void WakeWatcher::Deliver(std::unique_lock<std::mutex>& lock, std::vector<Delivery>& deliveries) {
  if (deliveries.empty()) {
    lock.unlock();
    return;
  }
  // Taken before mutex_ is released, so that a Forget that removed a listener after these were
  // collected waits until they are handed over.
  std::lock_guard delivery(delivery_mutex_);
  lock.unlock();
  for (const Delivery& item : deliveries) item.listener->WakeOutcomeReady(item.outcome);
  deliveries.clear();
}

void WakeWatcher::Run(StopRequest* idle) {
  LinkWatchSocket socket;
  const bool opened = !socket.Open();
  watching_.store(opened, std::memory_order_relaxed);
  std::vector<Delivery> deliveries;
  while (true) {
    std::unique_lock lock(mutex_);
    if (!opened) {
      // Without a socket nothing can be seen: the watches end without an outcome.
      entries_.clear();
      index_.clear();
    }
    Expire(Clock::now(), deliveries);
    if (entries_.empty()) idle->Request();
    if (idle->IsRequested()) {
      // Watches added from now on start a new thread, which first joins this one.
      watching_.store(false, std::memory_order_relaxed);
      Deliver(lock, deliveries);
      return;  // the socket closes here
    }
    const auto wait =
        std::chrono::ceil<std::chrono::milliseconds>(entries_.front().deadline - Clock::now());
    Deliver(lock, deliveries);

    const std::array<int, 1> descriptors{socket.descriptor()};
    idle->WaitReadable(descriptors, std::max(wait, std::chrono::milliseconds(0)));
    for (int frames = 0; frames < kFramesPerPass; ++frames) {
      SeenFrame frame;
      const LinkWatchSocket::Result result = socket.Receive(frame);
      if (result == LinkWatchSocket::Result::kNothing ||
          result == LinkWatchSocket::Result::kError) {
        break;
      }
      if (result != LinkWatchSocket::Result::kFrame) continue;
      const Clock::time_point now = Clock::now();
      std::unique_lock seen_lock(mutex_);
      Seen(frame.source, frame.interface_index, now, deliveries);
      Deliver(seen_lock, deliveries);
    }
  }
}

}  // namespace corvane
