// Discs built with --standard, read back from their BIN/CUE as independent
// readers read them: the system identifier, the volume dates and space, the
// INFO version, the end-of-file bit on the last sector of every file and the
// still coding of the stills. vcd-info and cd-info (when installed) must find
// nothing to say about these; the same script built without the switch keeps
// this format's own conventions. The C API's flag reaches the build.
#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>

#include "imagetools/inspect.h"
#include "platform/bytes.h"
#include "platform/log_list.h"
#include "session/qorvcd_c.h"
#include "tests/e2e/e2e_support.h"

namespace qorvcd::test {
namespace {

constexpr const char* kFfmpeg = "ffmpeg -nostdin -hide_banner -loglevel error -y ";
// SOURCE_DATE_EPOCH of the builds: 2025-11-24 16:00:00 UTC.
constexpr const char* kEpoch = "SOURCE_DATE_EPOCH=1764000000 ";
constexpr const char* kBuildDate = "2025112416000000";

const KindCase& Kind(const char* name) {
    for (const KindCase& kind : AllKinds()) {
        if (std::string(kind.name) == name) return kind;
    }
    return AllKinds().front();
}

// Two tracks (the second with a chapter one second in), a normal and a
// high-resolution still, a motion clip, a menu, and an MPEG and a text file
// among the author's files.
std::vector<std::string> StandardScript(const KindCase& kind) {
    const std::string p = kind.trackPrefix;
    const auto clause = [&](const std::string& text) {
        return kind.vcd30 ? std::string() : " " + text;
    };
    std::vector<std::string> s = {"[VCD]"};
    if (*kind.mode) s.push_back(std::string("MODE = ") + kind.mode);
    s.insert(s.end(),
             {"ALBUM = \"STANDARD\"",
              "VERSION = 1.0",
              "VOLUME = 1",
              "ANZVOL = 1",
              "[TRACK]",
              "MPEGTRACK " + p + "01 A.MPS" + clause("PAL AUDIO 2 TIME 3"),
              "MPEGTRACK " + p + "02 B.MPS" + clause("PAL AUDIO 2 TIME 2"),
              "[PBC]",
              "SEGMENT",
              "SEGMENU = MENU.MPS" + clause("AUDIO 0 VIDEO 20"),
              "SEGHIGH = HIGH.BMP" + clause("AUDIO 0 VIDEO 24"),
              "SEGCLIP = CLIP.MPS" + clause("AUDIO 1 VIDEO 28"),
              "ENDSEGMENT",
              "SELECTION MAIN PREVIOUS NONE NEXT NONE RETURN NONE DEFAULT PLAY1 TIMEOUT NONE WAIT "
              "10 LOOP 1 "
              "PLAYITEM SEGMENU ITEMS 1 PLAY1 2 PLAY2 3 CLIP 4 HIGH ENDITEMS ENDSELECT",
              "PLAYLIST PLAY1 PREVIOUS MAIN NEXT PLAY2 RETURN MAIN WAIT 0 AUTOWAIT 0 PLAY " + p +
                  "01 ENDPLAYLIST",
              "PLAYLIST PLAY2 PREVIOUS PLAY1 NEXT NONE RETURN MAIN WAIT 0 AUTOWAIT 0 PLAY " + p +
                  "02 FROM 1.0 TO 2 ENDPLAYLIST",
              "PLAYLIST CLIP PREVIOUS NONE NEXT NONE RETURN MAIN WAIT 5 AUTOWAIT 0 PLAY SEGCLIP "
              "ENDPLAYLIST",
              "PLAYLIST HIGH PREVIOUS NONE NEXT NONE RETURN MAIN WAIT 5 AUTOWAIT 0 PLAY SEGHIGH "
              "ENDPLAYLIST",
              "[ISO9660]",
              "VOLUME_ID = STANDARD",
              "[VCD30]",
              "FOLDER \\DOCS",
              "  MOVIE.MPG movie.mpg",
              "  README.TXT readme.txt",
              "ENDFOLDER",
              "ENDFILE"});
    return s;
}

// The BIN read as a reader reads it: raw 2352-byte sectors.
struct Bin {
    std::vector<uint8_t> bytes;
    uint32_t Sectors() const { return uint32_t(bytes.size() / 2352); }
    const uint8_t* Sector(uint32_t n) const { return bytes.data() + size_t(n) * 2352; }
    const uint8_t* Subheader(uint32_t n) const { return Sector(n) + 16; }
    const uint8_t* Data(uint32_t n) const { return Sector(n) + 24; }
    std::string Text(uint32_t sector, size_t offset, size_t size) const {
        return std::string(reinterpret_cast<const char*>(Data(sector) + offset), size);
    }
    uint32_t Le32(uint32_t sector, size_t offset) const {
        const uint8_t* p = Data(sector) + offset;
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    }
};

// The channel and coding pairs of a file's picture sectors (padding units,
// on channel 0 with a coding byte of their own, excepted).
std::set<std::pair<int, int>> VideoCodings(const Bin& bin, const ListedFile& file) {
    std::set<std::pair<int, int>> found;
    for (uint32_t s = file.extent; s < file.extent + file.size / 2048; ++s) {
        const uint8_t* sh = bin.Subheader(s);
        if ((sh[2] & 0x02) && sh[1] != 0 && (sh[3] == 0x0F || sh[3] == 0x1F || sh[3] == 0x3F))
            found.insert({sh[1], sh[3]});
    }
    return found;
}

class StandardDisc : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        if (const std::string tool = MissingTool({"ffmpeg"}); !tool.empty())
            GTEST_SKIP() << "missing " << tool;
        CopyKindMedia(kind, dir.Path());
        const std::string high = EnsureMedia(
            "e2e-still-704x576.bmp",
            std::string(kFfmpeg) +
                "-f lavfi -i smptebars=size=704x576 -frames:v 1 -c:v bmp -f image2 {out}");
        WriteBytes(dir / "HIGH.BMP", ReadBytes(high));
        WriteMenuStill();
        WriteBytes(dir / "movie.mpg", ReadBytes(dir / "CLIP.MPS"));
        WriteText(dir / "readme.txt", "A text among the author's files.\n");
        WriteScript(dir / "disc.txt", StandardScript(kind));
    }

