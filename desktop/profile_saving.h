// Saving the profile: a second after the settings stop changing, and whenever the window asks
// (hourly, at log-off, at the end). Every save goes through a ProfileWriter's thread and replaces
// the file only once the new one is complete; the window thread hands the image over and never
// waits for the write, except as the window ends (log-off, the end), so a stalled disk freezes no
// window. A failed save leaves the old file whole, is said in the status bar until a save works,
// and is tried again at the next change; a failed last save is said on standard error at the end,
// the window being gone. A profile that could not be read is set aside before the first save,
// never written over.
//
// Window thread only, but for WaitUntilWritten; the writer's results come back to it queued. Its
// timer ("TimerSave") and its failure label ("LabelSaveFailure") belong to the window.
#pragma once

#include <QLabel>
#include <QMainWindow>
#include <QObject>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "desktop/profile_writer.h"

namespace corvane::desktop {

class ProfileSaving final : public QObject {
 public:
  using Image = std::function<std::vector<std::uint8_t>()>;

  // `active` tells whether changes are saved now (not before the window is ready, nor after the
  // log-off save); `store_pages` stores the selected proxy server's pages into its record;
  // `image` makes the profile's image of the table; `write` writes it (empty: the profile file).
  ProfileSaving(QMainWindow* window, std::function<bool()> active,
                std::function<void()> store_pages, Image image, ProfileWriter::Write write = {});
  ~ProfileSaving() override { Close(); }

  // A change that reached the table (`changed`), or one on the pages that may reach it (a list
  // edited): the profile is saved once the changes pause, a second after the last one and at
  // most 1.5 s after the first, on the writer's thread.
  void Schedule(bool changed);
  // Stores the pages and hands the profile to the writer; returns at once.
  void SaveNow();
  // Returns once what was handed over is written. Any thread until Close; the window thread only
  // as the window ends (a stalled disk would freeze it).
  void WaitUntilWritten() const { writer_->WaitUntilIdle(); }
  // Before the next save, the profile is moved to `path`.
  void SetAside(std::string path) { aside_ = std::move(path); }
  const std::string& aside() const { return aside_; }
  // Returns once what it was handed is written, and says on standard error when the last save
  // failed; from then on nothing is saved.
  void Close();

 private:
  void SaveChanges();  // the scheduled save: only when something did change
  void Write();
  void ShowResult(const QString& failure);  // empty: the save worked

  std::function<bool()> active_;
  std::function<void()> store_pages_;
  Image image_;
  QTimer* timer_;
  QLabel* failure_;
  std::unique_ptr<ProfileWriter> writer_;
  bool unsaved_ = false;  // a change reached the table since the profile was last handed over
  std::chrono::steady_clock::time_point first_unsaved_change_;
  std::string aside_;          // where a profile that failed to load goes; empty when none did
  bool aside_failed_ = false;  // the last save stopped there
};

}  // namespace corvane::desktop
