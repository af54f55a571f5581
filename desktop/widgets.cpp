#include "desktop/widgets.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMouseEvent>
#include <QPainter>
#include <QProxyStyle>
#include <QRegularExpressionValidator>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QStyle>
#include <QTabBar>
#include <algorithm>

#include "config/proxy_server_settings.h"

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

namespace {

// Digits (and for a port range the separators) whose every number is at most `max`. An empty text
// is acceptable, so that Enter still reaches the entry rules, which say why it is refused.
class NumberValidator final : public QValidator {
 public:
  NumberValidator(QObject* parent, int max, bool range)
      : QValidator(parent),
        allowed_(QRegularExpression::anchoredPattern(range ? "[0-9 ,-]*" : "[0-9]*")),
        max_(max) {}

  State validate(QString& input, int&) const override {
    if (!allowed_.match(input).hasMatch()) return Invalid;
    static const QRegularExpression kNumber("[0-9]+");
    for (const QRegularExpressionMatch& number : kNumber.globalMatch(input)) {
      const QString digits = number.captured();
      const qsizetype first = digits.indexOf(QRegularExpression("[1-9]"));
      if (first >= 0 && (digits.size() - first > 9 || digits.mid(first).toInt() > max_)) {
        return Invalid;
      }
    }
    return Acceptable;
  }

 private:
  QRegularExpression allowed_;
  int max_;
};

}  // namespace

void Restrict(QLineEdit* edit, Input input) {
  const char* pattern = nullptr;
  switch (input) {
    case Input::kText:
      pattern = "\\S*";
      break;
    case Input::kPort:
      edit->setValidator(new NumberValidator(edit, 65535, false));
      return;
    case Input::kPrefix:
      edit->setValidator(new NumberValidator(edit, kMaxPrefix, false));
      return;
    case Input::kDelay:
      edit->setValidator(new NumberValidator(edit, kMaxSendDelayTime, false));
      return;
    case Input::kPortRange:
      edit->setValidator(new NumberValidator(edit, 65535, true));
      return;
    case Input::kHex:
      pattern = "[0-9A-Fa-f:. -]*";
      break;
    case Input::kFree:
      edit->setValidator(nullptr);
      return;
  }
  edit->setValidator(new QRegularExpressionValidator(QRegularExpression(pattern), edit));
}

namespace {

// A key (`key_` > 0) or, with `key_` 0, a left click that runs an action.
class KeyFilter final : public QObject {
 public:
  KeyFilter(QObject* parent, int key, std::function<void()> action)
      : QObject(parent), key_(key), action_(std::move(action)) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (key_ != 0 && event->type() == QEvent::KeyPress) {
      const auto* press = static_cast<QKeyEvent*>(event);
      if (press->key() == key_ && press->modifiers() == Qt::NoModifier) {
        action_();
        return true;
      }
    }
    if (key_ == 0 && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
      action_();
      return true;
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  int key_;
  std::function<void()> action_;
};

// A list view that asks for a few rows only; the layouts give it the room that is left, and a page
// that scrolls does not scroll for an empty list's sake.
class ListView final : public QTreeWidget {
 public:
  using QTreeWidget::QTreeWidget;
  QSize sizeHint() const override {
    const int header = isHeaderHidden() ? 0 : this->header()->sizeHint().height();
    return {QTreeWidget::sizeHint().width(),
            header + 4 * fontMetrics().height() + 2 * frameWidth()};
  }
};

}  // namespace

void OnKey(QWidget* widget, int key, std::function<void()> action) {
  widget->installEventFilter(new KeyFilter(widget, key, std::move(action)));
}

void OnClick(QWidget* widget, std::function<void()> action) {
  widget->installEventFilter(new KeyFilter(widget, 0, std::move(action)));
}

void ShowStatus(QWidget* widget, const QString& text) {
  auto* window = qobject_cast<QMainWindow*>(widget->window());
  if (window == nullptr) return;
  if (text.isEmpty()) {
    window->statusBar()->clearMessage();
  } else {
    window->statusBar()->showMessage(text);
  }
}

StatusBar::StatusBar(QWidget* parent) : QStatusBar(parent) {
  setObjectName("StatusBar");
  connect(this, &QStatusBar::messageChanged, this, [this](const QString& text) {
    setToolTip(text);
    update();
  });
}

void StatusBar::paintEvent(QPaintEvent* event) {
  const QString message = currentMessage();
  if (message.isEmpty()) {
    QStatusBar::paintEvent(event);
    return;
  }
  QPainter painter(this);
  // Where the base class puts its message: beside the size grip, with its margins.
  const int grip = isSizeGripEnabled() ? style()->pixelMetric(QStyle::PM_SizeGripSize) : 0;
  const QRect room = rect().adjusted(6, 0, -(6 + grip), 0);
  painter.setPen(palette().windowText().color());
  painter.drawText(room, Qt::AlignLeading | Qt::AlignVCenter | Qt::TextSingleLine,
                   fontMetrics().elidedText(message, Qt::ElideRight, room.width()));
}

ElidedLabel::ElidedLabel(QWidget* parent) : QLabel(parent) {}

void ElidedLabel::ShowText(const QString& text) {
  setText(text);
  ToolTipWhenCut();
}

QSize ElidedLabel::minimumSizeHint() const { return {0, QLabel::minimumSizeHint().height()}; }

QSize ElidedLabel::sizeHint() const { return {0, QLabel::sizeHint().height()}; }

QString ElidedLabel::Shown() const {
  return fontMetrics().elidedText(text(), Qt::ElideRight, contentsRect().width());
}

void ElidedLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  style()->drawItemText(&painter, contentsRect(), Qt::AlignLeading | Qt::AlignVCenter, palette(),
                        isEnabled(), Shown(), foregroundRole());
}

