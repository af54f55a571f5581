#include "desktop/prefix_help.h"

#include "desktop/message_box.h"

namespace corvane::desktop {

QString SenderPrefixHelpText() {
  return "Network prefix is a number in the range\r\n"
         "0..32 for IPv4 addresses or 0..128 for IPv6 addresses\r\n\r\n"
         "Examples:\r\n"
         "192.168.1.100/32 = Single IP: 192.168.1.100\r\n"
         "192.168.1.100/24 = IP Range: 192.168.1.0 - 192.168.1.255\r\n"
         "192.168.1.100/16 = IP Range: 192.168.0.0 - 192.168.255.255\r\n"
         "192.168.1.100/8 = IP Range: 192.0.0.0 - 192.255.255.255\r\n"
         "192.168.1.100/0 = Single IP: 192.168.1.100\r\n\r\n"
         "fe80::30c:6eff:fec7:d8a/128 = Single IP: fe80::30c:6eff:fec7:d8a\r\n"
         "fe80::30c:6eff:fec7:d8a/64 = IP Range: fe80::0000:0000:0000:0000 - "
         "fe80::ffff:ffff:ffff:ffff\r\n"
         "fe80::30c:6eff:fec7:d8a/0 = Single IP: fe80::30c:6eff:fec7:d8a\r\n\r\n"
         "The program uses the network prefix /0 as /32 for IPv4 addresses or /128 for IPv6 "
         "addresses";
}

QString DestinationPrefixHelpText() {
  return "Network prefix is a number in the range\r\n"
         "0..32 for IPv4 addresses\r\n\r\n"
         "Examples:\r\n"
         "255.255.255.255/32 = Broadcast IP: 255.255.255.255\r\n"
         "192.168.1.255/32 = Broadcast IP: 192.168.1.255\r\n"
         "192.168.1.100/32 = Unicast IP: 192.168.1.100\r\n"
         "192.168.1.100/24 = Broadcast IP: 192.168.1.255\r\n"
         "192.168.1.100/16 = Broadcast IP: 192.168.255.255\r\n"
         "192.168.1.100/8 = Broadcast IP: 192.255.255.255\r\n"
         "192.168.1.100/0 = Broadcast IP: 255.255.255.255\r\n\r\n"
         "The program don't use the network prefix for IPv6 addresses";
}

void SpeedButtonHelpPrefixClick(QWidget* parent) {
  MessageBoxes::Information(parent, "Information", SenderPrefixHelpText());
}

void SpeedButtonHelpPrefix2Click(QWidget* parent) {
  MessageBoxes::Information(parent, "Information", DestinationPrefixHelpText());
}

}  // namespace corvane::desktop
