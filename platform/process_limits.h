// Limits of the process that the programs adjust at start-up.
#pragma once

namespace corvane {

// Raises the soft limit of open files to the hard limit. Each running proxy server holds up to
// four sockets, a wake-up descriptor and a subscription to address changes, so 1000 of them need
// more than the usual soft limit of 1024. Returns whether the soft limit now equals the hard limit.
bool RaiseOpenFileLimit();

// Descriptors that the engine leaves to the rest of the process: 32 plus a sixteenth of the
// limit. Toolkits and libraries open descriptors at any time (a painting thread, a wake-up pipe)
// and some abort when they get none, so the sockets and wake-up descriptors of proxy servers
// never take the last ones: they fail like any other socket instead.
//
// True when `fd` (just opened) lies within that reserve, taken `times` over; the caller then
// closes it and treats the open as failed with EMFILE. Wake-up descriptors, which proxy servers
// can do without, ask for twice the reserve, so that they never crowd out the sockets.
bool InDescriptorReserve(int fd, unsigned times = 1);

}  // namespace corvane
