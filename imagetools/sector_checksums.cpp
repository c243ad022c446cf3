#include "imagetools/sector_checksums.h"

#include <array>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define QORVCD_EDC_CLMUL 1
#include <immintrin.h>
#else
#define QORVCD_EDC_CLMUL 0
#endif

namespace qorvcd {

namespace {

// ---- EDC: reflected CRC-32, polynomial 0x8001801B (reversed 0xD8018001).

constexpr uint32_t kEdcPolynomialReflected = 0xD8018001;
constexpr size_t kEdcSlices = 16;

// tables[0][b] is the CRC of the single byte b; tables[k][b] is the CRC of b
// followed by k zero bytes, so that a byte k places before the end of a
// 16-byte block is folded in by tables[k].
using EdcTables = std::array<std::array<uint32_t, 256>, kEdcSlices>;

constexpr EdcTables MakeEdcTables() {
    EdcTables tables{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t crc = i;
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ ((crc & 1) ? kEdcPolynomialReflected : 0);
        tables[0][i] = crc;
    }
    for (size_t k = 1; k < kEdcSlices; ++k) {
        for (uint32_t i = 0; i < 256; ++i) {
            const uint32_t previous = tables[k - 1][i];
            tables[k][i] = (previous >> 8) ^ tables[0][previous & 0xFF];
        }
    }
    return tables;
}

constexpr EdcTables kEdcTables = MakeEdcTables();

// Four bytes as a little-endian number, whatever the machine's order (the
// compiler makes one load of it on a little-endian machine).
inline uint32_t LoadLe32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// ---- ECC: Reed-Solomon product code over GF(2^8), field polynomial
// x^8 + x^4 + x^3 + x^2 + 1 (0x11D), generator root alpha = 2.

constexpr unsigned kFieldPolynomial = 0x11D;

struct GaloisTables {
    std::array<uint8_t, 256> timesAlpha{};           // x -> x * alpha
    std::array<uint8_t, 256> dividedBy1PlusAlpha{};  // x -> x / (1 + alpha)
};

constexpr GaloisTables MakeGaloisTables() {
    GaloisTables t{};
    for (unsigned x = 0; x < 256; ++x) {
        const unsigned doubled = (x << 1) ^ ((x & 0x80) ? kFieldPolynomial : 0);
        t.timesAlpha[x] = uint8_t(doubled);
        // x * (1 + alpha) = x ^ (x * alpha); invert that map.
        t.dividedBy1PlusAlpha[x ^ doubled] = uint8_t(x);
    }
    return t;
}

constexpr GaloisTables kGalois = MakeGaloisTables();

// Offsets inside the raw sector.
constexpr size_t kHeaderOffset = 12;  // the ECC covers from here ...
constexpr size_t kHeaderSize = 4;
constexpr size_t kEccPOffset = 2076;  // ... to the EDC; P parity follows
constexpr size_t kEccQOffset = 2248;  // Q parity, up to the end of the sector

// The ECC covers the 2064 bytes from the header to the EDC (ECMA-130 annex A)
// as 1032 16-bit words, split into its two byte planes. P parity: 86 columns
// of 24 words, each column a (26,24) code; Q parity: 52 diagonals of 43
// words, each a (45,43) code. Both are computed per byte plane.
constexpr size_t kPColumns = 43;  // words per row
constexpr size_t kPRows = 24;
constexpr size_t kQDiagonals = 26;  // word diagonals
constexpr size_t kQLength = 43;
constexpr size_t kWordsBeforeQ = kPColumns * (kPRows + 2);  // header..P parity: 1118 words

// Word `step` of Q diagonal `diagonal`.
constexpr size_t QWord(size_t diagonal, size_t step) {
    return (kPColumns * diagonal + (kPColumns + 1) * step) % kWordsBeforeQ;
}

// ---- The reference: each check pair one symbol at a time.

struct ParityPair {
    uint8_t first;
    uint8_t second;
};

// The two check symbols (a, b) of a Reed-Solomon code of length count + 2
// with the parity-check rows (1, 1, ..., 1) and (alpha^(count+1), ..., alpha, 1):
//   S + a + b = 0 and T + alpha*a + b = 0, with S = sum s_i and
//   T = sum s_i alpha^(count+1-i), so a = (S + T) / (1 + alpha), b = S + a.
template <typename SymbolAt>
ParityPair TwoParity(size_t count, SymbolAt symbolAt) {
    uint8_t sum = 0;
    uint8_t horner = 0;  // ends as sum s_i alpha^(count-i)
    for (size_t i = 0; i < count; ++i) {
        const uint8_t s = symbolAt(i);
        sum ^= s;
        horner = kGalois.timesAlpha[horner ^ s];
    }
    const uint8_t weighted = kGalois.timesAlpha[horner];
    const uint8_t first = kGalois.dividedBy1PlusAlpha[weighted ^ sum];
    return {first, uint8_t(first ^ sum)};
}

void ReferencePParity(uint8_t* raw) {
    uint8_t* covered = raw + kHeaderOffset;
    uint8_t* parity = raw + kEccPOffset;
    for (size_t plane = 0; plane < 2; ++plane) {
        for (size_t column = 0; column < kPColumns; ++column) {
            const ParityPair p = TwoParity(kPRows, [&](size_t row) {
                return covered[2 * (row * kPColumns + column) + plane];
            });
            parity[2 * column + plane] = p.first;
            parity[2 * (kPColumns + column) + plane] = p.second;
        }
    }
}

void ReferenceQParity(uint8_t* raw) {
    uint8_t* covered = raw + kHeaderOffset;  // now includes the P parity
    uint8_t* parity = raw + kEccQOffset;
    for (size_t plane = 0; plane < 2; ++plane) {
        for (size_t diagonal = 0; diagonal < kQDiagonals; ++diagonal) {
            const ParityPair q = TwoParity(kQLength, [&](size_t step) {
                return covered[2 * QWord(diagonal, step) + plane];
            });
            parity[2 * diagonal + plane] = q.first;
            parity[2 * (kQDiagonals + diagonal) + plane] = q.second;
        }
    }
}

// ---- The fast version: eight codes side by side in one 64-bit word.
//
// Byte j of the P rows (j = 2 * column + plane, 0..85) is symbol `row` of P
// code j, and P code j's check pair goes to bytes j and 86 + j of the P
// parity: the codes of one row lie next to each other, so eight of them take
// one step of Horner's rule together. The Q codes are gathered the same way:
// step s of all 26 diagonals, both planes, makes 52 bytes in code order.

constexpr uint64_t kLowBits = 0x0101010101010101ull;

// Each byte times alpha in GF(2^8): shift left, and reduce the bytes whose
// top bit fell out by the low byte of the field polynomial.
inline uint64_t TimesAlpha8(uint64_t x) {
    const uint64_t carries = (x >> 7) & kLowBits;
    return ((x << 1) & ~(kLowBits)) ^ (carries * (kFieldPolynomial & 0xFF));
}

inline uint64_t Load64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

inline void Store64(uint8_t* p, uint64_t v) { std::memcpy(p, &v, 8); }

// Runs Horner's rule over `count` rows of `width` symbols each (row r starts
// at r * rowStride, read in 8-byte lanes; width is padded up to whole lanes
// by the caller's buffer) and writes each code's check pair: first symbols to
// firstOut[0..width), second ones to secondOut[0..width).
template <size_t kLanes>
struct SideBySide {
    std::array<uint64_t, kLanes> sum{};
    std::array<uint64_t, kLanes> horner{};

