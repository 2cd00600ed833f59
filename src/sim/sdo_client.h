#pragma once

#include <cstdint>
#include <vector>

#include "sim/sdo_wire.h"

// How the master moves an object's value.
enum class SdoTransfer {
    kUpload,             // initiate upload: the server answers expedited or segmented
    kExpeditedDownload,  // value of 1 to 4 bytes in the initiating request
    kSegmentedDownload,  // value in segments of 7 bytes
    kBlockUpload,        // sub-blocks with CRC
    kBlockDownload,      // sub-blocks with CRC
};

// The SDO client of the simulated master: runs one transfer of CiA 301 with a server, frame by
// frame, with toggle bits, sequence numbers, sub-block acknowledgements and the block CRC.
class SdoClient {
  public:
    enum class Result { kBusy, kDone, kFailed };

    // Starts a transfer of the object key (index << 16 | sub-index); data is the value to
    // download. Appends the first request.
    void Begin(SdoTransfer transfer, uint32_t key, std::vector<uint8_t> data,
               std::vector<SdoPayload>& out);
    // Takes the server's next frame and appends the requests that follow it.
    Result Response(const SdoPayload& response, std::vector<SdoPayload>& out);
    // Gives up the transfer: appends an abort with the code.
    void Abort(uint32_t code, std::vector<SdoPayload>& out);

    bool Busy() const { return state != State::kIdle; }
    // The uploaded value once a transfer is done.
    const std::vector<uint8_t>& Data() const { return data; }

  private:
    enum class State {
        kIdle,
        kInitUpload,         // initiate upload sent
        kUploadSegment,      // an upload segment asked for
        kInitDownload,       // initiate download sent
        kDownloadSegment,    // a download segment sent
        kBlockUploadInit,    // block upload initiated
        kBlockUploadData,    // receiving a sub-block
        kBlockUploadEnd,     // last sub-block acknowledged, the end next
        kBlockDownloadInit,  // block download initiated
        kBlockDownloadAck,   // a sub-block sent, its acknowledgement next
        kBlockDownloadEnd,   // end sent, the server's end response next
    };

    Result Fail(uint32_t code, std::vector<SdoPayload>& out);
    void NextDownloadSegment(std::vector<SdoPayload>& out);
    void SendSubBlock(std::vector<SdoPayload>& out);

    State state = State::kIdle;
    uint32_t key = 0;
    std::vector<uint8_t> data;
    size_t position = 0;
    bool toggle = false;
    int blockSize = 0;
    int sequence = 0;        // block upload: last segment received in order
    int sent = 0;            // block download: segments in the sub-block sent
    bool lastSeen = false;   // block upload: the segment flagged last arrived
    bool expedited = false;  // the download went in the initiating request
    size_t size = 0;         // block upload: the size the server announced
};
