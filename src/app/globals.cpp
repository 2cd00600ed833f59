// The process-wide objects. They are defined in this one unit because C++ builds the objects of
// a unit in the order written, and they must be built before main in this order: the
// application object, the command line, the EDS dictionaries, and last the preferences, which
// read their file.

#include "app/cmd_line.h"
#include "app/quillon.h"
#include "app/settings.h"
#include "decode/obj_dict.h"

namespace {
Quillon app;
}  // namespace

Quillon& App() {
    return app;
}

CmdLine cmdLine;
EdsList edsList;
QL_Settings settings;
