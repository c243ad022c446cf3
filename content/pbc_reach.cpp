#include "content/pbc_reach.h"

#include <set>

namespace qorvcd {

std::vector<Unreached> FindUnreachedContent(const PbcScript& pbc, const TrackList& tracks,
                                            const SegmentList& segments) {
    std::vector<Unreached> unreached;
    if (pbc.startListId.empty() || (pbc.playLists.empty() && pbc.selections.empty())) return unreached;
    std::set<std::string> lists, items;
    std::vector<std::string> pending{pbc.startListId};
    const auto follow = [&](const std::string& id) {
        if (!id.empty() && id != kNoneId && !lists.count(id)) pending.push_back(id);
    };
    while (!pending.empty()) {
        const std::string id = pending.back();
        pending.pop_back();
        if (!lists.insert(id).second) continue;
        for (const PlayListNode& node : pbc.playLists) {
            if (node.id != id) continue;
            for (const std::string* link : {&node.nextId, &node.previousId, &node.returnId}) follow(*link);
            items.insert(node.playItemId);
        }
        for (const SelectionNode& node : pbc.selections) {
            if (node.id != id) continue;
            for (const std::string* link :
                 {&node.nextId, &node.previousId, &node.returnId, &node.defaultId, &node.timeoutId})
                follow(*link);
            for (const SelectionItem& item : node.items) follow(item.targetId);
            items.insert(node.playItemId);
        }
    }
    std::set<std::string> told;
    const auto tell = [&](const std::string& what, const std::string& id, int line) {
        if (told.insert(what + id).second) unreached.push_back({what + " " + id, line});
    };
    for (const SelectionNode& node : pbc.selections)
        if (!lists.count(node.id)) tell("list", node.id, node.line);
    for (const PlayListNode& node : pbc.playLists)
        if (!lists.count(node.id)) tell("list", node.id, node.line);
    for (const TrackEntry& track : tracks.Entries())
        if (!items.count(track.id)) tell("track", track.id, track.line);
    for (const SegmentItem& item : segments.Items())
        if (!items.count(item.id)) tell("segment item", item.id, item.line);
    return unreached;
}

void ReportUnreachedContent(const PbcScript& pbc, const TrackList& tracks, const SegmentList& segments,
                            const BuildContext& ctx) {
    for (const Unreached& u : FindUnreachedContent(pbc, tracks, segments))
        ctx.Warn(u.what + " is not reached from the start list " + pbc.startListId, u.line);
}

}  // namespace qorvcd