void ElidedLabel::resizeEvent(QResizeEvent* event) {
  QLabel::resizeEvent(event);
  ToolTipWhenCut();
}

void ElidedLabel::ToolTipWhenCut() { setToolTip(Shown() == text() ? QString() : text()); }

QTreeWidget* MakeListView(QWidget* parent, const char* name,
                          std::initializer_list<std::pair<QString, int>> columns, bool header,
                          bool sorted) {
  auto* view = new ListView(parent);
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
    // Without a header the only column fills the view, however narrow.
    if (header) view->setColumnWidth(column, width);
    ++column;
  }
  view->setHeaderLabels(captions);
  view->setHeaderHidden(!header);
  if (header) {
    for (int i = 0; i < view->columnCount(); ++i) {
      view->setColumnWidth(i, std::max(view->columnWidth(i), view->header()->sectionSizeHint(i)));
    }
  }
  // Without a header the only column fills the view; with one, each column keeps its width and
  // the view scrolls when it is narrower than all of them.
  view->header()->setStretchLastSection(!header);
  view->header()->setSectionsClickable(false);
  if (sorted) {
    view->setSortingEnabled(true);
    view->sortByColumn(0, Qt::AscendingOrder);
    view->header()->setSortIndicatorShown(false);
  }
  return view;
}

void FitColumn(QTreeWidget* view, int column, const QString& sample) {
  const int margin = 2 * view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) +
                     2 * view->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, view);
  const int needed = view->fontMetrics().horizontalAdvance(sample) + margin + 8;
  view->setColumnWidth(column, std::max(view->columnWidth(column), needed));
}

void ShrinkToCaption(QPushButton* button) {
  const QStyle* style = button->style();
  const int frame = style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button);
  const int margin = style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button);
  button->setMinimumWidth(button->fontMetrics().horizontalAdvance(button->text()) + 2 * margin +
                          2 * frame + 4);
}

namespace {

class CompactTabStyle final : public QProxyStyle {
 public:
  int pixelMetric(PixelMetric metric, const QStyleOption* option,
                  const QWidget* widget) const override {
    const int value = QProxyStyle::pixelMetric(metric, option, widget);
    return metric == PM_TabBarTabHSpace ? value * 2 / 3 : value;
  }
};

}  // namespace

void CompactTabs(QTabWidget* tabs) {
  // One style for every tab bar, living as long as the application.
  static QStyle* const style = [] {
    QStyle* compact = new CompactTabStyle;
    compact->setParent(QCoreApplication::instance());
    return compact;
  }();
  if (auto* bar = tabs->findChild<QTabBar*>()) bar->setStyle(style);
}

ScrollPage::ScrollPage(QWidget* page) {
  setFocusPolicy(Qt::NoFocus);  // Tab goes from the tab bar to the page's first control
  setWidget(page);
  setWidgetResizable(true);
  setFrameShape(QFrame::NoFrame);
}

QSize ScrollPage::sizeHint() const {
  return widget() == nullptr ? QScrollArea::sizeHint() : widget()->sizeHint();
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
