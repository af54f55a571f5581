// The list entry rules of each list kind, as the list editors use them: how the edit fields
// become an entry (every field but a replacement packet's password must be filled in) and the
// words that say why fields were refused or adjusted, the row texts, and the texts that a selected
// row puts back into the edit fields.
#pragma once

#include <array>

#include "config/proxy_server_settings.h"
#include "desktop/list_editor.h"

namespace corvane::desktop {

EntryRules<HostEntry> SenderHostRules();   // host, prefix
EntryRules<HostEntry> DestinationRules();  // host, prefix, port
EntryRules<PortRange> PortRangeRules();    // "8 - 80"
// Passwords and MAC addresses; `what` names the field in messages ("MAC address").
EntryRules<std::array<std::uint8_t, 6>> SixBytesRules(const char* what);
EntryRules<ActionByMac> ActionRules();                    // MAC; Edit keeps the packets
EntryRules<ReplaceByMacPacket> ReplacementPacketRules();  // MAC, password, host, prefix, port

}  // namespace corvane::desktop