    // The menu as a still of normal resolution that ends, as multiplexers
    // often leave a still, with a padding unit: its video bit and its coding
    // byte (that of a normal still, on channel 0) do not make it a picture.
    void WriteMenuStill() {
        const CommandResult still =
            RunCommand(Quote(CliPath()) + " still " + Quote(dir / "MENU.BMP") + " " +
                       Quote(dir / "MENU.MPS") + " --mode 2 --kind " + kind.packKind);
        ASSERT_EQ(still.exitCode, 0) << still.output;
        std::vector<uint8_t> units = ReadBytes(dir / "MENU.MPS");
        ASSERT_GE(units.size(), 2336u);
        std::vector<uint8_t> padding(units.end() - 2336, units.end());  // its pack header
        // An MPEG-2 pack header is 14 bytes and its stuffing, an MPEG-1 one 12.
        const uint8_t* pack = &padding[8];
        const size_t headerBytes = (pack[4] & 0xC0) == 0x40 ? 14 + (pack[13] & 0x07) : 12;
        std::fill(padding.begin() + long(8 + headerBytes), padding.end(), 0xFF);
        const uint8_t subheader[4] = {0x01, 0x00, 0x63, 0x1F};
        for (const size_t copy : {0, 4})
            std::copy(subheader, subheader + 4, padding.begin() + long(copy));
        const size_t packet = 8 + headerBytes;
        const uint8_t head[6] = {0x00, 0x00, 0x01, 0xBE, 0x00, 0x00};
        std::copy(head, head + 6, padding.begin() + long(packet));
        PutBe16(&padding[packet + 4], uint16_t(2324 - headerBytes - 6));
        units.insert(units.end(), padding.begin(), padding.end());
        WriteBytes(dir / "MENU.MPS", units);
    }

    // The inspector's conventions: name -> follows.
    std::map<std::string, bool> Conventions(const FlatImage& flat) {
        std::map<std::string, bool> out;
        for (size_t i = 0; i < ListSize(flat, "conventions.checks"); ++i) {
            const std::string key = "conventions.checks." + std::to_string(i) + ".";
            out[flat.at(key + "name")] = flat.at(key + "follows") == "true";
        }
        return out;
    }

    const KindCase& kind = Kind(GetParam());
    TempDir dir;
};

