#include "desktop/profile_saving.h"

#include <QStatusBar>
#include <algorithm>
#include <cstdio>
#include <optional>
#include <utility>

#include "config/profile_file.h"

namespace corvane::desktop {
namespace {

using std::chrono::milliseconds;

constexpr milliseconds kSaveQuiet{1000};   // after the last change
constexpr milliseconds kSaveAtMost{1500};  // after the first change not yet saved

}  // namespace

ProfileSaving::ProfileSaving(QMainWindow* window, std::function<bool()> active,
                             std::function<void()> store_pages, Image image,
                             ProfileWriter::Write write)
    : active_(std::move(active)),
      store_pages_(std::move(store_pages)),
      image_(std::move(image)),
      timer_(new QTimer(window)),
      failure_(new QLabel(window)) {
  timer_->setObjectName("TimerSave");
  timer_->setSingleShot(true);
  connect(timer_, &QTimer::timeout, this, &ProfileSaving::SaveChanges);
  failure_->setObjectName("LabelSaveFailure");
  failure_->hide();
  window->statusBar()->addPermanentWidget(failure_);
  writer_ = std::make_unique<ProfileWriter>(
      [write = std::move(write)](const std::vector<std::uint8_t>& profile) {
        return write ? write(profile) : WriteProfileFile(profile);
      },
      [this](std::error_code result) {
        const QString failure = result ? QString::fromStdString(result.message()) : QString();
        QMetaObject::invokeMethod(
            this, [this, failure] { ShowResult(failure); }, Qt::QueuedConnection);
      });
}

void ProfileSaving::Close() {
  timer_->stop();
  if (writer_ == nullptr) return;
  writer_->WaitUntilIdle();
  const std::error_code result = writer_->last_result();
  writer_.reset();
  std::string failure;
  if (aside_failed_) {
    failure = "the profile that could not be read could not be moved aside";
  } else if (result) {
    failure = result.message();
  }
  if (failure.empty()) return;
  const std::string path = ProfilePath().value_or("~/Corvane/profile.dat");
  std::fprintf(stderr, "Corvane: the settings could not be saved to %s: %s\n", path.c_str(),
               failure.c_str());
}

void ProfileSaving::Schedule(bool changed) {
  if (!active_() || writer_ == nullptr) return;
  unsaved_ = unsaved_ || changed;
  const auto now = std::chrono::steady_clock::now();
  if (!timer_->isActive()) first_unsaved_change_ = now;
  const auto latest =
      std::chrono::duration_cast<milliseconds>(first_unsaved_change_ + kSaveAtMost - now);
  timer_->start(std::clamp(latest, milliseconds(0), kSaveQuiet));
}

void ProfileSaving::SaveChanges() {
  if (!active_() || writer_ == nullptr) return;
  store_pages_();
  if (unsaved_) Write();
}

void ProfileSaving::SaveNow() {
  if (writer_ == nullptr) return;
  store_pages_();
  Write();
}

void ProfileSaving::Write() {
  timer_->stop();
  unsaved_ = false;
  if (!aside_.empty()) {
    const std::optional<std::string> profile = ProfilePath();
    aside_failed_ = !profile || !SetProfileAside(*profile, aside_);
    if (aside_failed_) {
      // The unreadable file is never written over; after the results of earlier saves.
      QMetaObject::invokeMethod(
          this,
          [this] { ShowResult("the profile that could not be read could not be moved aside"); },
          Qt::QueuedConnection);
      return;
    }
    aside_.clear();
  }
  writer_->Hand(image_());
}

void ProfileSaving::ShowResult(const QString& failure) {
  if (failure.isEmpty()) {
    failure_->hide();
    return;
  }
  failure_->setText("Settings not saved: " + failure);
  const QString details = "The settings could not be saved to ~/Corvane/profile.dat: " + failure +
                          ". The profile on the disk is unchanged; the next change tries again.";
  failure_->setToolTip(details);
  failure_->setAccessibleName("Settings not saved");
  failure_->setAccessibleDescription(details);
  failure_->show();
}

}  // namespace corvane::desktop
