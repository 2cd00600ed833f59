#include "ui/filt_dialog.h"

#include "filter/headless_filt_dialog.h"

// The element list and expression work before the dialog has a window of its own.
std::unique_ptr<FiltDialog> CreateFiltDialog() {
    return std::make_unique<HeadlessFiltDialog>();
}
