#include "desktop/log_history.h"

#include <cstdio>

#include "config/list_entry_rules.h"
#include "platform/files.h"

namespace corvane::desktop {

LogTime LocalNow() {
  const CalendarTime now = CurrentLocalTime();
  return {now.year,
          static_cast<std::uint8_t>(now.month),
          static_cast<std::uint8_t>(now.day),
          static_cast<std::uint8_t>(now.hour),
          static_cast<std::uint8_t>(now.minute),
          static_cast<std::uint8_t>(now.second)};
}

std::string LogTimeText(const LogTime& time) {
  char text[32];
  std::snprintf(text, sizeof text, "%u.%02u.%02u %02u:%02u:%02u", unsigned{time.year},
                unsigned{time.month}, unsigned{time.day}, unsigned{time.hour},
                unsigned{time.minute}, unsigned{time.second});
  return text;
}

ErrorRow ErrorRow::From(const EngineReport& report, const LogTime& time) {
  ErrorRow row{time, ErrorText(report), std::nullopt};
  if (report.Status == EngineStatus::kCannotBindIpv4Socket ||
      report.Status == EngineStatus::kCannotBindIpv6Socket) {
    row.unbound_port = report.ReportPort;
  }
  return row;
}

PacketRow PacketRow::From(const EngineReport& report, const LogTime& time) {
  PacketRow row;
  row.time = time;
  row.address = report.ReportAddress;
  row.port = report.ReportPort;
  row.mac = report.ReportMac;
  row.password = report.ReportPassword;
  row.has_password = report.ReportHasPassword;
  row.ignored = report.ReportIgnored;
  row.ignore_reason = report.ReportIgnoreReason;
  return row;
}

std::vector<std::string> PacketRowTexts(const PacketRow& row, bool received) {
  std::vector<std::string> texts{AddressToString(row.address), std::to_string(row.port),
                                 HexText(row.mac),
                                 row.has_password ? HexText(row.password) : std::string()};
  if (received) {
    texts.emplace_back(row.ignored ? "Yes" : "No");
    texts.emplace_back(row.ignored ? IgnoreReasonWords(row.ignore_reason) : std::string_view());
  }
  return texts;
}

void LogHistory::AddError(ErrorRow row) {
  if (errors_.size() >= kMaxErrors) errors_.erase(errors_.begin(), errors_.begin() + kTrim);
  if (row.message.size() > kMaxMessage) row.message = CutText(row.message, kMaxMessage);
  errors_.push_back(std::move(row));
}

void LogHistory::Add(std::deque<PacketRow>& rows, PacketRow row) {
  if (rows.size() >= kMaxPackets) rows.erase(rows.begin(), rows.begin() + kTrim);
  rows.push_back(std::move(row));
}

}  // namespace corvane::desktop
