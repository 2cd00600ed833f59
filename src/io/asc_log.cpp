#include "io/asc_log.h"

#include <cstdio>
#include <cstring>

bool AscLogParser::Number(const Word& w, uint32_t* value) const {
    return decimal ? Decimal(w, value) : Hex(w, value);
}

bool AscLogParser::Id(const Word& w, CANframe& frame) const {
    const bool extended = w.n > 1 && (w.p[w.n - 1] == 'x' || w.p[w.n - 1] == 'X');
    uint32_t id;
    if (!Number({w.p, w.n - (extended ? 1 : 0)}, &id)) return false;
    if (extended ? id > 0x1FFFFFFF : id > 0x7FF) return false;
    SetId(frame, id, extended);
    return true;
}

bool AscLogParser::Header(int count) {
    const Word& first = words[0];
    if (first.IsNoCase("date") || first.IsNoCase("internal") || first.IsNoCase("no") ||
        first.IsNoCase("begin") || first.IsNoCase("end"))
        return true;
    if (first.IsNoCase("base")) {
        if (count > 1) decimal = words[1].IsNoCase("dec");
        if (count > 3) relative = words[3].IsNoCase("relative");
        return true;
    }
    return false;
}

bool AscLogParser::ClassicFrame(int at, int count, CANframe& frame) {
    if (at >= count) return false;
    if (words[at].Is("ErrorFrame")) {
        frame.type = FRAME_ERROR;
        return true;
    }
    if (at + 2 >= count || !Id(words[at], frame)) return false;
    const Word& dir = words[at + 1];
    if (!dir.Is("Rx") && !dir.Is("Tx") && !dir.Is("TxRq")) return false;
    const Word& kind = words[at + 2];
    uint32_t dlc = 0;
    if (kind.Is("r")) {
        frame.type = FRAME_RTR;
        if (at + 3 < count && words[at + 3].n == 1 && Hex(words[at + 3], &dlc) && dlc <= 8)
            frame.length = static_cast<int16_t>(dlc);
        return true;
    }
    if (!kind.Is("d") || at + 3 >= count || !Hex(words[at + 3], &dlc) || dlc > 15) return false;
    // A classic frame's length code above 8 still means 8 bytes.
    const int n = dlc > 8 ? 8 : static_cast<int>(dlc);
    if (at + 4 + n > count) return false;
    for (int i = 0; i < n; i++) {
        uint32_t b;
        if (!Number(words[at + 4 + i], &b) || b > 255) return false;
        frame.data[i] = static_cast<uint8_t>(b);
    }
    frame.length = n;
    return true;
}

bool AscLogParser::FdFrame(int count, CANframe& frame) {
    // CANFD channel dir id [name] brs esi dlc length bytes... (further figures follow)
    if (count < 5 || !ChannelPort(words[2], frame)) return false;
    if (words[4].Is("ErrorFrame")) {
        frame.type = FRAME_ERROR;
        return true;
    }
    if (!Id(words[4], frame)) return false;
    int at = 5;
    if (at < count && !(words[at].Is("0") || words[at].Is("1"))) at++;  // the symbolic name
    at += 3;                                                            // brs, esi, dlc
    uint32_t length;
    if (at >= count || !Decimal(words[at], &length) || length > 64) return false;
    at++;
    if (at + static_cast<int>(length) > count) return false;
    uint8_t data[64];
    for (uint32_t i = 0; i < length; i++) {
        uint32_t b;
        if (!Number(words[at + static_cast<int>(i)], &b) || b > 255) return false;
        data[i] = static_cast<uint8_t>(b);
    }
    SetData(frame, static_cast<int>(length), data);
    return true;
}

bool AscLogParser::Parse(char* line, CANframe& frame) {
    StartLine();
    const int count = Split(line);
    if (count == 0) return false;
    if (words[0].n >= 2 && words[0].p[0] == '/' && words[0].p[1] == '/') {
        Comment(frame, words[0].p);
        return true;
    }
    uint64_t micros;
    if (!Fixed(words[0], 6, &micros)) {
        skipped = Header(count);
        return false;
    }
    if (relative) micros += previous;
    previous = micros;
    if (count < 2) return false;

    frame.Reset(false);
    bool isFrame;
    if (words[1].Is("CANFD"))
        isFrame = FdFrame(count, frame);
    else if (words[1].Is("ErrorFrame"))
        isFrame = ClassicFrame(1, count, frame);
    else
        isFrame = ChannelPort(words[1], frame) && ClassicFrame(2, count, frame);
    if (isFrame) {
        frame.timestamp = FrameTime(micros);
        return true;
    }
    // An event: its text, on the channel it names, if any.
    frame.Reset(false);
    if (count > 2 && words[1].Is("CAN"))
        ChannelPort(words[2], frame);
    else
        ChannelPort(words[1], frame);
    frame.timestamp = LineTime(micros);
    SetTrimmedText(frame, words[1].p);
    return true;
}

void AscLogFormatWriter::Begin(FILE* out) {
    std::fputs(
        "date Thu Jan 01 12:00:00.000 am 1970\n"
        "base hex  timestamps absolute\n"
        "internal events logged\n"
        "// version 9.0.0\n"
        "Begin Triggerblock Thu Jan 01 12:00:00.000 am 1970\n",
        out);
}

void AscLogFormatWriter::Write(const CANframe& frame, FILE* out) {
    if (frame.type == FRAME_TEXT) {
        WriteComment(frame, "//", " ", out);
        return;
    }
    std::fprintf(out, "%4llu.%06llu %d  ", Micros(frame.timestamp / 1000000),
                 Micros(frame.timestamp % 1000000), frame.port + 1);
    if (frame.type == FRAME_ERROR) {
        std::fputs("ErrorFrame\n", out);
        return;
    }
    char id[16];
    std::snprintf(id, sizeof id, frame.IsExtended() ? "%Xx" : "%X", frame.BareId());
    std::fprintf(out, "%-15s Rx   ", id);
    if (frame.type == FRAME_RTR) {
        std::fprintf(out, "r %x\n", Length(frame));
        return;
    }
    std::fprintf(out, "d %x", Length(frame));
    WriteBytes(frame, " ", out);
    std::fputc('\n', out);
}

void AscLogFormatWriter::End(FILE* out) {
    std::fputs("End TriggerBlock\n", out);
}
