// The editor behind every settings list: a list view whose rows carry their entries, the edit
// fields below it, and the buttons Add, Edit and Delete.
//
// Add (also Enter in any of the edit fields) parses the edit fields and adds a row (the view sorts
// it into place); a refused text changes nothing and the status bar says why, as it says what was
// adjusted (a prefix above 128). Edit overwrites the selected row's entry the same way. Delete
// (also the Delete key in the list) removes the selected row and selects the row above it, else
// the one below. Selecting a row
// enables Edit and Delete and copies its entry back into the edit fields; losing the selection
// disables both. There is no duplicate check; only the first 1000 rows reach the record.
#pragma once

#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "config/proxy_server_settings.h"
#include "desktop/widgets.h"

namespace corvane::desktop {

template <typename Entry>
class EntryItem final : public SortedItem {
 public:
  explicit EntryItem(Entry value) : entry(std::move(value)) {}
  Entry entry;
};

template <typename Entry>
struct EntryRules {
  // The entry the edit fields describe, or nothing when they are refused. `editing` is the entry
  // being overwritten by Edit (nothing for Add). `note` receives why the fields were refused, or
  // what was adjusted in an accepted entry.
  std::function<std::optional<Entry>(const QStringList& fields, const Entry* editing,
                                     QString* note)>
      parse;
  std::function<std::vector<std::string>(const Entry&)> row;  // the row's column texts
  std::function<QStringList(const Entry&)> fields;            // the edit fields' texts
};

template <typename Entry>
class ListEditor {
 public:
  ListEditor(QTreeWidget* view, std::vector<QLineEdit*> edits, QPushButton* add, QPushButton* edit,
             QPushButton* remove, EntryRules<Entry> rules)
      : view_(view),
        edits_(std::move(edits)),
        edit_(edit),
        remove_(remove),
        rules_(std::move(rules)) {
    edit_->setEnabled(false);
    remove_->setEnabled(false);
    QObject::connect(add, &QPushButton::clicked, view_, [this] { Add(); });
    QObject::connect(edit_, &QPushButton::clicked, view_, [this] { Edit(); });
    QObject::connect(remove_, &QPushButton::clicked, view_, [this] { Delete(); });
    QObject::connect(view_, &QTreeWidget::itemSelectionChanged, view_, [this] { Selected(); });
    for (QLineEdit* field : edits_) {
      QObject::connect(field, &QLineEdit::returnPressed, view_, [this, add] {
        if (add->isEnabled()) Add();
      });
    }
    OnKey(view_, Qt::Key_Delete, [this] { Delete(); });
  }
  ListEditor(const ListEditor&) = delete;
  ListEditor& operator=(const ListEditor&) = delete;

  // Replaces the rows by one per entry.
  void Load(const std::vector<Entry>& entries) {
    const bool sorted = view_->isSortingEnabled();
    view_->setSortingEnabled(false);  // sort once, not per row
    view_->clear();
    for (const Entry& entry : entries) Append(entry);
    view_->setSortingEnabled(sorted);
    view_->header()->setSortIndicatorShown(false);
  }

  // The entries of the first 1000 rows, in display order.
  std::vector<Entry> Store() const {
    std::vector<Entry> entries;
    for (int i = 0; i < view_->topLevelItemCount() && entries.size() < kMaxListEntries; ++i) {
      if (auto* item = dynamic_cast<EntryItem<Entry>*>(view_->topLevelItem(i))) {
        entries.push_back(item->entry);
      }
    }
    return entries;
  }

  EntryItem<Entry>* SelectedItem() const {
    const QList<QTreeWidgetItem*> selected = view_->selectedItems();
    return selected.isEmpty() ? nullptr : dynamic_cast<EntryItem<Entry>*>(selected.front());
  }

  QTreeWidget* view() const { return view_; }

  // Called after the selection changed, with the selected row or nothing.
  std::function<void(EntryItem<Entry>*)> on_selected;
  // Whether Add may act now (the packets of an action need a selected action).
  std::function<bool()> may_add;
  // Called just before Delete frees a row's entry.
  std::function<void(EntryItem<Entry>*)> on_deleting;

 private:
  QStringList Fields() const {
    QStringList fields;
    for (const QLineEdit* edit : edits_) fields << edit->text();
    return fields;
  }

  EntryItem<Entry>* Append(const Entry& entry) {
    auto* item = new EntryItem<Entry>(entry);
    ShowTexts(*item);
    view_->addTopLevelItem(item);
    return item;
  }

  void ShowTexts(EntryItem<Entry>& item) {
    const std::vector<std::string> texts = rules_.row(item.entry);
    for (std::size_t column = 0; column < texts.size(); ++column) {
      const QString text = QString::fromStdString(texts[column]);
      item.setText(static_cast<int>(column), text);
      item.setToolTip(static_cast<int>(column), text);  // long host names do not fit the column
    }
  }

  void Add() {
    if (may_add && !may_add()) return;
    QString note;
    std::optional<Entry> entry = rules_.parse(Fields(), nullptr, &note);
    if (!entry) {
      ShowStatus(view_, "Not added: " + note);
      return;
    }
    Append(*entry);
    ShowStatus(view_, note);
  }

  void Edit() {
    EntryItem<Entry>* item = SelectedItem();
    if (item == nullptr) return;
    QString note;
    std::optional<Entry> entry = rules_.parse(Fields(), &item->entry, &note);
    if (!entry) {
      ShowStatus(view_, "Not changed: " + note);
      return;
    }
    item->entry = std::move(*entry);
    ShowTexts(*item);
    if (view_->isSortingEnabled()) view_->sortItems(0, Qt::AscendingOrder);
    ShowStatus(view_, note);
  }

  void Delete() {
    EntryItem<Entry>* item = SelectedItem();
    if (item == nullptr) return;
    QTreeWidgetItem* neighbour = view_->itemAbove(item);
    if (neighbour == nullptr) neighbour = view_->itemBelow(item);
    if (on_deleting) on_deleting(item);
    DeleteQuietly(view_, item);
    if (neighbour != nullptr) {
      view_->setCurrentItem(neighbour);
    } else {
      Selected();  // nothing left to select: Edit and Delete go off
    }
  }

  void Selected() {
    EntryItem<Entry>* item = SelectedItem();
    edit_->setEnabled(item != nullptr);
    remove_->setEnabled(item != nullptr);
    if (item != nullptr) {
      const QStringList texts = rules_.fields(item->entry);
      for (int i = 0; i < texts.size() && i < static_cast<int>(edits_.size()); ++i) {
        edits_[static_cast<std::size_t>(i)]->setText(texts[i]);
      }
    }
    if (on_selected) on_selected(item);
  }

  QTreeWidget* view_;
  std::vector<QLineEdit*> edits_;
  QPushButton* edit_;
  QPushButton* remove_;
  EntryRules<Entry> rules_;
};

}  // namespace corvane::desktop
