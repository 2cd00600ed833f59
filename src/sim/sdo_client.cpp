#include "sim/sdo_client.h"

#include <algorithm>

namespace {

// Segments per sub-block the master asks for in a block upload: few, like a master with little
// buffer, so that sub-blocks and their acknowledgements show on the bus.
constexpr int kClientBlockSize = 2;

}  // namespace

void SdoClient::Begin(SdoTransfer transfer, uint32_t objectKey, std::vector<uint8_t> value,
                      std::vector<SdoPayload>& out) {
    key = objectKey;
    data = std::move(value);
    expedited = transfer == SdoTransfer::kExpeditedDownload;
    size = 0;
    position = 0;
    toggle = false;
    SdoPayload r{};
    PutSdoKey(r, key);
    switch (transfer) {
        case SdoTransfer::kUpload:
            r[0] = 0x40;
            data.clear();
            state = State::kInitUpload;
            break;
        case SdoTransfer::kExpeditedDownload: {
            const size_t n = std::clamp<size_t>(data.size(), 1, 4);
            data.resize(n);
            r[0] = static_cast<uint8_t>(0x23 | (4 - n) << 2);
            std::copy(data.begin(), data.end(), r.begin() + 4);
            state = State::kInitDownload;
            break;
        }
        case SdoTransfer::kSegmentedDownload:
            r[0] = 0x21;
            PutLe32(r.data() + 4, static_cast<uint32_t>(data.size()));
            state = State::kInitDownload;
            break;
        case SdoTransfer::kBlockUpload:
            r[0] = 0xA4;  // CRC supported
            r[4] = kClientBlockSize;
            data.clear();
            sequence = 0;
            lastSeen = false;
            state = State::kBlockUploadInit;
            break;
        case SdoTransfer::kBlockDownload:
            r[0] = 0xC6;  // CRC supported, size given
            PutLe32(r.data() + 4, static_cast<uint32_t>(data.size()));
            state = State::kBlockDownloadInit;
            break;
    }
    out.push_back(r);
}

SdoClient::Result SdoClient::Fail(uint32_t code, std::vector<SdoPayload>& out) {
    Abort(code, out);
    return Result::kFailed;
}

void SdoClient::Abort(uint32_t code, std::vector<SdoPayload>& out) {
    out.push_back(SdoAbortFrame(key, code));
    state = State::kIdle;
}

