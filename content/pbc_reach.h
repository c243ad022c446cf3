// Which lists and play items of the playback control a viewer can reach:
// from the start list along every link, choice and played item. What nothing
// reaches is still written to the disc; the author is told (a warning each).
#pragma once

#include <string>
#include <vector>

#include "content/pbc_script.h"
#include "content/segment_items.h"
#include "content/track_list.h"
#include "core/build_context.h"

namespace qorvcd {

struct Unreached {
    std::string what;  // "list PLAY3", "track AVSEQ02", "segment item SEGX"
    int line = 0;      // where the script names it
};

// Empty when the script has no play lists (a disc without menus plays its
// tracks in order) or no start list.
std::vector<Unreached> FindUnreachedContent(const PbcScript& pbc, const TrackList& tracks,
                                            const SegmentList& segments);

// The same, as one warning each on the build's diagnostics.
void ReportUnreachedContent(const PbcScript& pbc, const TrackList& tracks, const SegmentList& segments,
                            const BuildContext& ctx);

}  // namespace qorvcd
