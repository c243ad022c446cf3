#include "core/build_context.h"

#include "platform/paths.h"

namespace qorvcd {

std::string BuildContext::ResolveScriptPath(const std::string& path) const {
    return ResolvePath(path, scriptFolder);
}

}  // namespace qorvcd
