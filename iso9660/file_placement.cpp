#include "iso9660/file_placement.h"

#include <cstdint>

#include "content/segment_items.h"
#include "content/track_list.h"
#include "core/build_context.h"
#include "core/sector_unit.h"
#include "iso9660/dir_tree.h"
#include "iso9660/track_folder.h"
#include "platform/file.h"
#include "platform/log_list.h"
#include "platform/paths.h"

namespace qorvcd {

namespace {

const char* DiscExtension(DiscKind kind) { return kind == DiscKind::Vcd30 ? "DAT" : "MPG"; }

DirNode* FindDataFolder(const DirTree& tree, DiscKind kind) {
    if (kind == DiscKind::Cvd) return DirTree::FindChild("EXT", tree.Root());
    const DirNode* data = DirTree::FindChild("DATA", tree.Root());
    if (!data) return nullptr;
    return DirTree::FindChild(IsSvcdFamily(kind) ? "SVCDDATA" : "VCD_DATA", data);
}

const char* DataFolderLabel(DiscKind kind) {
    switch (kind) {
        case DiscKind::Vcd30: return "VCD3.0";
        case DiscKind::Cvd: return "CVD";
        default: return "SVCD";
    }
}

// Units of a sector-mode file; false (logged) when it cannot be read or its
// data would not fit a 32-bit ISO 9660 length.
bool CountUnits(const std::string& path, const BuildContext& ctx, uint64_t* units) {
    File file;
    if (!file.Open(path, FileMode::Read)) {
        ctx.LogLine(Format("Can't open file %s", path.c_str()));
        return false;
    }
    *units = file.Length() / kSectorModeUnitSize;
    if (*units * kForm1DataSize > UINT32_MAX) {
        ctx.LogLine(Format("%s is too large for one disc file (at most %u bytes of data)",
                           path.c_str(), unsigned(UINT32_MAX)));
        return false;
    }
    return true;
}

bool AddPlacedFile(DirTree& tree, const BuildContext& ctx, const std::string& name, NodeKind kind,
                   NodeFlag flag, uint64_t units) {
    if (tree.AddFile(name, kind, flag, uint32_t(units * kForm1DataSize))) return true;
    if (tree.Ok()) return true;  // already present: the tree keeps the first one
    ctx.LogLine(Format("Can't add %s to the directory tree", name.c_str()));
    return false;
}

int PlaceTracks(DirTree& tree, const BuildContext& ctx, const std::vector<TrackEntry>& tracks,
                const std::string& prefix) {
    if (!tree.ChangeDir(std::string("\\") + TrackFolderName(ctx.kind, ctx.standard))) return kStepFailed;
    unsigned n = 0;
    for (const TrackEntry& track : tracks) {
        uint64_t units = track.packed ? track.packed->units : 0;
        if (!track.packed && !CountUnits(track.path.empty() ? track.fileName : track.path, ctx, &units)) {
            return kStepFailed;
        }
        const std::string name = TrackFileName(prefix, ++n, ctx.kind);
        if (!AddPlacedFile(tree, ctx, name, NodeKind::TrackFile, NodeFlag::Plain, units)) {
            return kStepFailed;
        }
    }
    return kOk;
}

int PlaceSegments(DirTree& tree, const BuildContext& ctx, const std::vector<SegmentItem>& segments,
                  FileSystemState& state) {
    if (!tree.ChangeDir("\\SEGMENT")) return kStepFailed;
    DirNode* folder = tree.Cursor();
    state.segmentSectors = 0;
    for (size_t i = 0; i < segments.size(); ++i) {
        const SegmentItem& item = segments[i];
        uint64_t units = 0;
        if (!CountUnits(item.fileName, ctx, &units)) return kStepFailed;
        const std::string name = SegmentFileName(item.number, ctx.kind);
        if (!AddPlacedFile(tree, ctx, name, NodeKind::Form2File, NodeFlag::Listed, units)) {
            return kStepFailed;
        }
        const bool last = i + 1 == segments.size();
        state.segmentSectors += last ? uint32_t(units) : item.segmentCount * kSectorsPerSegment;
    }
    // Items begin on segment boundaries from the start of the segment area.
    uint32_t sector = kSegmentAreaStart;
    size_t i = 0;
    for (DirNode* child = folder->firstChild; child && i < segments.size();
         child = child->nextSibling, ++i) {
        child->startSector = sector;
        sector += segments[i].segmentCount * kSectorsPerSegment;
    }
    return kOk;
}

}  // namespace

std::string TrackFileName(const std::string& prefix, unsigned n, DiscKind kind) {
    return Format("%s%02u.", prefix.c_str(), n) + DiscExtension(kind);
}

std::string SegmentFileName(uint32_t itemNumber, DiscKind kind) {
    return Format("ITEM%04u.", unsigned(itemNumber - (kFirstSegmentItemNumber - 1))) +
           DiscExtension(kind);
}

int PlaceFiles(DirTree& tree, const BuildContext& ctx, const std::vector<TrackEntry>& tracks,
               const std::string& trackIdPrefix, const std::vector<SegmentItem>& segments,
               FileSystemState& state) {
    if (!tree.Root()) return kStepFailed;
    state.dataFolder = FindDataFolder(tree, ctx.kind);
    if (!state.dataFolder) {
        ctx.LogLine(std::string(DataFolderLabel(ctx.kind)) + "don't find path");
        return kStepFailed;
    }
    QORVCD_CHECK(PlaceTracks(tree, ctx, tracks, trackIdPrefix));
    QORVCD_CHECK(PlaceSegments(tree, ctx, segments, state));

    const DirNode* ext = DirTree::FindChild("EXT", tree.Root());
    if (DirNode* scanData = ext ? DirTree::FindChild("SCANDATA.DAT", ext) : nullptr) {
        if (!tree.AttachSource(ctx.workFolder + "SCANDATA.DAT", scanData)) return kStepFailed;
    }
    return kOk;
}

}  // namespace qorvcd
