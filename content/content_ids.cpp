#include "content/content_ids.h"

#include <cstdlib>

#include "platform/log_list.h"

namespace qorvcd {

bool CheckScriptId(std::string_view id, const char* what, const BuildContext& ctx) {
    if (id.size() <= kMaxScriptIdLength) return true;
    ctx.LogLine(Format("Error: %s ID %.*s is too long, at most %zu characters", what,
                       int(id.size()), id.data(), kMaxScriptIdLength));
    return false;
}

int ScriptInt(std::string_view token) {
    // Tokens are at most 255 characters; atoi needs a terminated copy.
    return std::atoi(std::string(token).c_str());
}

double ScriptReal(std::string_view token) { return std::atof(std::string(token).c_str()); }

}  // namespace qorvcd
