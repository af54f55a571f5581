#include "desktop/logs_page.h"

#include <QVBoxLayout>
#include <algorithm>

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
}

}  // namespace

LogsPage::LogsPage(QWidget* parent) : QWidget(parent) {
  errors_.widget =
      MakeListView(this, "ListViewErrors", {{"Time", 120}, {"Message", 420}}, true, false);
  received_.widget = MakeListView(this, "ListViewRecvLogs",
                                  {{"Time", 120},
                                   {"From IP address", 135},
                                   {"From Port", 65},
                                   {"MAC address", 115},
                                   {"Magic password", 115},
                                   {"Ignored", 60}},
                                  true, false);
  sent_.widget = MakeListView(this, "ListViewSendLogs",
                              {{"Time", 120},
                               {"To IP address", 135},
                               {"To Port", 65},
                               {"MAC address", 115},
                               {"Magic password", 115}},
                              true, false);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(MakeLabel(this, "Errors:"));
  layout->addWidget(errors_.widget);
  layout->addWidget(MakeLabel(this, "Received magic packets:"));
  layout->addWidget(received_.widget);
  layout->addWidget(MakeLabel(this, "Sent magic packets:"));
  layout->addWidget(sent_.widget);
}

LogsPage::~LogsPage() {
  for (View* view : {&errors_, &received_, &sent_}) qDeleteAll(view->held);
}

void LogsPage::Append(View& view, QTreeWidgetItem* item, int max_rows) {
  if (view.widget->topLevelItemCount() + view.held.size() >= max_rows) {
    int drop = kTrim;
    if (view.widget->topLevelItemCount() > 0) {
      const int from_view = std::min(drop, view.widget->topLevelItemCount());
      for (int i = 0; i < from_view; ++i) delete view.widget->takeTopLevelItem(0);
      drop -= from_view;
    }
    for (; drop > 0 && !view.held.isEmpty(); --drop) delete view.held.takeFirst();
  }
  if (batching_) {
    view.held.append(item);
  } else {
    view.widget->addTopLevelItem(item);
  }
}

void LogsPage::EndBatch() {
  batching_ = false;
  for (View* view : {&errors_, &received_, &sent_}) {
    if (view->held.isEmpty()) continue;
    view->widget->setUpdatesEnabled(false);
    view->widget->addTopLevelItems(view->held);
    view->held.clear();
    view->widget->setUpdatesEnabled(true);
  }
}

void LogsPage::AddError(const ErrorRow& row) {
  Append(errors_, Row(row.time, {row.message}), kMaxErrorRows);
}

void LogsPage::AddPacket(View& view, const PacketRow& row, bool received) {
  Append(view, Row(row.time, PacketRowTexts(row, received)), kMaxPacketRows);
}

void LogsPage::Refill(const LogHistory& history) {
  EndBatch();
  Fill(errors_.widget, history.errors(),
       [](const ErrorRow& row) { return Row(row.time, {row.message}); });
  Fill(received_.widget, history.received(),
       [](const PacketRow& row) { return Row(row.time, PacketRowTexts(row, true)); });
  Fill(sent_.widget, history.sent(),
       [](const PacketRow& row) { return Row(row.time, PacketRowTexts(row, false)); });
}

}  // namespace corvane::desktop
