#include "assembly/directory_writer.h"

#include <algorithm>
#include <array>
#include <vector>

#include "core/build_context.h"
#include "image/container.h"
#include "iso9660/dir_tree.h"
#include "iso9660/track_folder.h"
#include "platform/log_list.h"

namespace qorvcd {

namespace {

using SectorData = std::array<uint8_t, kForm1DataSize>;

// A record is placed in a sector only while it leaves the sector's last byte
// free; records never cross a sector boundary.
constexpr size_t kUsableDirectoryBytes = kForm1DataSize - 1;
// Bytes of a directory record that hold its extent and data length.
constexpr size_t kRecordHeadSize = 18;

bool IsRoot(const DirNode& dir) { return dir.name == DirTree::kRootName; }

std::string TooDeep(const DirNode& dir) {
    return Format("%s is nested deeper than %d folder levels", DiscPathOf(dir).c_str(), kMaxDirectoryDepth);
}

// Logs why `node` cannot go on the disc, with the place that declared it,
// and tells the host at that place.
void RefuseNode(const BuildContext& ctx, const DirNode& node, const std::string& why) {
    const bool declared = !node.declaredFile.empty();
    if (ctx.diagnostics)
        ctx.diagnostics(Diagnostic{declared ? node.declaredFile : ctx.scriptName, declared ? node.declaredLine : 0,
                                   Severity::Error, why});
    ctx.LogLine("Error: " + why +
                (declared ? Format(" (declared at %s:%d)", node.declaredFile.c_str(), node.declaredLine) : ""));
}

void RefuseName(const BuildContext& ctx, const DirNode& node) {
    RefuseNode(ctx, node, Format("%s is not an 8.3 name: at most 8 characters, then a dot and at most 3 more",
                                 DiscPathOf(node).c_str()));
    if (node.name.size() > kMaxEntryNameLength)
        ctx.LogLine(Format("%s name too long, not a 8.3 name format", node.name.c_str()));
}

// The first folder too deep or name not 8.3 below `dir`, depth first.
int CheckBelow(const DirNode& dir, const BuildContext& ctx) {
    if (LevelOf(dir) > kMaxDirectoryDepth) {
        RefuseNode(ctx, dir, TooDeep(dir));
        return kNestedTooDeep;
    }
    for (const DirNode* child = dir.firstChild; child; child = child->nextSibling) {
        if (!IsDiscName83(child->name)) {
            RefuseName(ctx, *child);
            return kNameTooLong;
        }
    }
    for (const DirNode* child = dir.firstChild; child; child = child->nextSibling)
        if (child->IsDirectory()) QORVCD_CHECK(CheckBelow(*child, ctx));
    return kOk;
}

}  // namespace

int CheckDiscNames(const DirTree& tree, const BuildContext& ctx) {
    return tree.Root() ? CheckBelow(*tree.Root(), ctx) : kOk;
}

RecordTime StampRecordTime(const Clock& clock) { return RecordTimeFrom(clock); }

DirectoryWriter::DirectoryWriter(ImageContainer& image, const BuildContext& ctx,
                                 FileSystemState& state, bool hasTracks)
    : image_(image), ctx_(ctx), state_(state), hasTracks_(hasTracks) {}

int DirectoryWriter::WriteDirectory(int depth, DirNode* dir, uint32_t parentSectors,
                                    uint32_t parentSector) {
    // Measured from the root: the data folder, written on its own with
    // `depth` 0, lies two levels down, and so does everything under it.
    if (std::max(depth, LevelOf(*dir)) > kMaxDirectoryDepth) {
        RefuseNode(ctx_, *dir, TooDeep(*dir));
        return kNestedTooDeep;
    }
    const uint64_t start = image_.ImagePosition();
    const uint32_t extent = state_.dirSector;

    std::vector<SectorData> sectors(1);
    sectors[0].fill(0);
    RecordTime time = StampRecordTime(ctx_.clock);
    size_t used = 0;
    for (const DirectoryRecord& dot : {DotRecord(false, extent, kForm1DataSize, time),
                                       DotRecord(true, parentSector, kForm1DataSize, time)}) {
        const std::vector<uint8_t> bytes = dot.Encode();
        std::copy(bytes.begin(), bytes.end(), sectors[0].data() + used);
        used += bytes.size();
    }

    for (DirNode* child = dir->firstChild; child; child = child->nextSibling) {
        if (!IsDiscName83(child->name)) {
            RefuseName(ctx_, *child);
            return kNameTooLong;
        }
        time = StampRecordTime(ctx_.clock);
        const DirectoryRecord record = RecordForNode(*child, time);
        const size_t length = DirectoryRecordLength(record.identifier.size());
        if (used + length > kUsableDirectoryBytes) {
            sectors.emplace_back().fill(0);
            used = 0;
        }
        const std::vector<uint8_t> bytes = record.Encode();
        if (bytes.size() != length || length > kForm1DataSize - used) {
            ctx_.LogLine(Format("Can't build the directory record of %s", child->name.c_str()));
            return kStepFailed;
        }
        std::copy(bytes.begin(), bytes.end(), sectors.back().data() + used);
        child->recordLength = int16_t(length);
        child->recordPosition = start + (sectors.size() - 1) * kForm1UnitSize + kSubheaderSize + used;
        used += length;
    }

    const uint32_t count = uint32_t(sectors.size());
    if (dir->IsDirectory()) dir->size = count;
    // "." gives the directory's own length; ".." the parent's, except at the root.
    PutRecordDataLength(sectors[0].data(), count * uint32_t(kForm1DataSize));
    const uint32_t parentLength = IsRoot(*dir) ? count : parentSectors;
    PutRecordDataLength(sectors[0].data() + dirrec::kDotRecordLength,
                        parentLength * uint32_t(kForm1DataSize));
    for (uint32_t i = 0; i < count; ++i) {
        image_.AppendForm1Unit(i + 1 == count ? kLastDataSubheader : kDataSubheader,
                               sectors[i].data());
    }
    state_.dirSector += count;
    state_.lastRecordTime = time;
    if (!image_.Ok()) {
        ctx_.LogLine(image_.Error());
        return kStepFailed;
    }
    return WriteChildren(depth + 1, dir, count, extent);
}

int DirectoryWriter::WriteChildren(int level, DirNode* dir, uint32_t sectors, uint32_t extent) {
    for (DirNode* child = dir->firstChild; child; child = child->nextSibling) {
        if (!child->IsDirectory()) continue;
        child->startSector = state_.dirSector;
        child->size = sectors;
        if (child == state_.dataFolder) {
            state_.dataParentSectors = sectors;
            state_.dataParentSector = extent;
            continue;
        }
        if (hasTracks_ && child->name == TrackFolderName(ctx_.kind, ctx_.standard)) {
            state_.trackDirPosition = image_.ImagePosition();
        }
        QORVCD_CHECK(WriteDirectory(level, child, sectors, extent));
        if (!PatchChildRecord(*child)) {
            ctx_.LogLine(image_.Error());
            return kStepFailed;
        }
    }
    return kOk;
}

// The folder's own record in its parent was written before the folder's
// place was known: enter its extent and length now.
bool DirectoryWriter::PatchChildRecord(const DirNode& child) {
    std::array<uint8_t, kRecordHeadSize> head{};
    if (!image_.ReadImageAt(child.recordPosition, head.data(), head.size())) return false;
    PutRecordExtent(head.data(), child.startSector);
    PutRecordDataLength(head.data(), child.size * uint32_t(kForm1DataSize));
    image_.WriteImageAt(child.recordPosition, head.data(), head.size());
    return image_.Ok();
}

}  // namespace qorvcd
