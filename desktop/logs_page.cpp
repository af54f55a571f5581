#include "desktop/logs_page.h"

#include <QScrollBar>
#include <QVBoxLayout>

#include "desktop/widgets.h"

namespace corvane::desktop {
namespace {

constexpr int kTrim = 100;

QTreeWidgetItem* Row(const LogTime& time, const std::vector<std::string>& texts) {
  auto* item = new QTreeWidgetItem;
  item->setText(0, QString::fromStdString(LogTimeText(time)));
  for (std::size_t i = 0; i < texts.size(); ++i) {
    item->setText(static_cast<int>(i) + 1, QString::fromStdString(texts[i]));
  }
  return item;
}

// Whether the view shows its last row, so that a new row should be scrolled into view.
bool AtEnd(const QTreeWidget* view) {
  const QScrollBar* bar = view->verticalScrollBar();
  return bar->value() >= bar->maximum();
}

void DropFirstRows(QTreeWidget* view) {
  for (int i = 0; i < kTrim && view->topLevelItemCount() > 0; ++i) delete view->takeTopLevelItem(0);
}

// Fills `view` with `rows`, once emptied, each inside its own update bracket.
template <typename Rows, typename MakeRow>
void Fill(QTreeWidget* view, const Rows& rows, MakeRow make_row) {
  view->setUpdatesEnabled(false);
  view->clear();
  view->setUpdatesEnabled(true);
  view->setUpdatesEnabled(false);
  QList<QTreeWidgetItem*> items;
  items.reserve(static_cast<qsizetype>(rows.size()));
  for (const auto& row : rows) items.append(make_row(row));
  view->addTopLevelItems(items);
  view->setUpdatesEnabled(true);
  view->scrollToBottom();
}

}  // namespace

LogsPage::LogsPage(QWidget* parent) : QWidget(parent) {
  errors_ = MakeListView(this, "ListViewErrors", {{"Time", 120}, {"Message", 420}}, true, false);
  received_ = MakeListView(this, "ListViewRecvLogs",
                           {{"Time", 120},
                            {"From IP address", 135},
                            {"From Port", 65},
                            {"MAC address", 115},
                            {"Magic password", 115},
                            {"Ignored", 60}},
                           true, false);
  sent_ = MakeListView(this, "ListViewSendLogs",
                       {{"Time", 120},
                        {"To IP address", 135},
                        {"To Port", 65},
                        {"MAC address", 115},
                        {"Magic password", 115}},
                       true, false);
  for (QTreeWidget* view : {errors_, received_, sent_}) {
    FitColumn(view, 0, "0000.00.00 00:00:00");  // the seconds too
  }
  for (QTreeWidget* view : {received_, sent_}) {
    FitColumn(view, 1, "255.255.255.255");
    FitColumn(view, 3, "DD:DD:DD:DD:DD:DD");  // MAC address
    FitColumn(view, 4, "DD:DD:DD:DD:DD:DD");  // magic password
  }
  auto* layout = new QVBoxLayout(this);
  for (auto [caption, view] :
       {std::pair{"Errors:", errors_}, std::pair{"Received magic packets:", received_},
        std::pair{"Sent magic packets:", sent_}}) {
    QLabel* label = MakeLabel(this, caption);
    label->setBuddy(view);
    view->setAccessibleName(QString(caption).chopped(1) + " list");
    layout->addWidget(label);
    layout->addWidget(view);
  }
}

void LogsPage::AddError(const ErrorRow& row) {
  const bool follow = AtEnd(errors_);
  if (errors_->topLevelItemCount() >= kMaxErrorRows) DropFirstRows(errors_);
  errors_->addTopLevelItem(Row(row.time, {row.message}));
  if (follow) errors_->scrollToBottom();
}

void LogsPage::AddPacket(QTreeWidget* view, const PacketRow& row, bool received) {
  const bool follow = AtEnd(view);
  if (view->topLevelItemCount() > kMaxPacketRows - 1) DropFirstRows(view);
  view->addTopLevelItem(Row(row.time, PacketRowTexts(row, received)));
  if (follow) view->scrollToBottom();
}

void LogsPage::Refill(const LogHistory& history) {
  Fill(errors_, history.errors(), [](const ErrorRow& row) { return Row(row.time, {row.message}); });
  Fill(received_, history.received(),
       [](const PacketRow& row) { return Row(row.time, PacketRowTexts(row, true)); });
  Fill(sent_, history.sent(),
       [](const PacketRow& row) { return Row(row.time, PacketRowTexts(row, false)); });
}

}  // namespace corvane::desktop
