#include "decode/sdo.h"

#include <algorithm>
#include <optional>

#include "base/utils.h"
#include "decode/canopen_network.h"
#include "decode/sdo_abort_codes.h"

namespace {

// The valid payload bytes, never more than the eight there are.
int Valid(const CANframe& frame) {
    return std::clamp(static_cast<int>(frame.length), 0, 8);
}

const char* const kCcsNames[8] = {"Download Segment",
                                  "Initiate Download",
                                  "Initiate Upload",
                                  "Upload Segment",
                                  nullptr,
                                  "Block Upload",
                                  "Block Download",
                                  nullptr};
const char* const kScsNames[8] = {"Upload Segment Response",
                                  "Download Segment Response",
                                  "Initiate Upload Response",
                                  "Initiate Download Response",
                                  nullptr,
                                  "Block Download Response",
                                  "Block Upload Response",
                                  nullptr};

}  // namespace

void SDO::SetKind(CANframe& frame, int kind) {
    frame.scanInfo = (frame.scanInfo & ~(0xFu << kKindShift)) | static_cast<uint32_t>(kind)
                                                                    << kKindShift;
}

void SDO::TakeObject(const CANframe& frame) {
    index = Build16(frame.data + 1);
    subIndex = frame.data[3];
}

void SDO::StartTransfer(const CANframe& frame) {
    lastSeq = seq = 0;
    valueSize = 0;
    TakeObject(frame);
}

void SDO::Collect(const uint8_t* bytes, int n) {
    for (int i = 0; i < n; i++, valueSize++)
        if (valueSize < value.size()) value[valueSize] = bytes[i];
}

void SDO::Expect(CANframe& frame, State wanted) {
    if (state != wanted && state != State::kUnseen) frame.RaiseStatus(Severity::kWarning);
}

void SDO::scan(StoreIndex at, CANframe& frame, StoredFrames& stored) {
    frame.LinkPrev(at, lastFrame);
    if (CANframe* previous = stored.Frame(lastFrame)) previous->LinkNext(lastFrame, at);
    lastFrame = at;

    const int length = frame.length;
    if (length < 8) {
        frame.RaiseStatus(Severity::kWarning);
        std::fill(frame.data + std::max(length, 0), frame.data + 8, 0);
        if (length < 1) return;
    }
    const bool client = IsClient(frame);
    const uint8_t b = frame.data[0];
    if (client && b != 0x80 && state == State::kBlockDownloadSubBlocks) {
        BlockDownloadClientStep(frame);
    } else if (!client && b != 0x80 && state == State::kBlockUploadSubBlocks) {
        BlockUploadNodeStep(frame);
    } else {
        // Per command specifier: the state expected, the state entered (none: either left to
        // the action), the action.
        using S = State;
        struct Row {
            std::optional<State> expected, next;
        };
        static const Row kClient[8] = {
            {S::kAwaitDownloadSegment, S::kAwaitDownloadSegmentResponse},
            {S::kIdle, S::kAwaitInitDownloadResponse},
            {S::kIdle, S::kAwaitInitUploadResponse},
            {S::kAwaitUploadSegmentRequest, S::kAwaitUploadSegmentResponse},
            {std::nullopt, S::kIdle},
            {},
            {},
            {std::nullopt, S::kIdle}};
        static const Row kNode[8] = {
            {S::kAwaitUploadSegmentResponse, S::kAwaitUploadSegmentRequest},
            {S::kAwaitDownloadSegmentResponse, S::kAwaitDownloadSegment},
            {S::kAwaitInitUploadResponse, S::kAwaitUploadSegmentRequest},
            {S::kAwaitInitDownloadResponse, S::kAwaitDownloadSegment},
            {std::nullopt, S::kIdle},
            {},
            {},
            {std::nullopt, S::kIdle}};
        const int cs = b >> 5;
        const Row& row = client ? kClient[cs] : kNode[cs];
        if (row.expected) Expect(frame, *row.expected);
        if (row.next) state = *row.next;
        switch (cs) {
            case 0:
                Collect(frame.data + 1, SegmentSize(b));
                if (client) {
                    SetKind(frame, kDownloadSegmentRequest);
                    last = b & 1;
                } else {
                    SetKind(frame, kUploadSegmentResponse);
                    if (b & 1) state = State::kComplete;
                }
                break;
            case 1:
                if (client) {
                    SetKind(frame, kInitDownloadRequest);
                    frame.scanInfo |= kTransferStart;
                    StartTransfer(frame);
                    last = b & 2;
                    if (last) Collect(frame.data + 4, ExpeditedSize(b));
                } else {
                    SetKind(frame, kDownloadSegmentResponse);
                    if (last) state = State::kComplete;
                }
                break;
            case 2:
                if (client) {
                    SetKind(frame, kInitUploadRequest);
                    frame.scanInfo |= kTransferStart;
                    StartTransfer(frame);
                } else {
                    SetKind(frame, kInitUploadResponse);
                    TakeObject(frame);
                    valueSize = 0;
                    if (b & 2) {
                        Collect(frame.data + 4, ExpeditedSize(b));
                        state = State::kComplete;
                    }
                }
                break;
            case 3:
                if (client) {
                    SetKind(frame, kUploadSegmentRequest);
                } else {
                    SetKind(frame, kInitDownloadResponse);
                    if (last) state = State::kComplete;
                }
                break;
            case 4:
                SetKind(frame, kAbort);
                break;
            case 5:
                if (client)
                    BlockUploadClientStep(frame);
                else
                    BlockDownloadNodeStep(frame);
                break;
            case 6:
                if (client)
                    BlockDownloadClientStep(frame);
                else
                    BlockUploadNodeStep(frame);
                break;
            default:
                SetKind(frame, kInvalid);
        }
    }
    frame.objID = static_cast<uint32_t>(index) << 16 | subIndex;
    if (state == State::kComplete) {
        node->TransferComplete(index, subIndex, value.data(),
                               std::min<uint32_t>(valueSize, value.size()));
        state = State::kIdle;
    }
}

