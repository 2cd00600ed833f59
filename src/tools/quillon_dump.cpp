// quillon-dump: replays a log file, or reads live from CAN ports, through the frame pipeline
// without a window and prints every frame as it has been stored and scanned.

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/quillon_error.h"
#include "base/utils.h"
#include "decode/parser.h"
#include "filter/fe_list.h"
#include "filter/filter_logic.h"
#include "hw/can_intf.h"
#include "hw/can_reader.h"
#include "hw/cards.h"
#include "io/log_notices.h"
#include "io/log_writer.h"
#include "plot/plot_png.h"
#include "plot/series_feed.h"
#include "plot/trace.h"
#include "plot/trace_csv.h"
#include "session/session.h"
#include "session/settings.h"
#include "sim/simulated_cards.h"
#include "status/status_tables.h"
#include "store/filt_store.h"
#include "store/msg_store.h"
#include "tools/dump_printer.h"
#include "tools/element_option.h"
#include "tools/live_capture.h"
#include "tools/status_printer.h"

namespace {

const char kUsage[] =
    "Usage: quillon-dump [options] LOGFILE\n"
    "       quillon-dump [options] -p PORT[:CODE] ...\n"
    "       quillon-dump -L\n"
    "       quillon-dump -A N[:CODE] [-I ID]\n"
    "  -m, --mode raw|canopen    decoder; default canopen\n"
    "  -d, --detail              after each row, the decoded lines of the frame\n"
    "  -j, --json                JSON Lines output instead of text rows (-o json)\n"
    "  -o, --output FORMAT       output format: text (default), json, or the lines of a log: "
    "quillon (as the log writer writes them), candump (candump -l), asc (Vector ASC), trc (PEAK "
    "TRC 2.1)\n"
    "  -i, --input FORMAT        format of LOGFILE: quillon, candump, asc or trc; default: "
    "recognised from its first lines\n"
    "  -t, --delta               time column as difference to the previous printed row with a "
    "time stamp; blank for a text line without one\n"
    "  -c, --capacity N          message store capacity (default: preference Max_Messages)\n"
    "  -e, --element ELEMENT     define the next filter element; the first is A, then B, ... "
    "(50 at most)\n"
    "                            ELEMENT is one of:  id:MASK:VALUE               an FeCanID\n"
    "                                                obj:INDEX[:SUB|:any][:CMP]  an FeObjID; SUB "
    "default any; CMP one of < <= == >= >, default ==\n"
    "                                                port:N                      an FePort\n"
    "                            numbers are decimal or 0x-hexadecimal (as the element dialog "
    "parses them; not blank)\n"
    "  -f, --filter EXPR         filter expression over the elements (the expression language of "
    "the filter dialog)\n"
    "  -n, --netcfg FILE         network configuration used for object names (default: the "
    "preference NetCfg_Dflt)\n"
    "  -q, --quiet               no per-frame output\n"
    "  -S, --summary TABLE       instead of the frames, after the whole input (with -p, when the "
    "capture ends): the network status table TABLE of the frames that pass the filter, as "
    "tab-separated text with a header line, or JSON Lines with -j (each object's \"table\" names "
    "its table); TABLE is nodes, ids, transfers, or all (the three, a blank line between them); "
    "times in seconds; notes on what a table leaves out go to stderr\n"
    "  -P, --series SERIES       instead of the frames, comma-separated values of a series, "
    "after a header line: time in seconds, then one column per series (up to 8, in the order "
    "given), a row each time a value changes; SERIES is NODE:INDEX[:SUB][@PORT] for an object's "
    "value (PDOs carrying it, SDO transfers of it), load:PORT for the bus load in percent (of "
    "the -p bit rate, else 500 kbit/s), rate:ID[@PORT] for an identifier's frames per second "
    "(rate:all[@PORT] for every frame), errors[@PORT] for error frames and emergencies per "
    "second; rates and loads over the second before each 100 ms step\n"
    "      --plot FILE.png       with --series: draw the series into FILE.png (1200x600, each "
    "with its own scale) instead of printing them\n"
    "  -s, --stats               at the end, one line on stderr: frames, seconds, frames/s, "
    "peak RSS, dropped lines (neither frame nor text), \"the file ends inside a line\" when its "
    "last line has no end (a cut write), with -w the frames the file lacks (frames not written), "
    "with -p the frames of one port that came too late to be merged in time order with the "
    "others' (late frames), and with emulated cards the frames their receive queues had no room "
    "for (overruns)\n"
    "  -L, --list                list the CAN cards' ports, one a line: port, card, port in the "
    "card, "
    "card type, serial number, firmware, bits/s, status, Tx errors, Rx errors, load\n"
    "  -A, --analyze N[:CODE]    bus analysis of CAN port N (first at bit-rate code CODE when "
    "given): the card sends a test frame; prints the receive and ACK delays one a line, as the "
    "analyzer window shows them (exit status 1 with the analyzer's message on stderr when it "
    "cannot, and 1 after the lines when one of them is an error: no ACK, a stuck receive line)\n"
    "  -I, --id ID               identifier of the analysis's test frame (29-bit; default 0)\n"
    "  -p, --port N[:CODE]       read live from CAN port N at bit-rate code CODE (0 1 Mbit/s ... 7 "
    "20 kbit/s, default 2: 500 kbit/s) instead of a log file; up to 8\n"
    "  -T, --seconds S           stop reading ports after S seconds\n"
    "  -N, --frames N            stop reading ports once N frames are stored (frames received by "
    "then are printed too)\n"
    "  -w, --write FILE          also save every stored frame to the log file FILE\n"
    "  -h, --help\n"
    "exit status 0 on success, 1 when the file cannot be opened or the output not written (message "
    "on stderr), 2 on a "
    "usage error or a filter that does not parse\n";

int UsageError(const std::string& message) {
    std::fprintf(stderr, "quillon-dump: %s\n%s", message.c_str(), kUsage);
    return 2;
}

bool Is(const char* arg, const char* shortName, const char* longName) {
    return std::strcmp(arg, shortName) == 0 || std::strcmp(arg, longName) == 0;
}

// The readers' and the log writer's faults, told on stderr as they happen.
class FaultPrinter : public LogNotices {
  public:
    void ReadFault(const std::string& message) override {
        std::fprintf(stderr, "%s\n", message.c_str());
    }
    void LogWriteFault(const std::string& message) override {
        std::fprintf(stderr, "quillon-dump: %s\n", message.c_str());
        std::lock_guard<std::mutex> hold(lock);
        writeFault = message;
    }
    // Whether message was told already.
    bool Told(const std::string& message) {
        std::lock_guard<std::mutex> hold(lock);
        return message == writeFault;
    }

