// Playback control as the author writes it: the play lists, end lists and
// selection lists of the [PBC] section, with their links still given by ID.
// The PSD compiler resolves the IDs and writes the binary lists.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/build_context.h"

namespace qorvcd {

class ScriptReader;

// Descriptor type codes of the playback control lists (Video CD standard).
enum class PbcListType : uint8_t {
    PlayList = 0x10,
    Selection = 0x18,
    EndList = 0x1F,
};

// A link or item that names no list.
inline constexpr std::string_view kNoneId = "NONE";
// The loop byte's flag: jump to the chosen list only when the item has played.
inline constexpr int32_t kJumpComplete = 0x80;
inline constexpr int32_t kMinSelectionNumber = 1;
inline constexpr int32_t kMaxSelectionNumber = 99;

// A PLAYLIST (type PlayList) or STOPLIST (type EndList) statement.
// An empty ID field means that its clause was not given.
struct PlayListNode {
    PbcListType type = PbcListType::PlayList;
    std::string id;
    std::string nextId;
    std::string previousId;
    std::string returnId;
    int32_t playTime = 0;  // 1/15 second
    int32_t wait = -1;
    int32_t autoWait = -1;
    std::string playItemId;  // played item, or the end list's item
    int32_t stopNumber = 0;  // end list only
    int32_t startTime = 0;   // hundredths of a second; 0 plays the whole item
    int32_t endTime = 0;     // hundredths of a second
    int32_t psdOffset = -1;  // set by the compiler
    int line = 0;            // of its statement in the script
};

struct SelectionItem {
    int32_t number = 0;    // 1..99
    std::string targetId;  // list chosen by this number, or "NONE"
};

struct SelectionNode {
    std::string id;
    int32_t baseNumber = 0;
    int32_t itemCount = 0;
    std::string nextId;
    std::string previousId;
    std::string returnId;
    std::string defaultId;
    std::string timeoutId;
    int32_t wait = -1;
    int32_t loop = 1;
    int32_t jump = 0;  // kJumpComplete or 0
    std::string playItemId;
    std::vector<SelectionItem> items;  // script order
    int32_t psdOffset = -1;            // set by the compiler
    int line = 0;                      // of its statement in the script
};

struct PbcScript {
    std::vector<PlayListNode> playLists;    // play lists and end lists, script order
    std::vector<SelectionNode> selections;  // script order
    std::string startListId;                // empty: none named yet
    bool sectionPresent = false;            // the script has a [PBC] section

    void Clear() { *this = PbcScript(); }
};

// Reads the [PBC] section through the session's script reader. True when the
// section is absent or was read to its end; false after a grammar error,
// which has been shown (the caller then fails the build). `trackIdPrefix`
// tells track items (which may be played in part) from segment items.
bool ReadPbcScript(ScriptReader& script, const BuildContext& ctx, std::string_view trackIdPrefix,
                   PbcScript& pbc);

}  // namespace qorvcd
