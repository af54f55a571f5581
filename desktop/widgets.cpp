#include "desktop/widgets.h"

#include <QHeaderView>
#include <QSignalBlocker>

namespace corvane::desktop {

QLineEdit* MakeEdit(QWidget* parent, const char* name, const QString& text, int max_length) {
  auto* edit = new QLineEdit(text, parent);
  edit->setObjectName(name);
  edit->setMaxLength(max_length);
  return edit;
}

QCheckBox* MakeCheckBox(QWidget* parent, const char* name, const QString& caption) {
  auto* box = new QCheckBox(caption, parent);
  box->setObjectName(name);
  return box;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  return button;
}

QRadioButton* MakeRadioButton(QWidget* parent, const char* name, const QString& caption) {
  auto* button = new QRadioButton(caption, parent);
  button->setObjectName(name);
  return button;
}

QLabel* MakeLabel(QWidget* parent, const QString& text) { return new QLabel(text, parent); }

QTreeWidget* MakeListView(QWidget* parent, const char* name,
                          std::initializer_list<std::pair<QString, int>> columns, bool header,
                          bool sorted) {
  auto* view = new QTreeWidget(parent);
  view->setObjectName(name);
  view->setRootIsDecorated(false);
  view->setSelectionMode(QAbstractItemView::SingleSelection);
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view->setUniformRowHeights(true);
  view->setColumnCount(static_cast<int>(columns.size()));
  QStringList captions;
  int column = 0;
  for (const auto& [caption, width] : columns) {
    captions << caption;
    view->setColumnWidth(column++, width);
  }
  view->setHeaderLabels(captions);
  view->setHeaderHidden(!header);
  view->header()->setStretchLastSection(false);
  view->header()->setSectionsClickable(false);
  if (sorted) {
    view->setSortingEnabled(true);
    view->sortByColumn(0, Qt::AscendingOrder);
    view->header()->setSortIndicatorShown(false);
  }
  return view;
}

void DeleteQuietly(QTreeWidget* view, QTreeWidgetItem* item) {
  const QSignalBlocker blocker(view);
  delete item;
  view->clearSelection();
  view->setCurrentItem(nullptr);
}

bool SortedItem::operator<(const QTreeWidgetItem& other) const {
  // Letters first by their alphabet, then, for texts that differ only in case, lower case first;
  // the same order in every locale.
  const QString a = text(0), b = other.text(0);
  const int ignoring_case = QString::compare(a, b, Qt::CaseInsensitive);
  if (ignoring_case != 0) return ignoring_case < 0;
  return QString::compare(a, b, Qt::CaseSensitive) > 0;
}

}  // namespace corvane::desktop