std::string SDO::parse(CANframe& frame, ParsedMessage* message) {
    std::string desc = Describe(frame, message);
    if (frame.type == FRAME_DATA && frame.length >= 1)
        AddTransferValue(frame, message, &message->values);
    return desc;
}

std::string SDO::getShortDesc(CANframe& frame, FrameValues* values) {
    std::string desc = Describe(frame, nullptr);
    if (values && frame.type == FRAME_DATA && frame.length >= 1)
        AddTransferValue(frame, nullptr, values);
    return desc;
}

std::string SDO::Describe(CANframe& frame, ParsedMessage* message) {
    const bool client = IsClient(frame);
    const int nodeId = frame.id & 0x7F;
    if (message)
        message->addFrag(-1, 1, Format("SDO message %s node %d", client ? "to" : "from", nodeId),
                         0);
    if (frame.type == FRAME_RTR) {
        frame.RaiseStatus(Severity::kError);
        if (message)
            message->addFrag(
                0, 1, "This is a remote request which doesn't make sense for SDO messages", 2);
        return "SDO message ID on remote request?";
    }
    if (frame.length < 1) {
        frame.RaiseStatus(Severity::kError);
        if (message) message->addFrag(0, 0, "Invalid SDO message.  No data passed", 2);
        return "SDO with no data!";
    }
    if (frame.length < 8) {
        frame.RaiseStatus(Severity::kWarning);
        if (message) message->addFrag(0, 0, "Badly formed SDO message.  Should be 8 bytes long", 1);
    }
    const std::string prefix = Format(client ? "SDO->%d: " : "SDO<-%d: ", nodeId);
    const uint8_t b = frame.data[0];
    switch ((frame.scanInfo >> kKindShift) & 0xF) {
        case kInitUploadRequest:
            return prefix + InitUpload(frame, message, true);
        case kInitUploadResponse:
            return prefix + InitDownload(frame, message, false);
        case kUploadSegmentRequest:
            return prefix + UploadSegment(frame, message, true);
        case kUploadSegmentResponse:
            return prefix + DnloadSegment(frame, message, false);
        case kInitDownloadRequest:
            return prefix + InitDownload(frame, message, true);
        case kInitDownloadResponse:
            return prefix + InitUpload(frame, message, false);
        case kDownloadSegmentRequest:
            return prefix + DnloadSegment(frame, message, true);
        case kDownloadSegmentResponse:
            return prefix + UploadSegment(frame, message, false);
        case kAbort:
            return prefix + Abort(frame, message);
        case kBlockUploadClient:
        case kBlockUploadNode:
            return prefix + BlockUpload(frame, message);
        case kBlockDownloadClient:
        case kBlockDownloadNode:
            return prefix + BlockDnload(frame, message);
        case kInvalid:
            frame.RaiseStatus(Severity::kError);
            if (message)
                message->addSubFrag(0, 1,
                                    Format("Command Code: %d (%s) is not a valid SDO command code",
                                           b >> 5, binary(b, 0xE0)),
                                    2);
            return prefix + "Invalid SDO transfer type";
        default:
            return prefix;
    }
}

