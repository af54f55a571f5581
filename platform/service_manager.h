// The service manager stand-ins: the systemd notify protocol for status reports, control signals
// taken by sigwait, and event lines on standard error for the journal.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace corvane {

// Writes notify-protocol messages ("READY=1\nSTATUS=...") to the socket named by NOTIFY_SOCKET: a
// path, or an abstract name when it starts with '@'.
class NotifySocket {
 public:
  // The socket of the environment; nothing when NOTIFY_SOCKET is missing or malformed, which
  // means that no service manager started the program.
  static std::optional<NotifySocket> FromEnvironment();
  static std::optional<NotifySocket> ForAddress(std::string_view address);

  // Sends one message as one datagram. Thread-safe.
  bool Send(std::string_view message) const;

 private:
  explicit NotifySocket(std::string address) : address_(std::move(address)) {}
  std::string address_;  // '@' already turned into a leading zero byte for abstract names
};

// The controls a service receives, as signals: SIGTERM and SIGINT stop it (systemd also sends
// SIGTERM at shutdown), SIGHUP stands for any other control.
enum class ControlSignal { kStop, kOther, kWake };

// Blocks the control signals in the calling thread and in every thread it starts afterwards, so
// that they are only ever taken by WaitForControlSignal. Call first thing in main.
bool BlockControlSignals();
// Waits for the next control signal, or for WakeControlSignalWaiter.
ControlSignal WaitForControlSignal();
// Ends the wait of WaitForControlSignal with kWake (from any thread).
void WakeControlSignalWaiter();

// The desktop program's log-off path: blocks SIGTERM in the calling thread and the threads it
// starts afterwards (call first thing in main) and returns a descriptor that turns readable when
// SIGTERM arrives, for the window's event loop to watch; -1 when it cannot.
int OpenTerminationDescriptor();
// Takes the pending signal from that descriptor.
void DrainTerminationDescriptor(int fd);

// One event line on standard error with the journal's priority prefix ("<3>" error, "<6>"
// information). One write per line, so lines of several threads never mix. False when the line
// could not be written.
bool WriteEventLine(std::string_view text, bool error);

// The network start-up: true when the system can give a UDP socket.
bool NetworkReady();

}  // namespace corvane
