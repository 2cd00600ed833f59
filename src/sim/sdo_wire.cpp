#include "sim/sdo_wire.h"

uint16_t SdoBlockCrc(const uint8_t* data, size_t size) {
    uint16_t crc = 0;
    for (size_t i = 0; i < size; ++i) {
        crc = static_cast<uint16_t>(crc ^ (data[i] << 8));
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return crc;
}

SdoPayload SdoAbortFrame(uint32_t key, uint32_t code) {
    SdoPayload p{0x80};
    PutSdoKey(p, key);
    PutLe32(p.data() + 4, code);
    return p;
}

void PutSdoKey(SdoPayload& payload, uint32_t key) {
    payload[1] = static_cast<uint8_t>(key >> 16);
    payload[2] = static_cast<uint8_t>(key >> 24);
    payload[3] = static_cast<uint8_t>(key);
}

uint32_t GetSdoKey(const SdoPayload& payload) {
    return static_cast<uint32_t>(payload[1] | payload[2] << 8) << 16 | payload[3];
}

void PutLe32(uint8_t* p, uint32_t value) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t GetLe32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
