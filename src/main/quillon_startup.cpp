// The program's start-up: the application object builds its shared objects and the windows.
// It lives with the entry point because it needs the user interface, which the application
// object's own layer does not include.

#include <FL/Fl.H>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "app/cmd_line.h"
#include "app/quillon.h"
#include "app/settings.h"
#include "base/quillon_error.h"
#include "sim/simulated_cards.h"
#include "ui/analyzer_dialog.h"
#include "ui/config_dialog.h"
#include "ui/filt_dialog.h"
#include "ui/main_frame_fltk.h"
#include "ui/net_dialog.h"

int Quillon::main(int argc, char** argv) {
    if (settings.defaultsUnsaved) settings.save();
    // Help and version end with success, an error in the arguments with status 2.
    if (const int parsed = cmdLine.Parse(argc, argv); parsed != 0) return parsed < 0 ? 2 : 0;
    // Emulated cards, when QUILLON_SIM chooses them, stand in for the driver before any port
    // is opened; a description with a mistake ends the program here.
    std::unique_ptr<SimulatedCards> cards;
    try {
        cards = std::make_unique<SimulatedCards>(std::getenv("QUILLON_SIM"));
    } catch (const QuillonError& e) {
        std::fprintf(stderr, "%s\n", e.message.c_str());
        return 1;
    }
    // FLTK's thread support is on before any window is shown or any reader thread starts, so
    // that reader threads may wake the GUI thread from their first frame on.
    Fl::lock();
    Fl::background(240, 240, 240);
    CreateStores(settings.maxMessages);
    SetParserMode(cmdLine.mode);
    std::unique_ptr<MainFrame> window;
    if (!cmdLine.cmdMode) window = CreateMainFrame(*this);
    mainFrame = window.get();
    cfgDialog = CreateCfgDialog();
    // QUILLON_NETCFG names a configuration for this run only, in place of the preference's.
    netDialog = CreateNetDialog(netConfig, std::getenv("QUILLON_NETCFG"));
    filtDialog = CreateFiltDialog(*this);
    analyzer = CreateAnalyzer();
    if (cmdLine.haveFile && !cmdLine.cmdMode) {
        try {
            mainFrame->OpenLogFile(cmdLine.file);
        } catch (const QuillonError& e) {
            std::printf("Error caught: %s\n", e.message.c_str());
            return 0;
        } catch (...) {
            std::printf("Error caught exception");
            return 0;
        }
    }
    const int status = Fl::run();
    mainFrame = nullptr;
    readMgr.StopAll();  // no port reader may outlive the emulated cards
    return status;
}