void SDO::addCssInfo(const CANframe& frame, ParsedMessage* message) {
    if (!message) return;
    const uint8_t b = frame.data[0];
    message->addFrag(0, 1, Format("SDO control byte: 0x%02x (%s)", b, binary(b, 0xFF)), 0);
    if (const char* name = (IsClient(frame) ? kCcsNames : kScsNames)[b >> 5])
        message->addSubFrag(0, 1,
                            Format("Command Code: %d (%s), %s", b >> 5, binary(b, 0xE0), name), 0);
}

void SDO::checkReservedBits(CANframe& frame, ParsedMessage* message, uint8_t mask) {
    const uint8_t b = frame.data[0];
    if (!(b & mask)) return;
    frame.RaiseStatus(Severity::kWarning);
    if (message)
        message->addSubFrag(0, 1, Format("Reserved bits (%s) should not be set", binary(b, mask)),
                            1);
}

void SDO::checkReservedBytes(CANframe& frame, ParsedMessage* message, int from) {
    const int end = Valid(frame);
    const bool set = std::any_of(frame.data + std::min(from, end), frame.data + end,
                                 [](uint8_t v) { return v != 0; });
    if (set) frame.RaiseStatus(Severity::kWarning);
    if (message)
        message->addFrag(from, 8 - from, set ? "Reserved bytes, should be zero" : "Reserved",
                         set ? 1 : 0);
}

std::string SDO::FindObject(const CANframe& frame, ParsedMessage* message) {
    const uint16_t objIndex = Build16(frame.data + 1);
    const uint8_t objSub = frame.data[3];
    if (message) {
        message->addFrag(1, 3, Format("CANopen object identifier 0x%04x.0x%02x", objIndex, objSub),
                         0);
        message->addSubFrag(1, 2, Format("Object Index: 0x%04x", objIndex), 0);
        message->addSubFrag(3, 1, Format("Object sub-index: 0x%02x", objSub), 0);
    }
    return node->GetObjName(static_cast<uint32_t>(objIndex) << 16 | objSub);
}

std::string SDO::InitUpload(CANframe& frame, ParsedMessage* message, bool requestForm) {
    addCssInfo(frame, message);
    checkReservedBits(frame, message, 0x1F);
    const std::string name = FindObject(frame, message);
    checkReservedBytes(frame, message, 4);
    return requestForm ? "get " + name : "OK";
}

