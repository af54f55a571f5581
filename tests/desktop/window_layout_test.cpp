// Every caption of every page fits its control when the window is at its smallest size, and so do
// the pages themselves and every tab title: nothing needs a scroll bar or the tab bar's arrows. The
// same test runs again with QT_SCALE_FACTOR=2 on a 1920 x 1080 screen, which holds only 960 x 540
// points: there the pages may scroll up and down, but tab titles and widths still fit.
#include <QAbstractButton>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTabBar>
#include <QToolButton>

#include "tests/desktop/window_fixture.h"

namespace corvane {
namespace {

using test::WindowTest;

class WindowLayout : public WindowTest {};

// What is cut on the controls shown now, one line each.
QStringList CutTexts(QWidget* window) {
  QStringList cut;
  for (QWidget* widget : window->findChildren<QWidget*>()) {
    if (!widget->isVisible() || widget->window() != window) continue;
    const QString name = widget->objectName();
    if (auto* label = qobject_cast<QLabel*>(widget); label != nullptr && !label->text().isEmpty()) {
      const bool fits = label->wordWrap()
                            ? label->height() >= label->heightForWidth(label->width())
                            : label->width() >= label->minimumSizeHint().width() &&
                                  label->height() >= label->minimumSizeHint().height();
      if (!fits) cut << "label " + label->text();
    } else if (auto* push = qobject_cast<QPushButton*>(widget)) {
      QStyleOptionButton option;
      option.initFrom(push);
      option.text = push->text();
      const QRect room =
          push->style()->subElementRect(QStyle::SE_PushButtonContents, &option, push);
      if (room.width() < push->fontMetrics().horizontalAdvance(push->text())) {
        cut << "button " + name;
      }
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
      if (!button->text().isEmpty() && button->width() < button->minimumSizeHint().width()) {
        cut << "box " + name;
      }
    } else if (auto* header = qobject_cast<QHeaderView*>(widget)) {
      for (int i = 0; i < header->count(); ++i) {
        if (header->sectionSize(i) < header->sectionSizeHint(i)) {
          cut << QString("column %1 of %2").arg(i).arg(header->parentWidget()->objectName());
        }
      }
    }
  }
  return cut;
}

// The tab titles that need the arrows, and the scroll bars that the pages shown now show.
QStringList Overflows(QWidget* window, bool scaled) {
  QStringList overflows;
  for (const QTabBar* bar : window->findChildren<QTabBar*>()) {
    for (int i = 0; i < bar->count(); ++i) {
      if (!bar->rect().contains(bar->tabRect(i))) overflows << "tab " + bar->tabText(i);
    }
    for (const QToolButton* arrow : bar->findChildren<QToolButton*>()) {
      if (arrow->isVisible()) overflows << "arrows of " + bar->parentWidget()->objectName();
    }
  }
  for (const QScrollArea* page : window->findChildren<QScrollArea*>()) {
    if (!page->isVisible()) continue;
    if (page->horizontalScrollBar()->isVisible()) overflows << "page scrolls sideways";
    if (!scaled && page->verticalScrollBar()->isVisible()) overflows << "page scrolls";
  }
  return overflows;
}

TEST_F(WindowLayout, NothingIsCutOrScrollsAtTheSmallestWindowSize) {
  Open();
  form_->resize(form_->minimumSize());
  const bool scaled = form_->devicePixelRatioF() > 1;
  ForEachPage([&](QWidget*, int tab, int page) {
    EXPECT_EQ((CutTexts(form_.get()) + Overflows(form_.get(), scaled)).join("; ").toStdString(), "")
        << "tab " << tab << ", page " << page;
  });
  // The logs show the seconds of their times.
  for (const char* name : {"ListViewErrors", "ListViewRecvLogs", "ListViewSendLogs"}) {
    QTreeWidget* view = Find<QTreeWidget>(name);
    EXPECT_GT(view->columnWidth(0), view->fontMetrics().horizontalAdvance("2026.12.07 07:09:37"))
        << name;
  }
  EXPECT_LE(form_->frameGeometry().bottom(), form_->screen()->availableGeometry().bottom());
}

}  // namespace
}  // namespace corvane
