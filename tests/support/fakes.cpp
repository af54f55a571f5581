#include "tests/support/fakes.h"

#include <cstring>

#include "platform/net_address.h"

namespace corvane::test {

void FakeLookup::Answer(const std::string& host, const std::string& ipv4, const std::string& ipv6) {
  HostAddresses addresses;
  if (!ipv4.empty()) {
    const IpAddress address = *ParseIpAddress(ipv4);
    std::memcpy(addresses.ipv4.data(), address.bytes.data(), 4);
    addresses.has_ipv4 = true;
  }
  if (!ipv6.empty()) {
    addresses.ipv6 = ParseIpAddress(ipv6)->bytes;
    addresses.ipv6_scope = 7;  // a scope the engine must not use
    addresses.has_ipv6 = true;
  }
  answers_[host] = addresses;
}

HostAddresses FakeLookup::Lookup(const std::string& host) {
  ++questions_[host];
  const auto found = answers_.find(host);
  return found == answers_.end() ? HostAddresses{} : found->second;
}

int FakeLookup::questions(const std::string& host) const {
  const auto found = questions_.find(host);
  return found == questions_.end() ? 0 : found->second;
}

int FakeLookup::questions() const {
  int total = 0;
  for (const auto& [host, count] : questions_) total += count;
  return total;
}

}  // namespace corvane::test
