// Small helpers that make the window's controls with their names (objectName is the control's
// name, by which the tests find it) and captions.
#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QStatusBar>
#include <QTabWidget>
#include <QTreeWidget>
#include <functional>
#include <initializer_list>
#include <utility>

namespace corvane::desktop {

QLineEdit* MakeEdit(QWidget* parent, const char* name, const QString& text, int max_length = 96);
QCheckBox* MakeCheckBox(QWidget* parent, const char* name, const QString& caption);
QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption);
QRadioButton* MakeRadioButton(QWidget* parent, const char* name, const QString& caption);
QLabel* MakeLabel(QWidget* parent, const QString& text);

// What an edit accepts from the keyboard and from the clipboard: a number that its field cannot
// hold never enters. Text set by the program (a loaded value) is not checked; the stored values'
// own rules still apply to it.
enum class Input {
  kText,       // anything but white space (host names and addresses)
  kPort,       // 0..65535
  kPrefix,     // 0..128
  kDelay,      // 0..10000 (milliseconds)
  kPortRange,  // "8 - 80", "8,80", every number 0..65535
  kHex,        // MAC addresses and passwords: hexadecimal digits and the separators : - . space
  kFree,       // names
};
void Restrict(QLineEdit* edit, Input input);

// Runs `action` when `key` is pressed (without modifiers) while `widget` has the focus.
void OnKey(QWidget* widget, int key, std::function<void()> action);

// Runs `action` when the left mouse button is released over `widget`.
void OnClick(QWidget* widget, std::function<void()> action);

// Shows `text` in the status bar of the main window that holds `widget` until the next message;
// an empty text clears it.
void ShowStatus(QWidget* widget, const QString& text);

// The main window's status bar: a message too long for it ends in "...", and its tooltip (which
// screen readers read as its description) always holds the whole message.
class StatusBar final : public QStatusBar {
 public:
  explicit StatusBar(QWidget* parent);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

// One line of read-only text that asks for no width of its own: a text too long for it ends in
// "...", with the whole text in its tooltip. text() is the whole text.
class ElidedLabel final : public QLabel {
 public:
  explicit ElidedLabel(QWidget* parent);
  void ShowText(const QString& text);
  QSize minimumSizeHint() const override;
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  QString Shown() const;
  // The whole text goes into the tooltip while the label shows less of it.
  void ToolTipWhenCut();
};

// A report-style, read-only list view with whole-row selection. Without captions no header row
// is shown. `sorted` keeps the items in the order of their first column's text. A column is at
// least as wide as its caption; a single column without a caption fills the view.
QTreeWidget* MakeListView(QWidget* parent, const char* name,
                          std::initializer_list<std::pair<QString, int>> columns, bool header,
                          bool sorted);

// Widens `column` to show `sample` (the widest text it holds) in the view's font.
void FitColumn(QTreeWidget* view, int column, const QString& sample);

// Lets a push button shrink to its caption (styles ask for a wider least size), so that a row of
// short buttons fits a narrow panel.
void ShrinkToCaption(QPushButton* button);

// Tabs with less room around their titles, so that more titles fit beside each other.
void CompactTabs(QTabWidget* tabs);

// A page that scrolls instead of squeezing its controls when the window is smaller than the page,
// so no text is ever cut; its size hint is the page's own.
class ScrollPage final : public QScrollArea {
 public:
  explicit ScrollPage(QWidget* page);
  QSize sizeHint() const override;
};

// Deletes a row without the view selecting another one on its own (which would run the
// selection handlers for a row the caller does not mean to select); afterwards nothing is
// selected or current.
void DeleteQuietly(QTreeWidget* view, QTreeWidgetItem* item);

// A list item kept in the order of its caption: alphabetically regardless of case, and for
// captions that differ only in case, lower case first.
class SortedItem : public QTreeWidgetItem {
 public:
  using QTreeWidgetItem::QTreeWidgetItem;
  bool operator<(const QTreeWidgetItem& other) const override;
};

}  // namespace corvane::desktop
