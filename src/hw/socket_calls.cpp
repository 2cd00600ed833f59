#include "hw/socket_calls.h"

#include <libsocketcan.h>
#include <linux/if_link.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace {

// The link kind of interfaces driven by a CAN controller (can-dev); only they carry bit timing,
// state and error counters. Virtual ones (vcan, vxcan) have none, and libsocketcan prints
// "no link data found" on stderr whenever it is asked about one, so they are not asked.
constexpr char kControllerLinkKind[] = "can";

// The kind of the interface's link as the kernel names it (IFLA_INFO_KIND), or "" when it
// cannot be asked.
std::string LinkKind(const char* name) {
    const unsigned index = if_nametoindex(name);
    if (index == 0) return {};
    const int fd = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0) return {};
    struct {
        nlmsghdr header;
        ifinfomsg info;
    } request{};
    request.header.nlmsg_len = sizeof(request);
    request.header.nlmsg_type = RTM_GETLINK;
    request.header.nlmsg_flags = NLM_F_REQUEST;
    request.info.ifi_family = AF_UNSPEC;
    request.info.ifi_index = static_cast<int>(index);
    alignas(nlmsghdr) char reply[32768];
    ssize_t length = -1;
    if (send(fd, &request, sizeof(request), 0) == static_cast<ssize_t>(sizeof(request))) {
        length = recv(fd, reply, sizeof(reply), 0);
    }
    close(fd);
    std::string kind;
    auto* message = reinterpret_cast<nlmsghdr*>(reply);
    int remaining = static_cast<int>(length);
    // NLMSG_OK compares the header's unsigned length with the int that NLMSG_NEXT counts down,
    // which clang flags inside the macro.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wsign-compare"
    for (; length > 0 && NLMSG_OK(message, remaining); message = NLMSG_NEXT(message, remaining)) {
        if (message->nlmsg_type != RTM_NEWLINK) continue;
        int attributesLength = static_cast<int>(IFLA_PAYLOAD(message));
        for (auto* attribute = IFLA_RTA(static_cast<ifinfomsg*>(NLMSG_DATA(message)));
             RTA_OK(attribute, attributesLength);
             attribute = RTA_NEXT(attribute, attributesLength)) {
            if (attribute->rta_type != IFLA_LINKINFO) continue;
            int infoLength = static_cast<int>(RTA_PAYLOAD(attribute));
            for (auto* info = static_cast<rtattr*>(RTA_DATA(attribute)); RTA_OK(info, infoLength);
                 info = RTA_NEXT(info, infoLength)) {
                if (info->rta_type != IFLA_INFO_KIND) continue;
                const auto* text = static_cast<const char*>(RTA_DATA(info));
                kind.assign(text, strnlen(text, RTA_PAYLOAD(info)));
            }
        }
    }
#pragma GCC diagnostic pop
    return kind;
}

bool HasControllerData(const char* name) {
    return LinkKind(name) == kControllerLinkKind;
}

}  // namespace

int SocketCalls::Socket(int domain, int type, int protocol) {
    return socket(domain, type, protocol);
}

int SocketCalls::Bind(int fd, const sockaddr* addr, socklen_t length) {
    return bind(fd, addr, length);
}

int SocketCalls::SetSockOpt(int fd, int level, int name, const void* value, socklen_t length) {
    return setsockopt(fd, level, name, value, length);
}

int SocketCalls::Poll(pollfd* fds, nfds_t count, int timeoutMs) {
    return poll(fds, count, timeoutMs);
}

ssize_t SocketCalls::RecvMsg(int fd, msghdr* msg, int flags) {
    return recvmsg(fd, msg, flags);
}

ssize_t SocketCalls::Send(int fd, const void* buffer, size_t length, int flags) {
    return send(fd, buffer, length, flags);
}

int SocketCalls::Close(int fd) {
    return close(fd);
}

unsigned SocketCalls::IfNameToIndex(const char* name) {
    return if_nametoindex(name);
}

int SocketCalls::GetBitRate(const char* name, uint32_t* bitsPerSecond) {
    can_bittiming timing{};
    if (!HasControllerData(name) || can_get_bittiming(name, &timing) != 0 || timing.bitrate == 0)
        return -1;
    *bitsPerSecond = timing.bitrate;
    return 0;
}

int SocketCalls::GetState(const char* name, int* state) {
    if (!HasControllerData(name)) return -1;
    return can_get_state(name, state);
}

int SocketCalls::GetBerrCounter(const char* name, can_berr_counter* counter) {
    if (!HasControllerData(name)) return -1;
    return can_get_berr_counter(name, counter);
}

int SocketCalls::SetBitRate(const char* name, uint32_t bitsPerSecond) {
    // The kernel takes a new bit timing only while the interface is down.
    if (can_do_stop(name) != 0 || can_set_bitrate(name, bitsPerSecond) != 0) {
        const int error = errno;
        can_do_start(name);  // an interface we took down must not stay down
        errno = error;
        return -1;
    }
    return can_do_start(name);
}
