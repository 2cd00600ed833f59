// The program's start-up: it alone builds the preferences, the emulated cards when they are chosen,
// the cards, the capture session and the windows, hands each what it uses, and runs the event loop.

#include <FL/Fl.H>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "base/quillon_error.h"
#include "hw/can_reader.h"
#include "hw/cards.h"
#include "session/cmd_line.h"
#include "session/session.h"
#include "session/settings.h"
#include "sim/simulated_cards.h"
#include "ui/analyzer_dialog.h"
#include "ui/filt_dialog.h"
#include "ui/hardware_dialog.h"
#include "ui/main_frame_fltk.h"
#include "ui/net_dialog.h"
#include "ui/network_status_window.h"

int main(int argc, char** argv) {
    QL_Settings settings;  // written only when a dialog changes a setting
    CmdLine cmdLine;
    // Help and version end with success, an error in the arguments with status 2.
    if (const int parsed = cmdLine.Parse(argc, argv); parsed != 0) return parsed < 0 ? 2 : 0;
    // Emulated cards, when QUILLON_SIM chooses them, stand in for the driver in the cards; a
    // description with a mistake ends the program here.
    std::unique_ptr<SimulatedCards> simulated;
    try {
        simulated = std::make_unique<SimulatedCards>(std::getenv("QUILLON_SIM"));
    } catch (const QuillonError& e) {
        std::fprintf(stderr, "%s\n", e.message.c_str());
        return 1;
    }
    Cards cards(simulated->driver(), SocketCanPortsFrom(std::getenv("QUILLON_SOCKETCAN")));
    // FLTK's thread support is on before any window is shown or any reader thread starts, so
    // that reader threads may wake the GUI thread from their first frame on.
    Fl::lock();
    Fl::background(240, 240, 240);
    CanPortOpener portOpener(cards);
    Session session(&portOpener, &cards, settings.maxMessages);
    session.SetParserMode(cmdLine.mode);
    std::unique_ptr<MainFrame> window;
    if (!cmdLine.cmdMode) {
        window = CreateMainFrame(session, settings);
        Dialogs dialogs;
        dialogs.hardware = CreateHardwareDialog(cards, session.ports(), window.get());
        // QUILLON_NETCFG names a configuration for this run only, in place of the preference's.
        dialogs.network = CreateNetDialog(session.network(), settings, window.get(),
                                          std::getenv("QUILLON_NETCFG"));
        dialogs.filter = CreateFiltDialog(session, window.get());
        dialogs.analyzer = CreateAnalyzer(cards, window.get());
        dialogs.status = CreateNetworkStatusWindow(session, window.get());
        window->SetDialogs(std::move(dialogs));
        if (cmdLine.haveFile) {
            try {
                window->OpenLogFile(cmdLine.file);
            } catch (const QuillonError& e) {
                std::printf("Error caught: %s\n", e.message.c_str());
                return 0;
            } catch (...) {
                std::printf("Error caught exception");
                return 0;
            }
        }
    }
    const int status = Fl::run();
    // No reader may outlive the windows it tells of new frames, nor the cards it reads.
    session.StopAll();
    return status;
}
