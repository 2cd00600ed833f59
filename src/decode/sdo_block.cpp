// Block transfers of the SDO decoder: the scan steps of the sub-block protocol and the decoders
// of its frames.

#include "base/utils.h"
#include "decode/canopen_network.h"
#include "decode/sdo.h"
#include "store/storage.h"

bool SDO::StoredPrev(const CANframe& frame, CANframe& out) const {
    Storage* store = node->context.frames;
    if (!store) return false;
    const StoreIndex prev = frame.Prev(store->GetLast());
    return prev >= 0 && store->Get(prev, out);
}

void SDO::DataSegment(CANframe& frame) {
    const uint8_t b = frame.data[0];
    // The scan knows a data segment by the transfer state; decoding later cannot always tell
    // from the neighbours (a sub-block of one segment follows the other side's frame).
    frame.scanInfo |= kBlockData;
    last = b & 0x80;
    seq = b & 0x7F;
    if (seq == lastSeq + 1) {
        lastSeq = seq;
        Collect(frame.data + 1, 7);
    }
}

void SDO::DropUnused(const CANframe& frame) {
    const uint32_t unused = (frame.data[0] >> 2) & 7;  // bytes of the last segment without data
    valueSize = valueSize > unused ? valueSize - unused : 0;
}

void SDO::SubBlockAcknowledged(const CANframe& frame, State endState, State nextState) {
    const uint8_t acknowledged = frame.data[1] & 0x7F;
    state = last && seq == acknowledged ? endState : nextState;
    seq = lastSeq = 0;
}

void SDO::BlockDownloadClientStep(CANframe& frame) {
    SetKind(frame, kBlockDownloadClient);
    if (state == State::kBlockDownloadSubBlocks) {
        DataSegment(frame);
    } else if (state == State::kAwaitBlockDownloadEnd) {
        DropUnused(frame);
    } else if (frame.data[0] & 1) {
        state = State::kIdle;  // an end request out of place
    } else {
        // Initiate request: the object comes with the node's response.
        if (Busy()) frame.RaiseStatus(Severity::kWarning);
        frame.scanInfo |= kTransferStart;
        state = State::kAwaitBlockDownloadInit;
    }
}

void SDO::BlockDownloadNodeStep(CANframe& frame) {
    SetKind(frame, kBlockDownloadNode);
    switch (frame.data[0] & 3) {
        case 0:
            Expect(frame, State::kAwaitBlockDownloadInit);
            state = State::kBlockDownloadSubBlocks;
            StartTransfer(frame);
            break;
        case 1:
            Expect(frame, State::kAwaitBlockDownloadEnd);
            state = State::kComplete;
            break;
        case 2:
            Expect(frame, State::kBlockDownloadSubBlocks);
            SubBlockAcknowledged(frame, State::kAwaitBlockDownloadEnd,
                                 State::kBlockDownloadSubBlocks);
            break;
        default:
            state = State::kIdle;
    }
}

void SDO::BlockUploadClientStep(CANframe& frame) {
    SetKind(frame, kBlockUploadClient);
    frame.scanInfo |= kBlockUpload;
    switch (frame.data[0] & 3) {
        case 0:
            if (Busy()) frame.RaiseStatus(Severity::kWarning);
            frame.scanInfo |= kTransferStart;
            state = State::kAwaitBlockUploadInit;
            StartTransfer(frame);
            break;
        case 1:
            Expect(frame, State::kAwaitBlockUploadEnd);
            state = State::kComplete;
            break;
        case 2:
            Expect(frame, State::kBlockUploadSubBlocks);
            SubBlockAcknowledged(frame, State::kAwaitBlockUploadEnd, State::kBlockUploadSubBlocks);
            break;
        default:
            Expect(frame, State::kAwaitBlockUploadStart);
            state = State::kBlockUploadSubBlocks;
            seq = lastSeq = 0;
    }
}

void SDO::BlockUploadNodeStep(CANframe& frame) {
    SetKind(frame, kBlockUploadNode);
    frame.scanInfo |= kBlockUpload;
    if (state == State::kBlockUploadSubBlocks) {
        DataSegment(frame);
    } else if (state == State::kAwaitBlockUploadEnd) {
        DropUnused(frame);
    } else if (state == State::kAwaitBlockUploadInit) {
        StartTransfer(frame);
        state = State::kAwaitBlockUploadStart;
    }
}

