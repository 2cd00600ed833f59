#include "io/trc_log.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace {

// The bytes a CAN FD length code stands for.
int CodeBytes(uint32_t code) {
    static const int bytes[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 12, 16, 20, 24, 32, 48, 64};
    return bytes[code & 15];
}

}  // namespace

bool TrcLogParser::Directive(const char* line) {
    if (std::strncmp(line, ";$FILEVERSION=", 14) == 0) {
        if (std::strncmp(line + 14, "2.0", 3) == 0) std::memcpy(columns, "NOTIdlD", 8);
        return true;
    }
    if (std::strncmp(line, ";$COLUMNS=", 10) == 0) {
        size_t n = 0;
        for (const char* p = line + 10; *p && n + 1 < sizeof columns; p++)
            if (std::isalpha(static_cast<unsigned char>(*p))) columns[n++] = *p;
        columns[n] = '\0';
        return true;
    }
    if (line[1] == '$') return true;
    // The header's column pictures: rules and bars, no information of their own.
    if (inHeader)
        for (const char* p = line + 1; *p; p++)
            if (*p == '|') return true;
    for (const char* p = line + 1; *p; p++)
        if (std::isalnum(static_cast<unsigned char>(*p))) return false;
    return true;
}

bool TrcLogParser::IdAndBytes(int idAt, int lengthAt, bool isCode, bool fd, int count,
                              CANframe& frame) {
    if (lengthAt >= count) return false;
    uint32_t id;
    if (!Hex(words[idAt], &id)) return false;
    const bool extended = words[idAt].n > 4;
    if (extended ? id > 0x1FFFFFFF : id > 0x7FF) return false;
    SetId(frame, id, extended);
    uint32_t length;
    if (!Decimal(words[lengthAt], &length) || length > (isCode ? 15u : 64u)) return false;
    int n = isCode ? CodeBytes(length) : static_cast<int>(length);
    // A classic frame's length code above 8 should mean 8 bytes, but some writers put more
    // bytes on the line: they are all kept.
    const bool classic = !fd && isCode && length > 8;
    if (classic) {
        n = 0;
        for (int at = lengthAt + 1; at < count && n < 64 && words[at].n == 2; at++) n++;
    }
    if (frame.type == FRAME_RTR) {
        frame.length = n > 8 ? 8 : n;
        return true;
    }
    int at = lengthAt + 1;
    if (at < count && words[at].Is("RTR")) {
        frame.type = FRAME_RTR;
        frame.length = n > 8 ? 8 : n;
        return true;
    }
    if (at + n > count) return false;
    uint8_t data[64];
    for (int i = 0; i < n; i++) {
        uint32_t b;
        if (words[at + i].n != 2 || !Hex(words[at + i], &b)) return false;
        data[i] = static_cast<uint8_t>(b);
    }
    SetData(frame, n, data, fd ? "CAN FD frame" : "CAN frame");
    return true;
}

bool TrcLogParser::Version1(int count, CANframe& frame) {
    // N) time [bus] [type] id [-] length bytes...|RTR
    int at = 2;
    uint32_t bus;
    if (at + 1 < count && Decimal(words[at], &bus) &&
        (words[at + 1].Is("Rx") || words[at + 1].Is("Tx") || words[at + 1].Is("Warng") ||
         words[at + 1].Is("Error"))) {
        if (!ChannelPort(words[at], frame)) return false;
        at++;
    }
    if (at >= count) return false;
    const Word& type = words[at];
    if (type.Is("Warng")) {
        SetTrimmedText(frame, type.p);
        return true;
    }
    if (type.Is("Error")) {
        frame.type = FRAME_ERROR;
        return true;
    }
    if (type.Is("Rx") || type.Is("Tx")) at++;
    if (at + 1 >= count) return false;
    if (words[at].Is("FFFFFFFF")) {  // bus state in version 1.0 files
        SetTrimmedText(frame, words[at].p);
        return true;
    }
    const int lengthAt = at + 1 < count && words[at + 1].Is("-") ? at + 2 : at + 1;
    return IdAndBytes(at, lengthAt, false, false, count, frame);
}

