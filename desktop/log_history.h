// The recent rows of one proxy server for the monitoring views: errors, received and sent magic
// packets. Kept in memory only, on the window thread; full histories lose their oldest 100 rows
// at a time, so a busy proxy server never grows them beyond their limits.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>

#include "config/proxy_server_settings.h"
#include "engine/engine_report.h"
#include "platform/net_address.h"

namespace corvane::desktop {

struct LogTime {
  std::uint16_t year = 0;
  std::uint8_t month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// Local time now.
LogTime LocalNow();
// "2026.12.07 07:09:37".
std::string LogTimeText(const LogTime& time);

struct ErrorRow {
  LogTime time;
  std::string message;                                       // at most 150 characters
  std::optional<std::uint16_t> unbound_port = std::nullopt;  // the port of a failed bind

  // The row of an engine error, in the words of the desktop program.
  static ErrorRow From(const EngineReport& report, const LogTime& time);
};

struct PacketRow {
  LogTime time;
  IpAddress address;  // the sender of a received packet, the destination of a sent one
  std::uint16_t port = 0;
  MacAddress mac{};
  MagicPassword password{};
  bool has_password = false;
  bool ignored = false;                              // received packets only
  IgnoreReason ignore_reason = IgnoreReason::kNone;  // why, when ignored

  static PacketRow From(const EngineReport& report, const LogTime& time);
};

// Texts of a packet row's columns after the time: address, port, MAC, password (empty without
// one) and, for received rows, "Yes" or "No" and the reason in a few words (empty when accepted).
std::vector<std::string> PacketRowTexts(const PacketRow& row, bool received);

class LogHistory {
 public:
  static constexpr std::size_t kMaxErrors = 1000;
  static constexpr std::size_t kMaxPackets = 4000;
  static constexpr std::size_t kTrim = 100;
  static constexpr std::size_t kMaxMessage = 150;

  void AddError(ErrorRow row);
  void AddReceived(PacketRow row) { Add(received_, std::move(row)); }
  void AddSent(PacketRow row) { Add(sent_, std::move(row)); }

  const std::deque<ErrorRow>& errors() const { return errors_; }
  const std::deque<PacketRow>& received() const { return received_; }
  const std::deque<PacketRow>& sent() const { return sent_; }

 private:
  static void Add(std::deque<PacketRow>& rows, PacketRow row);

  std::deque<ErrorRow> errors_;
  std::deque<PacketRow> received_;
  std::deque<PacketRow> sent_;
};

}  // namespace corvane::desktop
