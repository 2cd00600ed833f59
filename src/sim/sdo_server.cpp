#include "sim/sdo_server.h"

#include <algorithm>

namespace {

// Segments per sub-block this server accepts in a block download: few, like a small device.
constexpr int kServerBlockSize = 2;

}  // namespace

void SdoServer::Abort(uint32_t code, std::vector<SdoPayload>& out) {
    out.push_back(SdoAbortFrame(key, code));
    state = State::kIdle;
}

void SdoServer::Request(const SdoPayload& request, std::map<uint32_t, ObjValue>& objects,
                        std::vector<SdoPayload>& out) {
    const uint8_t b = request[0];
    if (b == 0x80) {  // the client aborts: nothing to answer
        state = State::kIdle;
        return;
    }
    if (state == State::kBlockDownload) {
        BlockSegment(request, out);
        return;
    }
    const int ccs = b >> 5;
    if (ccs == 1 || ccs == 2 || (ccs == 6 && (b & 1) == 0) || (ccs == 5 && (b & 3) == 0)) {
        // Initiating requests start a new transfer whatever came before.
        key = GetSdoKey(request);
        auto it = objects.find(key);
        if (it == objects.end()) return Abort(kAbortNoObject, out);
        ObjValue& object = it->second;
        if (ccs == 2) return InitUpload(object, out);
        if (ccs == 1) return InitDownload(request, object, out);
        if (!object.writable && ccs == 6) return Abort(kAbortReadOnly, out);
        if (ccs == 6) {
            size = (b & 2) ? GetLe32(request.data() + 4) : 0;
            buffer.clear();
            sequence = 0;
            blockSize = kServerBlockSize;
            state = State::kBlockDownload;
            SdoPayload r{static_cast<uint8_t>(0xA4)};  // CRC supported
            PutSdoKey(r, key);
            r[4] = static_cast<uint8_t>(blockSize);
            out.push_back(r);
            return;
        }
        buffer = object.bytes;
        position = 0;
        sequence = 0;
        blockSize = std::clamp<int>(request[4], 1, 127);
        state = State::kBlockUploadStart;
        SdoPayload r{static_cast<uint8_t>(0xC6)};  // CRC supported, size given
        PutSdoKey(r, key);
        PutLe32(r.data() + 4, static_cast<uint32_t>(buffer.size()));
        out.push_back(r);
        return;
    }
    switch (state) {
        case State::kUpload: {
            if (ccs != 3) return Abort(kAbortCommand, out);
            if (((b >> 4) & 1) != toggle) return Abort(kAbortToggle, out);
            const size_t n = std::min<size_t>(7, buffer.size() - position);
            const bool last = position + n == buffer.size();
            SdoPayload r{static_cast<uint8_t>((toggle ? 0x10 : 0) | (7 - n) << 1 | (last ? 1 : 0))};
            std::copy_n(buffer.begin() + static_cast<long>(position), n, r.begin() + 1);
            position += n;
            toggle = !toggle;
            if (last) state = State::kIdle;
            out.push_back(r);
            return;
        }
        case State::kDownload:
            if (ccs != 0) return Abort(kAbortCommand, out);
            return DownloadSegment(request, objects, out);
        case State::kBlockDownloadEnd: {
            if (ccs != 6) return Abort(kAbortCommand, out);
            const size_t unused = (b >> 2) & 7;
            buffer.resize(buffer.size() - std::min(unused, buffer.size()));
            if (SdoBlockCrc(buffer.data(), buffer.size()) != (request[1] | request[2] << 8))
                return Abort(kAbortCrc, out);
            if (size != 0 && buffer.size() != size) return Abort(kAbortLength, out);
            if (!Store(objects[key], out)) return;
            out.push_back(SdoPayload{0xA1});
            state = State::kIdle;
            return;
        }
        case State::kBlockUploadStart:
            if (b != 0xA3) return Abort(kAbortCommand, out);
            return SendSubBlock(out);
        case State::kBlockUploadAck: {
            if ((b & 0xE3) != 0xA2) return Abort(kAbortCommand, out);
            // Resend from the first segment the client did not get.
            const size_t acknowledged =
                std::min(static_cast<size_t>(request[1] & 0x7F), static_cast<size_t>(sequence));
            position = std::min(buffer.size(), position + acknowledged * 7);
            blockSize = std::clamp<int>(request[2], 1, 127);
            if (position < buffer.size()) return SendSubBlock(out);
            const size_t inLast = buffer.empty() ? 0 : (buffer.size() - 1) % 7 + 1;
            SdoPayload r{static_cast<uint8_t>(0xC1 | (7 - inLast) << 2)};
            const uint16_t crc = SdoBlockCrc(buffer.data(), buffer.size());
            r[1] = static_cast<uint8_t>(crc);
            r[2] = static_cast<uint8_t>(crc >> 8);
            state = State::kBlockUploadEnd;
            out.push_back(r);
            return;
        }
        case State::kBlockUploadEnd:
            if (b != 0xA1) return Abort(kAbortCommand, out);
            state = State::kIdle;
            return;
        default:
            return Abort(kAbortCommand, out);
    }
}

