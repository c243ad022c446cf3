// The fast sector checksums against their one-symbol-at-a-time references,
// on random sectors, on edge lengths and on fixed values.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <random>
#include <vector>

#include "imagetools/bincue.h"
#include "imagetools/sector_checksums.h"
#include "platform/bytes.h"

namespace qorvcd {
namespace {

std::vector<uint8_t> RandomBytes(std::mt19937& rng, size_t size) {
    std::vector<uint8_t> bytes(size);
    for (uint8_t& b : bytes) b = uint8_t(rng());
    return bytes;
}

RawSector RandomForm1Sector(std::mt19937& rng) {
    RawSector raw;
    for (uint8_t& b : raw) b = uint8_t(rng());
    return raw;
}

TEST(SectorChecksums, EdcMatchesTheBytewiseReferenceOnRandomData) {
    std::mt19937 rng(20240613);
    for (int i = 0; i < 4000; ++i) {
        const size_t size = i % 2 ? kForm1UnitSize : kForm2UnitSize;
        const std::vector<uint8_t> data = RandomBytes(rng, size);
        ASSERT_EQ(ComputeEdc(data.data(), size), ComputeEdcBytewise(data.data(), size)) << "sector " << i;
    }
    // Every length up to a few blocks of the fast path, at every alignment;
    // the table path on its own too, as machines without the fast path use it.
    const std::vector<uint8_t> data = RandomBytes(rng, 400);
    for (size_t offset = 0; offset < 16; ++offset)
        for (size_t size = 0; offset + size <= 300; ++size) {
            const uint32_t reference = ComputeEdcBytewise(data.data() + offset, size);
            ASSERT_EQ(ComputeEdc(data.data() + offset, size), reference) << "offset " << offset << " size " << size;
            ASSERT_EQ(ComputeEdcSliced(data.data() + offset, size), reference) << "offset " << offset << " size " << size;
        }
}

TEST(SectorChecksums, EdcMatchesTheBytewiseReferenceOnEdgeLengths) {
    std::mt19937 rng(7);
    const std::vector<uint8_t> data = RandomBytes(rng, 4096);
    for (size_t size : {0, 1, 7, 8, 9, 15, 16, 17, 2056, 2332}) {
        EXPECT_EQ(ComputeEdc(data.data(), size), ComputeEdcBytewise(data.data(), size)) << "size " << size;
        EXPECT_EQ(ComputeEdc(data.data() + 1, size), ComputeEdcBytewise(data.data() + 1, size)) << "size " << size;
    }
    EXPECT_EQ(ComputeEdc(nullptr, 0), 0u);
    EXPECT_EQ(ComputeEdcBytewise(nullptr, 0), 0u);
}

TEST(SectorChecksums, EdcOfKnownInputs) {
    // The catalogued check value of this CRC (init 0, reflected, no final
    // XOR) over the ASCII digits "123456789".
    const uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(ComputeEdcBytewise(digits, sizeof digits), 0x6EC2EDC4u);
    EXPECT_EQ(ComputeEdc(digits, sizeof digits), 0x6EC2EDC4u);
    // Zeros leave a zero CRC.
    const std::array<uint8_t, 2332> zeros{};
    EXPECT_EQ(ComputeEdc(zeros.data(), zeros.size()), 0u);
}

TEST(SectorChecksums, EccMatchesTheReferenceOnRandomSectors) {
    std::mt19937 rng(1302);
    for (int i = 0; i < 3000; ++i) {
        RawSector fast = RandomForm1Sector(rng);
        RawSector reference = fast;
        ComputeForm1Ecc(fast.data());
        ComputeForm1EccReference(reference.data());
        ASSERT_EQ(std::memcmp(fast.data(), reference.data(), kRawSectorSize), 0) << "sector " << i;
    }
}

// Multiplication in GF(2^8) with the field polynomial 0x11D, bit by bit.
uint8_t GfMultiply(uint8_t a, uint8_t b) {
    unsigned product = 0, x = a;
    for (int bit = 0; bit < 8; ++bit) {
        if (b & (1u << bit)) product ^= x;
        x = (x << 1) ^ ((x & 0x80) ? 0x11D : 0);
    }
    return uint8_t(product);
}

// Both syndromes of a code word of symbols s_0..s_(n-1): sum s_i and
// sum s_i alpha^(n-1-i); a correct code word has both zero.
bool SyndromesAreZero(const std::vector<uint8_t>& word) {
    uint8_t sum = 0, weighted = 0;
    for (uint8_t s : word) {
        sum ^= s;
        weighted = uint8_t(GfMultiply(weighted, 2) ^ s);
    }
    return sum == 0 && weighted == 0;
}

// Checks the P and Q code words of a Form 1 sector (ECMA-130 annex A layout),
// the header read as zero.
void ExpectValidCodeWords(const RawSector& sector) {
    std::array<uint8_t, 2340> covered;  // header .. Q parity
    std::memcpy(covered.data(), sector.data() + 12, covered.size());
    std::memset(covered.data(), 0, 4);
    for (size_t plane = 0; plane < 2; ++plane) {
        for (size_t column = 0; column < 43; ++column) {
            std::vector<uint8_t> word;
            for (size_t row = 0; row < 26; ++row) word.push_back(covered[2 * (43 * row + column) + plane]);
            EXPECT_TRUE(SyndromesAreZero(word)) << "P column " << column << " plane " << plane;
        }
        for (size_t diagonal = 0; diagonal < 26; ++diagonal) {
            std::vector<uint8_t> word;
            for (size_t step = 0; step < 43; ++step)
                word.push_back(covered[2 * ((43 * diagonal + 44 * step) % 1118) + plane]);
            word.push_back(covered[2 * (1118 + diagonal) + plane]);
            word.push_back(covered[2 * (1118 + 26 + diagonal) + plane]);
            EXPECT_TRUE(SyndromesAreZero(word)) << "Q diagonal " << diagonal << " plane " << plane;
        }
    }
}

TEST(SectorChecksums, EccMakesValidCodeWords) {
    std::mt19937 rng(99);
    for (int i = 0; i < 20; ++i) {
        RawSector sector = RandomForm1Sector(rng);
        ComputeForm1Ecc(sector.data());
        ExpectValidCodeWords(sector);
    }
}

TEST(SectorChecksums, EccLeavesTheHeaderAndTheCoveredBytes) {
    std::mt19937 rng(5);
    RawSector sector = RandomForm1Sector(rng);
    const RawSector before = sector;
    ComputeForm1Ecc(sector.data());
    EXPECT_EQ(std::memcmp(sector.data(), before.data(), kRawEccPOffset), 0);
}

// A fixed Form 1 sector: logical sector 166 (disc address 00:04:16), data
// bytes 0, 7, 14, ... (mod 256).
TEST(SectorChecksums, KnownForm1Sector) {
    SectorContent content{SectorState::Stored, RunForm::Form1, Subheader{0, 0, kSubmodeData, 0}, {}};
    for (size_t i = 0; i < kForm1DataSize; ++i) content.data.push_back(uint8_t(i * 7));
    RawSector raw;
    BuildRawSector(166, content, raw.data());
    const uint8_t header[] = {0x00, 0x04, 0x16, 0x02};
    EXPECT_EQ(std::memcmp(raw.data() + kRawHeaderOffset, header, 4), 0);
    EXPECT_EQ(GetLe32(raw.data() + kRawForm1EdcOffset), 0x6A25C3E5u);
    EXPECT_EQ(GetLe32(raw.data() + kRawForm1EdcOffset), ComputeEdcBytewise(raw.data() + 16, kForm1UnitSize));
    // The first and last bytes of the P and of the Q parity.
    const uint8_t pStart[] = {0x0B, 0x58, 0xFA, 0x1B, 0x20, 0xE3, 0x1F, 0x3C};
    const uint8_t pEnd[] = {0xAA, 0x43, 0x59, 0xC5, 0x5B, 0x2F, 0xD8, 0xD1};
    const uint8_t qStart[] = {0x74, 0xF0, 0xF4, 0xA7, 0xE6, 0x2C, 0x42, 0x47};
    const uint8_t qEnd[] = {0x59, 0x21, 0x21, 0x48, 0x72, 0x04, 0xD7, 0x81};
    EXPECT_EQ(std::memcmp(raw.data() + kRawEccPOffset, pStart, 8), 0);
    EXPECT_EQ(std::memcmp(raw.data() + kRawEccQOffset - 8, pEnd, 8), 0);
    EXPECT_EQ(std::memcmp(raw.data() + kRawEccQOffset, qStart, 8), 0);
    EXPECT_EQ(std::memcmp(raw.data() + kRawSectorSize - 8, qEnd, 8), 0);
    RawSector reference = raw;
    ComputeForm1EccReference(reference.data());
    EXPECT_EQ(std::memcmp(raw.data(), reference.data(), kRawSectorSize), 0);
    ExpectValidCodeWords(raw);
}

}  // namespace
}  // namespace qorvcd
