#include "tests/desktop/window_fixture.h"

#include "service/service_control.h"

namespace corvane::test {
namespace {

class NoFiles final : public FileCopier {
 public:
  std::error_code CopyFile(const std::string&, const std::string&, unsigned) override { return {}; }
};

NoFiles g_files;

}  // namespace

WindowTest::WindowTest() {
  desktop::MessageBoxes::SetAnswerer([this](const QString& caption, const QString& text) {
    boxes_.emplace_back(caption, text);
    return answer_;
  });
}

WindowTest::~WindowTest() {
  form_.reset();
  desktop::MessageBoxes::SetAnswerer(nullptr);
}

desktop::TFormMain& WindowTest::Open(bool create) {
  desktop::DesktopDependencies dependencies;
  dependencies.service_manager = &manager_;
  dependencies.files = &g_files;
  dependencies.service_paths = {home_.path() + "/Corvane/profile.dat", home_.path() + "/s.dat",
                                home_.path() + "/p", home_.path() + "/t"};
  dependencies.sleep = [](std::chrono::milliseconds) {};
  dependencies.program_path = "/opt/test/Corvane";
  dependencies.tray = tray_;
  dependencies.tray_available = tray_available_;
  dependencies.tray_poll = std::chrono::milliseconds(10);
  dependencies.network_ready = [this] { return network_ready_; };
  dependencies.write_profile = write_profile_;
  form_ = std::make_unique<desktop::TFormMain>(dependencies);
  if (create) {
    EXPECT_TRUE(form_->FormCreate());
    form_->show();
  }
  return *form_;
}

QStringList WindowTest::Rows(const char* view, int column) {
  QStringList rows;
  QTreeWidget* tree = Find<QTreeWidget>(view);
  for (int i = 0; i < tree->topLevelItemCount(); ++i) rows << tree->topLevelItem(i)->text(column);
  return rows;
}

void WindowTest::SelectRow(const char* view, int row) {
  QTreeWidget* tree = Find<QTreeWidget>(view);
  tree->setCurrentItem(tree->topLevelItem(row));
}

void WindowTest::SelectServer(const QString& name) {
  QTreeWidget* tree = Find<QTreeWidget>("ListViewServers");
  const QList<QTreeWidgetItem*> found = tree->findItems(name, Qt::MatchExactly);
  ASSERT_FALSE(found.isEmpty()) << name.toStdString();
  tree->setCurrentItem(found.front());
}

void WindowTest::ForEachPage(
    const std::function<void(QWidget* tab_page, int tab, int page)>& visit) {
  auto* outer = Find<QTabWidget>("PageControlMain");
  auto* inner = Find<QTabWidget>("PageControlServer");
  for (int tab = 0; tab < outer->count(); ++tab) {
    outer->setCurrentIndex(tab);
    for (int page = 0; page < (tab == 0 ? inner->count() : 1); ++page) {
      inner->setCurrentIndex(page);
      QApplication::processEvents();
      visit(outer->currentWidget(), tab, page);
    }
  }
}

}  // namespace corvane::test
