// Writes the directory tree into the image as ISO 9660 directories with their
// CD-XA areas: one directory's records, then each subdirectory depth first,
// every sector a Form 1 unit. The data folder is skipped on the first walk
// and written later on its own (after the segment items).
#pragma once

#include <cstdint>
#include <string>

#include "core/results.h"
#include "iso9660/directory_record.h"
#include "iso9660/file_system_state.h"

namespace qorvcd {

class Clock;
class ImageContainer;
struct BuildContext;
struct DirNode;
class DirTree;

// Deepest folder level the writer accepts (the root's children are level 1).
inline constexpr int kMaxDirectoryDepth = 8;
// Longest name of a directory entry: an 8.3 name. Every name must also have
// the 8.3 form (IsDiscName83); a longer one gets the line of its own.
inline constexpr size_t kMaxEntryNameLength = 12;

// The writer's own checks of names and nesting, made over the whole tree
// without writing anything (a dry run): kOk, or the writer's result and
// lines for the first folder too deep or name not 8.3.
int CheckDiscNames(const DirTree& tree, const BuildContext& ctx);

// The build's clock read in UTC, as every record's recording time.
RecordTime StampRecordTime(const Clock& clock);

class DirectoryWriter {
public:
    // `hasTracks`: the track folder's directory position is kept only when
    // the build has video tracks.
    DirectoryWriter(ImageContainer& image, const BuildContext& ctx, FileSystemState& state,
                    bool hasTracks);

    // Writes `dir` at the state's dirSector (its own extent) and then its
    // subdirectories; `depth` is 0 for the root and for the data folder.
    // Returns kOk, or kNestedTooDeep, kNameTooLong or kStepFailed (its line is logged).
    int WriteDirectory(int depth, DirNode* dir, uint32_t parentSectors, uint32_t parentSector);

private:
    int WriteChildren(int level, DirNode* dir, uint32_t sectors, uint32_t extent);
    bool PatchChildRecord(const DirNode& child);

    ImageContainer& image_;
    const BuildContext& ctx_;
    FileSystemState& state_;
    bool hasTracks_;
};

}  // namespace qorvcd
