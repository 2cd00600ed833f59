#include "hw/can_bits.h"

#include "store/can_frame.h"

namespace {

constexpr uint16_t kCrc15Poly = 0x4599;

bool IsWireFrame(const CANframe& frame) {
    return frame.type == FRAME_DATA || frame.type == FRAME_RTR;
}

void PushBits(std::vector<uint8_t>& bits, uint32_t value, int count) {
    for (int i = count - 1; i >= 0; --i) bits.push_back(static_cast<uint8_t>((value >> i) & 1u));
}

// Start of frame to the last data bit, unstuffed.
std::vector<uint8_t> HeadBits(const CANframe& frame) {
    std::vector<uint8_t> bits;
    bits.reserve(100);
    const bool remote = frame.type == FRAME_RTR;
    // The length field holds 0..8 for a data frame; a remote frame sends its DLC but no bytes.
    const int dlc = frame.length < 0 ? 0 : frame.length;
    bits.push_back(0);  // start of frame
    if (frame.IsExtended()) {
        const uint32_t id = frame.id & kExtendedIdMask;
        PushBits(bits, id >> 18, 11);
        bits.push_back(1);  // SRR
        bits.push_back(1);  // IDE
        PushBits(bits, id & 0x3FFFFu, 18);
        bits.push_back(remote ? 1 : 0);
        bits.push_back(0);  // r1
        bits.push_back(0);  // r0
    } else {
        PushBits(bits, frame.id & kStandardIdMask, 11);
        bits.push_back(remote ? 1 : 0);
        bits.push_back(0);  // IDE
        bits.push_back(0);  // r0
    }
    PushBits(bits, static_cast<uint32_t>(dlc), 4);
    if (!remote) {
        const int bytes = dlc > 8 ? 8 : dlc;
        for (int i = 0; i < bytes; ++i) PushBits(bits, frame.data[i], 8);
    }
    return bits;
}

uint16_t Crc15(const std::vector<uint8_t>& bits) {
    uint16_t crc = 0;
    for (uint8_t bit : bits) crc = Crc15Step(crc, bit);
    return crc;
}

}  // namespace

uint16_t Crc15Step(uint16_t crc, int bit) {
    const bool feedback = (((crc >> 14) & 1) ^ bit) != 0;
    crc = static_cast<uint16_t>((crc << 1) & 0x7FFF);
    return feedback ? static_cast<uint16_t>(crc ^ kCrc15Poly) : crc;
}

uint16_t FrameCrc15(const CANframe& frame) {
    if (!IsWireFrame(frame)) return 0;
    return Crc15(HeadBits(frame));
}

std::vector<uint8_t> FrameBits(const CANframe& frame) {
    std::vector<uint8_t> wire;
    if (!IsWireFrame(frame)) return wire;
    std::vector<uint8_t> bits = HeadBits(frame);
    PushBits(bits, Crc15(bits), 15);

    wire.reserve(bits.size() + bits.size() / 4 + 10);
    int run = 0;
    uint8_t last = 2;
    for (uint8_t bit : bits) {
        wire.push_back(bit);
        run = bit == last ? run + 1 : 1;
        last = bit;
        if (run == 5) {
            // The stuff bit opens the next run of equal bits.
            last = static_cast<uint8_t>(bit ^ 1u);
            wire.push_back(last);
            run = 1;
        }
    }
    // CRC delimiter, ACK slot (as transmitted), ACK delimiter and end of frame: all recessive.
    wire.insert(wire.end(), 10, 1);
    return wire;
}

int FrameBusBits(const CANframe& frame) {
    if (!IsWireFrame(frame)) return 0;
    return static_cast<int>(FrameBits(frame).size()) + 3;
}
