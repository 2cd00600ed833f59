#include "io/log_format_writer.h"

#include <string>

#include "base/utils.h"

std::string LeftOutMessage(uint64_t frames) {
    return Format("%llu frames left out: the log format cannot carry their identifiers",
                  static_cast<unsigned long long>(frames));
}

void QuillonLogFormatWriter::Write(const CANframe& frame, FILE* out) {
    char line[1000];
    int n = 0;
    switch (frame.type) {
        case FRAME_DATA:
            n = std::snprintf(line, sizeof line, "%9llu CAN%d: 0x%08x - ", Micros(frame.timestamp),
                              frame.port, frame.id);
            for (int i = 0; i < frame.length && i < 8; i++)
                n += std::snprintf(line + n, sizeof line - n, "0x%02x ", frame.data[i]);
            line[n++] = '\n';
            break;
        case FRAME_RTR:
            n = std::snprintf(line, sizeof line, "%9llu RTR%d: 0x%08x\n", Micros(frame.timestamp),
                              frame.port, frame.id);
            break;
        case FRAME_ERROR:
            // The error bits, when there are any, as the reader takes them back: a bus-off or a
            // time-out captured live is kept.
            n = frame.id ? std::snprintf(line, sizeof line, "%9llu ERROR%d: 0x%08x\n",
                                         Micros(frame.timestamp), frame.port, frame.id)
                         : std::snprintf(line, sizeof line, "%9llu ERROR%d:\n",
                                         Micros(frame.timestamp), frame.port);
            break;
        case FRAME_TEXT:
            // A comment or other text line comes back as the same text: after its time stamp
            // when it had one, as it stood (leading white space too) when it had none.
            if (frame.text && *frame.text) {
                const std::string text =
                    (frame.unstamped ? std::string() : Format("%9llu ", Micros(frame.timestamp))) +
                    frame.text + "\n";
                std::fwrite(text.data(), 1, text.size(), out);
            }
            return;
        default:
            return;
    }
    std::fwrite(line, 1, n, out);
}
