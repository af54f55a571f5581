#include "desktop/server_threads.h"

namespace corvane::desktop {

bool ServerThreads::Start(std::uint32_t id, const std::shared_ptr<WolServerWindow>& window) {
  std::shared_ptr<WolServerThread> thread = WolServerThread::Create(true, id, window);
  if (!thread->Resume()) return false;
  links_[id] = std::move(thread);
  return true;
}

std::shared_ptr<WolServerThread> ServerThreads::Stop(std::uint32_t id) {
  const auto found = links_.find(id);
  if (found == links_.end()) return nullptr;
  std::shared_ptr<WolServerThread> thread = found->second.lock();
  links_.erase(found);
  if (thread != nullptr) thread->Terminate();
  return thread;
}

std::vector<std::shared_ptr<WolServerThread>> ServerThreads::StopAll() {
  std::vector<std::shared_ptr<WolServerThread>> stopped;
  for (const auto& [id, link] : links_) {
    if (std::shared_ptr<WolServerThread> thread = link.lock()) {
      thread->Terminate();
      stopped.push_back(std::move(thread));
    }
  }
  links_.clear();
  return stopped;
}

bool ServerThreads::Running(std::uint32_t id) const { return Thread(id) != nullptr; }

std::shared_ptr<WolServerThread> ServerThreads::Thread(std::uint32_t id) const {
  const auto found = links_.find(id);
  return found == links_.end() ? nullptr : found->second.lock();
}

std::optional<CounterValues> ServerThreads::Counters(std::uint32_t id) const {
  const auto found = links_.find(id);
  if (found == links_.end()) return std::nullopt;
  const std::shared_ptr<WolServerThread> thread = found->second.lock();
  if (thread == nullptr) return std::nullopt;
  return thread->counters().Read();
}

}  // namespace corvane::desktop
