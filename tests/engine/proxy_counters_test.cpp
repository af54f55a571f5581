#include "engine/proxy_counters.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>

#include "engine/escaped_text.h"
#include "engine/packet_trace.h"
#include "engine/storm_guard.h"
#include "platform/errno_code.h"
#include "tests/support/fake_window.h"
#include "tests/support/fakes.h"
#include "tests/support/loopback.h"
#include "tests/support/packets.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;

constexpr MacAddress kMac{0x00, 0x11, 0x22, 0x33, 0x44, 0x55};

// Waits until something receives on loopback `port`: a datagram to a port nobody holds comes back
// refused. (Binding the port to find out would take it from the proxy server starting there.)
bool WaitUntilReceiving(std::uint16_t port) {
  const int probe = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  const sockaddr_in to = {AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
  bool receiving = false;
  if (connect(probe, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0) {
    for (int i = 0; i < 400; ++i) {
      char byte = 0;
      send(probe, &byte, 1, 0);
      pollfd polled{probe, POLLIN | POLLERR, 0};
      receiving = poll(&polled, 1, 20) == 0;  // no refusal came back
      if (receiving) break;
      recv(probe, &byte, 1, 0);  // takes the refusal
      std::this_thread::sleep_for(5ms);
    }
  }
  close(probe);
  return receiving;
}

CounterValues Ignored(IgnoreReason reason, std::uint64_t count, std::uint64_t accepted = 0) {
  CounterValues values;
  values.received = count + accepted;
  values.accepted = accepted;
  values.ignored[static_cast<std::size_t>(reason)] = count;
  return values;
}

// The desktop variant with every display option off: nothing reaches the window, and every
// event is counted all the same.
TEST(ProxyCounters, EveryOutcomeIsCountedWhateverTheDisplayOptionsShow) {
  UdpSocket sink = test::PeerSocket(AddressFamily::kIpv4);
  UdpSocket peer = test::PeerSocket(AddressFamily::kIpv4);
  const std::uint16_t peer_port = *peer.LocalPort();
  CounterValues sent_and_failed;
  sent_and_failed.received = sent_and_failed.accepted = 1;
  sent_and_failed.sent = 1;
  sent_and_failed.send_failures = 1;  // port 0 cannot be sent to
  CounterValues guarded = Ignored(IgnoreReason::kStormGuard, 2, StormGuard::kBurst);
  guarded.sent = StormGuard::kBurst;
  const struct {
    const char* name;
    std::function<void(ProxyServerSettings&)> adjust;
    std::vector<std::uint8_t> payload;
    int copies;
    CounterValues expected;
  } cases[] = {
      {"accepted, sent and failed",
       [&](ProxyServerSettings& s) {
         s.SendToHostsList = {{"127.0.0.1", 32, *sink.LocalPort()}, {"127.0.0.1", 32, 0}};
       },
       test::MagicPayload(kMac), 1, sent_and_failed},
      {"own address", [](ProxyServerSettings& s) { s.DontRecvFromYourIp = true; },
       test::MagicPayload(kMac), 1, Ignored(IgnoreReason::kOwnAddress, 1)},
      {"sender port",
       [&](ProxyServerSettings& s) {
         s.DontRecvFromPorts = true;
         s.DontRecvFromPortsList = {{peer_port, peer_port}};
       },
       test::MagicPayload(kMac), 1, Ignored(IgnoreReason::kSenderPort, 1)},
      {"password", [](ProxyServerSettings& s) { s.DontRecvWithPassword = true; },
       test::MagicPayload(kMac, 108), 3, Ignored(IgnoreReason::kPassword, 3)},
      {"MAC",
       [](ProxyServerSettings& s) {
         s.RecvWithNextMacs = true;
         s.RecvWithNextMacsList = {{0x02, 0, 0, 0, 0, 1}};
       },
       test::MagicPayload(kMac), 2, Ignored(IgnoreReason::kMac, 2)},
      {"storm guard",
       [&](ProxyServerSettings& s) {
         s.SendToHostsList = {{"127.0.0.1", 32, *sink.LocalPort()}};
       },
       test::MagicPayload(kMac), StormGuard::kBurst + 2, guarded},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto window = test::FakeWindow::Create();
    for (std::atomic<bool>* option :
         {&window->options().ShowErrors, &window->options().ShowRecvPackets,
          &window->options().ShowSendPackets}) {
      Set(*option, false);
    }
    ProxyServerSettings settings = *NewProxyServerSettings("counted");
    settings.IpMode = IpMode::UseIPv4;
    settings.RecvPort = settings.SendPort = test::FreeUdpPort();
    settings.DontRecvFromYourIp = false;
    c.adjust(settings);
    const auto thread = window->StartServer(window->AddServer(settings));
    EXPECT_EQ(thread->counters().Read(), CounterValues{});
    ASSERT_TRUE(WaitUntilReceiving(settings.RecvPort));
    for (int i = 0; i < c.copies; ++i) {
      test::Send(peer, c.payload, test::Loopback(AddressFamily::kIpv4, settings.RecvPort));
    }
    for (int i = 0; i < 400 && thread->counters().Read() != c.expected; ++i) {
      std::this_thread::sleep_for(5ms);
    }
    EXPECT_EQ(CountersText(thread->counters().Read()), CountersText(c.expected));
    thread->Terminate();
    EXPECT_TRUE(thread->WaitUntilFinished(5s));
    EXPECT_TRUE(window->recorded().packets.empty() && window->recorded().errors.empty());
    while (test::ReceiveWithin(sink, 1ms)) {
    }
  }
}

TEST(EscapedText, NamesNeverBreakAJournalOrAMetricsLine) {
  const struct {
    std::string text, journal, label;
  } cases[] = {
      {"relay 1", "relay 1", "relay 1"},
      {"a\"b\\c", "a\\\"b\\\\c", "a\\\"b\\\\c"},
      {"two\nlines\r\t", "two\\x0Alines\\x0D\\x09", "two\\nlines\r\t"},
      {"B\xC3\xBCro \xE2\x82\xAC", "B\xC3\xBCro \xE2\x82\xAC", "B\xC3\xBCro \xE2\x82\xAC"},
      // Latin-1, a cut sequence, an overlong form, a surrogate, a C1 control.
      {"B\xFCro", "B\\xFCro", "B\xEF\xBF\xBDro"},
      {"cut\xE2\x82", "cut\\xE2\\x82", "cut\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"\xC0\xAF", "\\xC0\\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"\xED\xA0\x80", "\\xED\\xA0\\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"\xC2\x85", "\\xC2\\x85", "\xC2\x85"},
      // Line separators and bidirectional controls, at both ends of their ranges; the
      // characters beside them stay.
      {"n\xE2\x80\xA8m\xE2\x80\xA9", "n\\xE2\\x80\\xA8m\\xE2\\x80\\xA9",
       "n\xE2\x80\xA8m\xE2\x80\xA9"},
      {"\xE2\x80\xAA\xE2\x80\xAE", "\\xE2\\x80\\xAA\\xE2\\x80\\xAE", "\xE2\x80\xAA\xE2\x80\xAE"},
      {"\xE2\x81\xA6\xE2\x81\xA9", "\\xE2\\x81\\xA6\\xE2\\x81\\xA9", "\xE2\x81\xA6\xE2\x81\xA9"},
      {"\xE2\x80\xA7\xE2\x80\xAF\xE2\x81\xA5\xE2\x81\xAA",
       "\xE2\x80\xA7\xE2\x80\xAF\xE2\x81\xA5\xE2\x81\xAA",
       "\xE2\x80\xA7\xE2\x80\xAF\xE2\x81\xA5\xE2\x81\xAA"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(JournalText(c.text), c.journal) << c.text;
    EXPECT_EQ(MetricsLabelValue(c.text), c.label) << c.text;
  }
}

// 50 lines a second; what is left out is told once the second is over, by the next line or by
// the owner's flush when no line comes.
TEST(PacketTrace, AFloodIsCutToTheLimitAndTellsWhatItLeftOut) {
  test::FakeClock clock;
  std::vector<std::string> lines;
  PacketTrace trace(
      "P", [&](std::string_view line) { lines.emplace_back(line); }, clock);
  MagicPacket packet;
  const auto payload = test::MagicPayload(kMac);
  std::copy(payload.begin(), payload.end(), packet.bytes.begin());
  packet.length = payload.size();
  const Endpoint from = test::Loopback(AddressFamily::kIpv4, 40000);
  for (int i = 0; i < 80; ++i) trace.Received(packet, from, IgnoreReason::kNone);
  EXPECT_EQ(lines.size(), 50u);
  EXPECT_EQ(lines[0],
            "P: from 127.0.0.1 port 40000, MAC 00:11:22:33:44:55, password none: accepted");
  clock.Advance(999);
  trace.FlushLeftOut();
  EXPECT_EQ(lines.size(), 50u);  // the second is not over
  clock.Advance(1);
  trace.SendFailed(from, ErrnoCode(ECONNREFUSED));
  ASSERT_EQ(lines.size(), 52u);
  EXPECT_EQ(lines[50], "P: 30 trace lines left out");
  EXPECT_EQ(lines[51], "P: can not send to 127.0.0.1 port 40000: Connection refused");
  for (int i = 0; i < 60; ++i) trace.Sent(packet, from);
  trace.FlushLeftOut();
  EXPECT_EQ(lines.size(), 101u);
  clock.Advance(1000);
  trace.FlushLeftOut();
  trace.FlushLeftOut();
  ASSERT_EQ(lines.size(), 102u);
  EXPECT_EQ(lines.back(), "P: 11 trace lines left out");
  // The end of a run does not wait for the second to end.
  for (int i = 0; i < 51; ++i) trace.Sent(packet, from);
  trace.FlushLeftOut(/*at_end=*/true);
  EXPECT_EQ(lines.back(), "P: 1 trace lines left out");
}

}  // namespace
}  // namespace corvane
