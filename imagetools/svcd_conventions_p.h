// The conventions checks of the SVCD standard's own records and stream data:
// the ENTRIES signature, the track folder, the TRACKS.SVD layout and the scan
// information in the video streams. Each returns nothing when it does not
// apply to the disc or its record is missing.
#pragma once

#include <optional>

#include "imagetools/conventions.h"

namespace qorvcd {

std::optional<ConventionFinding> CheckEntriesSignature(const DecodedImage& image);
std::optional<ConventionFinding> CheckTrackFolder(const DecodedImage& image);
std::optional<ConventionFinding> CheckTracksLayout(const DecodedImage& image);
std::optional<ConventionFinding> CheckScanOffsets(const DecodedImage& image);

}  // namespace qorvcd
