// A second network namespace for the namespace tests: a child process that holds it, commands run
// inside it, and sockets opened inside it. Sockets keep their namespace when handed back.
#pragma once

#include <sys/types.h>

#include <string>

#include "platform/udp_socket.h"

namespace corvane::test {

// Runs `command` with the shell; fails the test when it does not succeed.
void Shell(const std::string& command);

class PeerNamespace {
 public:
  PeerNamespace();
  ~PeerNamespace();
  PeerNamespace(const PeerNamespace&) = delete;
  PeerNamespace& operator=(const PeerNamespace&) = delete;

  pid_t pid() const { return pid_; }
  // Runs a shell command inside the namespace.
  void Run(const std::string& command) const;
  // A socket of the namespace bound to `port` (0: any).
  UdpSocket OpenSocket(AddressFamily family, std::uint16_t port = 0) const;

 private:
  pid_t pid_ = -1;
};

// The test namespace ("here", 10.77.0.1 and fd77::1 on veth0) wired to a peer namespace (10.77.0.2
// and fd77::2 on veth1). Default routes on both sides let 255.255.255.255 leave by the veth pair.
struct TwoHosts {
  TwoHosts();
  ~TwoHosts();
  PeerNamespace peer;
};

}  // namespace corvane::test
