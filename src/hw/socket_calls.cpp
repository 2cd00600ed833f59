#include "hw/socket_calls.h"

#include <libsocketcan.h>
#include <net/if.h>
#include <unistd.h>

#include <cerrno>

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
    if (can_get_bittiming(name, &timing) != 0 || timing.bitrate == 0) return -1;
    *bitsPerSecond = timing.bitrate;
    return 0;
}

int SocketCalls::GetState(const char* name, int* state) {
    return can_get_state(name, state);
}

int SocketCalls::GetBerrCounter(const char* name, can_berr_counter* counter) {
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
