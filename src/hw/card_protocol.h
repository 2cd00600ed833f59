#pragma once

#include <cstddef>
#include <cstdint>

// The CAN card driver's contract: what crosses its ioctl interface, the command buffer's opcodes,
// parameters and status codes, the bit rates and the cards' clocks. The program's driver
// interface speaks it, and the emulated driver answers it. The driver runs on the same machine
// and lays the records out little-endian, which the static assertions below hold the build to.

// The message record exchanged with the driver (24 bytes).
struct __CANCARD_MSG {
    uint32_t timeout;    // milliseconds: how long a receive may wait; set by the program
    uint32_t timestamp;  // microseconds, on the card's clock (CardClock); set by the driver
    uint32_t id;         // CAN identifier; received with bit 29 set for a 29-bit one
    uint32_t flags;      // kMsgLengthMask | kMsgRemote | kMsgExtended | kMsgError
    uint8_t data[8];
};
static_assert(sizeof(__CANCARD_MSG) == 24, "the driver's message record is 24 bytes");

// A card stamps its messages with the low 32 bits of the program's microsecond clock (GetTime),
// a count that wraps every 71.6 minutes: the reader of a port counts its wraps (CanReader).
constexpr uint32_t CardClock(uint64_t micros) {
    return static_cast<uint32_t>(micros);
}
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the driver's records are little-endian");

// Flags of a message record.
constexpr uint32_t kMsgLengthMask = 0x0F;  // data length; 9 to 15 mean 8
constexpr uint32_t kMsgRemote = 0x10;
constexpr uint32_t kMsgExtended = 0x40;
constexpr uint32_t kMsgError = 0x80;  // received only

// The three ioctl requests (type 0xB7).
constexpr unsigned long kIoctlSendMsg = 0x4018B704;  // write, the message record
constexpr unsigned long kIoctlRecvMsg = 0xC018B705;  // read and write, the message record
constexpr unsigned long kIoctlCommand = 0xC008B706;  // read and write, the command buffer's address

// A command buffer: word 0 holds the opcode (bits 31-16) and the number of parameter words
// (bits 15-0) when sent, the status and the number of result words when returned.
constexpr int kCmdWords = 64;

// Device node names of the two card families, formatted with the node number.
constexpr const char* kNodeFamilies[] = {"/dev/ulcan%02d", "/dev/tarvelcan%02d"};

// The driver's status codes: word 0 (bits 31-16) of a returned command buffer, and the result
// of the message requests.
enum DriverStatus : int {
    kDriverOk = 0,
    kDriverBadCommand = 1,
    kDriverBadParameter = 2,
    kDriverReopen = 3,      // the port is open already
    kDriverClosedPort = 4,  // the port is not open
    kDriverBusy = 5,        // the card is busy, or a port's transmit queue is full
    kDriverInternal = 6,
    kDriverTimeout = 7,  // no message came within the record's time-out
    kDriverSignal = 8,   // a signal interrupted the wait
};

// Opcodes of the command buffer.
constexpr uint32_t kOpOpen = 1;
constexpr uint32_t kOpClose = 2;
constexpr uint32_t kOpSetBaud = 3;    // parameter: a bit-rate value
constexpr uint32_t kOpGetBaud = 4;    // result: the port's bit-rate value
constexpr uint32_t kOpCardInfo = 5;   // results: type, boot loader version (type 1), firmware
constexpr uint32_t kOpErase = 6;      // parameter: an image identifier
constexpr uint32_t kOpFlash = 7;      // flash words, or a verification with kVerifyCount
constexpr uint32_t kOpUnlock = 8;     // type 1 cards take flash writes only after it
constexpr uint32_t kOpGetParam = 10;  // parameter: a parameter number; result: its value
constexpr uint32_t kOpAnalysis = 12;  // the bus analysis
constexpr uint32_t kOpOpenMode = 0xFC;
constexpr uint32_t kOpDriverVersion = 0xFE;
constexpr uint32_t kOpReset = 0xFF;

