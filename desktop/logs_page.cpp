#include "desktop/logs_page.h"

#include <QHeaderView>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>

#include "desktop/widgets.h"

namespace corvane::desktop {
namespace {

constexpr int kTrim = 100;
constexpr int kIgnoredColumn = 5;
constexpr int kReasonColumn = 6;

QTreeWidgetItem* Row(const LogTime& time, const std::vector<std::string>& texts) {
  auto* item = new QTreeWidgetItem;
  item->setText(0, QString::fromStdString(LogTimeText(time)));
  for (std::size_t i = 0; i < texts.size(); ++i) {
    item->setText(static_cast<int>(i) + 1, QString::fromStdString(texts[i]));
  }
  return item;
}

// A packet row; an ignored received packet says why in the tooltip of each of its cells.
QTreeWidgetItem* PacketItem(const PacketRow& row, bool received) {
  QTreeWidgetItem* item = Row(row.time, PacketRowTexts(row, received));
  const std::string_view reason = IgnoreReasonText(row.ignore_reason);
  if (received && row.ignored && !reason.empty()) {
    const QString tip = "Ignored because " + QString::fromUtf8(reason.data(), reason.size());
    for (int column = 0; column < item->columnCount(); ++column) item->setToolTip(column, tip);
  }
  return item;
}

// Whether the view shows its last row, so that a new row should be scrolled into view.
bool AtEnd(const QTreeWidget* view) {
  const QScrollBar* bar = view->verticalScrollBar();
  return bar->value() >= bar->maximum();
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
  errors_.widget =
      MakeListView(this, "ListViewErrors", {{"Time", 120}, {"Message", 420}}, true, false);
  received_.widget = MakeListView(this, "ListViewRecvLogs",
                                  {{"Time", 120},
                                   {"From IP address", 135},
                                   {"From Port", 65},
                                   {"MAC address", 115},
                                   {"Magic password", 115},
                                   {"Ignored", 60},
                                   {"Reason", 60}},
                                  true, false);
  // Whether a packet was ignored and why stand beside its sender, so that they are seen without
  // scrolling also when the window is at its smallest; the columns keep their order in the rows.
  received_.widget->header()->moveSection(kIgnoredColumn, 3);
  received_.widget->header()->moveSection(kReasonColumn, 4);
  sent_.widget = MakeListView(this, "ListViewSendLogs",
                              {{"Time", 120},
                               {"To IP address", 135},
                               {"To Port", 65},
                               {"MAC address", 115},
                               {"Magic password", 115}},
                              true, false);
  for (QTreeWidget* view : {errors_.widget, received_.widget, sent_.widget}) {
    FitColumn(view, 0, "0000.00.00 00:00:00");  // the seconds too
  }
  for (QTreeWidget* view : {received_.widget, sent_.widget}) {
    FitColumn(view, 1, "255.255.255.255");
    FitColumn(view, 3, "DD:DD:DD:DD:DD:DD");  // MAC address
    FitColumn(view, 4, "DD:DD:DD:DD:DD:DD");  // magic password
  }
  auto* layout = new QVBoxLayout(this);
  counters_ = MakeLabel(this, "");
  counters_->setObjectName("LabelCounters");
  counters_->setWordWrap(true);  // a long line must not widen the window
  counters_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(counters_);
  for (auto [caption, view] : {std::pair{"Errors:", errors_.widget},
                               std::pair{"Received magic packets:", received_.widget},
                               std::pair{"Sent magic packets:", sent_.widget}}) {
    QLabel* label = MakeLabel(this, caption);
    label->setBuddy(view);
    view->setAccessibleName(QString(caption).chopped(1) + " list");
    layout->addWidget(label);
    layout->addWidget(view);
  }
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
    return;
  }
  const bool follow = AtEnd(view.widget);
  view.widget->addTopLevelItem(item);
  if (follow) view.widget->scrollToBottom();
}

void LogsPage::EndBatch() {
  batching_ = false;
  for (View* view : {&errors_, &received_, &sent_}) {
    if (view->held.isEmpty()) continue;
    const bool follow = AtEnd(view->widget);
    view->widget->setUpdatesEnabled(false);
    view->widget->addTopLevelItems(view->held);
    view->held.clear();
    view->widget->setUpdatesEnabled(true);
    if (follow) view->widget->scrollToBottom();
  }
}

void LogsPage::ShowCounters(const QString& text) {
  if (counters_->text() != text) counters_->setText(text);
}

QTreeWidgetItem* LogsPage::ErrorItem(const ErrorRow& row) const {
  QTreeWidgetItem* item = Row(row.time, {row.message});
  const QString tip = error_tip ? error_tip(row) : QString::fromStdString(row.message);
  for (int column = 0; column < item->columnCount(); ++column) item->setToolTip(column, tip);
  return item;
}

void LogsPage::FitReason(const PacketRow& row) {
  if (!row.ignored) return;
  const std::string_view words = IgnoreReasonWords(row.ignore_reason);
  FitColumn(received_.widget, kReasonColumn,
            QString::fromUtf8(words.data(), static_cast<qsizetype>(words.size())));
}

void LogsPage::AddError(const ErrorRow& row) { Append(errors_, ErrorItem(row), kMaxErrorRows); }

void LogsPage::AddPacket(View& view, const PacketRow& row, bool received) {
  if (received) FitReason(row);
  Append(view, PacketItem(row, received), kMaxPacketRows);
}

void LogsPage::Refill(const LogHistory& history) {
  EndBatch();
  Fill(errors_.widget, history.errors(), [this](const ErrorRow& row) { return ErrorItem(row); });
  received_.widget->setColumnWidth(kReasonColumn,
                                   received_.widget->header()->sectionSizeHint(kReasonColumn));
  Fill(received_.widget, history.received(), [this](const PacketRow& row) {
    FitReason(row);
    return PacketItem(row, true);
  });
  Fill(sent_.widget, history.sent(), [](const PacketRow& row) { return PacketItem(row, false); });
}

}  // namespace corvane::desktop
