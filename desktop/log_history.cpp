#include "desktop/log_history.h"

#include <time.h>

#include <cstdio>

#include "config/list_entry_rules.h"

namespace corvane::desktop {

LogTime LocalNow() {
  const time_t now = time(nullptr);
  tm parts{};
  localtime_r(&now, &parts);
  LogTime time;
  time.year = static_cast<std::uint16_t>(parts.tm_year + 1900);
  time.month = static_cast<std::uint8_t>(parts.tm_mon + 1);
  time.day = static_cast<std::uint8_t>(parts.tm_mday);
  time.hour = static_cast<std::uint8_t>(parts.tm_hour);
  time.minute = static_cast<std::uint8_t>(parts.tm_min);
  time.second = static_cast<std::uint8_t>(parts.tm_sec);
  return time;
}

std::string LogTimeText(const LogTime& time) {
  char text[32];
  std::snprintf(text, sizeof text, "%u.%02u.%02u %02u:%02u:%02u", unsigned{time.year},
                unsigned{time.month}, unsigned{time.day}, unsigned{time.hour},
                unsigned{time.minute}, unsigned{time.second});
  return text;
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
  return row;
}

std::vector<std::string> PacketRowTexts(const PacketRow& row, bool received) {
  std::vector<std::string> texts{AddressToString(row.address), std::to_string(row.port),
                                 HexText(row.mac),
                                 row.has_password ? HexText(row.password) : std::string()};
  if (received) texts.push_back(row.ignored ? "Yes" : "No");
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