void SdoServer::InitUpload(ObjValue& object, std::vector<SdoPayload>& out) {
    SdoPayload r{};
    PutSdoKey(r, key);
    const size_t n = object.bytes.size();
    if (n >= 1 && n <= 4) {
        r[0] = static_cast<uint8_t>(0x43 | (4 - n) << 2);
        std::copy(object.bytes.begin(), object.bytes.end(), r.begin() + 4);
        state = State::kIdle;
    } else {
        r[0] = 0x41;
        PutLe32(r.data() + 4, static_cast<uint32_t>(n));
        buffer = object.bytes;
        position = 0;
        toggle = false;
        state = State::kUpload;
    }
    out.push_back(r);
}

void SdoServer::InitDownload(const SdoPayload& request, ObjValue& object,
                             std::vector<SdoPayload>& out) {
    if (!object.writable) return Abort(kAbortReadOnly, out);
    const uint8_t b = request[0];
    SdoPayload r{0x60};
    PutSdoKey(r, key);
    if (b & 2) {  // expedited
        const size_t n = (b & 1) ? 4 - ((b >> 2) & 3) : 4;
        buffer.assign(request.begin() + 4, request.begin() + 4 + static_cast<long>(n));
        if (!Store(object, out)) return;
        state = State::kIdle;
    } else {
        size = (b & 1) ? GetLe32(request.data() + 4) : 0;
        buffer.clear();
        toggle = false;
        state = State::kDownload;
    }
    out.push_back(r);
}

void SdoServer::DownloadSegment(const SdoPayload& request, std::map<uint32_t, ObjValue>& objects,
                                std::vector<SdoPayload>& out) {
    const uint8_t b = request[0];
    if (((b >> 4) & 1) != toggle) return Abort(kAbortToggle, out);
    const size_t n = 7 - ((b >> 1) & 7);
    buffer.insert(buffer.end(), request.begin() + 1, request.begin() + 1 + static_cast<long>(n));
    SdoPayload r{static_cast<uint8_t>(0x20 | (toggle ? 0x10 : 0))};
    toggle = !toggle;
    if (b & 1) {
        if (size != 0 && buffer.size() != size) return Abort(kAbortLength, out);
        if (!Store(objects[key], out)) return;
        state = State::kIdle;
    }
    out.push_back(r);
}

void SdoServer::BlockSegment(const SdoPayload& request, std::vector<SdoPayload>& out) {
    const uint8_t b = request[0];
    const int number = b & 0x7F;
    const bool last = b & 0x80;
    // Out of order segments are dropped; the acknowledgement makes the client send them again.
    if (number == sequence + 1) {
        sequence = number;
        buffer.insert(buffer.end(), request.begin() + 1, request.end());
    }
    if (number != blockSize && !last) return;
    SdoPayload r{0xA2};
    r[1] = static_cast<uint8_t>(sequence);
    r[2] = static_cast<uint8_t>(blockSize);
    if (last && number == sequence) state = State::kBlockDownloadEnd;
    sequence = 0;
    out.push_back(r);
}

void SdoServer::SendSubBlock(std::vector<SdoPayload>& out) {
    size_t at = position;
    sequence = 0;
    while (sequence < blockSize && (at < buffer.size() || (buffer.empty() && sequence == 0))) {
        const size_t n = std::min<size_t>(7, buffer.size() - at);
        ++sequence;
        const bool last = at + n >= buffer.size();
        SdoPayload r{static_cast<uint8_t>((last ? 0x80 : 0) | sequence)};
        std::copy_n(buffer.begin() + static_cast<long>(at), n, r.begin() + 1);
        at += n;
        out.push_back(r);
        if (last) break;
    }
    state = State::kBlockUploadAck;
}

bool SdoServer::Store(ObjValue& object, std::vector<SdoPayload>& out) {
    if (!object.VariableSize() && buffer.size() != object.bytes.size()) {
        Abort(kAbortLength, out);
        return false;
    }
    object.bytes = buffer;
    return true;
}
