#include "hw/can_intf.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <thread>

#include "base/quillon_error.h"
#include "base/utils.h"
#include "hw/can_intf_local.h"
#include "hw/can_intf_socket.h"
#include "hw/card_protocol.h"
#include "hw/cards.h"
#include "hw/firmware_file.h"

namespace {

constexpr int kDownloadAttempts = 10;
constexpr const char* kUploadFailed = "Error, unable to upload firmware to card";
// How often a command is sent to a card that answers busy before it counts as busy. A busy card
// has not done the command, so sending it again is safe; the tries follow one another at once,
// as the driver offers nothing to wait on.
constexpr int kBusyTries = 8;

// The port status word's error states, as suffixes of the counters.
const char* StateSuffix(unsigned state) {
    static const char* const suffixes[] = {"", " (Warning)", " (Error)", " (Bus Off)"};
    return suffixes[state & 3];
}

// The bit-rate code of the driver's bit-rate value (its low byte), -1 outside the table.
int CodeOf(unsigned value) {
    const int code = static_cast<int>(value & 0xFF) - 1;
    return code >= 0 && code < kBitRateCount ? code : -1;
}

}  // namespace

CanIntf::CanIntf(Cards& cards, int port, bool rescan) : cards(cards) {
    cards.ports().Scan(rescan);
    if (port < 0 || port >= cards.ports().Count())
        throw QuillonError(10, Format("Invalid CAN port number: %d", port));
    hw = CreateIntfFor(cards, port);
    hw->Open(port);
    portNum = port;
}

CanIntf::~CanIntf() {
    CloseOnCard();
}

void CanIntf::CloseOnCard() {
    if (!isOpen) return;
    try {
        SendCMD(kOpClose);
    } catch (const QuillonError&) {
        // A card that does not answer any more keeps nothing open that the program could close.
    }
    isOpen = false;
    SetLoading(0);
}

void CanIntf::SetPortNum(int port) {
    if (port == portNum) return;
    if (portNum >= 0) {
        CloseOnCard();
        hw->Close();
    }
    portNum = port;
    if (port < 0) return;
    hw = CreateIntfFor(cards, port);
    hw->Open(port);
}

std::unique_ptr<CanIntfGeneric> CanIntf::CreateHardwareIntf(Cards& cards) {
    return std::make_unique<CanIntfLocal>(cards);
}

std::unique_ptr<CanIntfGeneric> CanIntf::CreateIntfFor(Cards& cards, int port) {
    if (cards.ports().IsInterface(port)) return std::make_unique<CanIntfSocket>(cards);
    return CreateHardwareIntf(cards);
}

int CanIntf::GetBPS(int code) {
    return BitsPerSecond(code);
}

int CanIntf::GetBPS() {
    unsigned int cmd[kCmdWords] = {kOpGetBaud << 16};
    SendCMD(cmd);
    return GetBPS(static_cast<int>(cmd[1]) - 1);
}

void CanIntf::setBaud(int code) {
    if (code < 0 || code >= kBitRateCount)
        throw QuillonError(10, Format("Unknown baud rate: %d", code));
    unsigned int cmd[kCmdWords] = {kOpSetBaud << 16 | 1, static_cast<unsigned>(code + 1)};
    SendCMD(cmd);
}

int CanIntf::getBaud() {
    unsigned int cmd[kCmdWords] = {kOpGetBaud << 16};
    SendCMD(cmd);
    const int code = static_cast<int>(cmd[1]) - 1;
    return code >= 0 && code < kBitRateCount ? code : -1;
}

void CanIntf::SendCMD(unsigned int* cmd) {
    unsigned int sent[kCmdWords];
    std::copy(cmd, cmd + kCmdWords, sent);
    for (int tries = 1;; tries++) {
        try {
            hw->SendCMD(cmd);
            return;
        } catch (const QuillonError& e) {
            if (e.code != ERR_BUSY || tries == kBusyTries) throw;
        }
        std::copy(sent, sent + kCmdWords, cmd);  // the driver wrote its answer over it
    }
}

void CanIntf::SendCMD(int opcode) {
    unsigned int cmd[kCmdWords] = {static_cast<unsigned>(opcode) << 16};
    SendCMD(cmd);
}

int CanIntf::GetParam(int number) {
    unsigned int cmd[kCmdWords] = {kOpGetParam << 16 | 1, static_cast<unsigned>(number)};
    SendCMD(cmd);
    return static_cast<int>(cmd[1]);
}

