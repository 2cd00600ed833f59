#include "status/transfer_follower.h"

#include <algorithm>
#include <limits>

#include "base/utils.h"
#include "decode/sdo.h"

namespace {

constexpr uint8_t kExpedited = 0x02;  // initiate frames: the data is in the frame
constexpr uint8_t kLastSegment = 0x01;
constexpr uint8_t kBlockCrcOffered = 0x04;
constexpr uint8_t kBlockEnd = 0x01;         // a block end request (client's or node's data side)
constexpr uint8_t kBlockLastData = 0x80;    // a data segment: the transfer's last
constexpr uint8_t kBlockSubCommand = 0x03;  // the receiving side's block frames
enum BlockSubCommand : uint8_t { kInitiate = 0, kEnd = 1, kAcknowledge = 2, kStartUpload = 3 };

}  // namespace

void TransferFollower::Begin(StoreIndex index, const CANframe& frame) {
    current = TransferRecord();
    current.start = frame.timestamp;
    current.firstFrame = index;
    current.port = frame.port;
    current.node = static_cast<uint8_t>(frame.id & 0x7F);
    current.object = frame.objID;
    open = true;
    expeditedDownload = lastSegment = false;
    clientCrc = serverCrc = false;
    crcGiven = crc = 0;
    received = finalSegment = 0;
    finalTaken = false;
    crcBeforeFinal = 0;
    crcAfter[0] = 0;
}

bool TransferFollower::End(TransferResult result, TransferRecord& done) {
    current.result = result;
    if (result == TransferResult::kOk && current.protocol == TransferProtocol::kBlock &&
        clientCrc && serverCrc)
        current.crc = crc == crcGiven ? BlockCrc::kGood : BlockCrc::kBad;
    done = current;
    open = false;
    return true;
}

void TransferFollower::Stretch(const CANframe& frame) {
    // A frame stamped before the start (time went back) leaves the duration at 0.
    current.duration = static_cast<uint32_t>(
        std::min<int64_t>(std::max<int64_t>(frame.timestamp - current.start, 0),
                          std::numeric_limits<uint32_t>::max()));
}

void TransferFollower::Append(const uint8_t* bytes, int n) {
    for (int i = 0; i < n; i++, current.size++)
        if (current.size < TransferRecord::kValueBytes) current.value[current.size] = bytes[i];
}

void TransferFollower::Segment(uint8_t control, const uint8_t* bytes) {
    const uint8_t seq = control & 0x7F;
    if (seq == 0 || seq != received + 1) return;  // out of order: the receiver asks for it again
    received = seq;
    // Where the segment lands: after the data acknowledged so far, whatever was sent before.
    const uint32_t at = current.size + 7u * (seq - 1u);
    for (uint32_t i = 0; i < 7; i++)
        if (at + i < TransferRecord::kValueBytes) current.value[at + i] = bytes[i];
    crcAfter[seq] = SdoBlockCrc(bytes, 7, crcAfter[seq - 1]);
    if (control & kBlockLastData) {
        finalSegment = seq;
        std::copy(bytes, bytes + 7, finalBytes.begin());
    }
}

void TransferFollower::Acknowledged(uint8_t lastInOrder) {
    const uint8_t taken = std::min(lastInOrder, received);
    current.size += 7u * taken;
    crc = crcAfter[taken];
    if (finalSegment && finalSegment <= taken) {
        crcBeforeFinal = crcAfter[finalSegment - 1];
        finalTaken = true;
    }
    received = finalSegment = 0;
    crcAfter[0] = crc;
}

void TransferFollower::DropUnused(int unused) {
    const uint32_t n = std::min<uint32_t>(static_cast<uint32_t>(unused), 7);
    current.size = current.size > n ? current.size - n : 0;
    if (finalTaken) crc = SdoBlockCrc(finalBytes.data(), 7 - n, crcBeforeFinal);
}

bool TransferFollower::Follow(StoreIndex index, const CANframe& frame, TransferRecord& done) {
    if (frame.type != FRAME_DATA || frame.length < 1) return false;
    const int kind = (frame.scanInfo >> SDO::kKindShift) & 0xF;
    if (kind == SDO::kInvalid) return false;
    const uint8_t b = frame.data[0];
    bool ended = false;
    if (frame.scanInfo & SDO::kTransferStart) {
        if (open) ended = End(TransferResult::kIncomplete, done);
        Begin(index, frame);
    }
    if (kind == SDO::kAbort) {
        // An abort ends the transfer under way, or stands for one whose start was not seen.
        if (!open) Begin(index, frame);
        current.object = static_cast<uint32_t>(Build16(frame.data + 1)) << 16 | frame.data[3];
        current.abortCode = Build32(frame.data + 4);
        Stretch(frame);
        return End(TransferResult::kAborted, done);
    }
    if (!open) return ended;
    current.object = frame.objID;
    Stretch(frame);
    const bool data = frame.scanInfo & SDO::kBlockData;
    switch (kind) {
        case SDO::kInitDownloadRequest:
            current.upload = false;
            expeditedDownload = b & kExpedited;
            current.protocol =
                expeditedDownload ? TransferProtocol::kExpedited : TransferProtocol::kSegmented;
            if (expeditedDownload) Append(frame.data + 4, SDO::ExpeditedSize(b));
            break;
        case SDO::kInitDownloadResponse:
            if (expeditedDownload) return End(TransferResult::kOk, done);
            break;
        case SDO::kDownloadSegmentRequest:
            Append(frame.data + 1, SDO::SegmentSize(b));
            lastSegment = b & kLastSegment;
            break;
        case SDO::kDownloadSegmentResponse:
            if (lastSegment) return End(TransferResult::kOk, done);
            break;
        case SDO::kInitUploadRequest:
            current.upload = true;
            current.protocol = TransferProtocol::kSegmented;
            break;
        case SDO::kInitUploadResponse:
            if (b & kExpedited) {
                current.protocol = TransferProtocol::kExpedited;
                Append(frame.data + 4, SDO::ExpeditedSize(b));
                return End(TransferResult::kOk, done);
            }
            break;
        case SDO::kUploadSegmentResponse:
            Append(frame.data + 1, SDO::SegmentSize(b));
            if (b & kLastSegment) return End(TransferResult::kOk, done);
            break;
        case SDO::kBlockDownloadClient:
        case SDO::kBlockUploadNode:
            current.upload = kind == SDO::kBlockUploadNode;
            current.protocol = TransferProtocol::kBlock;
            if (data) {
                Segment(b, frame.data + 1);
            } else if (b & kBlockEnd) {
                DropUnused((b >> 2) & 7);
                crcGiven = Build16(frame.data + 1);
            } else {
                (kind == SDO::kBlockDownloadClient ? clientCrc : serverCrc) = b & kBlockCrcOffered;
            }
            break;
        case SDO::kBlockDownloadNode:
        case SDO::kBlockUploadClient:
            current.upload = kind == SDO::kBlockUploadClient;
            current.protocol = TransferProtocol::kBlock;
            switch (b & kBlockSubCommand) {
                case kInitiate:
                    (kind == SDO::kBlockDownloadNode ? serverCrc : clientCrc) =
                        b & kBlockCrcOffered;
                    break;
                case kAcknowledge:
                    Acknowledged(frame.data[1] & 0x7F);
                    break;
                case kEnd:
                    return End(TransferResult::kOk, done);
                case kStartUpload:
                    received = 0;
                    break;
            }
            break;
        default:
            break;
    }
    return ended;
}
