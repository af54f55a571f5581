#include "platform/host_lookup.h"

#include <dlfcn.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/interfaces.h"
#include "platform/net_address.h"
#include "platform/process_limits.h"

namespace corvane {
namespace {

using GetAddrInfoFunction = int(const char*, const char*, const addrinfo*, addrinfo**);
using FreeAddrInfoFunction = void(addrinfo*);

struct EntryPoints {
  std::mutex mutex;  // serialises loading and releasing; lookups read the atomics only
  std::atomic<GetAddrInfoFunction*> getaddrinfo{nullptr};
  std::atomic<FreeAddrInfoFunction*> freeaddrinfo{nullptr};
  void* library = nullptr;
};

EntryPoints& Process() {
  // Never destroyed: detached engine threads may still resolve while the process exits.
  static auto* entry_points = new EntryPoints;
  return *entry_points;
}

// Looks both functions up in `library`; sets them only when both exist.
bool TakeFrom(EntryPoints& entry_points, void* library) {
  void* get = dlsym(library, "getaddrinfo");
  void* free = dlsym(library, "freeaddrinfo");
  if (get == nullptr || free == nullptr) return false;
  entry_points.getaddrinfo = reinterpret_cast<GetAddrInfoFunction*>(get);
  entry_points.freeaddrinfo = reinterpret_cast<FreeAddrInfoFunction*>(free);
  return true;
}

HostAddresses LookUpWithAddressInfo(const std::string& host, GetAddrInfoFunction* get,
                                    FreeAddrInfoFunction* free) {
  HostAddresses found;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* list = nullptr;
  if (const int error = get(host.c_str(), nullptr, &hints, &list); error != 0) {
    char buffer[256];
    found.failure =
        error == EAI_SYSTEM ? strerror_r(errno, buffer, sizeof buffer) : gai_strerror(error);
    return found;
  }
  for (const addrinfo* row = list; row != nullptr && !(found.has_ipv4 && found.has_ipv6);
       row = row->ai_next) {
    if (row->ai_addr == nullptr) continue;
    if (row->ai_family == AF_INET && !found.has_ipv4 && row->ai_addrlen >= sizeof(sockaddr_in)) {
      sockaddr_in ipv4;
      std::memcpy(&ipv4, row->ai_addr, sizeof ipv4);
      std::memcpy(found.ipv4.data(), &ipv4.sin_addr, 4);
      found.has_ipv4 = true;
    } else if (row->ai_family == AF_INET6 && !found.has_ipv6 &&
               row->ai_addrlen >= sizeof(sockaddr_in6)) {
      sockaddr_in6 ipv6;
      std::memcpy(&ipv6, row->ai_addr, sizeof ipv6);
      std::memcpy(found.ipv6.data(), &ipv6.sin6_addr, 16);
      found.ipv6_scope = ipv6.sin6_scope_id;
      found.has_ipv6 = true;
    }
  }
  free(list);
  if (!found.has_ipv4 && !found.has_ipv6) found.failure = "no IPv4 or IPv6 address";
  return found;
}

HostAddresses LookUpWithHostDatabase(const std::string& host) {
  HostAddresses found;
  hostent entry{};
  hostent* result = nullptr;
  int error = 0;
  std::vector<char> buffer(2048);
  // The reentrant form: engine threads resolve at the same time.
  while (gethostbyname_r(host.c_str(), &entry, buffer.data(), buffer.size(), &result, &error) ==
             ERANGE &&
         buffer.size() < 65536) {
    buffer.resize(buffer.size() * 2);
  }
  if (result == nullptr) {
    found.failure = hstrerror(error);
    return found;
  }
  if (result->h_addrtype != AF_INET || result->h_length != 4 || result->h_addr_list == nullptr ||
      result->h_addr_list[0] == nullptr) {
    found.failure = "no IPv4 address";
    return found;
  }
  std::memcpy(found.ipv4.data(), result->h_addr_list[0], 4);
  found.has_ipv4 = true;
  return found;
}

}  // namespace

bool LoadAddressInfoEntryPoints() {
  EntryPoints& entry_points = Process();
  std::lock_guard lock(entry_points.mutex);
  if (entry_points.getaddrinfo != nullptr) return true;
  // First what the process already has linked, then the C library by name.
  if (TakeFrom(entry_points, RTLD_DEFAULT)) return true;
  void* library = dlopen("libc.so.6", RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) return false;
  if (!TakeFrom(entry_points, library)) {
    dlclose(library);
    return false;
  }
  entry_points.library = library;
  return true;
}

void ReleaseAddressInfoEntryPoints() {
  EntryPoints& entry_points = Process();
  std::lock_guard lock(entry_points.mutex);
  entry_points.getaddrinfo = nullptr;
  entry_points.freeaddrinfo = nullptr;
  if (entry_points.library != nullptr) dlclose(entry_points.library);
  entry_points.library = nullptr;
}

bool AddressInfoEntryPointsLoaded() { return Process().getaddrinfo != nullptr; }

namespace {

HostAddresses LookUpAddressOrName(const std::string& host) {
  EntryPoints& entry_points = Process();
  GetAddrInfoFunction* get = entry_points.getaddrinfo;
  FreeAddrInfoFunction* free = entry_points.freeaddrinfo;
  if (get != nullptr && free != nullptr) return LookUpWithAddressInfo(host, get, free);
  return LookUpWithHostDatabase(host);
}

}  // namespace

HostAddresses LookUpHost(const std::string& host) {
  const HostTextParts parts = SplitInterface(host);
  if (!parts.names_interface) return LookUpAddressOrName(host);
  const std::uint32_t interface_index = InterfaceIndex(parts.interface);
  if (parts.host.empty() || interface_index == 0) {
    HostAddresses none;
    none.failure = parts.host.empty() ? "no address before the interface" : "no such interface";
    return none;
  }
  HostAddresses found = LookUpAddressOrName(std::string(parts.host));
  found.interface_index = interface_index;
  if (found.has_ipv6) found.ipv6_scope = interface_index;
  return found;
}

namespace {

// One lookup on its own thread, shared by the thread and the caller waiting for it: whichever
// lets go last frees it.
struct PendingLookup {
  PendingLookup() : ready_fd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (InDescriptorReserve(ready_fd, 2)) {
      close(ready_fd);
      ready_fd = -1;
    }
  }
  ~PendingLookup() {
    if (ready_fd >= 0) close(ready_fd);
  }
  PendingLookup(const PendingLookup&) = delete;
  PendingLookup& operator=(const PendingLookup&) = delete;

