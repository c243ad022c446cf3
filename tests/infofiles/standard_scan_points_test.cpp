// Scan points of a disc laid out to the standards.
#include <gtest/gtest.h>

#include "infofiles/search_record.h"

namespace qorvcd {
namespace {

TEST(StandardScanPoints, OnePointPerHalfSecondShortOfEachTracksEnd) {
    EXPECT_EQ(StandardScanPointsFor(0u), 0u);
    EXPECT_EQ(StandardScanPointsFor(400u), 8u);   // 0 .. 3.5 s
    EXPECT_EQ(StandardScanPointsFor(401u), 9u);   // 0 .. 4.0 s
    EXPECT_EQ(StandardScanPointsFor(1u), 1u);
    const uint32_t tracks[] = {400, 401, 250};
    EXPECT_EQ(StandardScanPointsFor(tracks), 8u + 9u + 5u);
}

}  // namespace
}  // namespace qorvcd
