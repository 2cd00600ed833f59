#pragma once

#include <array>
#include <cstdint>

#include "store/can_frame.h"

enum class TransferResult : uint8_t { kOk, kAborted, kIncomplete };
enum class TransferProtocol : uint8_t { kExpedited, kSegmented, kBlock };
// A block transfer's CRC: unchecked when either side did not offer it (and for other transfers).
enum class BlockCrc : uint8_t { kUnchecked, kGood, kBad };

// One SDO transfer of a node's default SDO channel, from its first frame to the frame that ended
// it: at most 104 bytes, the first 64 of them its value's first bytes.
struct TransferRecord {
    static constexpr uint32_t kValueBytes = 64;

    int64_t start = 0;          // microseconds, of the first frame
    StoreIndex firstFrame = 0;  // store index of the first frame
    uint32_t duration = 0;      // microseconds to the last frame seen, saturating
    uint32_t object = 0;        // index << 16 | sub-index
    uint32_t size = 0;          // bytes of the value in all
    uint32_t abortCode = 0;     // when aborted
    uint8_t port = 0;
    uint8_t node = 0;
    bool upload : 1;
    TransferProtocol protocol : 2;
    TransferResult result : 2;
    BlockCrc crc : 2;
    std::array<uint8_t, kValueBytes> value{};  // the first min(size, kValueBytes) bytes

    TransferRecord()
        : upload(false),
          protocol(TransferProtocol::kExpedited),
          result(TransferResult::kIncomplete),
          crc(BlockCrc::kUnchecked) {}
};

// Follows the SDO transfers of one node from its SDO frames in store order, as the decoder's scan
// marked them (kind, start of a transfer, block data segments, object): their data, for block
// transfers by the sub-blocks the receiver acknowledged and checked against the sender's CRC, and
// how each ended. O(1) per frame, and a few hundred bytes per node.
class TransferFollower {
  public:
    // One SDO frame of the node at store index. True when it ended a transfer (completed,
    // aborted, or cut short by a new one), which done then holds.
    bool Follow(StoreIndex index, const CANframe& frame, TransferRecord& done);
    // A transfer is under way; Current() is what it has so far.
    bool Open() const { return open; }
    const TransferRecord& Current() const { return current; }

  private:
    void Begin(StoreIndex index, const CANframe& frame);
    bool End(TransferResult result, TransferRecord& done);
    // The duration up to frame.
    void Stretch(const CANframe& frame);
    // n value bytes more, at the value's end (expedited and segmented transfers).
    void Append(const uint8_t* bytes, int n);
    // Block transfers: a data segment, the receiver's acknowledgement of the sub-block, the end
    // request's unused bytes of the last segment.
    void Segment(uint8_t control, const uint8_t* bytes);
    void Acknowledged(uint8_t lastInOrder);
    void DropUnused(int unused);

    TransferRecord current;
    bool open = false;
    bool expeditedDownload = false;  // its initiate response ends it
    bool lastSegment = false;        // a download's last segment was sent
    // Block transfers.
    bool clientCrc = false, serverCrc = false;
    uint16_t crcGiven = 0;
    uint16_t crc = 0;          // of the acknowledged data
    uint8_t received = 0;      // the last segment of the sub-block received in order
    uint8_t finalSegment = 0;  // the sub-block's segment marked last, 0 for none
    bool finalTaken = false;   // it was acknowledged
    uint16_t crcBeforeFinal = 0;
    std::array<uint8_t, 7> finalBytes{};
    std::array<uint16_t, 128> crcAfter{};  // the CRC after each segment of the sub-block
};