bool SDO::IsBlockData(const CANframe& frame, bool dataSide) {
    if (!dataSide) return false;
    if (frame.scanInfo & kBlockData) return true;
    if (!(frame.data[0] & 0x80)) return true;
    if (frame.scanInfo & kTransferStart) return false;
    CANframe previous;
    return StoredPrev(frame, previous) && previous.id == frame.id;
}

std::string SDO::dispBlockData(CANframe& frame, ParsedMessage* message) {
    const uint8_t b = frame.data[0];
    const uint8_t number = b & 0x7F;
    CANframe previous;
    uint8_t expectedPrevious;
    if ((frame.scanInfo & kTransferStart) || !StoredPrev(frame, previous))
        expectedPrevious = number - 1;
    else if (previous.id == frame.id)
        expectedPrevious = previous.data[0] & 0x7F;
    else
        expectedPrevious = 0;  // the other side's frame: a sub-block starts
    const bool inOrder = number == static_cast<uint8_t>(expectedPrevious + 1);
    if (!inOrder) frame.RaiseStatus(Severity::kWarning);
    if (message) {
        message->addFrag(0, 1, Format("Data block control byte: 0x%02x (%s)", b, binary(b, 0xFF)),
                         0);
        message->addSubFrag(0, 1,
                            Format((b & 0x80) ? "This is the last segment (%s)"
                                              : "More segments still to come (%s)",
                                   binary(b, 0x80)),
                            0);
        if (inOrder)
            message->addSubFrag(0, 1,
                                Format("Segment number %d (%s)", number, binary(number, 0x7F)), 0);
        else
            message->addSubFrag(
                0, 1,
                Format("Segment number %d (%s) isn't one greater then previous (%d)", number,
                       binary(number, 0x7F), expectedPrevious),
                1);
        message->addFrag(1, 7, "Message data", 0);
    }
    return Format("block %s data segment %d", IsClient(frame) ? "download" : "upload", number);
}

void SDO::checkBlkSize(int position, CANframe& frame, ParsedMessage* message) {
    const uint8_t size = frame.data[position];
    if (size >= 128) {
        frame.RaiseStatus(Severity::kError);
        if (message)
            message->addFrag(position, 1, Format("Illegal block size: %d segments", size), 2);
    } else if (message) {
        message->addFrag(position, 1, Format("Block size: %d segments", size), 0);
    }
}

void SDO::checkBlockCRC(const CANframe& frame, ParsedMessage* message) {
    if (!message) return;
    const uint8_t b = frame.data[0];
    message->addSubFrag(0, 1,
                        Format((b & 4) ? "%s supports generation of CRC on data (%s)"
                                       : "%s does not support generation of CRC on data (%s)",
                               IsClient(frame) ? "Client" : "Server", binary(b, 0x04)),
                        0);
}

namespace {

void SubLine(ParsedMessage* message, const char* format, uint8_t b, uint8_t mask) {
    if (message) message->addSubFrag(0, 1, Format(format, binary(b, mask)), 0);
}

void SizeInfo(ParsedMessage* message, uint8_t b) {
    SubLine(message,
            (b & 2) ? "This message includes data size information (%s)"
                    : "No size information included in message (%s)",
            b, 0x02);
}

void UnusedBytes(ParsedMessage* message, uint8_t b) {
    if (message)
        message->addSubFrag(
            0, 1,
            Format("Last %d (%s) bytes of previous data message did not contain data", (b >> 2) & 7,
                   binary(b, 0x1C)),
            0);
}

void Crc(ParsedMessage* message, const CANframe& frame) {
    if (message)
        message->addFrag(1, 2, Format("Message data CRC 0x%04x", Build16(frame.data + 1)), 0);
}

void DataSize(ParsedMessage* message, const CANframe& frame) {
    if (message)
        message->addFrag(
            4, 4,
            Format("Message data size: %d bytes", static_cast<int32_t>(Build32(frame.data + 4))),
            0);
}

}  // namespace

