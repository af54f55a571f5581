// How the proxy list shows a row: the proxy server's name, and under it its state in words
// ("running", "stopped", "failed: ..."), which a row carries in kStateWordsRole; each part of them
// ("running; changed; restart to apply") goes on a line of its own, so that the narrow list cuts
// none. The row's own text stays the name alone, by which the list sorts and is searched.
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
    if (!words.isEmpty()) {
      option->text += QChar::LineSeparator +
                      QString(words).replace(QStringLiteral("; "), QString(QChar::LineSeparator));
    }
  }
};

}  // namespace corvane::desktop
