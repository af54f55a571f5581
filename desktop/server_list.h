// How the proxy list shows a row: the proxy server's name, and under it its state in words
// ("running", "stopped", "failed: ..."), which a row carries in kStateWordsRole. The row's own text
// stays the name alone, by which the list sorts and is searched.
#pragma once

#include <QStyledItemDelegate>

namespace corvane::desktop {

inline constexpr int kStateWordsRole = Qt::UserRole + 2;

class ServerListDelegate final : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    const QString words = index.data(kStateWordsRole).toString();
    if (!words.isEmpty()) option->text += QChar::LineSeparator + words;
  }
};

}  // namespace corvane::desktop
