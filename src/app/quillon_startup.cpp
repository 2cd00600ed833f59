// The start-up sequence lives with the executable because it builds the windows, which the
// core library does not hold.

#include <FL/Fl.H>

#include <cstdio>

#include "app/cmd_line.h"
#include "app/quillon.h"
#include "app/quillon_error.h"
#include "store/filt_store.h"
#include "store/msg_store.h"
#include "ui/config_dialog.h"
#include "ui/filt_dialog.h"
#include "ui/main_frame_fltk.h"
#include "ui/net_dialog.h"

int Quillon::main(int argc, char** argv) {
    if (cmdLine.Parse(argc, argv) != 0) return 0;
    Fl::background(240, 240, 240);
    msgStore = std::make_unique<MsgStore>();
    filtStore = std::make_unique<FiltStore>(*msgStore);
    SetParserMode(cmdLine.mode);
    std::unique_ptr<MainFrame> window;
    if (!cmdLine.cmdMode) window = CreateMainFrame();
    mainFrame = window.get();
    cfgDialog = CreateCfgDialog();
    netDialog = CreateNetDialog();
    filtDialog = CreateFiltDialog();
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
    // Reader threads wake the GUI thread through FLTK's lock.
    Fl::lock();
    const int status = Fl::run();
    mainFrame = nullptr;
    return status;
}
