// Video CD 3.0 and SVCD discs, PAL and NTSC, from streams made by mjpegtools
// and FFmpeg, read back by VCDImager's and libcdio's readers. By default the
// readers see only what the format itself asks for (on an SVCD its ENTRIES
// signature and track folder), and every track and segment rips back as it
// went in; under --standard they see nothing to warn about at all, the track
// times are the streams' to a picture, and every scan point leads into its
// own track.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <set>

#include "tests/conformance/conformance_media.h"
#include "tests/e2e/e2e_support.h"

namespace qorvcd::test {
namespace {

class Conformance : public ::testing::TestWithParam<DiscCase> {
protected:
    void SetUp() override {
        if (const std::string tool = MissingTool({"ffmpeg", "ffprobe", "mpeg2enc", "mplex", "mp2enc", "vcd-info",
                                                  "vcdxrip", "cd-info"});
            !tool.empty())
            GTEST_SKIP() << "missing " << tool << " (scripts/install-deps.sh installs it)";
        const DiscCase& disc = GetParam();
        // Track A from mjpegtools, track B from FFmpeg; a clip of several
        // segments; stills of normal and high resolution.
        inputs_ = {{"A.MPS", MjpegMotion(disc, 4)}, {"B.MPS", FfmpegTarget(disc, 3)},
                   {"CLIP.MPS", MjpegMotion(disc, 3)}, {"STILL.MPS", MjpegStill(disc, false)},
                   {"HIRES.MPS", MjpegStill(disc, true)}};
        for (const auto& [name, stream] : inputs_) WriteBytes(dir_ / name, ReadBytes(Packed(disc, stream)));
    }

    // `version`: the [VCD] VERSION line, none when empty.
    static std::vector<std::string> Script(const DiscCase& disc, const std::string& version) {
        const std::string p = disc.vcd30 ? "MUSIC" : "AVSEQ";
        const std::string norm = disc.norm == Norm::Pal ? "PAL" : "NTSC";
        // VIDEO codes of the segments: still, high-resolution still, motion.
        const int base = disc.norm == Norm::Pal ? 4 * 5 : 4 * 1;
        const auto codes = [&](int audio, int video) {
            return disc.vcd30 ? std::string() : " AUDIO " + std::to_string(audio) + " VIDEO " + std::to_string(video);
        };
        const auto track = [&](int seconds) {
            return disc.vcd30 ? std::string() : " " + norm + " AUDIO 2 TIME " + std::to_string(seconds);
        };
        std::vector<std::string> s = {"[VCD]"};
        if (!disc.vcd30) s.push_back("MODE = SVCD");
        if (!version.empty()) s.push_back("VERSION = " + version);
        s.insert(s.end(), {
            "ALBUM = \"CONFORMANCE\"", "VOLUME = 1", "ANZVOL = 1", "[TRACK]",
            "MPEGTRACK " + p + "01 A.MPS" + track(4), "MPEGTRACK " + p + "02 B.MPS" + track(3),
            "[PBC]", "SEGMENT",
            "SEGSTL = STILL.MPS" + codes(0, base), "SEGHIR = HIRES.MPS" + codes(0, base + 4),
            "SEGCLIP = CLIP.MPS" + codes(1, base + 8), "ENDSEGMENT",
            "SELECTION MAIN PREVIOUS NONE NEXT NONE RETURN NONE DEFAULT PLAY1 TIMEOUT NONE WAIT 10 LOOP 1 "
            "PLAYITEM SEGSTL ITEMS 1 PLAY1 2 PLAY2 3 CLIP 4 HIRES ENDITEMS ENDSELECT",
            "PLAYLIST PLAY1 PREVIOUS MAIN NEXT PLAY2 RETURN MAIN WAIT 0 AUTOWAIT 0 PLAY " + p + "01 ENDPLAYLIST",
            // A chapter: the second track from its second second on.
            "PLAYLIST PLAY2 PREVIOUS PLAY1 NEXT NONE RETURN MAIN WAIT 0 AUTOWAIT 0 PLAY " + p + "02 FROM 1.0 TO 3 ENDPLAYLIST",
            "PLAYLIST CLIP PREVIOUS NONE NEXT NONE RETURN MAIN WAIT 0 AUTOWAIT 0 PLAY SEGCLIP ENDPLAYLIST",
            "PLAYLIST HIRES PREVIOUS NONE NEXT NONE RETURN MAIN WAIT 5 AUTOWAIT 0 PLAY SEGHIR ENDPLAYLIST"});
        return s;
    }