TEST_P(StandardDisc, IndependentReadersFindTheStandardsConventions) {
    const CommandResult build = BuildDisc(kind, dir / "disc.txt", dir / "disc.img", dir.Path(),
                                          "--standard --bin-cue", kEpoch);
    ASSERT_EQ(build.exitCode, 0) << build.output;
    const FlatImage flat = InspectFlat(dir / "disc.img");
    EXPECT_EQ(flat.at("conventions.verdict"), "standard");
    std::map<std::string, bool> all = {{"system identifier", true}, {"volume dates", true},
                                       {"INFO version", true},      {"volume space", true},
                                       {"end of file", true},       {"still coding", true},
                                       {"ENTRIES signature", true}, {"track folder", true}};
    if (!kind.vcd30) {
        all.insert({{"TRACKS.SVD layout", true}, {"scan offsets", true}, {"track playing times", true},
                    {"scan points", true}});
    }
    EXPECT_EQ(Conventions(flat), all);

    // The BIN itself: descriptor, INFO, and the sectors of every file.
    Bin bin{ReadBytes(dir / "disc.bin")};
    ASSERT_GT(bin.Sectors(), 300u);
    EXPECT_EQ(bin.Text(16, 8, 32), "CD-RTOS CD-BRIDGE" + std::string(15, ' '));
    EXPECT_EQ(bin.Le32(16, 80), bin.Sectors());
    EXPECT_EQ(bin.Text(16, 813, 17), kBuildDate + std::string(1, '\0'));
    EXPECT_EQ(bin.Text(16, 830, 17), kBuildDate + std::string(1, '\0'));
    EXPECT_EQ(bin.Data(150)[8], kind.vcd30 ? 2 : 1);  // VERSION = 1.0 in the script
    EXPECT_EQ(bin.Data(150)[9], 0);
    std::vector<ListedFile> items;
    size_t files = 0;
    for (const ListedFile& file : InspectedFiles(flat)) {
        if (file.folder || file.size == 0) continue;
        ++files;
        const uint32_t last = file.extent + (file.size + 2047) / 2048 - 1;
        ASSERT_LT(last, bin.Sectors()) << file.path;
        EXPECT_TRUE(bin.Subheader(last)[2] & 0x80) << file.path << " ends at " << last;
        if (file.path.rfind("/SEGMENT/", 0) == 0) items.push_back(file);
    }
    EXPECT_GE(files, 10u);        // control files, both tracks, three items, the author's two
    ASSERT_EQ(items.size(), 3u);  // in ID order: the clip, the high-resolution still, the menu
    EXPECT_EQ(VideoCodings(bin, items[0]), (std::set<std::pair<int, int>>{{1, 0x0F}}));
    EXPECT_EQ(VideoCodings(bin, items[1]), (std::set<std::pair<int, int>>{{3, 0x3F}}));
    EXPECT_EQ(VideoCodings(bin, items[2]), (std::set<std::pair<int, int>>{{2, 0x1F}}));

    if (HaveProgram("vcd-info")) {
        const std::string info =
            Output("vcd-info --no-ext-psd -c " + Quote(dir / "disc.cue") + " 2>&1");
        EXPECT_NE(info.find(kind.vcd30 ? "VCD 2.0 detected" : "SVCD detected"), std::string::npos)
            << info;
        EXPECT_EQ(Matches(info, kReaderComplaint).size(), 0u) << info;
        EXPECT_EQ(Matches(info, R"(\+\+ WARN: (.*))").size(), 0u) << info;
        const auto size = Matches(info, R"(ISO size: (\d+) blocks)");
        ASSERT_EQ(size.size(), 1u) << info;
        EXPECT_EQ(std::stoul(size[0][0]), bin.Sectors());
    }
    if (HaveProgram("cd-info")) {
        const std::string info =
            Output("cd-info --no-cddb --no-device-info -c " + Quote(dir / "disc.cue") + " 2>&1");
        EXPECT_NE(info.find("CD-ROM with CD-RTOS and ISO 9660 filesystem"), std::string::npos)
            << info;
        EXPECT_NE(info.find(kind.vcd30 ? "XA sectors   Video CD" : "Super Video CD (SVCD)"),
                  std::string::npos)
            << info;
        EXPECT_EQ(Matches(info, kReaderComplaint).size(), 0u) << info;
        EXPECT_EQ(Matches(info, R"(ISO 9660: (\d+) blocks)").at(0).at(0),
                  std::to_string(bin.Sectors()));
    }
    // A ripper stops each item at its end-of-file sector: what it rips is the
    // item as written, not the filler of its last segment.
    if (HaveProgram("vcdxrip")) {
        RunCommand("mkdir -p " + Quote(dir / "rip") + " && cd " + Quote(dir / "rip") +
                   " && vcdxrip -c ../disc.cue");
        for (size_t i = 0; i < items.size(); ++i) {
            const std::string rip =
                dir / Format("rip/item%04zu.mpg", std::stoul(items[i].path.substr(13, 4)));
            EXPECT_EQ(ReadBytes(rip).size(), size_t(items[i].size) / 2048 * 2324) << rip;
        }
    }
}

