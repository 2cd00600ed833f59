#include "hw/can_intf_socket.h"

#include <linux/can/error.h>
#include <linux/can/netlink.h>
#include <linux/can/raw.h>
#include <sys/eventfd.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "base/quillon_error.h"
#include "base/utils.h"
#include "hw/can_intf_local.h"
#include "hw/card_protocol.h"
#include "hw/cards.h"
#include "store/can_frame.h"
#include "store/error_bits.h"

namespace {

int ErrnoCode() {
    return errno == EINTR ? kDriverSignal : kDriverInternal;
}

// The kernel's version as a version word (major.minor.patch), shown as the firmware and driver
// version: the kernel's CAN driver is what a card's firmware and driver are to a card.
unsigned KernelVersion() {
    utsname names{};
    unsigned major = 0, minor = 0, patch = 0;
    if (uname(&names) == 0) std::sscanf(names.release, "%u.%u.%u", &major, &minor, &patch);
    return std::min(major, 0xFFFFu) << 16 | std::min(minor, 0xFFu) << 8 | std::min(patch, 0xFFu);
}

// The 2-bit error state of the port status word: active, warning, passive, bus-off.
unsigned StateBits(int state) {
    switch (state) {
        case CAN_STATE_ERROR_WARNING:
            return kErrorWarning;
        case CAN_STATE_ERROR_PASSIVE:
            return kErrorPassive;
        case CAN_STATE_BUS_OFF:
            return kBusOff;
        default:
            return kErrorActive;
    }
}

}  // namespace

CanIntfSocket::CanIntfSocket(Cards& cards)
    : cards(cards), wakeFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

CanIntfSocket::~CanIntfSocket() {
    CloseSocket();
    if (wakeFd >= 0) ::close(wakeFd);
}

void CanIntfSocket::Interrupt() {
    const uint64_t one = 1;
    if (wakeFd >= 0 && ::write(wakeFd, &one, sizeof one) < 0) {
        // The counter is full, so it is readable already: the wake-up stands.
    }
}

int CanIntfSocket::Open(int port) {
    if (!cards.ports().IsInterface(port))
        throw QuillonError(5, Format("Unknown CAN port number: %d", port));
    Close();
    const std::string interface = cards.ports().Node(port);
    const unsigned index = cards.sockets().IfNameToIndex(interface.c_str());
    if (index == 0) throw QuillonError(5, "Unable to open CAN device " + interface);
    name = interface;
    return static_cast<int>(index);
}

void CanIntfSocket::Close() {
    CloseSocket();
    name.clear();
}

void CanIntfSocket::SendCMD(unsigned int* cmd) {
    const unsigned opcode = cmd[0] >> 16;
    const int status = Execute(cmd);
    unsigned results = 0;
    if (status == kDriverOk)
        results = opcode == kOpCardInfo
                      ? 3
                      : opcode == kOpGetBaud || opcode == kOpGetParam || opcode == kOpDriverVersion;
    cmd[0] = static_cast<unsigned>(status) << 16 | results;
    CanIntfLocal::ThrowDriverError(status);
}

int CanIntfSocket::Execute(unsigned int* cmd) {
    const unsigned opcode = cmd[0] >> 16;
    const unsigned params = cmd[0] & 0xFFFF;
    SocketCalls& calls = cards.sockets();
    if (name.empty()) return kDriverClosedPort;
    switch (opcode) {
        case kOpOpen:
            if (fd >= 0) return kDriverReopen;
            return OpenSocket();
        case kOpClose:
            if (fd < 0) return kDriverClosedPort;
            CloseSocket();
            return kDriverOk;
        case kOpOpenMode:  // the receive mode: the socket always receives every frame
            return fd < 0 ? kDriverClosedPort : kDriverOk;
        case kOpSetBaud:
            if (params < 1 || cmd[1] < 1 || cmd[1] > kBitRateCount) return kDriverBadParameter;
            SetBaud(static_cast<int>(cmd[1]) - 1);
            return kDriverOk;
        case kOpGetBaud:
            cmd[1] = BaudValue();
            return kDriverOk;
        case kOpCardInfo:
            cmd[1] = static_cast<unsigned>(kCardTypeSocketCan);
            cmd[2] = 0;
            cmd[3] = KernelVersion();
            return kDriverOk;
        case kOpGetParam:
            if (params < 1) return kDriverBadParameter;
            switch (cmd[1]) {
                case kParamSerial:  // each interface is its own card
                    cmd[1] = calls.IfNameToIndex(name.c_str());
                    return kDriverOk;
                case kParamPortStatus:
                    cmd[1] = StatusWord();
                    return kDriverOk;
                // Measurements and settings of the cards' own boards: none here.
                case kParam1:
                case kParamAnalog2:
                case kParamAnalog3:
                case kParamAnalog4:
                case kParam7:
                case kParam8:
                case kParamUpdateFailed:
                    cmd[1] = 0;
                    return kDriverOk;
                default:
                    return kDriverBadParameter;
            }
        case kOpDriverVersion:
            cmd[1] = KernelVersion();
            return kDriverOk;
        case kOpReset:  // a reset closes the port, as it does on a card
            CloseSocket();
            return kDriverOk;
        default:  // firmware download, bus analysis and the rest have no equivalent
            return kDriverBadCommand;
    }
}

