#include "tests/support/packets.h"

#include <algorithm>

#include "config/proxy_server_table.h"
#include "tests/support/loopback.h"

namespace corvane::test {

std::vector<std::uint8_t> MagicPayload(const MacAddress& mac, std::size_t length,
                                       std::uint8_t tail_start) {
  std::vector<std::uint8_t> payload(std::max<std::size_t>(length, 102));
  std::fill_n(payload.begin(), 6, std::uint8_t{0xFF});
  for (std::size_t copy = 0; copy < 16; ++copy) {
    std::copy(mac.begin(), mac.end(), payload.begin() + 6 + copy * 6);
  }
  for (std::size_t i = 102; i < payload.size(); ++i) {
    payload[i] = static_cast<std::uint8_t>(tail_start + (i - 102));
  }
  payload.resize(length);
  return payload;
}

ProxyServerSettings LoopbackRelay(const std::string& name, std::uint16_t sink_port) {
  ProxyServerSettings settings = *NewProxyServerSettings(name);
  settings.RecvPort = settings.SendPort = FreeUdpPort();
  settings.DontRecvFromYourIp = false;
  settings.SendToHostsList = {{"127.0.0.1", 32, sink_port}};
  return settings;
}

}  // namespace corvane::test
