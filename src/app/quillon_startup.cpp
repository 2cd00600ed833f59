// The start-up sequence lives with the executable because it builds the windows, which the
// core library does not hold.

#include <FL/Fl.H>

#include "app/cmd_line.h"
#include "app/quillon.h"
#include "store/filt_store.h"
#include "store/msg_store.h"
#include "ui/filt_dialog.h"
#include "ui/net_dialog.h"

int Quillon::main(int argc, char** argv) {
    if (cmdLine.Parse(argc, argv) != 0) return 0;
    Fl::background(240, 240, 240);
    msgStore = std::make_unique<MsgStore>();
    filtStore = std::make_unique<FiltStore>(*msgStore);
    SetParserMode(cmdLine.mode);
    netDialog = CreateNetDialog();
    filtDialog = CreateFiltDialog();
    // Reader threads wake the GUI thread through FLTK's lock.
    Fl::lock();
    return Fl::run();
}
