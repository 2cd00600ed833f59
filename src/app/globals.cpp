// The process-wide objects. They are defined in this one unit because C++ builds the objects of
// a unit in the order written, and they must be built before main in this order: the
// application object, the command line, and last the preferences, which read their file.

#include "app/cmd_line.h"
#include "app/quillon.h"
#include "app/settings.h"

namespace {
Quillon app;
}  // namespace

Quillon& App() {
    return app;
}

CmdLine cmdLine;
QL_Settings settings;