  std::mutex mutex;
  bool done = false;  // guarded by mutex, and so is answer
  HostAddresses answer;
  int ready_fd;  // readable once done; -1 when the process had no descriptor to spare
};

std::atomic<int> lookups_running{0};

HostAddresses Failure(std::string why) {
  HostAddresses none;
  none.failure = std::move(why);
  return none;
}

}  // namespace

HostAddresses LookUpHostWithin(const std::string& host, std::chrono::milliseconds limit,
                               const StopRequest& stop,
                               const std::function<HostAddresses(const std::string&)>& lookup) {
  if (lookups_running.fetch_add(1) >= kMaxLookupsRunning) {
    lookups_running.fetch_sub(1);
    return Failure("too many lookups without an answer");
  }
  auto pending = std::make_shared<PendingLookup>();
  try {
    std::thread([pending, host, lookup] {
      HostAddresses answer = lookup(host);
      {
        std::lock_guard lock(pending->mutex);
        pending->answer = std::move(answer);
        pending->done = true;
      }
      if (pending->ready_fd >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = write(pending->ready_fd, &one, sizeof one);
      }
      lookups_running.fetch_sub(1);
    }).detach();
  } catch (const std::system_error&) {
    lookups_running.fetch_sub(1);
    return lookup(host);
  }

  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + limit;
  while (true) {
    {
      std::lock_guard lock(pending->mutex);
      if (pending->done) return std::move(pending->answer);
    }
    if (stop.IsRequested()) return Failure("stopped before an answer came");
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
      return Failure("no answer within " + (limit.count() % 1000 == 0
                                                ? std::to_string(limit.count() / 1000) + " s"
                                                : std::to_string(limit.count()) + " ms"));
    }
    // Without a descriptor of its own the lookup is looked at every 10 ms.
    if (pending->ready_fd >= 0) {
      stop.WaitReadable({&pending->ready_fd, 1}, left);
    } else {
      stop.Sleep(std::min(left, std::chrono::milliseconds(10)));
    }
  }
}

}  // namespace corvane
