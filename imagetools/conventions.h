// Which of the Video CD 2.0 / SVCD conventions a finished disc follows.
// This authoring format departs from the standards in a few places by
// default (players and stored discs of the format rely on them); a build
// with `standard` set follows them. `inspect` reports each one, so a user can
// see why an independent reader complains about a disc, or that it will not.
#pragma once

#include <string>
#include <vector>

#include "core/inspect_visitor.h"
#include "imagetools/inspect.h"

namespace qorvcd {

struct ConventionFinding {
    std::string name;     // short and stable: "system identifier", "volume dates", ...
    bool follows = false;
    std::string detail;   // what the disc holds, and what the standard asks when they differ
};

// The conventions that apply to this disc's kind, in a fixed order. A
// convention whose record is missing or cannot be decoded is not listed.
std::vector<ConventionFinding> CheckConventions(const DecodedImage& image);

// "standard", "own format" or "mixed" over the findings; "" when empty.
std::string ConventionsVerdict(const std::vector<ConventionFinding>& findings);

// The findings as a "conventions" list of the inspector's walk.
void VisitConventions(const std::vector<ConventionFinding>& findings, InspectVisitor& v);

}  // namespace qorvcd