// Without the switch the same script keeps the format's own conventions,
// and the inspector tells each one apart.
TEST_P(StandardDisc, TheDefaultBuildKeepsItsOwnConventions) {
    const CommandResult build =
        BuildDisc(kind, dir / "disc.txt", dir / "disc.img", dir.Path(), "", kEpoch);
    ASSERT_EQ(build.exitCode, 0) << build.output;
    const FlatImage flat = InspectFlat(dir / "disc.img");
    // An SVCD script's VERSION = 1.0 happens to be the standard's; a Video
    // CD's ENTRIES signature and track folder are the standard's already.
    std::map<std::string, bool> own = {
        {"system identifier", false}, {"volume dates", false},       {"INFO version", !kind.vcd30},
        {"volume space", false},      {"end of file", false},        {"still coding", false},
        {"ENTRIES signature", kind.vcd30}, {"track folder", kind.vcd30}};
    if (!kind.vcd30) {
        own.insert({{"TRACKS.SVD layout", false}, {"scan offsets", false}, {"track playing times", false},
                    {"scan points", false}});
    }
    EXPECT_EQ(Conventions(flat), own);
    EXPECT_EQ(flat.at("conventions.verdict"), "mixed");
    EXPECT_EQ(NumberAt(flat, "volume.volumeSpaceSize"),
              NumberAt(flat, "tracks.2.startSector") + NumberAt(flat, "tracks.2.sectors") + 152);
}

INSTANTIATE_TEST_SUITE_P(Kinds, StandardDisc, ::testing::Values("Vcd30", "Svcd"));

// The C API's flag makes a standard disc; a flag the library does not know
// fails the call before anything is read or written.
TEST(StandardFlag, ReachesTheBuildAndAnUnknownFlagFailsWith2000) {
    TempDir dir;
    WriteText(dir / "disc.txt",
              "[VCD]\r\nMODE = SVCD\r\nALBUM = \"C API\"\r\nVERSION = "
              "1.0\r\n[TRACK]\r\n[PBC]\r\nENDFILE\r\n");
    const std::string settings = SourceDir() + "/settings/", script = dir / "disc.txt";
    std::vector<std::string> lines;
    const auto build = [&](const std::string& image, unsigned flags) {
        qorvcd_build_options o{};
        o.image_path = image.c_str();
        o.script_path = script.c_str();
        o.work_dir = dir.Path().c_str();
        o.settings_dir = settings.c_str();
        o.user = &lines;
        o.log = [](void* user, const char* line) {
            static_cast<std::vector<std::string>*>(user)->push_back(line);
        };
        lines.clear();
        return qorvcd_build_flags(&o, flags);
    };
    const auto systemId = [](const std::string& image) {
        DecodedImage decoded;
        std::string error;
        EXPECT_TRUE(DecodeImage(image, decoded, error)) << error;
        return decoded.volume ? PrimaryVolumeDescriptor::Text(decoded.volume->systemId)
                              : std::string();
    };
    ASSERT_EQ(build(dir / "standard.img", QORVCD_BUILD_STANDARD), 0);
    EXPECT_EQ(systemId(dir / "standard.img"), "CD-RTOS CD-BRIDGE");
    ASSERT_EQ(build(dir / "own.img", 0), 0);
    EXPECT_EQ(systemId(dir / "own.img"), "S_VCD30 DISC of Dovrane");

    EXPECT_EQ(build(dir / "unknown.img", QORVCD_BUILD_STANDARD | 0x100u), 2000);
    EXPECT_EQ(build(dir / "unknown.img", 0x80000000u), 2000);
    EXPECT_FALSE(FileExists(dir / "unknown.img"));
    EXPECT_TRUE(lines.empty());
}

}  // namespace
}  // namespace qorvcd::test
