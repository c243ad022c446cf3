// The video of a plain program stream read from its own headers: packs of
// either syntax, a sequence header cut across packets, and every way the walk
// must give up and leave the answer to the codec module.
#include <gtest/gtest.h>

#include <vector>

#include "mpeg/program_stream_probe.h"

namespace qorvcd {
namespace {

using Bytes = std::vector<uint8_t>;

const Bytes kMpeg2Pack = {0x00, 0x00, 0x01, 0xBA, 0x44, 0x00, 0x04, 0x00, 0x04, 0x01, 0x01, 0x89, 0xC3, 0xF8};
const Bytes kMpeg1Pack = {0x00, 0x00, 0x01, 0xBA, 0x21, 0x00, 0x01, 0x00, 0x01, 0x80, 0x1B, 0x91};
const Bytes kSystemHeader = {0x00, 0x00, 0x01, 0xBB, 0x00, 0x06, 0x80, 0x1B, 0x91, 0x04, 0xE1, 0xFF};
// 480 x 576, aspect 2, 25 frames/s; then an MPEG-2 sequence extension.
const Bytes kSequence480x576 = {0x00, 0x00, 0x01, 0xB3, 0x1E, 0x02, 0x40, 0x23, 0x00, 0x00, 0x00, 0x00};
const Bytes kSequenceExtension = {0x00, 0x00, 0x01, 0xB5, 0x14, 0x8A, 0x00, 0x01};
// 352 x 288 with an intra matrix (64 bytes of 0x10 after the flag bit), then a GOP.
const Bytes kGop = {0x00, 0x00, 0x01, 0xB8, 0x00, 0x08, 0x00, 0x00};

Bytes Mpeg1Sequence352x288WithMatrix() {
    Bytes s = {0x00, 0x00, 0x01, 0xB3, 0x16, 0x01, 0x20, 0x23, 0x00, 0x00, 0x00, 0x02};
    s.insert(s.end(), 64, 0x10);
    return s;
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// A PES packet of `id` around `payload`: MPEG-2 with no time stamp, or MPEG-1
// with its "no time stamp" byte.
Bytes Packet(uint8_t id, const Bytes& payload, bool mpeg2) {
    const Bytes head = mpeg2 ? Bytes{0x80, 0x00, 0x00} : Bytes{0x0F};
    const size_t length = head.size() + payload.size();
    return Join({Bytes{0x00, 0x00, 0x01, id, uint8_t(length >> 8), uint8_t(length)}, head, payload});
}

std::optional<ProgramStreamVideo> Read(const Bytes& bytes) { return ReadProgramStreamVideo(bytes.data(), bytes.size()); }

TEST(ProgramStreamProbe, ReadsTheFirstVideoSequenceOfEitherSyntax) {
    const Bytes audio = Packet(0xC0, Bytes(100, 0x55), true);
    const auto mpeg2 = Read(Join({kMpeg2Pack, kSystemHeader, audio, Packet(0xE0, Join({kSequence480x576, kSequenceExtension}), true)}));
    ASSERT_TRUE(mpeg2);
    EXPECT_EQ(std::tuple(mpeg2->mpeg2, mpeg2->width, mpeg2->height), std::tuple(true, 480, 576));

    const auto mpeg1 = Read(Join({kMpeg1Pack, Packet(0xE0, Join({Mpeg1Sequence352x288WithMatrix(), kGop}), false)}));
    ASSERT_TRUE(mpeg1);
    EXPECT_EQ(std::tuple(mpeg1->mpeg2, mpeg1->width, mpeg1->height), std::tuple(false, 352, 288));

    // The header cut across two packets and two packs, a second video stream
    // in between that is not the first one's.
    const Bytes sequence = Join({kSequence480x576, kSequenceExtension});
    const Bytes first(sequence.begin(), sequence.begin() + 5), rest(sequence.begin() + 5, sequence.end());
    const auto cut = Read(Join({kMpeg2Pack, Packet(0xE0, first, true), kMpeg2Pack,
                                Packet(0xE1, Join({kSequence480x576, kGop}), true), Packet(0xE0, rest, true)}));
    ASSERT_TRUE(cut);
    EXPECT_EQ(std::tuple(cut->mpeg2, cut->width, cut->height), std::tuple(true, 480, 576));
}

TEST(ProgramStreamProbe, GivesUpOnAnythingItCannotWalk) {
    const Bytes video = Packet(0xE0, Join({kSequence480x576, kSequenceExtension}), true);
    const Bytes whole = Join({kMpeg2Pack, video});
    ASSERT_TRUE(Read(whole));
    // Cut inside the packet, or before the start code after the sequence header.
    EXPECT_FALSE(Read(Bytes(whole.begin(), whole.end() - 1)));
    EXPECT_FALSE(Read(Join({kMpeg2Pack, Packet(0xE0, kSequence480x576, true)})));
    // Not a pack first; junk between packets; a pack header of neither syntax;
    // audio only; the program's end before any video.
    EXPECT_FALSE(Read(video));
    EXPECT_FALSE(Read(Join({kMpeg2Pack, Bytes{0xFF}, video})));
    Bytes odd = kMpeg2Pack;
    odd[4] = 0x00;
    EXPECT_FALSE(Read(Join({odd, video})));
    EXPECT_FALSE(Read(Join({kMpeg2Pack, Packet(0xC0, Bytes(200, 0), true)})));
    EXPECT_FALSE(Read(Join({kMpeg2Pack, Bytes{0x00, 0x00, 0x01, 0xB9}, video})));
    EXPECT_FALSE(Read({}));
    EXPECT_FALSE(ProbeProgramStreamVideo("/nonexistent/clip.mpg"));
}

}  // namespace
}  // namespace qorvcd
