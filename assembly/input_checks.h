// Checks both MPEG writers (video tracks, segment items) make on an input file
// that an earlier step checked (the probe, the segment measure): a file that
// changed since, or a unit whose subheader copies disagree, must fail the
// build instead of becoming a disc that looks good. Each returns the line to
// log, empty when all is well.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/file_identity.h"

namespace qorvcd {

class File;

// `file` is open on the input shown as `name`; `checked` is its stamp from the
// earlier step (none when no step recorded one: nothing to compare).
std::string InputChangedLine(const File& file, const std::string& name,
                             const std::optional<FileIdentity>& checked);
// `unit` is one 2336-byte unit as read from the input, at byte `offset` of it.
std::string DamagedUnitLine(const uint8_t* unit, const std::string& name, uint64_t offset);

}  // namespace qorvcd
