#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "sim/eds_values.h"
#include "sim/sdo_wire.h"

// The SDO server of a simulated node: expedited, segmented and block transfers (with CRC) of
// CiA 301, answered from and written to the node's object values. One transfer at a time.
class SdoServer {
  public:
    // Answers one request of the client: appends the response frames, in order (a block
    // upload sends a whole sub-block at once; some requests have no answer).
    void Request(const SdoPayload& request, std::map<uint32_t, ObjValue>& objects,
                 std::vector<SdoPayload>& out);
    // Forgets a transfer in progress (the node was reset).
    void Reset() { state = State::kIdle; }

  private:
    enum class State {
        kIdle,
        kUpload,            // segmented upload: segments asked for
        kDownload,          // segmented download: segments arriving
        kBlockDownload,     // block download: segments arriving
        kBlockDownloadEnd,  // block download: all segments in, the end request next
        kBlockUploadStart,  // block upload: initiated, the start request next
        kBlockUploadAck,    // block upload: a sub-block sent, its acknowledgement next
        kBlockUploadEnd,    // block upload: end sent, the client's end response next
    };

    void Abort(uint32_t code, std::vector<SdoPayload>& out);
    void InitUpload(ObjValue& object, std::vector<SdoPayload>& out);
    void InitDownload(const SdoPayload& request, ObjValue& object, std::vector<SdoPayload>& out);
    void DownloadSegment(const SdoPayload& request, std::map<uint32_t, ObjValue>& objects,
                         std::vector<SdoPayload>& out);
    void BlockSegment(const SdoPayload& request, std::vector<SdoPayload>& out);
    void SendSubBlock(std::vector<SdoPayload>& out);
    // Writes the received bytes into the object; false (and an abort) when they do not fit.
    bool Store(ObjValue& object, std::vector<SdoPayload>& out);

    State state = State::kIdle;
    uint32_t key = 0;
    std::vector<uint8_t> buffer;  // the value being sent or received
    size_t position = 0;          // bytes of buffer sent or acknowledged
    size_t size = 0;              // announced size of a download
    bool toggle = false;
    int blockSize = 0;  // segments per sub-block
    int sequence = 0;   // last segment received in order (block download) or sent (upload)
};
