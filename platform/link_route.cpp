#include "platform/link_route.h"

#include <linux/neighbour.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "platform/process_limits.h"

namespace corvane {
namespace {

constexpr std::size_t kAttributeRoom = 64;

// A request: its header, its body and room for a few attributes.
template <typename Body>
struct Request {
  nlmsghdr header;
  Body body;
  alignas(NLMSG_ALIGNTO) std::array<char, kAttributeRoom> attributes;
};

template <typename Body>
void AddAttribute(Request<Body>& request, std::uint16_t type, const void* data, std::size_t size) {
  const std::size_t at = request.header.nlmsg_len - NLMSG_LENGTH(sizeof(Body));
  rtattr attribute{};
  attribute.rta_len = static_cast<unsigned short>(RTA_LENGTH(size));
  attribute.rta_type = type;
  std::memcpy(request.attributes.data() + at, &attribute, sizeof attribute);
  std::memcpy(request.attributes.data() + at + RTA_LENGTH(0), data, size);
  request.header.nlmsg_len += RTA_ALIGN(attribute.rta_len);
}

template <typename Body>
Request<Body> NewRequest(std::uint16_t type) {
  Request<Body> request{};
  request.header.nlmsg_len = NLMSG_LENGTH(sizeof(Body));
  request.header.nlmsg_type = type;
  request.header.nlmsg_flags = NLM_F_REQUEST;
  return request;
}

std::size_t AddressSize(const IpAddress& address) {
  return address.family == AddressFamily::kIpv4 ? 4 : 16;
}

unsigned char SystemFamily(const IpAddress& address) {
  return address.family == AddressFamily::kIpv4 ? AF_INET : AF_INET6;
}

// Calls `take(type, data, size)` for every attribute of `attributes`, each bound checked.
template <typename Take>
void ForEachAttribute(std::string_view attributes, Take take) {
  std::size_t at = 0;
  while (attributes.size() - at >= sizeof(rtattr)) {
    rtattr attribute;
    std::memcpy(&attribute, attributes.data() + at, sizeof attribute);
    if (attribute.rta_len < sizeof(rtattr) || attribute.rta_len > attributes.size() - at) return;
    take(attribute.rta_type, attributes.data() + at + RTA_LENGTH(0),
         attribute.rta_len - RTA_LENGTH(0));
    at += RTA_ALIGN(attribute.rta_len);
  }
}

std::error_code SystemError(int error) { return {error, std::system_category()}; }

}  // namespace

LinkRoutes::~LinkRoutes() {
  if (fd_ >= 0) close(fd_);
}

std::error_code LinkRoutes::Route(const IpAddress& destination, LinkHop& hop) {
  hop = LinkHop{};
  Request<rtmsg> request = NewRequest<rtmsg>(RTM_GETROUTE);
  request.body.rtm_family = SystemFamily(destination);
  request.body.rtm_dst_len = static_cast<unsigned char>(AddressSize(destination) * 8);
  AddAttribute(request, RTA_DST, destination.bytes.data(), AddressSize(destination));
  if (destination.scope_id != 0) {
    const std::uint32_t index = destination.scope_id;
    AddAttribute(request, RTA_OIF, &index, sizeof index);
  }
  std::string reply;
  if (const std::error_code error = Ask(&request, request.header.nlmsg_len, RTM_NEWROUTE, reply)) {
    if (error == std::errc::network_unreachable || error == std::errc::host_unreachable) {
      return {};  // kNone
    }
    return error;
  }
  if (reply.size() < NLMSG_ALIGN(sizeof(rtmsg))) return SystemError(EBADMSG);
  rtmsg route;
  std::memcpy(&route, reply.data(), sizeof route);
  bool gateway = false;
  ForEachAttribute(std::string_view(reply).substr(NLMSG_ALIGN(sizeof(rtmsg))),
                   [&](std::uint16_t type, const char* data, std::size_t size) {
                     if (type == RTA_GATEWAY || type == RTA_VIA || type == RTA_MULTIPATH) {
                       gateway = true;
                     } else if (type == RTA_OIF && size == sizeof(std::uint32_t)) {
                       std::memcpy(&hop.interface_index, data, size);
                     } else if (type == RTA_PREFSRC && size == AddressSize(destination)) {
                       hop.source.family = destination.family;
                       std::memcpy(hop.source.bytes.data(), data, size);
                       hop.has_source = true;
                     }
                   });
  switch (route.rtm_type) {
    case RTN_LOCAL:
      hop.kind = HopKind::kLocal;
      break;
    case RTN_UNICAST:
    case RTN_BROADCAST:
    case RTN_MULTICAST:
      hop.kind = gateway ? HopKind::kRouted : HopKind::kOnLink;
      hop.unicast = route.rtm_type == RTN_UNICAST;
      break;
    default:  // unreachable, blackhole, prohibit, ...
      hop.kind = HopKind::kNone;
      break;
  }
  if (hop.kind == HopKind::kOnLink && hop.interface_index == 0) hop.kind = HopKind::kNone;
  if (destination.family == AddressFamily::kIpv6 && IsLinkScoped(hop.source)) {
    hop.source.scope_id = hop.interface_index;
  }
  return {};
}

std::error_code LinkRoutes::NeighbourAnswers(const IpAddress& address,
                                             std::uint32_t interface_index, bool& answers) {
  answers = false;
  Request<ndmsg> request = NewRequest<ndmsg>(RTM_GETNEIGH);
  request.body.ndm_family = SystemFamily(address);
  request.body.ndm_ifindex = static_cast<int>(interface_index);
  AddAttribute(request, NDA_DST, address.bytes.data(), AddressSize(address));
  std::string reply;
  if (const std::error_code error = Ask(&request, request.header.nlmsg_len, RTM_NEWNEIGH, reply)) {
    if (error == std::errc::no_such_file_or_directory) return {};  // no entry
    return error;
  }
  if (reply.size() < sizeof(ndmsg)) return SystemError(EBADMSG);
  ndmsg neighbour;
  std::memcpy(&neighbour, reply.data(), sizeof neighbour);
  constexpr std::uint16_t kUsable =
      NUD_REACHABLE | NUD_STALE | NUD_DELAY | NUD_PROBE | NUD_PERMANENT | NUD_NOARP;
  answers = (neighbour.ndm_state & kUsable) != 0;
  return {};
}

std::error_code LinkRoutes::Ask(const void* request, std::size_t length, std::uint16_t answer_type,
                                std::string& reply) {
  if (fd_ < 0) {
    const int fd = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0) return SystemError(errno);
    if (InDescriptorReserve(fd)) {
      close(fd);
      return SystemError(EMFILE);
    }
    const timeval patience{1, 0};  // the kernel answers at once; never hang on it
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    fd_ = fd;
  }
  nlmsghdr header;
  std::memcpy(&header, request, sizeof header);
  header.nlmsg_seq = ++sequence_;
  alignas(nlmsghdr) std::array<char, 256> out{};
  if (length > out.size()) return SystemError(EMSGSIZE);
  std::memcpy(out.data(), request, length);
  std::memcpy(out.data(), &header, sizeof header);
  sockaddr_nl kernel{};
  kernel.nl_family = AF_NETLINK;
  if (sendto(fd_, out.data(), length, 0, reinterpret_cast<const sockaddr*>(&kernel),
             sizeof kernel) != static_cast<ssize_t>(length)) {
    return SystemError(errno);
  }
  alignas(nlmsghdr) std::array<char, 4096> buffer;
  // Answers to earlier questions that timed out may still be queued: read past them.
  for (int reads = 0; reads < 16; ++reads) {
    sockaddr_nl from{};
    socklen_t from_length = sizeof from;
    const ssize_t got = recvfrom(fd_, buffer.data(), buffer.size(), 0,
                                 reinterpret_cast<sockaddr*>(&from), &from_length);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return SystemError(errno);
    if (from.nl_pid != 0) continue;  // not from the kernel
    const std::string_view data(buffer.data(), static_cast<std::size_t>(got));
    if (data.size() < sizeof(nlmsghdr)) continue;
    nlmsghdr answer;
    std::memcpy(&answer, data.data(), sizeof answer);
    if (answer.nlmsg_seq != sequence_ || answer.nlmsg_len < sizeof(nlmsghdr) ||
        answer.nlmsg_len > data.size()) {
      continue;
    }
    const std::string_view payload = data.substr(
        NLMSG_HDRLEN, answer.nlmsg_len - std::min<std::size_t>(NLMSG_HDRLEN, answer.nlmsg_len));
    if (answer.nlmsg_type == NLMSG_ERROR) {
      nlmsgerr error{};
      if (payload.size() < sizeof error.error) return SystemError(EBADMSG);
      std::memcpy(&error.error, payload.data(), sizeof error.error);
      return error.error == 0 ? SystemError(EBADMSG) : SystemError(-error.error);
    }
    if (answer.nlmsg_type != answer_type) return SystemError(EBADMSG);
    reply.assign(payload);
    return {};
  }
  return SystemError(EBADMSG);
}

std::string InterfaceNameOf(std::uint32_t index) {
  char name[IF_NAMESIZE] = {};
  if (if_indextoname(index, name) == nullptr) return std::to_string(index);
  return name;
}

}  // namespace corvane