int CanIntfSocket::OpenSocket() {
    SocketCalls& calls = cards.sockets();
    const unsigned index = calls.IfNameToIndex(name.c_str());
    if (index == 0) throw QuillonError(5, "Unable to open CAN device " + name);
    // A raw socket takes no CAN FD frames unless asked to, and is not asked.
    fd = calls.Socket(PF_CAN, SOCK_RAW, CAN_RAW);
    if (fd < 0) throw QuillonError(5, "Unable to open CAN device " + name);
    sockaddr_can address{};
    address.can_family = AF_CAN;
    address.can_ifindex = static_cast<int>(index);
    const can_err_mask_t errors = CAN_ERR_MASK;
    const int on = 1;
    if (calls.SetSockOpt(fd, SOL_CAN_RAW, CAN_RAW_ERR_FILTER, &errors, sizeof errors) != 0 ||
        calls.SetSockOpt(fd, SOL_SOCKET, SO_TIMESTAMP, &on, sizeof on) != 0 ||
        calls.Bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const std::string reason = std::strerror(errno);
        CloseSocket();
        throw QuillonError(5, "Unable to open CAN device " + name + ": " + reason);
    }
    return 0;
}

void CanIntfSocket::CloseSocket() {
    if (fd >= 0) cards.sockets().Close(fd);
    fd = -1;
}

unsigned CanIntfSocket::BaudValue() {
    uint32_t bps = 0;
    if (cards.sockets().GetBitRate(name.c_str(), &bps) != 0) return 0;
    for (int code = 0; code < kBitRateCount; code++)
        if (static_cast<uint32_t>(BitsPerSecond(code)) == bps) return code + 1;
    return 0;
}

void CanIntfSocket::SetBaud(int code) {
    SocketCalls& calls = cards.sockets();
    const uint32_t bps = static_cast<uint32_t>(BitsPerSecond(code));
    uint32_t now = 0;
    // A virtual interface has no bit rate and takes none; the running rate needs no change.
    if (calls.GetBitRate(name.c_str(), &now) != 0 || now == bps) return;
    if (calls.SetBitRate(name.c_str(), bps) == 0) return;
    const char* reason = std::strerror(errno);
    throw QuillonError(
        10, Format("Unable to set the bit rate of %s to %u bits/s (%s). Set it as administrator: "
                   "ip link set %s down type can bitrate %u && ip link set %s up",
                   name.c_str(), bps, reason, name.c_str(), bps, name.c_str()));
}

unsigned CanIntfSocket::StatusWord() {
    SocketCalls& calls = cards.sockets();
    can_berr_counter counters{};
    if (calls.GetBerrCounter(name.c_str(), &counters) != 0) counters = {};
    int state = CAN_STATE_ERROR_ACTIVE;  // what a virtual interface, without a state, is
    if (calls.GetState(name.c_str(), &state) != 0) state = CAN_STATE_ERROR_ACTIVE;
    const unsigned bits = StateBits(state);
    unsigned word = std::min<unsigned>(counters.txerr, 0xFF) |
                    std::min<unsigned>(counters.rxerr, 0xFF) << kStatusRxErrorsShift |
                    bits << kStatusTxStateShift | bits << kStatusRxStateShift;
    if (fd < 0)
        word |= kStatusClosed;
    else if (state != CAN_STATE_BUS_OFF && state != CAN_STATE_STOPPED &&
             state != CAN_STATE_SLEEPING)
        word |= kStatusSynchronized;  // taking part in the bus
    return word;
}

