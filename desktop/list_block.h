// The controls of one settings list, laid out as a block: an optional check box above the list
// view, the labelled edit fields below it (an optional help button beside one of them), and the
// buttons Add, Edit and Delete, named "ButtonAdd" + suffix and so on.
#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QWidget>
#include <initializer_list>
#include <utility>
#include <vector>

#include "desktop/widgets.h"

namespace corvane::desktop {

struct EditLayout {
  const char* name;
  QString text;                       // default text
  QString label;                      // shown above the edit
  const char* help_button = nullptr;  // a "?" button after the edit, by this name
  int width = 0;                      // a fixed width for short numbers; 0 stretches
  Input input = Input::kText;         // what the keyboard may enter
};

struct ListBlock {
  QWidget* widget = nullptr;
  QCheckBox* check = nullptr;  // when the block has one
  QLabel* caption = nullptr;   // when the block has a caption instead
  QTreeWidget* view = nullptr;
  std::vector<QLineEdit*> edits;
  QPushButton* help = nullptr;
  QPushButton* add = nullptr;
  QPushButton* edit = nullptr;
  QPushButton* remove = nullptr;
};

struct ListBlockLayout {
  const char* check_name = nullptr;  // a check box above the view, or
  QString caption;                   // its caption / a label above the view
  const char* view_name;
  std::initializer_list<std::pair<QString, int>> columns;
  bool header;
  std::initializer_list<EditLayout> edits;
  const char* buttons_suffix;
  int first_line = 3;  // edits on the first line; the rest go on a second one
  // What one entry is, for the names that screen readers speak ("Add destination host").
  const char* what = "entry";
};

ListBlock MakeListBlock(QWidget* parent, const ListBlockLayout& block_layout);

}  // namespace corvane::desktop