std::string SDO::InitDownload(CANframe& frame, ParsedMessage* message, bool downloadRequestForm) {
    const uint8_t b = frame.data[0];
    const bool sized = b & 1;
    const bool expedited = b & 2;
    const int unused = (b >> 2) & 3;
    addCssInfo(frame, message);
    checkReservedBits(frame, message, 0x10);
    if (unused != 0 && !(expedited && sized)) {
        frame.RaiseStatus(Severity::kWarning);
        if (message)
            message->addSubFrag(
                0, 1,
                Format("Data size field (%s) should be zero (not expidited with size)",
                       binary(b, 0x0C)),
                1);
    }
    if (message) {
        if (expedited && sized)
            message->addSubFrag(0, 1,
                                Format("Data size (%s) indicates %d bytes of data passed",
                                       binary(b, 0x0C), 4 - unused),
                                0);
        message->addSubFrag(
            0, 1,
            Format(expedited ? "Expedited transfer (%s)" : "Normal (non-exedited) transfer (%s)",
                   binary(b, 0x02)),
            0);
        message->addSubFrag(0, 1,
                            Format(sized ? "Message includes size information (%s)"
                                         : "Message does not include size information (%s)",
                                   binary(b, 0x01)),
                            0);
    }
    const std::string name = FindObject(frame, message);
    const uint32_t value = Build32(frame.data + 4);
    if (expedited) {
        std::string text;
        if (sized) {
            static const char* const kFormats[4] = {"0x%08x", "0x%06x", "0x%04x", "0x%02x"};
            const uint32_t masks[4] = {0xFFFFFFFF, 0xFFFFFF, 0xFFFF, 0xFF};
            text = Format(kFormats[unused], value & masks[unused]);
            if (message) message->addFrag(4, 4 - unused, "Object data value: " + text, 0);
        } else {
            text = Format("0x%08x", value);
            if (message) message->addFrag(4, 4, "Object value (size unknown): " + text, 0);
        }
        return downloadRequestForm ? "set " + name + " to " + text : name + " is " + text;
    }
    if (sized) {
        if (message)
            message->addFrag(
                4, 4, Format("Object size to download: %d bytes", static_cast<int32_t>(value)), 0);
    } else if (value != 0) {
        frame.RaiseStatus(Severity::kWarning);
        if (message) message->addFrag(4, 4, "Reserved bytes should contain zeros", 1);
    }
    return downloadRequestForm ? "start set to " + name : "start get data response";
}

std::string SDO::UploadSegment(CANframe& frame, ParsedMessage* message, bool requestForm) {
    const uint8_t b = frame.data[0];
    if (message) message->addSubFrag(0, 1, Format("Toggle bit (%s)", binary(b, 0x10)), 0);
    checkReservedBits(frame, message, 0x0F);
    checkReservedBytes(frame, message, 1);
    return requestForm ? "get more data" : "OK";
}

std::string SDO::DnloadSegment(CANframe& frame, ParsedMessage* message, bool downloadRequestForm) {
    const uint8_t b = frame.data[0];
    const int unused = (b >> 1) & 7;
    if (message) {
        message->addSubFrag(0, 1, Format("Toggle bit (%s)", binary(b, 0x10)), 0);
        message->addSubFrag(0, 1,
                            unused ? Format("Data size (%s) indicates %d bytes of data passed",
                                            binary(b, 0x0E), 7 - unused)
                                   : Format("Data size (%s) not specified", binary(b, 0x0E)),
                            0);
        message->addSubFrag(0, 1,
                            Format((b & 1) ? "This is the last segment of this download (%s)"
                                           : "More data segments still to come (%s)",
                                   binary(b, 0x01)),
                            0);
        message->addFrag(1, 7 - unused, "Message data", 0);
    }
    std::string text = downloadRequestForm ? "download data: " : "upload data: ";
    for (int i = 1; i <= 7 - unused; i++) text += Format("0x%02x ", frame.data[i]);
    return text;
}

std::string SDO::Abort(CANframe& frame, ParsedMessage* message) {
    const uint8_t b = frame.data[0];
    frame.RaiseStatus(Severity::kWarning);
    if (message)
        message->addSubFrag(
            0, 1, Format("Command Code: %d (%s), Abort transfer", b >> 5, binary(b, 0xE0)), 1);
    checkReservedBits(frame, message, 0x1F);
    const std::string name = FindObject(frame, message);
    const uint32_t code = Build32(frame.data + 4);
    const std::string codeText = Format("0x%08x", code) + SdoAbortText(code);
    if (message) message->addFrag(4, 4, "Abort code: " + codeText, 0);
    return "SDO abort " + name + " reason: " + codeText;
}