void CanIntfSocket::RecvMsg(__CANCARD_MSG& msg) {
    if (fd < 0) CanIntfLocal::ThrowDriverError(kDriverClosedPort);
    SocketCalls& calls = cards.sockets();
    // The wake-up counter is never read: once Interrupt was called, every wait ends at once.
    pollfd wait[] = {{fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
    const int ready = calls.Poll(wait, 2, static_cast<int>(msg.timeout));
    if (ready < 0) CanIntfLocal::ThrowDriverError(ErrnoCode());
    if (ready == 0 || wait[1].revents != 0) CanIntfLocal::ThrowDriverError(kDriverTimeout);

    can_frame frame{};
    iovec data{&frame, sizeof frame};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timeval))];
    msghdr header{};
    header.msg_iov = &data;
    header.msg_iovlen = 1;
    header.msg_control = control;
    header.msg_controllen = sizeof control;
    const ssize_t got = calls.RecvMsg(fd, &header, 0);
    // The kernel's reason (an interface taken down: "Network is down") is what the user needs.
    if (got < 0 && errno != EINTR)
        throw QuillonError(10, "CAN device " + name + ": " + std::strerror(errno));
    if (got < 0) CanIntfLocal::ThrowDriverError(kDriverSignal);
    if (got != static_cast<ssize_t>(sizeof frame)) CanIntfLocal::ThrowDriverError(kDriverInternal);

    ToRecord(frame, msg);
    can_berr_counter counters{};
    // A driver that leaves the counters out of its error frames still reports them when asked.
    if ((frame.can_id & (CAN_ERR_FLAG | CAN_ERR_CNT)) == CAN_ERR_FLAG &&
        calls.GetBerrCounter(name.c_str(), &counters) == 0) {
        msg.data[0] = static_cast<uint8_t>(std::min<unsigned>(counters.txerr, 0xFF));
        msg.data[1] = static_cast<uint8_t>(std::min<unsigned>(counters.rxerr, 0xFF));
    }
    msg.timestamp = CardClock(GetTime());  // when the kernel gave no stamp
    for (cmsghdr* c = CMSG_FIRSTHDR(&header); c; c = CMSG_NXTHDR(&header, c)) {
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMP) {
            timeval stamp;
            std::memcpy(&stamp, CMSG_DATA(c), sizeof stamp);
            msg.timestamp = StampMicros(stamp);
        }
    }
}

void CanIntfSocket::SendMsg(__CANCARD_MSG& msg) {
    if (fd < 0) CanIntfLocal::ThrowDriverError(kDriverClosedPort);
    SocketCalls& calls = cards.sockets();
    const can_frame frame = ToFrame(msg);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(msg.timeout);
    for (;;) {
        if (calls.Send(fd, &frame, sizeof frame, MSG_DONTWAIT) == sizeof frame) return;
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != ENOBUFS)
            CanIntfLocal::ThrowDriverError(ErrnoCode());
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) CanIntfLocal::ThrowDriverError(kDriverBusy);
        // A full socket buffer wakes poll when it drains; a full device queue (ENOBUFS) wakes
        // nothing, so that is retried every millisecond.
        pollfd wait{fd, POLLOUT, 0};
        const int ms = static_cast<int>(left.count());
        if (errno == ENOBUFS)
            calls.Poll(nullptr, 0, 1);
        else if (calls.Poll(&wait, 1, ms) < 0 && errno != EINTR)
            CanIntfLocal::ThrowDriverError(kDriverInternal);
    }
}

void CanIntfSocket::ToRecord(const can_frame& frame, __CANCARD_MSG& msg) {
    std::memset(msg.data, 0, sizeof msg.data);
    if (frame.can_id & CAN_ERR_FLAG) {
        msg.id = ErrorBitsFromSocketCan(frame.can_id, frame.data);
        msg.flags = kMsgError | 2;
        msg.data[0] = frame.data[6];  // transmit error counter
        msg.data[1] = frame.data[7];  // receive error counter
        return;
    }
    const bool extended = frame.can_id & CAN_EFF_FLAG;
    const uint8_t length = std::min<uint8_t>(frame.can_dlc, 8);
    msg.id = extended ? (frame.can_id & CAN_EFF_MASK) | kExtendedMark : frame.can_id & CAN_SFF_MASK;
    msg.flags =
        length | (extended ? kMsgExtended : 0) | (frame.can_id & CAN_RTR_FLAG ? kMsgRemote : 0);
    if (!(frame.can_id & CAN_RTR_FLAG)) std::memcpy(msg.data, frame.data, length);
}

can_frame CanIntfSocket::ToFrame(const __CANCARD_MSG& msg) {
    can_frame frame{};
    const bool extended = msg.flags & kMsgExtended;
    frame.can_id = extended ? (msg.id & CAN_EFF_MASK) | CAN_EFF_FLAG : msg.id & CAN_SFF_MASK;
    if (msg.flags & kMsgRemote) frame.can_id |= CAN_RTR_FLAG;
    frame.can_dlc = static_cast<uint8_t>(std::min<uint32_t>(msg.flags & kMsgLengthMask, 8));
    if (!(msg.flags & kMsgRemote)) std::memcpy(frame.data, msg.data, frame.can_dlc);
    return frame;
}

uint32_t CanIntfSocket::StampMicros(const timeval& stamp) {
    return CardClock(static_cast<uint64_t>(stamp.tv_sec) * 1000000u +
                     static_cast<uint64_t>(stamp.tv_usec));
}
