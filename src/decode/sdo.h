#pragma once

#include <array>
#include <cstdint>
#include <string>

#include <vector>

#include "decode/cob_ids.h"
#include "decode/frame_values.h"
#include "decode/parsed_message.h"
#include "store/can_frame.h"
#include "store/frame_decoder.h"

class CANopenNode;

// CRC-16-CCITT (polynomial 0x1021, initial value 0), as SDO block transfers check their data;
// crc: the CRC of the bytes before these, to go on from.
uint16_t SdoBlockCrc(const uint8_t* bytes, size_t n, uint16_t crc = 0);

// The SDO conversation of one node. The scan half (scan) follows it frame by frame in store
// order with a small state machine and writes what it learns into each stored frame: its kind
// (scanInfo bits 12 to 15), the start of a transfer (bit 0), block-upload frames (bit 8), block
// data segments (bit 9), the links of the node's SDO channel (txPrev/txNext), the transfer's
// object (objID), zero padding of short frames and raised status. The parse half decodes a frame
// from its bytes, those marks and its neighbours alone, so a frame decodes the same every time.
// Only the scan pass writes the fields below.
class SDO {
  public:
    // Marks in scanInfo.
    static constexpr uint32_t kTransferStart = 1;
    static constexpr uint32_t kBlockUpload = 1u << 8;
    static constexpr uint32_t kBlockData = 1u << 9;
    static constexpr int kKindShift = 12;

    // Where the node's conversation stands, by the frames it expects next.
    enum class State : uint8_t {
        kUnseen = 0,  // no SDO frame of the node yet
        kIdle = 1,
        // Expedited and segmented transfers.
        kAwaitInitDownloadResponse = 2,
        kAwaitDownloadSegment = 3,
        kAwaitDownloadSegmentResponse = 4,
        kAwaitInitUploadResponse = 5,
        kAwaitUploadSegmentRequest = 6,
        kAwaitUploadSegmentResponse = 7,
        // Block download: the node's initiate response; the client's sub-blocks, each
        // acknowledged by the node; the client's end request and the node's end response.
        kAwaitBlockDownloadInit = 10,
        kBlockDownloadSubBlocks = 12,
        kAwaitBlockDownloadEnd = 13,
        // Block upload: the node's initiate response; the client's start request; the node's
        // sub-blocks, each acknowledged by the client; the node's end request and the client's
        // end response.
        kAwaitBlockUploadInit = 20,
        kAwaitBlockUploadStart = 21,
        kBlockUploadSubBlocks = 22,
        kAwaitBlockUploadEnd = 23,
        kComplete = 30,  // the frame just scanned ended the transfer: idle after it
    };

    // Frame kinds.
    enum Kind {
        kInitUploadRequest = 0,
        kInitUploadResponse = 1,
        kUploadSegmentRequest = 2,
        kUploadSegmentResponse = 3,
        kInitDownloadRequest = 4,
        kInitDownloadResponse = 5,
        kDownloadSegmentRequest = 6,
        kDownloadSegmentResponse = 7,
        kAbort = 8,
        kBlockUploadClient = 9,
        kBlockUploadNode = 10,
        kBlockDownloadClient = 11,
        kBlockDownloadNode = 12,
        kInvalid = 13,
    };

    explicit SDO(CANopenNode* node) : node(node) {}

    // A frame from the client to the node (0x600 + N), not the node's answer (0x580 + N).
    static bool IsClient(const CANframe& frame) {
        return CobId::Function(frame.id) == CobId::kSdoClient;
    }
    // The data bytes of an expedited initiate frame by its command byte: 4 unless the size is
    // indicated.
    static int ExpeditedSize(uint8_t command) {
        return (command & 1) ? 4 - ((command >> 2) & 3) : 4;
    }
    // The data bytes of a segment by its command byte.
    static int SegmentSize(uint8_t command) { return 7 - ((command >> 1) & 7); }

    // The scan step for one stored SDO data frame of the node, in store order.
    void scan(StoreIndex index, CANframe& frame, StoredFrames& stored);
    // Adds the decoded lines to message; the short description is left to getShortDesc.
    std::string parse(CANframe& frame, ParsedMessage* message);
    // The short description; with values, also the transfer's value when frame completes one.
    std::string getShortDesc(CANframe& frame, FrameValues* values = nullptr);

