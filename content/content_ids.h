// IDs and tokens shared by the track list, the segment list and the playback
// control reader. Script IDs name tracks, segment items and lists; they are
// compared by their whole text and are at most seven characters long, the
// size the on-disc tools and earlier script files have always used.
#pragma once

#include <string>
#include <string_view>

#include "core/build_context.h"

namespace qorvcd {

inline constexpr size_t kMaxScriptIdLength = 7;
// A token from the script reader: a null token (rejected word) reads as the
// end of the section, like an empty one.
inline std::string_view TokenText(const char* token) {
    return token ? std::string_view(token) : std::string_view();
}

inline bool IsSectionHeader(std::string_view token) {
    return !token.empty() && token.front() == '[';
}

// True when `id` fits; otherwise logs a line naming the item and the limit.
// `what` names the kind of ID ("Track", "Segment item", "List", ...).
bool CheckScriptId(std::string_view id, const char* what, const BuildContext& ctx);

// The standard decimal conversions of the script's numbers: leading digits
// (with sign), 0 when there are none.
int ScriptInt(std::string_view token);
double ScriptReal(std::string_view token);

}  // namespace qorvcd