SdoClient::Result SdoClient::Response(const SdoPayload& response, std::vector<SdoPayload>& out) {
    const uint8_t b = response[0];
    if (state == State::kIdle) return Result::kFailed;
    if (b == 0x80 && state != State::kBlockUploadData) {
        state = State::kIdle;  // the server aborted
        return Result::kFailed;
    }
    switch (state) {
        case State::kInitUpload:
            if ((b & 0xE0) != 0x40) return Fail(kAbortCommand, out);
            if (b & 2) {
                const size_t n = (b & 1) ? 4 - ((b >> 2) & 3) : 4;
                data.assign(response.begin() + 4, response.begin() + 4 + static_cast<long>(n));
                state = State::kIdle;
                return Result::kDone;
            }
            out.push_back(SdoPayload{0x60});
            state = State::kUploadSegment;
            return Result::kBusy;
        case State::kUploadSegment: {
            if ((b & 0xE0) != 0x00) return Fail(kAbortCommand, out);
            if (((b >> 4) & 1) != toggle) return Fail(kAbortToggle, out);
            const size_t n = 7 - ((b >> 1) & 7);
            data.insert(data.end(), response.begin() + 1,
                        response.begin() + 1 + static_cast<long>(n));
            toggle = !toggle;
            if (b & 1) {
                state = State::kIdle;
                return Result::kDone;
            }
            out.push_back(SdoPayload{static_cast<uint8_t>(0x60 | (toggle ? 0x10 : 0))});
            return Result::kBusy;
        }
        case State::kInitDownload:
            if (b != 0x60) return Fail(kAbortCommand, out);
            if (expedited) {
                state = State::kIdle;
                return Result::kDone;
            }
            NextDownloadSegment(out);
            return Result::kBusy;
        case State::kDownloadSegment:
            if ((b & 0xEF) != 0x20) return Fail(kAbortCommand, out);
            if (((b >> 4) & 1) != toggle) return Fail(kAbortToggle, out);
            toggle = !toggle;
            if (position >= data.size()) {
                state = State::kIdle;
                return Result::kDone;
            }
            NextDownloadSegment(out);
            return Result::kBusy;
        case State::kBlockUploadInit:
            if ((b & 0xE3) != 0xC2 && (b & 0xE3) != 0xC0) return Fail(kAbortCommand, out);
            size = (b & 2) ? GetLe32(response.data() + 4) : 0;
            out.push_back(SdoPayload{0xA3});
            state = State::kBlockUploadData;
            return Result::kBusy;
        case State::kBlockUploadData: {
            const int number = b & 0x7F;
            if (number == sequence + 1) {
                sequence = number;
                lastSeen = b & 0x80;
                data.insert(data.end(), response.begin() + 1, response.end());
            }
            if (number != kClientBlockSize && !(b & 0x80)) return Result::kBusy;
            SdoPayload r{0xA2};
            r[1] = static_cast<uint8_t>(sequence);
            r[2] = kClientBlockSize;
            sequence = 0;
            if (lastSeen) state = State::kBlockUploadEnd;
            out.push_back(r);
            return Result::kBusy;
        }
        case State::kBlockUploadEnd: {
            if ((b & 0xE3) != 0xC1) return Fail(kAbortCommand, out);
            const size_t unused = (b >> 2) & 7;
            data.resize(data.size() - std::min(unused, data.size()));
            if (size != 0 && data.size() != size) return Fail(kAbortLength, out);
            if (SdoBlockCrc(data.data(), data.size()) != (response[1] | response[2] << 8))
                return Fail(kAbortCrc, out);
            out.push_back(SdoPayload{0xA1});
            state = State::kIdle;
            return Result::kDone;
        }
        case State::kBlockDownloadInit:
            if ((b & 0xE3) != 0xA0) return Fail(kAbortCommand, out);
            blockSize = std::clamp<int>(response[4], 1, 127);
            SendSubBlock(out);
            return Result::kBusy;
        case State::kBlockDownloadAck: {
            if ((b & 0xE3) != 0xA2) return Fail(kAbortCommand, out);
            const int acknowledged = std::min<int>(response[1] & 0x7F, sent);
            position = std::min(data.size(), position + static_cast<size_t>(acknowledged) * 7);
            blockSize = std::clamp<int>(response[2], 1, 127);
            if (acknowledged < sent || position < data.size()) {
                SendSubBlock(out);
                return Result::kBusy;
            }
            const size_t inLast = data.empty() ? 0 : (data.size() - 1) % 7 + 1;
            SdoPayload r{static_cast<uint8_t>(0xC1 | (7 - inLast) << 2)};
            const uint16_t crc = SdoBlockCrc(data.data(), data.size());
            r[1] = static_cast<uint8_t>(crc);
            r[2] = static_cast<uint8_t>(crc >> 8);
            out.push_back(r);
            state = State::kBlockDownloadEnd;
            return Result::kBusy;
        }
        case State::kBlockDownloadEnd:
            if (b != 0xA1) return Fail(kAbortCommand, out);
            state = State::kIdle;
            return Result::kDone;
        default:
            return Result::kFailed;
    }
}

void SdoClient::NextDownloadSegment(std::vector<SdoPayload>& out) {
    const size_t n = std::min<size_t>(7, data.size() - position);
    const bool last = position + n >= data.size();
    SdoPayload r{static_cast<uint8_t>((toggle ? 0x10 : 0) | (7 - n) << 1 | (last ? 1 : 0))};
    std::copy_n(data.begin() + static_cast<long>(position), n, r.begin() + 1);
    position += n;
    out.push_back(r);
    state = State::kDownloadSegment;
}

void SdoClient::SendSubBlock(std::vector<SdoPayload>& out) {
    size_t at = position;
    sent = 0;
    while (sent < blockSize) {
        const size_t n = std::min<size_t>(7, data.size() - at);
        const bool last = at + n >= data.size();
        ++sent;
        SdoPayload r{static_cast<uint8_t>((last ? 0x80 : 0) | sent)};
        std::copy_n(data.begin() + static_cast<long>(at), n, r.begin() + 1);
        at += n;
        out.push_back(r);
        if (last) break;
    }
    state = State::kBlockDownloadAck;
}
