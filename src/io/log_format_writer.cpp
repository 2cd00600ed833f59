#include "io/log_format_writer.h"

#include <cstdint>
#include <cstring>

#include "io/log_format.h"
#include "io/log_writer.h"

namespace {

constexpr uint32_t kExtendedMark = 1u << 29;

bool Extended(const CANframe& frame) {
    return frame.extended || (frame.id & kExtendedMark);
}

uint32_t BareId(const CANframe& frame) {
    return Extended(frame) ? frame.id & 0x1FFFFFFF : frame.id & 0x7FF;
}

int Length(const CANframe& frame) {
    return frame.length < 0 ? 0 : frame.length > 8 ? 8 : frame.length;
}

// The frame's data bytes in upper-case hexadecimal, each after separator.
void WriteBytes(const CANframe& frame, const char* separator, FILE* out) {
    for (int i = 0; i < Length(frame); i++) std::fprintf(out, "%s%02X", separator, frame.data[i]);
}

// A text entry as a comment line: marker, then separator and the text. A comment read from a
// log of the same format already starts with its marker and keeps just that one.
void WriteComment(const CANframe& frame, const char* marker, const char* separator, FILE* out) {
    if (!frame.text) return;
    const bool marked = std::strncmp(frame.text, marker, std::strlen(marker)) == 0;
    std::fprintf(out, "%s%s%s\n", marked ? "" : marker, marked ? "" : separator, frame.text);
}

class QuillonWriter : public LogFormatWriter {
  public:
    void Write(const CANframe& frame, FILE* out) override {
        std::fputs(LogWriter::FormatLine(frame).c_str(), out);
    }
};

// candump -l: "(seconds.micros) canN ID#DATA"; text entries have no place in it.
class CandumpWriter : public LogFormatWriter {
  public:
    void Write(const CANframe& frame, FILE* out) override {
        if (frame.type == FRAME_TEXT) return;
        std::fprintf(out, "(%010u.%06u) can%d ", frame.timestamp / 1000000,
                     frame.timestamp % 1000000, frame.port);
        if (frame.type == FRAME_ERROR) {
            WriteError(frame, out);
            return;
        }
        std::fprintf(out, Extended(frame) ? "%08X#" : "%03X#", BareId(frame));
        if (frame.type == FRAME_RTR) {
            std::fputc('R', out);
            if (frame.length > 0 && frame.length <= 8) std::fputc('0' + frame.length, out);
        } else {
            WriteBytes(frame, "", out);
        }
        std::fputc('\n', out);
    }

  private:
    // A SocketCAN error frame that says what the error bits of the record say: protocol
    // violations, a missing acknowledge, controller overflows, and the error counters. It is
    // always marked a bus error, as tools that read these logs look for that mark.
    static void WriteError(const CANframe& frame, FILE* out) {
        const uint32_t bits = frame.id;
        uint32_t classes = 0x80;
        uint8_t data[8] = {};
        if (bits & 0x8) classes |= 0x20;
        if (bits & 0x37) {
            classes |= 0x08;
            if (bits & 0x1) data[2] |= 0x04;
            if (bits & 0x2) data[2] |= 0x02;
            if (bits & 0x10) data[2] |= 0x08;
            if (bits & 0x20) data[2] |= 0x10;
            if (bits & 0x4) data[3] = 0x08;
        }
        if (bits & 0x10000) {
            classes |= 0x04;
            data[1] = 0x01;
        }
        if (frame.length >= 2) {
            classes |= 0x200;
            data[6] = frame.data[0];
            data[7] = frame.data[1];
        }
        std::fprintf(out, "%08X#", 0x20000000 | classes);
        for (uint8_t b : data) std::fprintf(out, "%02X", b);
        std::fputc('\n', out);
    }
};

// Vector ASC with hexadecimal numbers and absolute times; text entries become comments. The
// log holds no date of its own, so the header names the start of the epoch.
class AscWriter : public LogFormatWriter {
  public:
    void Begin(FILE* out) override {
        std::fputs(
            "date Thu Jan 01 12:00:00.000 am 1970\n"
            "base hex  timestamps absolute\n"
            "internal events logged\n"
            "// version 9.0.0\n"
            "Begin Triggerblock Thu Jan 01 12:00:00.000 am 1970\n",
            out);
    }
    void Write(const CANframe& frame, FILE* out) override {
        if (frame.type == FRAME_TEXT) {
            WriteComment(frame, "//", " ", out);
            return;
        }
        std::fprintf(out, "%4u.%06u %d  ", frame.timestamp / 1000000, frame.timestamp % 1000000,
                     frame.port + 1);
        if (frame.type == FRAME_ERROR) {
            std::fputs("ErrorFrame\n", out);
            return;
        }
        char id[16];
        std::snprintf(id, sizeof id, Extended(frame) ? "%Xx" : "%X", BareId(frame));
        std::fprintf(out, "%-15s Rx   ", id);
        if (frame.type == FRAME_RTR) {
            std::fprintf(out, "r %x\n", Length(frame));
            return;
        }
        std::fprintf(out, "d %x", Length(frame));
        WriteBytes(frame, " ", out);
        std::fputc('\n', out);
    }
    void End(FILE* out) override { std::fputs("End TriggerBlock\n", out); }
};

// PEAK TRC 2.1; text entries become comments.
class TrcWriter : public LogFormatWriter {
  public:
    void Begin(FILE* out) override {
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
    void Write(const CANframe& frame, FILE* out) override {
        if (frame.type == FRAME_TEXT) {
            WriteComment(frame, ";", "", out);
            return;
        }
        char time[24];
        std::snprintf(time, sizeof time, "%u.%03u", frame.timestamp / 1000, frame.timestamp % 1000);
        number++;
        if (frame.type == FRAME_ERROR) {
            std::fprintf(out, "%7lu %13s ER %2d        - Rx -  0\n", number, time, frame.port + 1);
            return;
        }
        char id[16];
        std::snprintf(id, sizeof id, Extended(frame) ? "%08X" : "%04X", BareId(frame));
        std::fprintf(out, "%7lu %13s %s %2d %8s Rx -  %-4d", number, time,
                     frame.type == FRAME_RTR ? "RR" : "DT", frame.port + 1, id, Length(frame));
        if (frame.type == FRAME_DATA) WriteBytes(frame, " ", out);
        std::fputc('\n', out);
    }

  private:
    unsigned long number = 0;  // the message number of the last line written
};

}  // namespace

std::unique_ptr<LogFormatWriter> CreateLogFormatWriter(const std::string& name) {
    LogFormat format;
    if (!LogFormatByName(name, &format)) return nullptr;
    switch (format) {
        case LogFormat::Candump:
            return std::make_unique<CandumpWriter>();
        case LogFormat::Asc:
            return std::make_unique<AscWriter>();
        case LogFormat::Trc:
            return std::make_unique<TrcWriter>();
        default:
            return std::make_unique<QuillonWriter>();
    }
}
