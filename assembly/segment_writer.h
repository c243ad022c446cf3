// Copies the segment play items into track 1 from sector 300, each starting
// on a 150-sector boundary, records their runs in the tail, feeds the SCANDATA
// work file and finally releases the segment list.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/results.h"

namespace qorvcd {

class ImageContainer;
class SegmentList;
struct BuildContext;
struct FileSystemState;
struct ScanDataState;

// From this many items on, every item's filler is stored so that each item is
// a single run; below it the filler is only reserved in the tail.
inline constexpr size_t kStoredFillerItemCount = 50;

// Writes every item of `segments` from the container's sector counter (the
// segment area's start), then empties the list. `scanData` is the build's
// SCANDATA state with its work file open (CVD and SUPER-VCD), else null: the
// item count, the item addresses and the entries the track writer fills are
// added to it. Returns kOk, or kStepFailed for an item file that cannot be
// read, changed since it was measured or is damaged, and for a failed write.
int WriteSegmentItems(ImageContainer& image, const BuildContext& ctx, SegmentList& segments,
                      FileSystemState& fs, ScanDataState* scanData);

}  // namespace qorvcd
