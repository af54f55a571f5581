// The page "Logs": errors, received and sent magic packets of the proxy server shown. Rows stay in
// arrival order, newest last; a full view loses its first 100 rows at a time. A view that shows its
// newest row keeps following the new ones; one scrolled back by the user stays where it is.
#pragma once

#include <QTreeWidget>
#include <QWidget>

#include "desktop/log_history.h"

namespace corvane::desktop {

class LogsPage final : public QWidget {
 public:
  static constexpr int kMaxErrorRows = 1000;
  static constexpr int kMaxPacketRows = 4000;

  explicit LogsPage(QWidget* parent);

  void AddError(const ErrorRow& row);
  void AddReceived(const PacketRow& row) { AddPacket(received_, row, true); }
  void AddSent(const PacketRow& row) { AddPacket(sent_, row, false); }
  // Empties the views and fills them from `history`, each inside update brackets.
  void Refill(const LogHistory& history);

 private:
  static void AddPacket(QTreeWidget* view, const PacketRow& row, bool received);

  QTreeWidget* errors_;
  QTreeWidget* received_;
  QTreeWidget* sent_;
};

}  // namespace corvane::desktop