    void Feed(const uint8_t* row) {
        for (size_t lane = 0; lane < kLanes; ++lane) {
            const uint64_t s = Load64(row + 8 * lane);
            sum[lane] ^= s;
            horner[lane] = TimesAlpha8(horner[lane] ^ s);
        }
    }

    // a = (alpha * horner + sum) / (1 + alpha), b = sum + a, per code.
    void Finish(size_t width, uint8_t* firstOut, uint8_t* secondOut) const {
        uint8_t weighted[8 * kLanes];
        uint8_t sums[8 * kLanes];
        for (size_t lane = 0; lane < kLanes; ++lane) {
            Store64(weighted + 8 * lane, TimesAlpha8(horner[lane]) ^ sum[lane]);
            Store64(sums + 8 * lane, sum[lane]);
        }
        for (size_t j = 0; j < width; ++j) {
            const uint8_t first = kGalois.dividedBy1PlusAlpha[weighted[j]];
            firstOut[j] = first;
            secondOut[j] = uint8_t(first ^ sums[j]);
        }
    }
};

constexpr size_t kPWidth = 2 * kPColumns;    // 86 codes
constexpr size_t kQWidth = 2 * kQDiagonals;  // 52 codes
constexpr size_t kPLanes = (kPWidth + 7) / 8;  // 11
constexpr size_t kQLanes = (kQWidth + 7) / 8;  // 7

// For each Q step, the byte offset (from the header) of each diagonal's word.
using QOffsets = std::array<std::array<uint16_t, kQDiagonals>, kQLength>;

constexpr QOffsets MakeQOffsets() {
    QOffsets offsets{};
    for (size_t step = 0; step < kQLength; ++step)
        for (size_t diagonal = 0; diagonal < kQDiagonals; ++diagonal)
            offsets[step][diagonal] = uint16_t(2 * QWord(diagonal, step));
    return offsets;
}

constexpr QOffsets kQOffsets = MakeQOffsets();

void FastPParity(uint8_t* raw) {
    const uint8_t* covered = raw + kHeaderOffset;
    SideBySide<kPLanes> codes;
    // The last row's lanes reach 2 bytes past its 86: copy it into a padded
    // buffer rather than read beyond the covered bytes' row.
    for (size_t row = 0; row + 1 < kPRows; ++row) codes.Feed(covered + kPWidth * row);
    uint8_t last[8 * kPLanes] = {};
    std::memcpy(last, covered + kPWidth * (kPRows - 1), kPWidth);
    codes.Feed(last);
    uint8_t* parity = raw + kEccPOffset;
    codes.Finish(kPWidth, parity, parity + kPWidth);
}

void FastQParity(uint8_t* raw) {
    const uint8_t* covered = raw + kHeaderOffset;  // now includes the P parity
    SideBySide<kQLanes> codes;
    uint8_t gathered[8 * kQLanes] = {};
    for (size_t step = 0; step < kQLength; ++step) {
        for (size_t diagonal = 0; diagonal < kQDiagonals; ++diagonal)
            std::memcpy(gathered + 2 * diagonal, covered + kQOffsets[step][diagonal], 2);
        codes.Feed(gathered);
    }
    uint8_t* parity = raw + kEccQOffset;
    codes.Finish(kQWidth, parity, parity + kQWidth);
}

// Runs `compute` with the header read as zero, then puts the header back.
template <typename Compute>
void WithZeroHeader(uint8_t* raw, Compute compute) {
    uint8_t header[kHeaderSize];
    std::memcpy(header, raw + kHeaderOffset, kHeaderSize);
    std::memset(raw + kHeaderOffset, 0, kHeaderSize);
    compute();
    std::memcpy(raw + kHeaderOffset, header, kHeaderSize);
}

}  // namespace

uint32_t ComputeEdcBytewise(const uint8_t* data, size_t size) {
    uint32_t crc = 0;
    for (size_t i = 0; i < size; ++i) crc = (crc >> 8) ^ kEdcTables[0][(crc ^ data[i]) & 0xFF];
    return crc;
}

uint32_t ComputeEdcSliced(const uint8_t* data, size_t size) {
    const auto& t = kEdcTables;
    uint32_t crc = 0;
    while (size >= kEdcSlices) {
        const uint32_t a = LoadLe32(data) ^ crc;
        const uint32_t b = LoadLe32(data + 4);
        const uint32_t c = LoadLe32(data + 8);
        const uint32_t d = LoadLe32(data + 12);
        crc = t[15][a & 0xFF] ^ t[14][(a >> 8) & 0xFF] ^ t[13][(a >> 16) & 0xFF] ^ t[12][a >> 24] ^
              t[11][b & 0xFF] ^ t[10][(b >> 8) & 0xFF] ^ t[9][(b >> 16) & 0xFF] ^ t[8][b >> 24] ^
              t[7][c & 0xFF] ^ t[6][(c >> 8) & 0xFF] ^ t[5][(c >> 16) & 0xFF] ^ t[4][c >> 24] ^
              t[3][d & 0xFF] ^ t[2][(d >> 8) & 0xFF] ^ t[1][(d >> 16) & 0xFF] ^ t[0][d >> 24];
        data += kEdcSlices;
        size -= kEdcSlices;
    }
    for (size_t i = 0; i < size; ++i) crc = (crc >> 8) ^ t[0][(crc ^ data[i]) & 0xFF];
    return crc;
}

#if QORVCD_EDC_CLMUL
namespace {

// ---- EDC by carry-less multiplication. The data is folded 128 bits at a
// time towards its end: a block A followed by D more bits contributes
// A * x^D, which is congruent modulo the polynomial to a value of under 96
// bits that is simply added into the block D bits later. What is left, one
// block and the tail, has the same remainder as the whole data, so the table
// code finishes it (the code starts from zero with no final XOR, so it
// depends on that remainder alone).

// x^n modulo the polynomial, as a polynomial with bit d the coefficient of x^d.
constexpr uint64_t PowerModEdc(unsigned n) {
    uint64_t r = 1;
    for (unsigned i = 0; i < n; ++i) {
        r <<= 1;
        if (r & (1ull << 32)) r ^= 0x18001801Bull;
    }
    return r;
}

// A fold constant in the reflected order of the data: a loaded 64-bit lane
// has bit j the coefficient of x^(63 - j), and so does this constant. The
// product of two such lanes then has bit j the coefficient of x^(126 - j):
// one short of the 128-bit block order, which the constants x^(n - 1) make up.
constexpr uint64_t FoldConstant(unsigned distanceBits) {
    const uint64_t p = PowerModEdc(distanceBits - 1);
    uint64_t reflected = 0;
    for (unsigned d = 0; d < 64; ++d)
        if (p & (1ull << d)) reflected |= 1ull << (63 - d);
    return reflected;
}

// Low lane: the block's first 64 bits (carried D + 64 bits); high lane: its last 64.
struct FoldConstants {
    uint64_t first;
    uint64_t second;
};
constexpr FoldConstants MakeFold(unsigned distanceBits) {
    return {FoldConstant(distanceBits + 64), FoldConstant(distanceBits)};
}
constexpr FoldConstants kFold128 = MakeFold(128);
constexpr FoldConstants kFold512 = MakeFold(512);

__attribute__((target("pclmul,sse2"))) inline __m128i Fold(__m128i block, __m128i into, const FoldConstants& k) {
    const __m128i constants = _mm_set_epi64x(int64_t(k.second), int64_t(k.first));
    const __m128i first = _mm_clmulepi64_si128(block, constants, 0x00);
    const __m128i second = _mm_clmulepi64_si128(block, constants, 0x11);
    return _mm_xor_si128(_mm_xor_si128(first, second), into);
}

__attribute__((target("pclmul,sse2"))) uint32_t ComputeEdcClmul(const uint8_t* data, size_t size) {
    const auto load = [](const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); };
    // Four blocks at a time, each folded 512 bits on, keep the multiplier busy.
    __m128i lanes[4] = {load(data), load(data + 16), load(data + 32), load(data + 48)};
    data += 64;
    size -= 64;
    for (; size >= 64; data += 64, size -= 64)
        for (int i = 0; i < 4; ++i) lanes[i] = Fold(lanes[i], load(data + 16 * i), kFold512);
    __m128i block = Fold(Fold(Fold(lanes[0], lanes[1], kFold128), lanes[2], kFold128), lanes[3], kFold128);
    for (; size >= 16; data += 16, size -= 16) block = Fold(block, load(data), kFold128);
    uint8_t rest[32];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(rest), block);
    std::memcpy(rest + 16, data, size);
    return ComputeEdcSliced(rest, 16 + size);
}

}  // namespace
#endif

uint32_t ComputeEdc(const uint8_t* data, size_t size) {
#if QORVCD_EDC_CLMUL
    // Short data is quicker through the tables than through the set-up.
    if (size >= 64 && __builtin_cpu_supports("pclmul")) return ComputeEdcClmul(data, size);
#endif
    return ComputeEdcSliced(data, size);
}

void ComputeForm1Ecc(uint8_t* raw) {
    WithZeroHeader(raw, [raw] {
        FastPParity(raw);
        FastQParity(raw);
    });
}

void ComputeForm1EccReference(uint8_t* raw) {
    WithZeroHeader(raw, [raw] {
        ReferencePParity(raw);
        ReferenceQParity(raw);
    });
}

}  // namespace qorvcd
