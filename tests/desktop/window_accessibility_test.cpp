// What a screen reader or a GUI robot finds through the accessibility interfaces: every control
// a user can operate has a name, and no two controls of one page share it.
#include <QAccessible>
#include <QLabel>
#include <QScrollArea>
#include <QTabBar>
#include <QTabWidget>
#include <set>

#include "tests/desktop/window_fixture.h"

namespace corvane {
namespace {

using test::WindowTest;

class WindowAccessibility : public WindowTest {};

bool Operable(QAccessible::Role role) {
  switch (role) {
    case QAccessible::PushButton:
    case QAccessible::CheckBox:
    case QAccessible::RadioButton:
    case QAccessible::EditableText:
    case QAccessible::List:
    case QAccessible::Tree:
    case QAccessible::Table:
    case QAccessible::ComboBox:
    case QAccessible::SpinBox:
      return true;
    default:
      return false;
  }
}

// Walks the tree below `node`; one line for each nameless control and each repeated name.
void Walk(QAccessibleInterface* node, std::multiset<QString>& names, QStringList& faults) {
  if (node == nullptr || node->state().invisible) return;
  if (Operable(node->role())) {
    const QString name = node->text(QAccessible::Name);
    const QString which = node->object() != nullptr ? node->object()->objectName() : "?";
    if (name.isEmpty()) faults << "no name: " + which;
    if (names.count(name) > 0 && !name.isEmpty()) faults << "name twice: " + name;
    names.insert(name);
    if (node->role() != QAccessible::PushButton && node->role() != QAccessible::CheckBox &&
        node->role() != QAccessible::RadioButton) {
      return;  // rows, cells and scroll bars of views and edits are not separate controls
    }
  }
  for (int i = 0; i < node->childCount(); ++i) Walk(node->child(i), names, faults);
}

TEST_F(WindowAccessibility, EveryControlOfEveryPageHasItsOwnName) {
  Open();
  ForEachPage([&](QWidget* tab_page, int tab, int page) {
    std::multiset<QString> names;
    QStringList faults;
    Walk(QAccessible::queryAccessibleInterface(tab_page), names, faults);
    EXPECT_EQ(faults.join("; ").toStdString(), "") << "tab " << tab << ", page " << page;
    EXPECT_GE(names.size(), 2u);  // the walk reached the page
  });
  // Names that speak for themselves, and labels that lead to their edits.
  EXPECT_EQ(Find<QWidget>("ButtonAddSendToHost")->accessibleName(), "Add destination host");
  EXPECT_EQ(Find<QWidget>("SpeedButtonHelpPrefix")->accessibleName(), "Help on network prefixes");
  EXPECT_EQ(Find<QWidget>("EditRecvPort")->accessibleName(), "Receive port");
  for (const QLabel* label : form_->findChildren<QLabel*>()) {
    if (label->text() == "Network prefix:") {
      EXPECT_NE(label->buddy(), nullptr);
    }
  }
}

// Tab from a page's tab bar lands on a control of that page that shows its focus, never on the
// page's own frame; the selected proxy server's name above the pages is text, not a stop.
TEST_F(WindowAccessibility, TabGoesFromATabBarToAVisibleControlOfItsPage) {
  Open();
  QApplication::setActiveWindow(form_.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(form_.get()));
  EXPECT_EQ(Find<QWidget>("EditTitle")->focusPolicy(), Qt::NoFocus);
  auto* outer = Find<QTabWidget>("PageControlMain");
  auto* inner = Find<QTabWidget>("PageControlServer");
  ForEachPage([&](QWidget* tab_page, int tab, int page) {
    QTabWidget* tabs = tab == 0 ? inner : outer;
    tabs->findChild<QTabBar*>()->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    const QWidget* focus = QApplication::focusWidget();
    ASSERT_NE(focus, nullptr);
    EXPECT_TRUE(focus->isVisible() && tabs->currentWidget()->isAncestorOf(focus) &&
                qobject_cast<const QScrollArea*>(focus) == nullptr)
        << "tab " << tab << ", page " << page << ": " << focus->metaObject()->className() << " "
        << focus->objectName().toStdString();
    static_cast<void>(tab_page);
  });
}

}  // namespace
}  // namespace corvane
