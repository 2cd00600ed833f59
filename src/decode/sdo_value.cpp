// The whole value of an SDO transfer, shown with the frames that complete it: gathered from the
// node's SDO frames back to the transfer's start, typed by the dictionary, and for block
// transfers checked against the CRC the sender gave.

#include <algorithm>
#include <vector>

#include "base/utils.h"
#include "decode/canopen_network.h"
#include "decode/data_types.h"
#include "decode/obj_dict.h"
#include "decode/sdo.h"
#include "decode/value_text.h"

namespace {

// Values longer than this show their first bytes only.
constexpr size_t kShownBytes = 64;
// A transfer spread over more of the node's frames is not gathered.
constexpr size_t kMaxTransferFrames = 1 << 18;
constexpr uint8_t kBlockCrcSupported = 0x04;

int KindOf(const CANframe& frame) {
    return (frame.scanInfo >> SDO::kKindShift) & 0xF;
}

}  // namespace

uint16_t SdoBlockCrc(const uint8_t* bytes, size_t n, uint16_t crc) {
    for (size_t i = 0; i < n; i++) {
        crc ^= static_cast<uint16_t>(bytes[i] << 8);
        for (int bit = 0; bit < 8; bit++)
            crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return crc;
}

bool SDO::CompletesTransfer(const CANframe& frame) {
    const uint8_t b = frame.data[0];
    CANframe previous;
    switch (KindOf(frame)) {
        case kInitDownloadResponse:
            return StoredPrev(frame, previous) && KindOf(previous) == kInitDownloadRequest &&
                   (previous.data[0] & 2);
        case kDownloadSegmentResponse:
            return StoredPrev(frame, previous) && KindOf(previous) == kDownloadSegmentRequest &&
                   (previous.data[0] & 1);
        case kInitUploadResponse:
            return b & 2;
        case kDownloadSegmentRequest:
        case kUploadSegmentResponse:
            return b & 1;
        case kBlockDownloadClient:
        case kBlockUploadNode:
            return (b & 1) && !(frame.scanInfo & kBlockData) && !IsBlockData(frame, true);
        case kBlockDownloadNode:
        case kBlockUploadClient:
            return (b & 3) == 1;
        default:
            return false;
    }
}

bool SDO::GatherTransfer(const CANframe& last, TransferData& out) {
    std::vector<CANframe> chain{last};
    for (CANframe f = last; !(f.scanInfo & kTransferStart);) {
        if (chain.size() > kMaxTransferFrames || !StoredPrev(f, f)) return false;
        chain.push_back(f);
    }
    std::reverse(chain.begin(), chain.end());
    std::vector<std::array<uint8_t, 7>> subBlock;  // the segments of a block in order so far
    bool clientCrc = false, nodeCrc = false;
    auto append = [&out](const uint8_t* bytes, int n) {
        out.bytes.insert(out.bytes.end(), bytes, bytes + std::max(n, 0));
    };
    for (const CANframe& f : chain) {
        const uint8_t b = f.data[0];
        const int kind = KindOf(f);
        if (f.scanInfo & kBlockData) {
            if ((b & 0x7F) == subBlock.size() + 1) {
                subBlock.emplace_back();
                std::copy(f.data + 1, f.data + 8, subBlock.back().begin());
            }
            continue;
        }
        switch (kind) {
            case kInitDownloadRequest:
            case kInitUploadResponse:
                // An initiate frame begins the data again (a node that answered twice).
                out.bytes.clear();
                if (b & 2) append(f.data + 4, ExpeditedSize(b));
                break;
            case kDownloadSegmentRequest:
            case kUploadSegmentResponse:
                append(f.data + 1, SegmentSize(b));
                break;
            case kBlockDownloadClient:
            case kBlockUploadNode:
                if (b & 1) {  // the end request: the last segment's unused bytes, the CRC
                    const size_t unused = std::min<size_t>((b >> 2) & 7, out.bytes.size());
                    out.bytes.resize(out.bytes.size() - unused);
                    out.crcGiven = Build16(f.data + 1);
                } else if (kind == kBlockDownloadClient) {
                    clientCrc = b & kBlockCrcSupported;
                } else {
                    nodeCrc = b & kBlockCrcSupported;
                }
                break;
            case kBlockDownloadNode:
            case kBlockUploadClient:
                if ((b & 3) == 2) {  // a sub-block acknowledged up to its segment data[1]
                    const size_t taken = std::min<size_t>(f.data[1] & 0x7F, subBlock.size());
                    for (size_t i = 0; i < taken; i++) append(subBlock[i].data(), 7);
                    subBlock.clear();
                } else if ((b & 3) == 0) {
                    (kind == kBlockDownloadNode ? nodeCrc : clientCrc) = b & kBlockCrcSupported;
                } else if (kind == kBlockUploadClient && !(b & 1)) {
                    clientCrc = b & kBlockCrcSupported;
                }
                break;
            default:
                break;
        }
    }
    out.crcUsed = clientCrc && nodeCrc;
    return true;
}

void SDO::AddTransferValue(CANframe& frame, ParsedMessage* message, FrameValues* values) {
    if (!CompletesTransfer(frame)) return;
    TransferData data;
    if (!GatherTransfer(frame, data)) return;
    const uint32_t size = static_cast<uint32_t>(data.bytes.size());
    CANopenObjDict* dict = node->Dictionary();
    const ObjInfo* info = dict ? dict->Find(frame.objID) : nullptr;
    const DataType* type = info ? FindDataType(info->dataType) : nullptr;
    DecodedValue v;
    v.index = static_cast<uint16_t>(frame.objID >> 16);
    v.sub = static_cast<uint8_t>(frame.objID);
    v.name = node->GetObjName(frame.objID);
    if (type) v.type = type->name;
    ReadBytesValue(data.bytes.data(), std::min<size_t>(size, kShownBytes), size, type, v);
    const bool crcBad = data.crcUsed && data.crcGiven != SdoBlockCrc(data.bytes.data(), size);
    if (crcBad) frame.RaiseStatus(Severity::kWarning);
    if (message) {
        message->addFrag(0, 0,
                         Format("Transfer value: %s%s (%u byte%s)", LongText(v).c_str(),
                                size > kShownBytes ? " ..." : "", size, size == 1 ? "" : "s"),
                         0);
        if (data.crcUsed)
            message->addFrag(0, 0,
                             crcBad ? Format("CRC mismatch (got 0x%04x, computed 0x%04x)",
                                             data.crcGiven, SdoBlockCrc(data.bytes.data(), size))
                                    : std::string("CRC ok"),
                             crcBad ? 1 : 0);
    }
    if (values) values->Add() = std::move(v);
}
