#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "io/log_format_writer.h"
#include "io/log_parser.h"

// What the readers of other tools' logs share: the line split into words, hexadecimal and
// fixed-point numbers, time stamps made relative to the first frame, and the text entry that
// stands for a CAN FD frame with more data than a frame record holds.
class ForeignLogParser : public LogParser {
  public:
    bool Skipped() const override { return skipped; }
    bool Oversized() const override { return oversized; }

  protected:
    static constexpr int kMaxWords = 80;
    struct Word {
        const char* p;
        size_t n;
        bool Is(const char* s) const;
        // Case-insensitive.
        bool IsNoCase(const char* s) const;
    };

    // Forgets what the previous line was, before a new one is parsed.
    void StartLine() { skipped = oversized = false; }
    // Splits line at white space into words (at most kMaxWords); returns their number.
    int Split(const char* line);
    // Word w read whole as a hexadecimal number of at most 8 digits.
    static bool Hex(const Word& w, uint32_t* value);
    // Word w read whole as an unsigned decimal number.
    static bool Decimal(const Word& w, uint32_t* value);
    // Word w read whole as a decimal fraction "int[.frac]", in units of 10^-decimals (further
    // digits are cut off).
    static bool Fixed(const Word& w, int decimals, uint64_t* value);
    // The time stamp of a frame at micros: relative to the first frame. A line before the first
    // frame gets 0, and so does a frame of an unsorted log that is older than the first.
    uint64_t FrameTime(uint64_t micros);
    uint64_t LineTime(uint64_t micros) const;
    // The n bytes at data as the frame's data; more than a frame record holds make it a
    // FRAME_TEXT entry "CAN FD frame with N data bytes:" and the bytes (kind names another kind
    // of frame).
    void SetData(CANframe& frame, int n, const uint8_t* data, const char* kind = "CAN FD frame");
    // An extended identifier as a port delivers it (bit 29 marks it).
    static void SetId(CANframe& frame, uint32_t id, bool extended);
    // line without its trailing white space, as the text of frame.
    static void SetTrimmedText(CANframe& frame, const char* line);
    // frame made a comment entry: line without its trailing white space, with no time stamp.
    static void Comment(CANframe& frame, const char* line);
    // Word w read whole as a channel or bus number 1 to 256, which becomes frame's port 0 to 255.
    static bool ChannelPort(const Word& w, CANframe& frame);

    Word words[kMaxWords];
    bool skipped = false;  // the last line was one the format has but no entry stands for
    bool oversized = false;

  private:
    bool started = false;
    uint64_t first = 0;
};

// What the writers of other tools' logs share: the identifiers they carry, the data bytes in
// hexadecimal, and text entries as comment lines.
class ForeignLogFormatWriter : public LogFormatWriter {
  public:
    // Identifiers of 11 bits, or 29 bits when extended: a standard frame with a larger
    // identifier, or one with bits above the 29, would be written as another frame.
    bool Carries(const CANframe& frame) const override;

  protected:
    // The data length, 0 to 8.
    static int Length(const CANframe& frame);
    // The frame's data bytes in upper-case hexadecimal, each after separator.
    static void WriteBytes(const CANframe& frame, const char* separator, FILE* out);
    // A text entry as a comment line: marker, then separator and the text. A comment read from
    // a log of the same format already starts with its marker and keeps just that one.
    static void WriteComment(const CANframe& frame, const char* marker, const char* separator,
                             FILE* out);
};
