#include "hw/can_intf.h"

#include <gtest/gtest.h>

#include <string>

#include "hw/can_intf_local.h"
#include "hw/hw_test_support.h"

namespace {

struct CanIntfTest : testing::Test, EmulatedCards {
    CanIntfTest() : EmulatedCards(HW_DATA_DIR "/can_intf_cards.cfg") {}
};

}  // namespace

// The cards and ports as the driver's words tell them, the driver's errors and the port numbers.
TEST_F(CanIntfTest, CardAndPortInformationInTheDriversWords) {
    CanIntf port(cards, 0, false), old(cards, 3, false);
    Transcript t(&recorder.calls);
    t("card", [&] { return Describe(port.getCardInfo()); });
    t("port", [&] { return Describe(port.getPortInfo()); });
    t("open", [&] { port.open(); });
    t("open", [&] { port.open(); });
    t("port", [&] { return Describe(port.getPortInfo()); });
    t("bit rate", [&] { return std::to_string(port.GetBPS()); });
    t("set code 7", [&] { port.setBaud(7); });
    t("code", [&] { return std::to_string(port.getBaud()); });
    t("set code 8", [&] { port.setBaud(8); });
    t("rates of codes 7 and 8",
      [] { return Format("%d %d", CanIntf::GetBPS(7), CanIntf::GetBPS(8)); });
    t("version 0x000A0B0C", [] { return CanIntf::FmtVerStr(0x000A0B0C); });
    t("old port", [&] { return Describe(old.getPortInfo()); });
    t("old card", [&] { return Describe(old.getCardInfo()); });
    for (int code = -1; code <= 9; code++)
        t(Format("driver code %d", code), [&] { CanIntfLocal::ThrowDriverError(code); });
    t("port 4", [&] { CanIntf(cards, 4, false); });
    t("port -1", [&] { CanIntf(cards, -1, false); });
    t("node of port 4", [&] { CanIntfLocal(cards).Open(4); });
    t("busy card", [&] { CanIntf(cards, 2, false).getBaud(); });
    ExpectGolden(HW_DATA_DIR "/can_intf_information.txt", t.text);
}

// The transmit state (bits 18 and 19 of the port's status word) suffixes the transmit error
// count, the receive state (bits 20 and 21) the receive error count, each on its own.
TEST_F(CanIntfTest, TransmitAndReceiveStatesSuffixTheirOwnCounters) {
    EmulatedCards states(HW_DATA_DIR "/can_intf_states.cfg");
    Transcript t;
    for (int port = 0; port < 16; port++)
        t(Format("tx_state %d rx_state %d", port / 4, port % 4), [&] {
            const PortInfo info = CanIntf(states.cards, port, false).getPortInfo();
            return info.txErrors + "|" + info.rxErrors;
        });
    ExpectGolden(HW_DATA_DIR "/can_intf_states.txt", t.text);
}

// Identifier bits above the 29 are not the driver's; a length beyond 8 from the driver is 8.
TEST_F(CanIntfTest, FramesCrossTheSeamByteForByte) {
    CanIntf sender(cards, 0, false), receiver(cards, 1, false);
    CANframe frame;
    Transcript t(&recorder.calls);
    const auto read = [&] {
        receiver.read(frame, 1000);
        return FrameRow(frame) +
               Format(" port %d txPrev %lld", frame.port, static_cast<long long>(frame.Prev(0)));
    };
    t("read closed", [&] { receiver.read(frame, 10); });
    t("write closed", [&] { sender.write(frame, 10); });
    t("open", [&] { sender.open(), receiver.open(); });
    t("read nothing", [&] { receiver.read(frame, 10); });
    frame = MakeFrame(FRAME_DATA, true, 0x3ABCDEF1, {0xA1, 0xB2, 0xC3, 0xD4}, 3);
    t("write", [&] { sender.write(frame, 50); });
    t("read", read);
    frame = MakeFrame(FRAME_RTR, false, 0x701, {}, 2);
    t("write", [&] { sender.write(frame, 50); });
    recorder.rewrite = [](unsigned long request, void* arg) {
        if (request == kIoctlRecvMsg) static_cast<__CANCARD_MSG*>(arg)->flags |= 12;
    };
    t("read length 12", read);
    frame.length = 9;
    t("write length 9", [&] { sender.write(frame, 1); });
    frame = MakeFrame(FRAME_ERROR, false, 0x701, {});
    t("write error frame", [&] { sender.write(frame, 1); });
    t("command 1", [&] { sender.SendCMD(1); });
    t("command 0x77", [&] { sender.SendCMD(0x77); });
    ExpectGolden(HW_DATA_DIR "/can_intf_frames.txt", t.text);
}

// A card that answers busy has not done the command: it is sent again, a bounded number of times
// at once, and only a card that stays busy fails with the driver's busy error.
TEST(CanIntfBusyTest, BusyAnswersRetriedUntilTheCardStaysBusy) {
    EmulatedCards busy(HW_DATA_DIR "/busy_cards.cfg");
    const char* const expected[] = {
        "error 7 CAN card busy error",
        "serial 2 firmware 2.01.05, Port Opened, code 2",
        "serial 3 firmware 2.01.05, Port Opened, code 2",
        "serial 4 firmware 2.01.05, Port Opened, code 2",
    };
    for (int number = 0; number < 4; number++) {
        CanIntf port(busy.cards, number, false);
        busy.recorder.calls.clear();
        std::string result;
        const std::string error = ThrownError([&] {
            const CardInfo card = port.getCardInfo();
            port.setBaud(2);
            port.open();
            const PortInfo info = port.getPortInfo();
            result = Format("serial %d firmware %s, %s, code %d", card.serialNum,
                            card.fwVersion.c_str(), info.status.c_str(), info.baudCode);
        });
        EXPECT_EQ(error == "(none)" ? result : "error " + error, expected[number]);
    }
    // The card that stays busy was asked its first question eight times, and nothing more.
    CanIntf stays(busy.cards, 0, false);
    busy.recorder.calls.clear();
    EXPECT_EQ(ThrownError([&] { stays.getBaud(); }), "7 CAN card busy error");
    EXPECT_EQ(busy.recorder.calls, std::vector<std::string>(8, "c008b706 00040000 00000000"));
}
