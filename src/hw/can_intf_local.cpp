#include "hw/can_intf_local.h"

#include <fcntl.h>

#include "base/quillon_error.h"
#include "base/utils.h"
#include "hw/card_protocol.h"
#include "hw/cards.h"

CanIntfLocal::~CanIntfLocal() {
    if (fd >= 0) cards.driver().Close(fd);
}

int CanIntfLocal::Open(int port) {
    if (port < 0 || port >= cards.ports().Count())
        throw QuillonError(5, Format("Unknown CAN port number: %d", port));
    Close();
    const std::string node = cards.ports().Node(port);
    fd = cards.driver().Open(node.c_str(), O_RDWR);
    if (fd < 0) {
        fd = -1;
        throw QuillonError(5, "Unable to open CAN device " + node);
    }
    return fd;
}

void CanIntfLocal::Close() {
    if (fd >= 0) cards.driver().Close(fd);
    fd = -1;
}

void CanIntfLocal::SendCMD(unsigned int* cmd) {
    const int rc = cards.driver().Ioctl(fd, kIoctlCommand, cmd);
    ThrowDriverError(rc != 0 ? rc : static_cast<int>(cmd[0] >> 16));
}

void CanIntfLocal::RecvMsg(__CANCARD_MSG& msg) {
    ThrowDriverError(cards.driver().Ioctl(fd, kIoctlRecvMsg, &msg));
}

void CanIntfLocal::SendMsg(__CANCARD_MSG& msg) {
    ThrowDriverError(cards.driver().Ioctl(fd, kIoctlSendMsg, &msg));
}

void CanIntfLocal::ThrowDriverError(int code) {
    switch (code) {
        case kDriverOk:
            return;
        case kDriverBadCommand:
            throw QuillonError(1, "CAN driver reported a bad command code");
        case kDriverBadParameter:
            throw QuillonError(1, "CAN driver reported a bad parameter");
        case kDriverReopen:
            throw QuillonError(2, "Attempt to reopen an open CAN port");
        case kDriverClosedPort:
            throw QuillonError(3, "Attempt to access a closed CAN port");
        case kDriverBusy:
            throw QuillonError(ERR_BUSY, "CAN card busy error");
        case kDriverInternal:
            throw QuillonError(10, "Internal error reported by driver");
        case kDriverTimeout:
            throw QuillonError(8, "CAN driver timeout");
        case kDriverSignal:
            throw QuillonError(10, "Received signal from driver");
        default:
            throw QuillonError(11, Format("Unknown CAN error %d", code));
    }
}
