// The start-up sequence lives with the executable because it builds the windows, which the
// core library does not hold.

#include <FL/Fl.H>

#include "app/cmd_line.h"
#include "app/quillon.h"
#include "store/msg_store.h"

int Quillon::main(int argc, char** argv) {
    if (cmdLine.Parse(argc, argv) != 0) return 0;
    Fl::background(240, 240, 240);
    msgStore = std::make_unique<MsgStore>();
    SetParserMode(cmdLine.mode);
    // Reader threads wake the GUI thread through FLTK's lock.
    Fl::lock();
    return Fl::run();
}
