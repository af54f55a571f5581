// A second network namespace for the namespace tests: a child process that holds it, commands run
// inside it, and sockets opened inside it. Sockets keep their namespace when handed back.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>

#include "platform/udp_socket.h"

namespace corvane::test {

// Runs `command` with the shell; fails the test when it does not succeed.
void Shell(const std::string& command);
// Adds `count` /32 addresses of the /16 `network` ("10.82") to lo and removes them again, in one
// batch, faster than anyone can take the changes.
void FloodAddresses(const std::string& network, int count);

class PeerNamespace {
 public:
  PeerNamespace();
  ~PeerNamespace();
  PeerNamespace(const PeerNamespace&) = delete;
  PeerNamespace& operator=(const PeerNamespace&) = delete;

  pid_t pid() const { return pid_; }
  // Runs a shell command inside the namespace.
  void Run(const std::string& command) const;
  // Runs `work` on a short-lived thread inside the namespace, and waits for it.
  void Inside(const std::function<void()>& work) const;
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

// The test namespace on two links, as a router with two VLANs has: "lan1" to the first peer and
// "lan2" to the second, each peer's end named eth0. Here 10.81.N.1/24, fd81:N::1/64 and fe80::1 on
// lanN; the peer 10.81.N.2/24, fd81:N::2/64 and fe80::2, the same link-local address on both links.
// No other addresses are made and none waits for duplicate detection; default routes leave by lan1.
struct TwoLinks {
  TwoLinks();
  ~TwoLinks();
  PeerNamespace peers[2];
};

}  // namespace corvane::test
