#include "content/content_ids.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

#include "platform/log_list.h"

namespace qorvcd {

bool CheckScriptId(std::string_view id, const char* what, const BuildContext& ctx) {
    if (id.size() <= kMaxScriptIdLength) return true;
    ctx.LogError(Format("Error: %s ID %.*s is too long, at most %zu characters", what,
                       int(id.size()), id.data(), kMaxScriptIdLength));
    return false;
}

int ScriptInt(std::string_view token) {
    // Tokens are at most 255 characters; strtol needs a terminated copy. A
    // number beyond int is clamped (atoi would leave it undefined).
    const long value = std::strtol(std::string(token).c_str(), nullptr, 10);
    return int(std::clamp<long>(value, std::numeric_limits<int>::min(),
                                std::numeric_limits<int>::max()));
}

double ScriptReal(std::string_view token) { return std::atof(std::string(token).c_str()); }

}  // namespace qorvcd