    // Writes the script and builds disc.img, disc.bin and disc.cue; the build
    // must succeed.
    void Build(const std::string& version, const std::string& options) {
        WriteScript(dir_ / "disc.txt", Script(GetParam(), version));
        const std::string work = Quote(dir_ / "work");
        const CommandResult r = RunCommand("mkdir -p " + work + " && cd " + Quote(dir_.Path()) + " && " +
                                           Quote(CliPath()) + " build disc.txt -o disc.img --bin-cue --work-dir " +
                                           work + (GetParam().vcd30 ? " --vcd30 " : " ") + options);
        ASSERT_EQ(r.exitCode, 0) << r.output;
    }

    std::string VcdInfo() { return Output("vcd-info --no-banner -c " + Quote(dir_ / "disc.cue") + " 2>&1"); }

    TempDir dir_;
    std::vector<std::pair<std::string, std::string>> inputs_;  // disc file, source stream
};

// vcdxrip's files: the tracks as avseqNN.mpg, the segment items as
// itemNNNN.mpg (numbered by their first segment), in name order.
std::vector<std::string> RippedFiles(const std::string& folder, const std::string& prefix) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with(prefix)) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Whether inspect finds the disc following each convention, by name.
std::map<std::string, bool> Conventions(const std::string& image) {
    const FlatImage flat = InspectFlat(image);
    std::map<std::string, bool> follows;
    for (size_t i = 0; i < ListSize(flat, "conventions.checks"); ++i) {
        const std::string at = "conventions.checks." + std::to_string(i);
        follows[flat.at(at + ".name")] = flat.at(at + ".follows") == "true";
    }
    return follows;
}

TEST_P(Conformance, DefaultDiscDrawsOnlyTheFormatsOwnWarningsAndRipsAsItWentIn) {
    const DiscCase& disc = GetParam();
    // The version each kind's album wants.
    Build(disc.vcd30 ? "2.0" : "1.0", "");
    const std::set<std::string> expected =
        disc.vcd30 ? std::set<std::string>{}
                   : std::set<std::string>{"found (non-compliant) SVCD ENTRIES.SVD signature",
                                           "found obsolete (S)VCD3.0 ENTRIES.SVD signature",
                                           "non compliant /MPEGAV folder detected!"};
    const std::string info = VcdInfo();
    EXPECT_EQ(ReaderWarnings(info), expected) << info;
    // inspect sees where the times and scan points depart from the streams.
    if (!disc.vcd30) {
        const std::map<std::string, bool> conventions = Conventions(dir_ / "disc.img");
        EXPECT_FALSE(conventions.at("track playing times"));
        EXPECT_FALSE(conventions.at("scan points"));
    }

    const std::string rip = dir_ / "rip";
    RunCommand("mkdir -p " + Quote(rip) + " && cd " + Quote(rip) + " && vcdxrip -c ../disc.cue");
    const std::vector<std::string> tracks = RippedFiles(rip, "avseq"), items = RippedFiles(rip, "item");
    // The clip (CLIP sorts first) is one item however many segments it takes.
    ASSERT_EQ(tracks.size(), 2u) << info;
    ASSERT_EQ(items.size(), 3u) << info;
    const std::pair<std::string, std::string> ripped[] = {
        {tracks[0], inputs_[0].second}, {tracks[1], inputs_[1].second}, {items[0], inputs_[2].second},
        {items[1], inputs_[4].second}, {items[2], inputs_[3].second}};
    // A track rips as it went in. A segment item rips as whole segments of
    // 150 sectors: its stream, then the empty sectors that fill its last
    // segment, as zero bytes.
    for (size_t i = 0; i < std::size(ripped); ++i) {
        const auto& [file, source] = ripped[i];
        std::vector<uint8_t> got = ReadBytes(rip + "/" + file);
        const std::vector<uint8_t> want = ReadBytes(source);
        ASSERT_GE(got.size(), want.size()) << file;
        if (i >= 2) {
            EXPECT_TRUE(std::all_of(got.begin() + std::ptrdiff_t(want.size()), got.end(), [](uint8_t b) { return b == 0; }))
                << file << " holds more than its stream and empty sectors";
            got.resize(want.size());
        }
        EXPECT_TRUE(got == want) << file << " differs from " << source;
    }
}

// SEARCH.DAT's points as vcd-info lists them, and each track's first
// sector, both in logical sectors.
struct SearchListing {
    std::vector<int64_t> points;
    std::vector<int64_t> trackStarts;  // tracks 2, 3, ..., then the lead-out
};
SearchListing ListSearch(const std::string& info) {
    SearchListing l;
    for (const auto& m : Matches(info, R"(scanpoint\[\d+\]: .*sector: LSN (\d+))")) l.points.push_back(std::stoll(m[0]));
    for (const auto& m : Matches(info, R"(^\s*(\d+): \d\d:\d\d:\d\d\s+(\d+)\s+(XA|leadout))")) {
        if (m[0] != "1") l.trackStarts.push_back(std::stoll(m[1]));
    }
    return l;
}

TEST_P(Conformance, StandardDiscDrawsNoWarningAndStatesExactTimesAndScanPoints) {
    const DiscCase& disc = GetParam();
    // Versions that by default make a "VCD 1.0" of a Video CD with menus and
    // an INFO version 0 on an SVCD: the standard's own version wins.
    Build(disc.vcd30 ? "1.0" : "", "--standard");
    const std::string info = VcdInfo();
    EXPECT_EQ(ReaderWarnings(info), std::set<std::string>{}) << info;
    EXPECT_NE(info.find(disc.vcd30 ? "VCD 2.0 detected" : "SVCD detected"), std::string::npos) << info;
    const std::string cd = Output("cd-info --no-header --no-device-info -c " + Quote(dir_ / "disc.cue") + " 2>&1");
    EXPECT_TRUE(Matches(cd, R"((.*(WARN|[Ee]rror|[Ff]ailed).*))").empty()) << cd;
    // cd-info names the disc type on its "XA sectors" line.
    EXPECT_EQ(Matches(cd, disc.vcd30 ? R"(^XA sectors +(Video CD))" : R"(^XA sectors +(Super Video CD \(SVCD\)))").size(),
              1u)
        << cd;
    if (disc.vcd30) return;  // a Video CD states neither times nor scan points
    const std::map<std::string, bool> conventions = Conventions(dir_ / "disc.img");
    EXPECT_TRUE(conventions.at("track playing times"));
    EXPECT_TRUE(conventions.at("scan points"));

    // TRACKS.SVD: each track's own time, within a picture of its stream.
    const auto times = Matches(info, R"(track\[\d+\]: (\d\d):(\d\d):(\d\d),)");
    ASSERT_EQ(times.size(), 2u) << info;
    std::vector<double> seconds;
    for (size_t k = 0; k < 2; ++k) {
        const double stated = std::stoi(times[k][0]) * 60 + std::stoi(times[k][1]) + std::stoi(times[k][2]) / 75.0;
        const double plays = CountPictures(inputs_[k].second) / FramesPerSecond(disc.norm);
        EXPECT_NEAR(stated, plays, 1.0 / FramesPerSecond(disc.norm)) << "track " << k + 2;
        seconds.push_back(plays);
    }
    // SEARCH.DAT: a point per half second of each track, inside it.
    const SearchListing search = ListSearch(info);
    ASSERT_EQ(search.trackStarts.size(), 3u) << info;
    size_t next = 0;
    for (size_t k = 0; k < 2; ++k) {
        const size_t wanted = size_t(std::ceil(seconds[k] * 2 - 1e-6));
        for (size_t j = 0; j < wanted; ++j, ++next) {
            ASSERT_LT(next, search.points.size()) << info;
            EXPECT_GE(search.points[next], search.trackStarts[k]) << "point " << next;
            EXPECT_LT(search.points[next], search.trackStarts[k + 1]) << "point " << next;
        }
    }
    EXPECT_EQ(next, search.points.size()) << info;
}

INSTANTIATE_TEST_SUITE_P(Discs, Conformance,
                         ::testing::Values(DiscCase{"Vcd30Pal", true, Norm::Pal}, DiscCase{"Vcd30Ntsc", true, Norm::Ntsc},
                                           DiscCase{"SvcdPal", false, Norm::Pal},
                                           DiscCase{"SvcdNtsc", false, Norm::Ntsc}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qorvcd::test
