#include "platform/shared_module.h"

#include <dlfcn.h>

namespace qorvcd {

namespace {

std::string LoaderError(const char* fallback) {
    const char* reason = ::dlerror();
    return reason ? reason : fallback;
}

}  // namespace

void* LoadModuleSymbol(const std::string& path, const char* symbol, std::string* error) {
    // RTLD_LOCAL keeps the module's own symbols (and FFmpeg's) out of the
    // process's global scope; RTLD_NODELETE keeps it mapped after the handle
    // is closed, so no handle needs to be held anywhere.
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!handle) {
        *error = LoaderError("cannot open the module");
        return nullptr;
    }
    ::dlerror();
    void* found = ::dlsym(handle, symbol);
    if (!found) *error = LoaderError("the module has no entry point");
    ::dlclose(handle);
    return found;
}

}  // namespace qorvcd
