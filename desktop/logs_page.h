// The page "Logs": errors, received and sent magic packets of the proxy server shown. Rows stay in
// arrival order, newest last; a full view loses its first 100 rows at a time. A view that shows its
// newest row keeps following the new ones; one scrolled back by the user stays where it is.
//
// Rows added between BeginBatch and EndBatch are held back and inserted into their views at once at
// EndBatch, with one redraw: a view that takes rows one by one does its bookkeeping and a repaint
// per row. What the views show after EndBatch is the same as with rows added one by one.
#pragma once

#include <QLabel>
#include <QTreeWidget>
#include <QWidget>
#include <functional>

#include "desktop/log_history.h"

namespace corvane::desktop {

class LogsPage final : public QWidget {
 public:
  static constexpr int kMaxErrorRows = 1000;
  static constexpr int kMaxPacketRows = 4000;

  explicit LogsPage(QWidget* parent);
  ~LogsPage() override;

  void AddError(const ErrorRow& row);
  void AddReceived(const PacketRow& row) { AddPacket(received_, row, true); }
  void AddSent(const PacketRow& row) { AddPacket(sent_, row, false); }
  void BeginBatch() { batching_ = true; }
  void EndBatch();
  // The line above the views: what the proxy server shown has done since it started.
  void ShowCounters(const QString& text);
  // Empties the views and fills them from `history`, each inside update brackets.
  void Refill(const LogHistory& history);

  // The tooltip of an error row: its message, and what to do about it.
  std::function<QString(const ErrorRow& row)> error_tip;

 private:
  // A view and the rows held back for it during a batch.
  struct View {
    QTreeWidget* widget = nullptr;
    QList<QTreeWidgetItem*> held;
  };

  void AddPacket(View& view, const PacketRow& row, bool received);
  QTreeWidgetItem* ErrorItem(const ErrorRow& row) const;
  // Widens the received view's reason column for an ignored row's words.
  void FitReason(const PacketRow& row);
  // Adds `item` (owned) as the newest row; when the view holds `max_rows` rows or more, counting
  // the held ones, its first 100 go first.
  void Append(View& view, QTreeWidgetItem* item, int max_rows);

  QLabel* counters_ = nullptr;  // LabelCounters
  View errors_;
  View received_;
  View sent_;
  bool batching_ = false;
};

}  // namespace corvane::desktop
