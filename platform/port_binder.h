// Ports below 1024 for a program that holds CAP_NET_BIND_SERVICE as a file capability while it
// runs a toolkit. A toolkit loads code from places its user names (plugin folders and names in the
// environment and on the command line, theme modules from the user's settings), and no list of
// variables closes that for certain. So the capability never reaches the toolkit: at the start,
// before anything else runs, the program splits off a binder process that keeps it, and drops
// every capability itself. The binder takes UDP sockets the program hands it, binds them to the
// any-address and a port below 1024, and does nothing else; it has no toolkit and reads no
// settings. Whoever runs the program may bind UDP ports below 1024 through it, which the program
// offers every user anyway; nothing else of the capability (TCP ports, addresses) is reachable.
//
// The binder ends when the program's end of the connection closes (the program ended).
#pragma once

#include <cstdint>
#include <system_error>

namespace corvane {

// At the very start of main, before any thread, toolkit or other library work. When the process
// runs in secure mode (AT_SECURE) holding capabilities, splits off the binder (if one of them is
// CAP_NET_BIND_SERVICE) and drops every capability of this process. false when they could not be
// dropped: the program must then end. Without a binder (the system refused one) ports below 1024
// are refused as without the capability.
[[nodiscard]] bool StartPortBinder();

// Binds the unbound UDP socket `fd` to the any-address of its family and `port` (1..1023) through
// the binder: no error, EACCES when there is no binder, or the binder's own error when its bind
// failed. Any thread.
[[nodiscard]] std::error_code BindThroughPortBinder(int fd, std::uint16_t port);

}  // namespace corvane
