#include "tests/image/track_writer_media.h"

#include <gtest/gtest.h>

#include "tests/mpeg/mpeg_media.h"
#include "tests/support/test_support.h"

namespace qorvcd::test {

std::vector<uint8_t> PackedStream(const std::string& folder, DiscKind kind) {
    const std::string stream = kind == DiscKind::Vcd30 ? PalVcdStream() : PalSvcdStereoStream();
    std::vector<uint8_t> units = ReadBytes(PackInto(folder, stream, kind));
    EXPECT_GT(UnitCount(units), 200u);
    EXPECT_EQ(units.size() % kSectorModeUnitSize, 0u);
    return units;
}

std::string WriteUnits(const std::string& path, const std::vector<uint8_t>& units, size_t first,
                       size_t count) {
    const auto begin = units.begin() + long(first * kSectorModeUnitSize);
    WriteBytes(path, std::vector<uint8_t>(begin, begin + long(count * kSectorModeUnitSize)));
    return path;
}

}  // namespace qorvcd::test
