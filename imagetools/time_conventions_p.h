// The conventions checks of time on the disc: the playing times TRACKS.SVD
// states, and the SEARCH.DAT points, both judged against the streams of the
// tracks on the disc. Each returns nothing when its file is missing.
#pragma once

#include <optional>

#include "imagetools/conventions.h"

namespace qorvcd {

std::optional<ConventionFinding> CheckTrackTimes(const DecodedImage& image);
std::optional<ConventionFinding> CheckScanPoints(const DecodedImage& image);

}  // namespace qorvcd
