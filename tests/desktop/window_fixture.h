// A main window for tests: in-memory service manager, a temporary home folder, no tray, no waits,
// and helpers that find controls by their objectName, type into them and click them.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "desktop/message_box.h"
#include "desktop/tform_main.h"
#include "tests/support/fake_service_manager.h"
#include "tests/support/temp_home.h"

namespace corvane::test {

class WindowTest : public ::testing::Test {
 protected:
  WindowTest();
  ~WindowTest() override;

  // A new window; FormCreate runs when `create` is set.
  desktop::TFormMain& Open(bool create = true);
  void Close() { form_.reset(); }

  template <typename Widget>
  Widget* Find(const char* name) {
    Widget* widget = form_->findChild<Widget*>(name);
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }
  void Type(const char* edit, const QString& text) { Find<QLineEdit>(edit)->setText(text); }
  void Click(const char* button) { QTest::mouseClick(Find<QPushButton>(button), Qt::LeftButton); }
  bool Enabled(const char* widget) { return Find<QWidget>(widget)->isEnabled(); }
  // The text of an edit, or of a read-only text such as EditTitle.
  QString Text(const char* name) {
    if (auto* label = form_->findChild<QLabel*>(name)) return label->text();
    return Find<QLineEdit>(name)->text();
  }
  // The first column's texts of a list view, in display order.
  QStringList Rows(const char* view, int column = 0);
  void SelectRow(const char* view, int row);
  // Selects the proxy server whose caption is `name` (the first of that name).
  void SelectServer(const QString& name);
  // Shows each page in turn, the proxy server's pages on the first tab and then the other tabs,
  // and calls `visit` with the tab's widget and the numbers of the tab and the page.
  void ForEachPage(const std::function<void(QWidget* tab_page, int tab, int page)>& visit);
  ProxyServerSettings& Record() { return *form_->table().Find(form_->selected_server_id()); }

  // Runs the event loop until `condition` holds (at most 5 s).
  static bool WaitFor(const std::function<bool()>& condition) {
    return QTest::qWaitFor(condition, 5000);
  }

  TempHome home_;
  FakeServiceSystem services_;
  FakeManager manager_{services_};
  std::vector<std::pair<QString, QString>> boxes_;  // caption and text of every message box
  bool answer_ = true;                              // to questions
  bool network_ready_ = true;
  bool tray_ = false;                     // with a tray icon where `tray_available_` says so
  std::function<bool()> tray_available_;  // asked every 10 ms
  // Writes the profile on the writer's thread in place of the profile file, when set.
  std::function<std::error_code(const std::vector<std::uint8_t>&)> write_profile_;
  std::unique_ptr<desktop::TFormMain> form_;
};

}  // namespace corvane::test