  private:
    std::mutex lock;  // guards writeFault, told on the writer's thread
    std::string writeFault;
};

}  // namespace

int main(int argc, char** argv) {
    const QL_Settings settings;
    DumpOptions options;
    ParseMode mode = PARSE_CANOPEN;
    int capacity = settings.maxMessages;
    bool stats = false;
    std::string path;
    std::vector<std::string> elements;
    std::string expression;
    std::string netcfg;
    std::string saveTo;
    bool list = false;
    LiveOptions live;
    LiveOptions::Port analyze{-1, -1};
    int testId = -1;
    LogFormat inputFormat = LogFormat::Detect;
    std::vector<std::string> summary;  // the tables --summary prints, in order
    std::vector<SeriesDef> series;     // --series, in order
    std::string plotTo;
    std::unique_ptr<LogFormatWriter> formatWriter;  // -o with a log format
    for (int i = 1; i < argc; i++) {
        const char* arg = argv[i];
        if (Is(arg, "-h", "--help")) {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (Is(arg, "-d", "--detail")) {
            options.detail = true;
        } else if (Is(arg, "-j", "--json")) {
            options.json = true;
            formatWriter.reset();
        } else if (Is(arg, "-o", "--output")) {
            if (++i == argc) return UsageError(std::string(arg) + " needs a value");
            const std::string format = argv[i];
            options.json = format == "json";
            LogFormat logFormat;
            formatWriter =
                LogFormatByName(format, &logFormat) ? CreateLogFormatWriter(logFormat) : nullptr;
            if (format != "text" && format != "json" && !formatWriter)
                return UsageError("unknown output format " + format);
        } else if (Is(arg, "-i", "--input")) {
            if (++i == argc) return UsageError(std::string(arg) + " needs a value");
            if (!LogFormatByName(argv[i], &inputFormat))
                return UsageError(std::string("unknown input format ") + argv[i]);
        } else if (Is(arg, "-t", "--delta")) {
            options.delta = true;
        } else if (Is(arg, "-q", "--quiet")) {
            options.quiet = true;
        } else if (Is(arg, "-S", "--summary")) {
            if (++i == argc) return UsageError(std::string(arg) + " needs a value");
            const std::string table = argv[i];
            if (table == "all")
                summary = {"nodes", "ids", "transfers"};
            else if (table == "nodes" || table == "ids" || table == "transfers")
                summary = {table};
            else
                return UsageError("unknown summary table " + table +
                                  " (nodes, ids, transfers or all)");
        } else if (Is(arg, "-P", "--series")) {
            if (++i == argc) return UsageError(std::string(arg) + " needs a value");
            SeriesDef def;
            std::string error;
            if (!SeriesDef::Parse(argv[i], &def, &error)) return UsageError(error);
            if (series.size() == SeriesFeed::kMaxSeries)
                return UsageError(Format("at most %zu series", SeriesFeed::kMaxSeries));
            series.push_back(def);
        } else if (std::strcmp(arg, "--plot") == 0) {
            if (++i == argc) return UsageError(std::string(arg) + " needs a value");
            plotTo = argv[i];
        } else if (Is(arg, "-s", "--stats")) {
            stats = true;
        } else if (Is(arg, "-m", "--mode")) {
            if (++i == argc) return UsageError(std::string(arg) + " needs a value");
            if (std::strcmp(argv[i], "raw") == 0)
                mode = PARSE_RAW;
            else if (std::strcmp(argv[i], "canopen") == 0)
                mode = PARSE_CANOPEN;
            else
                return UsageError(std::string("unknown mode ") + argv[i]);
        } else if (Is(arg, "-c", "--capacity")) {
            if (++i == argc) return UsageError(std::string(arg) + " needs a value");
            bool ok;
            capacity = StrToInt(argv[i], &ok);
            if (!ok || capacity < 2)
                return UsageError(Format("capacity must be a number from 2 to %d: ", INT32_MAX) +
                                  argv[i]);
        } else if (Is(arg, "-e", "--element")) {
            if (++i == argc) return UsageError(std::string(arg) + " needs a value");
            elements.push_back(argv[i]);
        } else if (Is(arg, "-n", "--netcfg")) {
            if (++i == argc) return UsageError(std::string(arg) + " needs a value");
            netcfg = argv[i];
        } else if (Is(arg, "-L", "--list")) {
            list = true;
        } else if (Is(arg, "-p", "--port")) {
            if (++i == argc) return UsageError(std::string(arg) + " needs a value");
            LiveOptions::Port port;
            const std::string error = ParsePortOption(argv[i], 2, &port);
            if (!error.empty()) return UsageError(error);
            live.ports.push_back(port);
        } else if (Is(arg, "-A", "--analyze")) {
            if (++i == argc) return UsageError(std::string(arg) + " needs a value");
            // Without a code the analysis keeps the port's own rate.
            const std::string error = ParsePortOption(argv[i], -1, &analyze);
            if (!error.empty()) return UsageError(error);
        } else if (Is(arg, "-I", "--id")) {
            if (++i == argc) return UsageError(std::string(arg) + " needs a value");
            bool ok;
            testId = StrToInt(argv[i], &ok);
            if (!ok || testId < 0 || testId > 0x1FFFFFFF)
                return UsageError(std::string("identifier must be 0 to 0x1FFFFFFF: ") + argv[i]);
        } else if (Is(arg, "-T", "--seconds")) {
            if (++i == argc) return UsageError(std::string(arg) + " needs a value");
            char* end;
            live.seconds = std::strtod(argv[i], &end);
            if (*end || !(live.seconds > 0))
                return UsageError(std::string("seconds must be a number above 0: ") + argv[i]);
        } else if (Is(arg, "-N", "--frames")) {
            if (++i == argc) return UsageError(std::string(arg) + " needs a value");
            bool ok;
            live.frames = StrToInt(argv[i], &ok);
            if (!ok || live.frames < 1)
                return UsageError(std::string("frames must be a number of at least 1: ") + argv[i]);
        } else if (Is(arg, "-w", "--write")) {
            if (++i == argc) return UsageError(std::string(arg) + " needs a value");
            // An empty name is most often a variable that was never set: no log is written
            // where none was meant.
            if (!*argv[i]) return UsageError(std::string(arg) + " needs a file name, not \"\"");
            saveTo = argv[i];
        } else if (Is(arg, "-f", "--filter")) {
            if (++i == argc) return UsageError(std::string(arg) + " needs a value");
            expression = argv[i];
            // A blank expression filters nothing, as no -f does (and is told as such).
            if (expression.find_first_not_of(" \t\n\r\f\v") == std::string::npos)
                expression.clear();
        } else if (arg[0] == '-' && arg[1] != '\0') {
            return UsageError(std::string("unknown option ") + arg);
        } else if (path.empty()) {
            path = arg;
        } else {
            return UsageError("only one log file");
        }
    }
    // Emulated cards, when QUILLON_SIM chooses them, stand in for the driver in the cards.
    std::unique_ptr<SimulatedCards> simulated;
    try {
        simulated = std::make_unique<SimulatedCards>(std::getenv("QUILLON_SIM"));
    } catch (const QuillonError& e) {
        std::fprintf(stderr, "quillon-dump: %s\n", e.message.c_str());
        return 1;
    }
    Cards cards(simulated->driver(), SocketCanPortsFrom(std::getenv("QUILLON_SOCKETCAN")));
    if (list) return ListPorts(cards, stdout, stderr);
    if (testId >= 0 && analyze.number < 0) return UsageError("-I names the test frame of -A");
    if (analyze.number >= 0)
        return AnalyzePort(cards, stdout, stderr, analyze.number, analyze.baudCode,
                           testId < 0 ? 0 : testId);
    if (!live.ports.empty() && !path.empty()) return UsageError("a log file or ports, not both");
    if (live.ports.empty() && path.empty()) return UsageError("no log file given");
    if (live.ports.size() > ReadManager::kMaxReaders)
        return UsageError(Format("at most %d ports", ReadManager::kMaxReaders));
    if (live.ports.empty() && (live.seconds > 0 || live.frames > 0))
        return UsageError("-T and -N limit reading from ports (-p)");

    if (formatWriter && (options.detail || options.delta))
        return UsageError("-d and -t go with text or json output");
    if (inputFormat != LogFormat::Detect && !live.ports.empty())
        return UsageError("-i is the format of a log file");
    options.log = formatWriter.get();
    if (!summary.empty() && (formatWriter || options.detail || options.delta))
        return UsageError(
            "--summary prints tables, not frames: not with -d, -t or -o with a log "
            "format");
    if (!summary.empty()) options.quiet = true;
    if (!plotTo.empty() && series.empty()) return UsageError("--plot draws the --series given");
    if (!series.empty() && (!summary.empty() || formatWriter || options.detail || options.delta))
        return UsageError(
            "--series prints values, not frames or tables: not with --summary, -d, "
            "-t or -o with a log format");
    if (!series.empty()) options.quiet = true;

    if (elements.size() > FeList::kMaxElements)
        return UsageError(Format("at most %d filter elements", FeList::kMaxElements));

    CanPortOpener portOpener(cards);
    FaultPrinter faults;  // outlives the session, which tells it from its threads
    Session session(&portOpener, &cards, capacity);
    session.SetNotices(&faults);
    std::unique_ptr<FilterLogic> filter;
    try {
        FeList list;
        for (const std::string& element : elements) list.Add(ParseElementOption(element));
        filter = CreateFilterLogic(expression, list, &session);
    } catch (const QuillonError& e) {
        std::fprintf(stderr, "%s\n", e.message.c_str());
        return 2;
    }

    if (!elements.empty() && expression.empty())
        std::fprintf(stderr,
                     "quillon-dump: elements without -f filter nothing: every frame passes\n");

    // As at the program's start, the preferred configuration is used when it loads; one asked
    // for by name must.
    std::vector<std::string> problems;
    if (!netcfg.empty()) {
        const char* error = session.network().Load(netcfg.c_str(), &problems);
        for (const std::string& problem : problems) std::fprintf(stderr, "%s\n", problem.c_str());
        if (error) {
            std::fprintf(stderr, "%s\n", error);
            return 1;
        }
        // Names that cannot come are said, not quietly left out.
        session.network().ForEachEDS([](const std::string& eds, CANopenObjDict*& dict) {
            if (!dict)
                std::fprintf(
                    stderr, "quillon-dump: EDS file %s not loaded: %s\n", eds.c_str(),
                    IsRegularFile(eds.c_str()) ? "no objects in it" : "no such readable file");
        });
    } else if (!settings.netCfgDflt.empty()) {
        // The preferred configuration is used when it loads; what is wrong with it is said.
        const char* error = session.network().Load(settings.netCfgDflt.c_str(), &problems);
        for (const std::string& problem : problems) std::fprintf(stderr, "%s\n", problem.c_str());
        if (error) std::fprintf(stderr, "%s: %s\n", settings.netCfgDflt.c_str(), error);
    }

    // A closed pipe is reported as a write error, not ended by the signal.
    std::signal(SIGPIPE, SIG_IGN);
    // Static: exit flushes stdout after main's own objects are gone. A capture shown on a
    // terminal is written a line at a time, as it comes; otherwise the capture writes its
    // output out as frames arrive (CaptureLive).
    static char buffer[1 << 20];
    const bool watched = !live.ports.empty() && isatty(fileno(stdout));
    std::setvbuf(stdout, buffer, watched ? _IOLBF : _IOFBF, sizeof buffer);

    const bool filtered = !expression.empty();
    session.SetFilter(std::move(filter));
    session.SetParserMode(mode);
    if (!summary.empty() && filtered) session.FollowFilteredStatus(true);
    // The series count the frames that pass the filter, as the rows would be.
    SeriesFeed feed(session.decoder());
    if (!series.empty()) {
        for (const SeriesDef& def : series) {
            int bitRate = SeriesFeed::kDefaultBitRate;
            for (const LiveOptions::Port& port : live.ports)
                if (def.kind == SeriesDef::Kind::kLoad && port.number == def.port)
                    bitRate = CanIntf::GetBPS(port.baudCode);
            feed.Add(def, bitRate);
        }
        if (plotTo.empty()) {
            std::vector<std::string> names;
            for (const SeriesDef& def : series) names.push_back(def.Text());
            WriteCsvHeader(names, stdout);
            feed.SetRowSink([](int64_t time, const std::vector<double>& values,
                               const std::vector<bool>&) { WriteCsvRow(time, values, stdout); });
        }
        if (filtered)
            session.view().SetTally(&feed);
        else
            session.store().AddTally(&feed);
    }
    DumpPrinter printer(session.view(), session.store(), *session.decoder(), options, stdout);
    session.view().AddStoreListener(&printer);

    // -w writes the program's own format, whatever the file's extension; every frame stored,
    // a replay waiting for the file, a capture counting what the file could not keep up with.
    try {
        if (!saveTo.empty())
            session.StartWriting(saveTo, true, LogFormat::Quillon,
                                 live.ports.empty() ? WriterPace::Hold : WriterPace::Drop);
    } catch (const QuillonError& e) {
        std::fprintf(stderr, "%s\n", e.message.c_str());
        return 1;
    }
    const auto start = std::chrono::steady_clock::now();
    LogReadReport read;
    int status = 0;
    if (formatWriter) formatWriter->Begin(stdout);
    if (!live.ports.empty()) {
        status = CaptureLive(session, live, stdout);
    } else {
        try {
            read = session.readers().ReadLogFile(path, true, inputFormat);
        } catch (const QuillonError& e) {
            std::fprintf(stderr, "%s\n", e.message.c_str());
            status = 1;
        }
    }
    // A capture's status is as of its end, also when the bus fell silent before it.
    const int64_t captureEnd = session.readers().PortClock();
    session.readers().StopAll();
    if (formatWriter) formatWriter->End(stdout);
    uint64_t unwritten = 0;
    bool writeFailed = false;
    if (!saveTo.empty()) {
        session.StopWriting(true);
        unwritten = session.Unwritten();
        const std::string error = session.WriteError();
        // A failed write was told when it happened; the statistics follow still.
        const std::string message = "cannot write " + saveTo + ": " + error;
        if (!error.empty() && !faults.Told(message))
            std::fprintf(stderr, "quillon-dump: %s\n", message.c_str());
        writeFailed = !error.empty();
    }
    if (status != 0) return status;
    if (writeFailed) status = 1;
    if (read.binaryFrom >= 0)
        std::fprintf(
            stderr, "quillon-dump: %s: reading stopped at byte %lld, where the file turns binary\n",
            path.c_str(), static_cast<long long>(read.binaryFrom));
    // A frame the output format cannot carry is told of, never written as another frame.
    if (printer.LeftOut()) {
        std::fprintf(stderr, "quillon-dump: %s\n", LeftOutMessage(printer.LeftOut()).c_str());
        status = 1;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    session.view().DelStoreListener(&printer);
    // Output lost to a full disk or a closed pipe is a failure, not a success.
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "quillon-dump: cannot write the output: %s\n", std::strerror(errno));
        return 1;
    }

    if (!series.empty()) {
        if (filtered)
            session.view().SetTally(nullptr);
        else
            session.store().RemoveTally(&feed);
    }
    if (!plotTo.empty()) {
        auto hold = feed.Hold();
        std::vector<PlotTrace> traces;
        for (size_t t = 0; t < feed.Size(); t++) {
            PlotTrace trace;
            trace.trace = &feed.TraceOf(t);
            trace.label = feed.Def(t).Text();
            trace.unit = feed.Unit(t);
            trace.color = TraceColor(static_cast<int>(t));
            trace.steps = feed.Steps(t);
            traces.push_back(trace);
        }
        PlotView view;
        view.width = 1200;
        view.height = 600;
        if (!TracesExtent(traces, &view.from, &view.to)) view.from = view.to = 0;
        if (view.to <= view.from) view.to = view.from + 1000000;
        std::string error;
        if (!WritePlotPng(plotTo, traces, view, &error)) {
            std::fprintf(stderr, "quillon-dump: cannot write %s: %s\n", plotTo.c_str(),
                         error.c_str());
            return 1;
        }
    }
    if (!summary.empty()) {
        NetworkStatus& counted = filtered ? session.filteredStatus() : session.status();
        StatusSnapshot snapshot = counted.Snapshot();
        snapshot.now = std::max(snapshot.now, captureEnd);
        StatusTables tables(session.decoder(), &session.network());
        for (size_t t = 0; t < summary.size(); t++) {
            if (t && !options.json) std::fputc('\n', stdout);
            const std::string& name = summary[t];
            const StatusTable table = name == "nodes" ? tables.Nodes(snapshot)
                                      : name == "ids"
                                          ? tables.Identifiers(snapshot)
                                          : tables.Transfers(snapshot.transfers, snapshot.openFrom,
                                                             snapshot.transfersFirst);
            PrintStatusTable(table, name, options.json, stdout, stderr);
        }
        if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
            std::fprintf(stderr, "quillon-dump: cannot write the output: %s\n",
                         std::strerror(errno));
            return 1;
        }
    }

    if (stats) {
        rusage usage;
        getrusage(RUSAGE_SELF, &usage);
        std::fprintf(stderr,
                     "frames: %ld, seconds: %.3f, frames/s: %.0f, peak RSS: %ld kB, "
                     "dropped lines: %llu",
                     printer.Printed(), seconds, seconds > 0 ? printer.Printed() / seconds : 0.0,
                     usage.ru_maxrss, static_cast<unsigned long long>(read.droppedLines));
        if (unwritten > 0)
            std::fprintf(stderr, ", frames not written: %llu",
                         static_cast<unsigned long long>(unwritten));
        // A cut write leaves its last line without an end: said, as the line may be short.
        if (read.endedInLine) std::fprintf(stderr, ", the file ends inside a line");
        if (const uint64_t late = session.readers().LateFrames(); late > 0)
            std::fprintf(stderr, ", late frames: %llu", static_cast<unsigned long long>(late));
        // Frames the emulated ports' receive queues had no room for.
        if (const EmulatedDriver* emulated = simulated->driver()) {
            uint64_t overruns = 0;
            for (int port = 0; port < emulated->PortCount(); port++)
                overruns += emulated->Counters(port).overruns;
            std::fprintf(stderr, ", overruns: %llu", static_cast<unsigned long long>(overruns));
        }
        std::fputc('\n', stderr);
    }
    return status;
}