std::string CanIntf::FmtVerStr(unsigned int version) {
    return Format("%d.%02d.%02d", version >> 16, (version >> 8) & 0xFF, version & 0xFF);
}

CardInfo CanIntf::getCardInfo() {
    CardInfo info;
    unsigned int cmd[kCmdWords] = {kOpCardInfo << 16};
    SendCMD(cmd);
    info.cardType = static_cast<int>(cmd[1]);
    info.fwVersionRaw = cmd[3];
    info.fwVersion = FmtVerStr(cmd[3]);
    info.clockMHz = CardClockMHz(info.cardType);

    unsigned int version[kCmdWords] = {kOpDriverVersion << 16};
    SendCMD(version);
    info.drvVersion = FmtVerStr(version[1]);

    info.serialNum = GetParam(kParamSerial);
    info.param1 = GetParam(kParam1);
    info.analog2 = GetParam(kParamAnalog2) * 10.0f / 65536;
    info.analog3 = GetParam(kParamAnalog3) * 5.0f / 65536;
    info.analog4 = GetParam(kParamAnalog4) * 5.0f / 65536;
    info.param8 = GetParam(kParam8);
    info.param7 = GetParam(kParam7);
    info.param12 = info.cardType >= static_cast<int>(kFirstUpdateFlagCardType)
                       ? GetParam(kParamUpdateFailed)
                       : 0;
    return info;
}

void CanIntf::SetLoading(double percent) {
    cards.ports().SetLoading(portNum, percent);
}

PortInfo CanIntf::getPortInfo() {
    PortInfo info;
    unsigned int baud[kCmdWords] = {kOpGetBaud << 16};
    SendCMD(baud);
    info.baudCode = CodeOf(baud[1]);
    info.loading = cards.ports().Loading(portNum);

    unsigned int card[kCmdWords] = {kOpCardInfo << 16};
    SendCMD(card);
    if (card[3] <= 0x1FF) {  // firmware too old to report the port's state
        info.rxErrors = info.txErrors = info.status = "Not available";
        return info;
    }
    // Cards from type 16 measure the load themselves; on an interface the reader counts it.
    if (card[1] >= kFirstLoadCardType && card[1] != static_cast<unsigned>(kCardTypeSocketCan))
        info.loading = GetParam(kParamBusLoad) * 0.1;

    const unsigned s = static_cast<unsigned>(GetParam(kParamPortStatus));
    unsigned int again[kCmdWords] = {kOpGetBaud << 16};
    SendCMD(again);
    info.baudCode = CodeOf(again[1]);

    info.txErrors = Format("%u", s & 0xFF) + StateSuffix(s >> kStatusTxStateShift);
    info.rxErrors =
        Format("%u", (s >> kStatusRxErrorsShift) & 0xFF) + StateSuffix(s >> kStatusRxStateShift);
    if (s & kStatusClosed) {
        info.status = "Port Closed";
    } else {
        info.isOpen = 1;
        info.status = s & kStatusSynchronized ? "Port Opened" : "Not synchronized to bus";
    }
    return info;
}

void CanIntf::open() {
    if (isOpen) throw QuillonError(10, "Can't open port, already open");
    SendCMD(kOpOpen);
    isOpen = true;
    unsigned int cmd[kCmdWords] = {kOpOpenMode << 16 | 1, 1};
    SendCMD(cmd);
}

void CanIntf::close() {
    SendCMD(kOpClose);
    isOpen = false;
    SetLoading(0);
}

void CanIntf::read(CANframe& frame, int timeout) {
    if (!isOpen) throw QuillonError(4, "Attempt to read from closed CAN port");
    __CANCARD_MSG msg = {};
    msg.timeout = static_cast<uint32_t>(timeout);
    hw->RecvMsg(msg);

    frame.Reset(false);
    frame.port = static_cast<uint8_t>(portNum);
    frame.id = msg.id;
    frame.timestamp = msg.timestamp;
    frame.type = msg.flags & kMsgError    ? FRAME_ERROR
                 : msg.flags & kMsgRemote ? FRAME_RTR
                                          : FRAME_DATA;
    frame.extended = (msg.flags & kMsgExtended) != 0;
    const int length = std::min<int>(msg.flags & kMsgLengthMask, 8);
    frame.length = length;
    std::memcpy(frame.data, msg.data, length);
}

void CanIntf::Interrupt() {
    hw->Interrupt();
}

