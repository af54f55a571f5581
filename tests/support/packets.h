// Magic packet payloads for tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "config/proxy_server_settings.h"

namespace corvane::test {

// A magic packet of `length` bytes (at least 102) for `mac`; bytes after 101 count up from
// `tail_start` (a password, then trailing data, depending on the length).
std::vector<std::uint8_t> MagicPayload(const MacAddress& mac, std::size_t length = 102,
                                       std::uint8_t tail_start = 0xA0);

// A proxy server `name` that receives and sends on a free loopback port and relays every magic
// packet, this host's own included, to 127.0.0.1 `sink_port`.
ProxyServerSettings LoopbackRelay(const std::string& name, std::uint16_t sink_port);

}  // namespace corvane::test
