// The scan information of SVCD tracks (mpeg/scan_information.h) filled in
// while the track is copied. The positions of later I-pictures are not known
// when a unit is written, so the track file is read once beforehand for the
// places of its I-pictures and scan information blocks; the copy then writes
// each unit with its blocks' positions in a single pass over the image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace qorvcd {

class Progress;

class ScanOffsetFiller {
public:
    // Gives the next 2336-byte unit of the track; false when it cannot.
    using UnitReader = std::function<bool(uint8_t* unit)>;
    // Reads the track's `units` units from its start (the track file as it
    // is, or a program stream packed as it is read). False when a read fails
    // (the reader's error tells why) or when `progress` reports a Cancel
    // (`cancelled` set).
    bool Prepare(const UnitReader& read, uint64_t units, Progress* progress, bool& cancelled);
    // Writes the positions into the unit read at file offset `offset`.
    void Apply(uint64_t offset, uint8_t* unit);
    // Scan information blocks found in the track.
    size_t BlockCount() const { return blocks_; }

private:
    struct Patch {
        uint64_t offset;  // in the track file
        uint8_t value;
    };
    std::vector<Patch> patches_;  // in file order
    size_t next_ = 0;
    size_t blocks_ = 0;
};

}  // namespace qorvcd