void CanIntf::write(CANframe& frame, int timeout) {
    if (!isOpen) throw QuillonError(4, "Attempt to write to closed CAN port");
    if (frame.length > 8)
        throw QuillonError(1, Format("Bad CAN frame passed to CanIntf::write, length %d",
                                     static_cast<int>(frame.length)));
    __CANCARD_MSG msg = {};
    msg.timeout = static_cast<uint32_t>(timeout);
    msg.id = frame.id & kExtendedIdMask;
    msg.flags = static_cast<uint32_t>(frame.length);
    if (frame.type == FRAME_RTR)
        msg.flags |= kMsgRemote;
    else if (frame.type != FRAME_DATA)
        throw QuillonError(1, Format("Unknown frame type (%d) passed to CanIntf::write",
                                     static_cast<int>(frame.type)));
    if (frame.extended) msg.flags |= kMsgExtended;
    std::memcpy(msg.data, frame.data, frame.length > 0 ? frame.length : 0);
    hw->SendMsg(msg);
}

void CanIntf::Reset() {
    SendCMD(kOpReset);
}

void CanIntf::DnldFirmware(FirmwareFile& file, Progress* progress) {
    const CardInfo card = getCardInfo();
    if (card.cardType == 1) {
        unsigned int unlock[kCmdWords] = {kOpUnlock << 16 | 1, kUnlockKey};
        SendCMD(unlock);
    }
    unsigned int info[kCmdWords] = {kOpCardInfo << 16};
    SendCMD(info);
    const unsigned int cardBoot = card.cardType == 1 ? info[2] : info[1];

    unsigned int bootLen = 0;
    unsigned char* boot = nullptr;
    if (cardBoot != file.GetBootVersion()) boot = file.GetBootImage(bootLen);
    unsigned int mainLen = 0;
    unsigned char* main = file.GetMainImage(mainLen);
    unsigned int fpgaLen = 0;
    unsigned char* fpga = file.GetFpgaImage(fpgaLen);

    progress->SetMax(static_cast<float>(bootLen + mainLen + fpgaLen));
    if (bootLen) Dnld(kBootImageId, boot, bootLen, progress, 0);
    Dnld(kMainImageId, main, mainLen, progress, bootLen);
    // Erasing the card's FPGA image to write none would leave the card without one.
    if (fpgaLen) Dnld(kFpgaImageId, fpga, fpgaLen, progress, bootLen + mainLen);
}

void CanIntf::Dnld(unsigned int imageId, unsigned char* image, unsigned int len, Progress* progress,
                   unsigned int progressBase) {
    if (len % 4)
        throw QuillonError(
            1, Format("Firmware byte count (%d) must be a multiple of 4", static_cast<int>(len)));
    const auto base = static_cast<float>(progressBase);
    const unsigned int words = len / 4;
    for (int attempt = 0; attempt < kDownloadAttempts; attempt++) {
        try {
            progress->Update(base, "Erasing flash");
            unsigned int cmd[kCmdWords] = {kOpErase << 16 | 1, imageId};
            SendCMD(cmd);
            const auto crc = static_cast<unsigned int>(crc32(0, image, len));

            progress->Update(base, "Downloading");
            unsigned int sent = 0;
            while (sent < words) {
                const unsigned int n = std::min(kMaxFlashWords, words - sent);
                cmd[0] = kOpFlash << 16 | n;
                for (unsigned int i = 0; i < n; i++) {
                    const unsigned char* b = image + 4 * (sent + i);
                    cmd[1 + i] = unsigned{b[0]} << 24 | unsigned{b[1]} << 16 | unsigned{b[2]} << 8 |
                                 unsigned{b[3]};
                }
                SendCMD(cmd);
                sent += n;
                progress->Update(base + static_cast<float>(4 * sent), nullptr);
            }

            const float position = base + static_cast<float>(4 * sent);
            progress->Update(position, "Verifying");
            cmd[0] = kOpFlash << 16 | kVerifyCount;
            cmd[1] = crc;
            SendCMD(cmd);
            if (cmd[1] == crc) return;
            progress->Update(position, "CRC check failed, retrying");
        } catch (const QuillonError& e) {
            progress->Update(base, e.message.c_str());
        }
        std::this_thread::sleep_for(retryPause);
    }
    // The update stops here: the images after this one would be written beside a broken one,
    // and whoever started it must not hear of a success.
    progress->Update(base + static_cast<float>(len), kUploadFailed);
    std::this_thread::sleep_for(retryPause);
    throw QuillonError(1, kUploadFailed);
}
