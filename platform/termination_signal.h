// The desktop program's log-off path: SIGTERM as a descriptor for the window's event loop to
// watch, never handled in signal context.
#pragma once

namespace corvane {

// Blocks SIGTERM in the calling thread and the threads it starts afterwards (call first thing in
// main) and returns a descriptor that turns readable when SIGTERM arrives; -1 when it cannot.
[[nodiscard]] int OpenTerminationDescriptor();
// Takes the pending signal from that descriptor.
void DrainTerminationDescriptor(int fd);

}  // namespace corvane
