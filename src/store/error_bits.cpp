#include "store/error_bits.h"

#include <linux/can.h>
#include <linux/can/error.h>

#include <cstring>

namespace {

// The classes of the bits that kUnknownClassShift moves: every class but the error counters'.
constexpr uint32_t kShiftedClasses = CAN_ERR_MASK & ~CAN_ERR_CNT & 0x3FF;

}  // namespace

uint32_t ErrorBitsFromSocketCan(uint32_t canId, const uint8_t* data) {
    const uint32_t classes = canId & CAN_ERR_MASK & ~CAN_ERR_CNT;
    uint32_t bits = 0;
    uint32_t explained = CAN_ERR_ACK;
    if (classes & CAN_ERR_ACK) bits |= kErrAck;
    if (classes & CAN_ERR_CRTL) {
        const uint8_t crtl = data[1];
        if (crtl & (CAN_ERR_CRTL_RX_OVERFLOW | CAN_ERR_CRTL_TX_OVERFLOW)) bits |= kErrOverflow;
        if (crtl && !(crtl & ~(CAN_ERR_CRTL_RX_OVERFLOW | CAN_ERR_CRTL_TX_OVERFLOW)))
            explained |= CAN_ERR_CRTL;
    }
    if (classes & CAN_ERR_PROT) {
        const uint8_t type = data[2];
        const uint8_t location = data[3];
        const uint32_t before = bits;
        if (type & CAN_ERR_PROT_STUFF) bits |= kErrStuff;
        if (type & CAN_ERR_PROT_FORM) bits |= kErrForm;
        if (type & CAN_ERR_PROT_BIT0) bits |= kErrBit0;
        if (type & CAN_ERR_PROT_BIT1) bits |= kErrBit1;
        if (location == CAN_ERR_PROT_LOC_CRC_SEQ || location == CAN_ERR_PROT_LOC_CRC_DEL)
            bits |= kErrCrc;
        if (location == CAN_ERR_PROT_LOC_ACK || location == CAN_ERR_PROT_LOC_ACK_DEL)
            bits |= kErrAck;
        // Whether it was on transmission or an active announcement is not an error kind.
        const uint8_t kinds = CAN_ERR_PROT_STUFF | CAN_ERR_PROT_FORM | CAN_ERR_PROT_BIT0 |
                              CAN_ERR_PROT_BIT1 | CAN_ERR_PROT_ACTIVE | CAN_ERR_PROT_TX;
        if (bits != before && !(type & ~kinds)) explained |= CAN_ERR_PROT;
    }
    if (bits & kErrBusErrors) explained |= CAN_ERR_BUSERROR;
    return bits | (classes & ~explained) << kUnknownClassShift;
}

uint32_t SocketCanFromErrorBits(uint32_t bits, uint8_t* data) {
    std::memset(data, 0, 6);
    uint32_t classes = bits >> kUnknownClassShift & kShiftedClasses;
    if (bits & kErrAck) classes |= CAN_ERR_ACK;
    if (bits & (kErrBusErrors & ~kErrAck)) {
        classes |= CAN_ERR_PROT;
        if (bits & kErrStuff) data[2] |= CAN_ERR_PROT_STUFF;
        if (bits & kErrForm) data[2] |= CAN_ERR_PROT_FORM;
        if (bits & kErrBit0) data[2] |= CAN_ERR_PROT_BIT0;
        if (bits & kErrBit1) data[2] |= CAN_ERR_PROT_BIT1;
        if (bits & kErrCrc) data[3] = CAN_ERR_PROT_LOC_CRC_SEQ;
    }
    if (bits & kErrBusErrors) classes |= CAN_ERR_BUSERROR;
    if (bits & kErrOverflow) {
        classes |= CAN_ERR_CRTL;
        data[1] = CAN_ERR_CRTL_RX_OVERFLOW;
    }
    return classes;
}