    CANopenNode* node;          // the owner
    StoreIndex lastFrame = -1;  // store index of the node's last SDO frame, either direction
    uint16_t index = 0;         // the object of the current transfer
    uint8_t subIndex = 0;
    State state = State::kUnseen;
    uint8_t lastSeq = 0;  // block transfers: last sequence number accepted in order
    uint8_t seq = 0;      // block transfers: last sequence number seen
    bool last = false;    // the transfer ends with the next response
    // The transfer's data so far: its first bytes, and how many there are in all.
    std::array<uint8_t, 8> value{};
    uint32_t valueSize = 0;

  private:
    // The frame linked to as previous of frame, as the message store still holds it (decoding,
    // not the scan). frame may be out.
    bool StoredPrev(const CANframe& frame, CANframe& out) const;
    std::string Describe(CANframe& frame, ParsedMessage* message);
    // The data of a transfer, as its frames in the message store give it.
    struct TransferData {
        std::vector<uint8_t> bytes;
        bool crcUsed = false;  // a block transfer both sides check by CRC
        uint16_t crcGiven = 0;
    };
    // Whether frame is one of those that end a transfer: the response to an expedited download,
    // an expedited upload response, a last segment and its confirmation, a block end request and
    // its response.
    bool CompletesTransfer(const CANframe& frame);
    // Gathers the transfer that last ends, back to its start; false when a frame of it is no
    // longer held.
    bool GatherTransfer(const CANframe& last, TransferData& out);
    // The transfer's value line (and CRC line) and value, when frame ends a transfer.
    void AddTransferValue(CANframe& frame, ParsedMessage* message, FrameValues* values);
    void SetKind(CANframe& frame, int kind);
    void StartTransfer(const CANframe& frame);
    // Adds n data bytes of the transfer.
    void Collect(const uint8_t* bytes, int n);
    void TakeObject(const CANframe& frame);
    // A transfer is under way: a new one that starts now cuts it short.
    bool Busy() const { return state != State::kUnseen && state != State::kIdle; }
    // Raises status when state is neither wanted nor kUnseen (out of sequence).
    void Expect(CANframe& frame, State wanted);

    // Block transfer scan steps.
    void BlockDownloadClientStep(CANframe& frame);
    void BlockDownloadNodeStep(CANframe& frame);
    void BlockUploadClientStep(CANframe& frame);
    void BlockUploadNodeStep(CANframe& frame);
    void SubBlockAcknowledged(const CANframe& frame, State endState, State nextState);
    void DataSegment(CANframe& frame);
    // The end request of a block transfer says how many bytes of its last segment are none.
    void DropUnused(const CANframe& frame);

    // Decoders by kind: each returns the text after the prefix of the short description.
    std::string InitUpload(CANframe& frame, ParsedMessage* message, bool requestForm);
    std::string InitDownload(CANframe& frame, ParsedMessage* message, bool downloadRequestForm);
    std::string UploadSegment(CANframe& frame, ParsedMessage* message, bool requestForm);
    std::string DnloadSegment(CANframe& frame, ParsedMessage* message, bool downloadRequestForm);
    std::string Abort(CANframe& frame, ParsedMessage* message);
    std::string BlockUpload(CANframe& frame, ParsedMessage* message);
    std::string BlockDnload(CANframe& frame, ParsedMessage* message);
    std::string dispBlockData(CANframe& frame, ParsedMessage* message);
    bool IsBlockData(const CANframe& frame, bool dataSide);
    // The short block frames: end, start, and sub-block acknowledgements (with the last
    // sequence number and the next block size).
    void BlockSubCommand(CANframe& frame, ParsedMessage* message, const char* subLine,
                         bool acknowledgement);

    // Line builders.
    void addCssInfo(const CANframe& frame, ParsedMessage* message);
    void checkReservedBits(CANframe& frame, ParsedMessage* message, uint8_t mask);
    void checkReservedBytes(CANframe& frame, ParsedMessage* message, int from);
    std::string FindObject(const CANframe& frame, ParsedMessage* message);
    void checkBlkSize(int position, CANframe& frame, ParsedMessage* message);
    void checkBlockCRC(const CANframe& frame, ParsedMessage* message);
};