// Flash words of one kOpFlash command, and its parameter count that asks for a verification:
// the CRC-32 of the image's bytes written so far, in word 1.
constexpr uint32_t kMaxFlashWords = kCmdWords - 1;
constexpr uint32_t kVerifyCount = 0x2001;
// The one parameter of kOpUnlock.
constexpr uint32_t kUnlockKey = 0x3C96A5E1;
// Image identifiers that kOpErase takes.
constexpr uint32_t kBootImageId = 0x7D41E2B6;
constexpr uint32_t kMainImageId = 0x5A93C07E;
constexpr uint32_t kFpgaImageId = 0x2EB8D453;
// The largest image of each kind that the flash of any card type holds, in bytes.
constexpr uint32_t kMaxBootImageBytes = 64 * 1024;
constexpr uint32_t kMaxMainImageBytes = 1024 * 1024;
constexpr uint32_t kMaxFpgaImageBytes = 1024 * 1024;
// The flash of an image identifier in bytes, 0 for another identifier.
constexpr uint32_t ImageCapacity(uint32_t imageId) {
    return imageId == kBootImageId   ? kMaxBootImageBytes
           : imageId == kMainImageId ? kMaxMainImageBytes
           : imageId == kFpgaImageId ? kMaxFpgaImageBytes
                                     : 0;
}

// Parameter numbers of kOpGetParam.
constexpr uint32_t kParamSerial = 0;
constexpr uint32_t kParam1 = 1;
constexpr uint32_t kParamAnalog2 = 2;  // raw analog readings, 65536 for 10 V
constexpr uint32_t kParamAnalog3 = 3;  // 65536 for 5 V
constexpr uint32_t kParamAnalog4 = 4;  // 65536 for 5 V
constexpr uint32_t kParamPortStatus = 5;
constexpr uint32_t kParam7 = 7;
constexpr uint32_t kParam8 = 8;
constexpr uint32_t kParamBusLoad = 11;       // tenths of a percent, from kFirstLoadCardType
constexpr uint32_t kParamUpdateFailed = 12;  // bit 0, from kFirstUpdateFlagCardType
// The first card type that measures its bus load, and the first that flags a failed update.
constexpr uint32_t kFirstLoadCardType = 16;
constexpr uint32_t kFirstUpdateFlagCardType = 256;

// The port status word (kParamPortStatus): the transmit error counter in bits 7-0, the receive
// one in bits 15-8, the transmit and receive error states (PortErrorState) in bits 19-18 and
// 21-20.
constexpr int kStatusRxErrorsShift = 8;
constexpr uint32_t kStatusClosed = 1u << 16;        // the port is not open
constexpr uint32_t kStatusSynchronized = 1u << 17;  // the port takes part in the bus traffic
constexpr int kStatusTxStateShift = 18;
constexpr int kStatusRxStateShift = 20;
enum PortErrorState : uint32_t {
    kErrorActive = 0,
    kErrorWarning = 1,
    kErrorPassive = 2,
    kBusOff = 3,
};

// The bus analysis (kOpAnalysis): a request in parameter word 1, or no parameter to ask a
// measuring card for its kAnalysisResultWords result words (status, receive falling delay,
// receive rising delay, ACK rising span, ACK falling position; none while it is not ready).
constexpr uint32_t kAnalysisStart = 0;     // the next frame the port sends is the test frame
constexpr uint32_t kAnalysisProgress = 2;  // type 1: how far the capture has come, in word 1
constexpr uint32_t kAnalysisSamples = 3;   // type 1: line samples from the offset in bits 31-16
constexpr uint32_t kAnalysisResultWords = 5;
// Bits of a measuring card's status word. A card sets them when its receive line did not follow
// the test frame at all.
constexpr uint32_t kBusStatusStuckHigh = 1u << 0;  // the receive line never went dominant
constexpr uint32_t kBusStatusStuckLow = 1u << 1;   // the receive line never went recessive
// The line samples a type 1 card records during a bus analysis, two to a result word (bits
// 31-16 first): each a change of its transmit and receive levels. Bits 11-0: the time since the
// previous sample in sample periods, minus 1; bit 12: the transmit level, bit 13: the receive
// level from this sample on (1 recessive).
constexpr uint16_t kSampleTime = 0x0FFF;
constexpr uint16_t kSampleTx = 1u << 12;
constexpr uint16_t kSampleRx = 1u << 13;
// How many samples the card holds.
constexpr size_t kMaxLineSamples = 1024;

// The bit rates. The driver takes and reports a bit-rate value 1 to 8 (kOpSetBaud, kOpGetBaud);
// the program numbers the same rates as bit-rate codes 0 to 7, the value minus 1.
constexpr int kBitRateCount = 8;
constexpr int kBitRates[kBitRateCount] = {1000000, 800000, 500000, 250000,
                                          125000,  100000, 50000,  20000};
// Bits per second of a bit-rate code, 0 for another code.
constexpr int BitsPerSecond(int code) {
    return code >= 0 && code < kBitRateCount ? kBitRates[code] : 0;
}

// The clock of a card type in MHz: 25, 40 or 100. Wide enough for any type word.
constexpr int CardClockMHz(int64_t cardType) {
    return cardType < 2 ? 25 : cardType < 16 ? 40 : 100;
}
