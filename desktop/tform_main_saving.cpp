// Saving the profile: a second after the settings stop changing, and hourly, at log-off and at the
// end. Every save goes through the writer's thread and replaces the file only once the new one is
// complete; the window thread hands the image over and never waits for the write, except as the
// window ends (log-off, destruction). A failed save leaves the old file whole, is said in the
// status bar until a save works, and is tried again at the next change; a failed last save is said
// on standard error, the window being gone.
#include <QCheckBox>
#include <QStatusBar>
#include <algorithm>
#include <cstdio>

#include "config/profile_file.h"
#include "desktop/logs_page.h"
#include "desktop/program_tabs.h"
#include "desktop/tform_main.h"

namespace corvane::desktop {
namespace {

using std::chrono::milliseconds;

constexpr milliseconds kSaveQuiet{1000};   // after the last change
constexpr milliseconds kSaveAtMost{1500};  // after the first change not yet saved

}  // namespace

void TFormMain::WatchForChanges() {
  save_timer_ = new QTimer(this);
  save_timer_->setObjectName("TimerSave");
  save_timer_->setSingleShot(true);
  connect(save_timer_, &QTimer::timeout, this, &TFormMain::SaveChanges);
  save_failure_ = new QLabel(this);
  save_failure_->setObjectName("LabelSaveFailure");
  save_failure_->hide();
  statusBar()->addPermanentWidget(save_failure_);
  writer_ = std::make_unique<ProfileWriter>(
      [write = deps_.write_profile](const std::vector<std::uint8_t>& image) {
        return write ? write(image) : WriteProfileFile(image);
      },
      [this](std::error_code result) {
        const QString failure = result ? QString::fromStdString(result.message()) : QString();
        QMetaObject::invokeMethod(
            this, [this, failure] { ShowSaveResult(failure); }, Qt::QueuedConnection);
      });

  for (const QCheckBox* option : program_settings_->findChildren<QCheckBox*>()) {
    connect(option, &QCheckBox::toggled, this, [this] { ScheduleSave(true); });
  }
}

void TFormMain::ScheduleSave(bool changed) {
  if (!form_ready_ || settings_saved_ || writer_ == nullptr) return;  // none once it has ended
  unsaved_ = unsaved_ || changed;
  const auto now = std::chrono::steady_clock::now();
  if (!save_timer_->isActive()) first_unsaved_change_ = now;
  const auto latest =
      std::chrono::duration_cast<milliseconds>(first_unsaved_change_ + kSaveAtMost - now);
  save_timer_->start(std::clamp(latest, milliseconds(0), kSaveQuiet));
}

void TFormMain::SaveChanges() {
  if (!form_ready_ || settings_saved_ || writer_ == nullptr) return;
  StoreServerPages(table_.Find(selected_id_));
  if (unsaved_) WriteProfile();
}

void TFormMain::SaveSettings() {
  StoreServerPages(table_.Find(selected_id_));
  WriteProfile();
}

void TFormMain::EndSaving() {
  writer_->WaitUntilIdle();  // the window is gone: nothing left to freeze
  const std::error_code result = writer_->last_result();
  writer_.reset();
  std::string failure;
  if (!unreadable_profile_aside_.empty()) {
    failure = "the profile that could not be read could not be moved aside";
  } else if (result) {
    failure = result.message();
  }
  if (failure.empty()) return;
  const std::string path = ProfilePath().value_or("~/Corvane/profile.dat");
  std::fprintf(stderr, "Corvane: the settings could not be saved to %s: %s\n", path.c_str(),
               failure.c_str());
}

void TFormMain::WriteProfile() {
  save_timer_->stop();
  unsaved_ = false;
  if (!unreadable_profile_aside_.empty()) {
    const std::optional<std::string> profile = ProfilePath();
    if (!profile || !SetProfileAside(*profile, unreadable_profile_aside_)) {
      // The unreadable file is never written over; after the results of earlier saves.
      QMetaObject::invokeMethod(
          this,
          [this] { ShowSaveResult("the profile that could not be read could not be moved aside"); },
          Qt::QueuedConnection);
      return;
    }
    unreadable_profile_aside_.clear();
  }
  writer_->Hand(ProfileImage(table_, display_options(), auto_start_));
}

void TFormMain::ShowSaveResult(const QString& failure) {
  if (failure.isEmpty()) {
    save_failure_->hide();
    return;
  }
  save_failure_->setText("Settings not saved: " + failure);
  const QString details = "The settings could not be saved to ~/Corvane/profile.dat: " + failure +
                          ". The profile on the disk is unchanged; the next change tries again.";
  save_failure_->setToolTip(details);
  save_failure_->setAccessibleName("Settings not saved");
  save_failure_->setAccessibleDescription(details);
  save_failure_->show();
}

}  // namespace corvane::desktop
