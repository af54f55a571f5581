// A stand-in for systemd's manager object on D-Bus, served over direct connections (socket pairs,
// no bus daemon): LoadUnit, StartUnit, StopUnit, Reload, EnableUnitFiles, DisableUnitFiles and the
// unit properties LoadState, ActiveState and UnitFileState. A unit is loaded while its file is in
// the unit folder. A start job ends at once with a JobRemoved signal, "done" unless a test
// scripted another result.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace corvane::test {

class FakeSystemd {
 public:
  explicit FakeSystemd(std::string unit_folder) : unit_folder_(std::move(unit_folder)) {}
  ~FakeSystemd();

  // Serves a new connection; returns the client's end of it.
  int Connect();

  void SetActiveState(const std::string& unit, const std::string& state);
  // How the next start jobs of `unit` end: "done", "failed", ..., or "" for never.
  void SetStartResult(const std::string& unit, const std::string& result);
  std::string ActiveState(const std::string& unit);
  bool Enabled(const std::string& unit);
  int reloads();
  std::vector<std::string> calls();  // "StartUnit CorvaneService.service", ...

 private:
  struct Handler;
  void Serve(int fd);

  const std::string unit_folder_;
  std::mutex mutex_;
  std::map<std::string, std::string> active_;
  std::map<std::string, std::string> start_results_;
  std::set<std::string> enabled_;
  int reloads_ = 0;
  std::vector<std::string> calls_;
  std::atomic<bool> quit_{false};
  std::vector<std::thread> servers_;
};

}  // namespace corvane::test
