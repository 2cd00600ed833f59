#pragma once

#include <poll.h>
#include <sys/socket.h>

#include <cstdint>

struct can_berr_counter;

// The operating-system and libsocketcan calls through which the program reaches SocketCAN
// interfaces. Each default is the real call; tests derive and replace some of them and give them
// to their cards (Cards), so that the translation of the driver contract runs without AF_CAN
// sockets.
class SocketCalls {
  public:
    virtual ~SocketCalls() = default;
    // As socket(2), bind(2), setsockopt(2), poll(2), recvmsg(2), send(2), close(2),
    // if_nametoindex(3): -1 (0 for IfNameToIndex) and errno on failure.
    virtual int Socket(int domain, int type, int protocol);
    virtual int Bind(int fd, const sockaddr* addr, socklen_t length);
    virtual int SetSockOpt(int fd, int level, int name, const void* value, socklen_t length);
    virtual int Poll(pollfd* fds, nfds_t count, int timeoutMs);
    virtual ssize_t RecvMsg(int fd, msghdr* msg, int flags);
    virtual ssize_t Send(int fd, const void* buffer, size_t length, int flags);
    virtual int Close(int fd);
    virtual unsigned IfNameToIndex(const char* name);
    // As libsocketcan's can_get_bittiming (its bit rate), can_get_state, can_get_berr_counter:
    // 0 on success, -1 when the interface has none (vcan) or cannot be asked.
    virtual int GetBitRate(const char* name, uint32_t* bitsPerSecond);
    virtual int GetState(const char* name, int* state);
    virtual int GetBerrCounter(const char* name, can_berr_counter* counter);
    // Stops the interface, sets its bit rate and starts it again; -1 and errno on failure
    // (EPERM without the right to configure it).
    virtual int SetBitRate(const char* name, uint32_t bitsPerSecond);
};
