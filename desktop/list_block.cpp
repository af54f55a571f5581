#include "desktop/list_block.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QVBoxLayout>

#include "desktop/widgets.h"

namespace corvane::desktop {

ListBlock MakeListBlock(QWidget* parent, const ListBlockLayout& block_layout) {
  ListBlock block;
  block.widget = new QWidget(parent);
  auto* layout = new QVBoxLayout(block.widget);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(2);
  if (block_layout.check_name != nullptr) {
    // The caption wraps in a label beside the box, so two blocks fit side by side; clicking the
    // caption ticks the box, as it would with the box's own text.
    block.check = MakeCheckBox(block.widget, block_layout.check_name, QString());
    block.check->setAccessibleName(block_layout.caption);
    QLabel* caption = MakeLabel(block.widget, block_layout.caption);
    caption->setWordWrap(true);
    caption->setBuddy(block.check);
    OnClick(caption, [check = block.check] { check->click(); });
    auto* row = new QHBoxLayout;
    row->addWidget(block.check, 0, Qt::AlignTop);
    row->addWidget(caption, 1);
    layout->addLayout(row);
  } else if (!block_layout.caption.isEmpty()) {
    block.caption = MakeLabel(block.widget, block_layout.caption);
    block.caption->setWordWrap(true);
    layout->addWidget(block.caption);
  }
  block.view = MakeListView(block.widget, block_layout.view_name, block_layout.columns,
                            block_layout.header, true);
  if (block_layout.header && block.view->columnCount() <= 3) {
    // The host column takes what the others leave, so that the list fits half a page.
    block.view->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  }
  const QString what = block_layout.what;
  QString caption = block_layout.caption;
  if (caption.endsWith(':')) caption.chop(1);
  block.view->setAccessibleName(caption + " list");
  block.view->setAccessibleDescription("One row per " + what + ".");
  layout->addWidget(block.view, 1);

  // Labels above their edits, side by side, on one line or two.
  QGridLayout* fields = nullptr;
  int index = 0;
  int column = 0;
  for (const EditLayout& edit : block_layout.edits) {
    if (index == 0 || index == block_layout.first_line) {
      fields = new QGridLayout;
      fields->setHorizontalSpacing(4);
      fields->setVerticalSpacing(1);
      layout->addLayout(fields);
      column = 0;
    }
    QLabel* label = MakeLabel(block.widget, edit.label);
    label->setWordWrap(true);  // long labels take two lines rather than widen the page
    QString field = edit.label.section(':', 0, 0);
    fields->addWidget(label, 0, column, 1, edit.help_button != nullptr ? 2 : 1);
    QLineEdit* line = MakeEdit(block.widget, edit.name, edit.text);
    Restrict(line, edit.input);
    label->setBuddy(line);
    line->setAccessibleName(field + " of " + what);
    if (edit.width > 0) line->setFixedWidth(edit.width);
    fields->addWidget(line, 1, column);
    fields->setColumnStretch(column, edit.width > 0 ? 0 : 1);
    if (edit.help_button != nullptr) {
      block.help = MakeButton(block.widget, edit.help_button, "?");
      block.help->setAccessibleName("Help on network prefixes");
      block.help->setToolTip("Help on network prefixes");
      block.help->setFixedWidth(22);
      fields->addWidget(block.help, 1, ++column);
    }
    block.edits.push_back(line);
    ++index;
    ++column;
  }

  auto* buttons = new QHBoxLayout;
  const QString suffix = block_layout.buttons_suffix;
  block.add = MakeButton(block.widget, ("ButtonAdd" + suffix).toUtf8().constData(), "Add");
  block.edit = MakeButton(block.widget, ("ButtonEdit" + suffix).toUtf8().constData(), "Edit");
  block.remove = MakeButton(block.widget, ("ButtonDelete" + suffix).toUtf8().constData(), "Delete");
  block.add->setAccessibleName("Add " + what);
  block.edit->setAccessibleName("Edit " + what);
  block.remove->setAccessibleName("Delete " + what);
  block.add->setToolTip("Add the " + what + " of the fields above (Enter)");
  block.remove->setToolTip("Delete the selected " + what + " (Delete key)");
  for (QPushButton* button : {block.add, block.edit, block.remove}) {
    ShrinkToCaption(button);
    buttons->addWidget(button);
  }
  buttons->addStretch();
  layout->addLayout(buttons);
  return block;
}

}  // namespace corvane::desktop
