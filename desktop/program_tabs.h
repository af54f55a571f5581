// The window's program-wide tabs: "Settings" (start at login, the six display options), "Service"
// (the five service buttons) and "Import and Export" (where the settings are kept).
#pragma once

#include <QCheckBox>
#include <QPushButton>
#include <QWidget>

#include "config/display_options.h"

namespace corvane::desktop {

class ProgramSettingsTab final : public QWidget {
 public:
  // Each display option's box writes its flag at once, also when the box is set from a profile.
  ProgramSettingsTab(QWidget* parent, DisplayOptions& options);

  // Ticks the six boxes as the flags say.
  void ShowOptions(const DisplayOptions& options);
  QCheckBox* auto_start() const { return auto_start_; }

 private:
  QCheckBox* auto_start_;
  QCheckBox* show_errors_;
  QCheckBox* dont_show_resolve_errors_;
  QCheckBox* dont_show_send_errors_;
  QCheckBox* show_recv_packets_;
  QCheckBox* dont_show_ignored_packets_;
  QCheckBox* show_send_packets_;
};

class ServiceTab final : public QWidget {
 public:
  explicit ServiceTab(QWidget* parent);

  QPushButton* install() const { return install_; }
  QPushButton* start() const { return start_; }
  QPushButton* stop() const { return stop_; }
  QPushButton* uninstall() const { return uninstall_; }
  QPushButton* apply() const { return apply_; }

 private:
  QPushButton* install_;
  QPushButton* start_;
  QPushButton* stop_;
  QPushButton* uninstall_;
  QPushButton* apply_;
};

// Where the settings are kept, and the buttons Import... and Export... of a copy of them.
struct ImportExportTab {
  QWidget* widget;
  QPushButton* import_button;
  QPushButton* export_button;
};
ImportExportTab MakeImportExportTab(QWidget* parent);

}  // namespace corvane::desktop