bool TrcLogParser::Version2(int count, CANframe& frame) {
    int typeAt = -1, busAt = -1, idAt = -1, codeAt = -1, lengthAt = -1;
    int n = 0;
    for (; columns[n]; n++) {
        switch (columns[n]) {
            case 'T':
                typeAt = n;
                break;
            case 'B':
                busAt = n;
                break;
            case 'I':
                idAt = n;
                break;
            case 'L':
                codeAt = n;
                break;
            case 'l':
                lengthAt = n;
                break;
            default:
                break;
        }
    }
    if (typeAt < 0 || typeAt >= count) return false;
    // A bus that is no bus number 1 to 256 would otherwise pass for another bus.
    if (busAt >= 0 && busAt < count && !ChannelPort(words[busAt], frame)) return false;
    const Word& type = words[typeAt];
    if (type.Is("ER")) {
        frame.type = FRAME_ERROR;
        return true;
    }
    const bool remote = type.Is("RR");
    if (!remote && !type.Is("DT") && !type.Is("FD") && !type.Is("FB") && !type.Is("FE") &&
        !type.Is("BI")) {
        SetTrimmedText(frame, type.p);
        return true;
    }
    if (idAt < 0 || idAt >= count) return false;
    if (remote) frame.type = FRAME_RTR;
    // Data follow the length: the last of the length columns.
    const bool isCode = codeAt > lengthAt;
    const int at = isCode ? codeAt : lengthAt;
    if (at < 0) return false;
    return IdAndBytes(idAt, at, isCode, !type.Is("DT") && !remote, count, frame);
}

bool TrcLogParser::Parse(char* line, CANframe& frame) {
    StartLine();
    const char* start = line;
    while (*start == ' ' || *start == '\t') start++;
    if (*start == ';') {
        if (Directive(start)) {
            skipped = true;
            return false;
        }
        Comment(frame, start);
        return true;
    }
    const int count = Split(line);
    if (count < 3) return false;
    uint64_t micros;
    if (!Fixed(words[1], 3, &micros)) return false;
    const Word& number = words[0];
    const bool numbered = number.n > 1 && number.p[number.n - 1] == ')';
    frame.Reset(false);
    uint32_t ignored;
    const bool ok =
        numbered ? Version1(count, frame) : Decimal(number, &ignored) && Version2(count, frame);
    if (!ok) {
        frame.Reset(false);
        return false;
    }
    inHeader = false;
    frame.timestamp = frame.type == FRAME_TEXT && !oversized ? LineTime(micros) : FrameTime(micros);
    return true;
}

void TrcLogFormatWriter::Begin(FILE* out) {
    std::fputs(
        ";$FILEVERSION=2.1\n"
        ";$STARTTIME=25569.0\n"
        ";$COLUMNS=N,O,T,B,I,d,R,L,D\n"
        ";\n"
        ";   Message   Time    Type    ID     Rx/Tx\n"
        ";   Number    Offset  |  Bus  [hex]  |  Reserved\n"
        ";   |         [ms]    |  |    |      |  |  Data Length Code\n"
        ";   |         |       |  |    |      |  |  |    Data [hex] ...\n"
        ";   |         |       |  |    |      |  |  |    |\n"
        ";---+-- ------+------ +- +- --+----- +- +- +--- +- -- -- -- -- -- -- --\n",
        out);
}

void TrcLogFormatWriter::Write(const CANframe& frame, FILE* out) {
    if (frame.type == FRAME_TEXT) {
        WriteComment(frame, ";", "", out);
        return;
    }
    char time[24];
    std::snprintf(time, sizeof time, "%llu.%03llu", Micros(frame.timestamp / 1000),
                  Micros(frame.timestamp % 1000));
    number++;
    if (frame.type == FRAME_ERROR) {
        std::fprintf(out, "%7lu %13s ER %2d        - Rx -  0\n", number, time, frame.port + 1);
        return;
    }
    char id[16];
    std::snprintf(id, sizeof id, frame.IsExtended() ? "%08X" : "%04X", frame.BareId());
    std::fprintf(out, "%7lu %13s %s %2d %8s Rx -  %-4d", number, time,
                 frame.type == FRAME_RTR ? "RR" : "DT", frame.port + 1, id, Length(frame));
    if (frame.type == FRAME_DATA) WriteBytes(frame, " ", out);
    std::fputc('\n', out);
}
