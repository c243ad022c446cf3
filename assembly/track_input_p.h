// Where the track writer's units come from: the track's sector-mode file as
// it is, or a program stream packed unit by unit as it is read.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "mpeg/packed_stream.h"
#include "platform/file.h"

namespace qorvcd {

class TrackUnitInput {
public:
    // `file` is the open track file; `packed` is set for a packed stream.
    TrackUnitInput(File& file, const std::optional<PackedStreamFacts>& packed);
    // Reads the next 2336-byte unit; false with Error() on a failure.
    bool Read(uint8_t* unit);
    // The offset of the next unit in the sector-mode form.
    uint64_t Position() const;
    std::string Error() const;

private:
    File& file_;
    std::optional<PackedUnitInput> packed_;
};

}  // namespace qorvcd
