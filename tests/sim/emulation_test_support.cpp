#include "sim/emulation_test_support.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "support/test_support.h"

CmdReply Cmd(DriverCalls& driver, int fd, uint32_t word0, const std::vector<uint32_t>& params) {
    CmdReply reply{};
    reply.w[0] = word0;
    for (size_t i = 0; i < params.size(); i++) reply.w[i + 1] = params[i];
    EXPECT_EQ(driver.Ioctl(fd, kIoctlCommand, reply.w.data()), 0);
    reply.status = reply.w[0] >> 16;
    return reply;
}

std::string Block(const std::string& name, const std::string& body) {
    return "[" + name + "]\n" + body + "[END]\n";
}

std::unique_ptr<EmulatedDriver> DriverFrom(const std::string& dir, const std::string& body,
                                           const SimSourceFactories& factories) {
    const std::string path = dir + "/emu.cfg";
    WriteFile(path, Block("Emulation", body));
    return EmulatedDriver::Create(path, factories);
}

int OpenPort(DriverCalls& driver, const char* node) {
    const int fd = driver.Open(node, O_RDWR);
    EXPECT_GE(fd, 0) << node;
    EXPECT_EQ(Cmd(driver, fd, 0x00010000).status, 0u);
    EXPECT_EQ(Cmd(driver, fd, 0x00FC0001, {1}).status, 0u);
    return fd;
}

__CANCARD_MSG Record(uint32_t id, uint32_t flags, std::vector<uint8_t> data, uint32_t timeout) {
    __CANCARD_MSG msg{};
    msg.timeout = timeout;
    msg.id = id;
    msg.flags = flags;
    std::copy_n(data.begin(), std::min<size_t>(data.size(), 8), msg.data);
    return msg;
}

__CANCARD_MSG Receive(DriverCalls& driver, int fd, uint32_t timeout, int* rc) {
    __CANCARD_MSG msg = Record(0, 0, {}, timeout);
    *rc = driver.Ioctl(fd, kIoctlRecvMsg, &msg);
    return msg;
}

CANframe FrameOf(const __CANCARD_MSG& msg) {
    CANframe frame;
    frame.type = (msg.flags & kMsgRemote) ? FRAME_RTR : FRAME_DATA;
    frame.extended = (msg.flags & kMsgExtended) != 0;
    frame.id = msg.id & 0x1FFFFFFF;
    frame.length = static_cast<int16_t>(msg.flags & kMsgLengthMask);
    std::memcpy(frame.data, msg.data, 8);
    return frame;
}