void SDO::BlockSubCommand(CANframe& frame, ParsedMessage* message, const char* subLine,
                          bool acknowledgement) {
    checkReservedBits(frame, message, 0x1C);
    SubLine(message, subLine, frame.data[0], 0x03);
    if (acknowledgement) {
        if (message)
            message->addFrag(
                1, 1, Format("Last sequence number correctly received: %d", frame.data[1]), 0);
        checkBlkSize(2, frame, message);
        checkReservedBytes(frame, message, 3);
    } else {
        checkReservedBytes(frame, message, 1);
    }
}

std::string SDO::BlockUpload(CANframe& frame, ParsedMessage* message) {
    const bool client = IsClient(frame);
    if (IsBlockData(frame, !client)) return dispBlockData(frame, message);
    const uint8_t b = frame.data[0];
    if (frame.scanInfo & kBlockUpload) addCssInfo(frame, message);
    if (client) {
        switch (b & 3) {
            case 0: {
                checkReservedBits(frame, message, 0x18);
                checkBlockCRC(frame, message);
                SubLine(message, "Client sub-command 0 (%s) - Initiate block upload request", b,
                        0x03);
                const std::string name = FindObject(frame, message);
                checkBlkSize(4, frame, message);
                if (message) {
                    const uint8_t pst = frame.data[5];
                    message->addFrag(
                        5, 1,
                        pst ? Format("Protocol may be changed to normal upload if data size is "
                                     "<= %d bytes",
                                     pst)
                            : "Protocol switch (i.e. change to normal upload) not allowed",
                        0);
                }
                checkReservedBytes(frame, message, 6);
                return "Start block upload of " + name;
            }
            case 1:
                BlockSubCommand(frame, message, "Client sub-command 1 (%s) - End block upload",
                                false);
                return "End block upload";
            case 2:
                BlockSubCommand(frame, message, "Client sub-command 2 (%s) - Get next block", true);
                return "Get next block";
            default:
                BlockSubCommand(frame, message, "Client sub-command 3 (%s) - Start block upload",
                                false);
                return "Start upload";
        }
    }
    if (b & 1) {
        UnusedBytes(message, b);
        SubLine(message, "Server sub-command 1 (%s) - End block upload response", b, 0x03);
        Crc(message, frame);
        checkReservedBytes(frame, message, 3);
        return "block upload finished";
    }
    checkReservedBits(frame, message, 0x18);
    checkBlockCRC(frame, message);
    SizeInfo(message, b);
    SubLine(message, "Server sub-command 0 (%s) - Initiate block upload response", b, 0x01);
    FindObject(frame, message);
    if (b & 2)
        DataSize(message, frame);
    else
        checkReservedBytes(frame, message, 4);
    return "OK";
}

std::string SDO::BlockDnload(CANframe& frame, ParsedMessage* message) {
    const bool client = IsClient(frame);
    if (IsBlockData(frame, client)) return dispBlockData(frame, message);
    const uint8_t b = frame.data[0];
    if (client) {
        if (b & 1) {
            UnusedBytes(message, b);
            SubLine(message, "Client sub-command 1 (%s) - End block upload request", b, 0x01);
            if (message) checkReservedBits(frame, message, 0x02);
            Crc(message, frame);
            checkReservedBytes(frame, message, 3);
            return "block download finished";
        }
        checkReservedBits(frame, message, 0x18);
        checkBlockCRC(frame, message);
        SizeInfo(message, b);
        SubLine(message, "Client sub-command 0 (%s) - Initiate block download request", b, 0x01);
        const std::string name = FindObject(frame, message);
        if (b & 2)
            DataSize(message, frame);
        else
            checkReservedBytes(frame, message, 4);
        return "Start block download of " + name;
    }
    switch (b & 3) {
        case 0:
            checkReservedBits(frame, message, 0x18);
            checkBlockCRC(frame, message);
            SubLine(message, "Server sub-command 0 (%s) - Initiate block download response", b,
                    0x03);
            FindObject(frame, message);
            checkBlkSize(4, frame, message);
            checkReservedBytes(frame, message, 5);
            return "OK";
        case 1:
            BlockSubCommand(frame, message,
                            "Server sub-command 1 (%s) - End Block download response", false);
            return "OK, download finished";
        case 2:
            BlockSubCommand(frame, message, "Server sub-command 2 (%s) - Block download response",
                            true);
            return "download block response";
        default:
            frame.RaiseStatus(Severity::kError);
            SubLine(message, "Invalid server sub-command 3 (%s)", b, 0x03);
            return "badly formed block download response";
    }
}
