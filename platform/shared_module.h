// Shared modules opened at run time: parts of the program whose libraries are
// costly to map (the codec module and FFmpeg behind it) are loaded only by
// the step that needs them, not at start-up.
#pragma once

#include <string>

namespace qorvcd {

// Opens the shared module at `path` and finds `symbol` in it. The module stays
// loaded for the rest of the process (its libraries may keep threads and
// handlers that an unload would pull from under them), so opening it again is
// cheap and returns the same code. Null with the dynamic loader's reason in
// `error` when the module or the symbol cannot be had.
void* LoadModuleSymbol(const std::string& path, const char* symbol, std::string* error);

}  // namespace qorvcd
