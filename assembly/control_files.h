// Copies the Video CD control files from their work copies into their fixed
// sectors of track 1: INFO at 150, ENTRIES at 151, LOT from 152 to 183, PSD
// from 184 and, for the SVCD kinds, TRACKS.SVD, SPICONTX.SVD and SEARCH.DAT
// behind it. The empty sectors between the directories and INFO are only
// reserved in the tail.
#pragma once

#include <cstdint>

#include "core/results.h"
#include "iso9660/control_sectors.h"
#include "iso9660/file_system_state.h"

namespace qorvcd {

class DirTree;
class ImageContainer;
struct BuildContext;

// Expects the container's sector counter at the sector after the directories;
// leaves it after the last control file, with state.dirSector equal to it.
// Returns kOk, kSvcdFileMissing or kStepFailed (its line is logged); a
// directory table that reaches INFO's sector is a kStepFailed.
int WriteControlFiles(ImageContainer& image, DirTree& tree, const BuildContext& ctx,
                      FileSystemState& state);

}  // namespace qorvcd
