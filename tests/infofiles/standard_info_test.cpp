// INFO on a standard disc: the version and profile of the kind's standard,
// whatever VERSION says, and the still resolution a content byte names.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "core/build_context.h"
#include "infofiles/info_file_names.h"
#include "infofiles/info_files.h"
#include "infofiles/info_record.h"
#include "platform/log_list.h"
#include "script/script_reader.h"
#include "tests/support/test_support.h"

namespace qorvcd {
namespace {

// INFO's version and profile bytes, and the album bytes after them, of a
// build of `script`.
struct Written {
    int result = -1;
    std::vector<uint8_t> head;  // bytes 8 to 29
};

Written WriteInfoOf(DiscKind kind, bool standard, const std::string& script) {
    test::TempDir dir;
    LogList log;
    BuildContext ctx;
    ctx.log = &log;
    ctx.kind = kind;
    ctx.standard = standard;
    ctx.workFolder = dir.Path();
    test::WriteText(dir / "disc.scr", script);
    ScriptReader reader;
    EXPECT_TRUE(reader.OpenScript(dir / "disc.scr"));
    InfoFilesInput input;
    std::memcpy(input.entryId.data(), InfoFileNamesOf(kind).entriesId, 8);
    Written out;
    out.result = WriteInfoAndEntries(reader, ctx, input);
    const std::vector<uint8_t> info = test::ReadBytes(dir / InfoFileNamesOf(kind).infoWorkFile);
    if (info.size() >= 30) out.head.assign(info.begin() + 8, info.begin() + 30);
    return out;
}

std::vector<uint8_t> Head(uint8_t version, uint8_t profile, const std::string& album,
                          uint8_t volume, uint8_t count) {
    std::vector<uint8_t> head(22, ' ');  // version, profile, 16 album bytes, two 16-bit counts
    head[0] = version;
    head[1] = profile;
    std::copy(album.begin(), album.end(), head.begin() + 2);
    head[18] = 0;
    head[19] = volume;
    head[20] = 0;
    head[21] = count;
    return head;
}

TEST(StandardInfo, VersionAndProfileOfTheKindsStandardWhateverVersionSays) {
    const std::string keys = "ALBUM = \"MY ALBUM\"\r\nVOLUME = 1\r\nANZVOL = 2\r\n";
    const struct {
        DiscKind kind;
        const char* version;  // the script's VERSION, or none
        uint8_t standardVersion, standardProfile;
    } cases[] = {
        {DiscKind::Vcd30, "1.0", 2, 0},  // a Video CD with menus is never a "VCD 1.0"
        {DiscKind::Vcd30, nullptr, 2, 0},  {DiscKind::Svcd, "2.0", 1, 0},
        {DiscKind::SuperVcd, "3.1", 1, 0}, {DiscKind::Cvd, "1.0", 1, 1},  // CVD's own version
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.kind));
        const std::string script =
            "[VCD]\r\n" + keys + (c.version ? "VERSION = " + std::string(c.version) + "\r\n" : "");
        const Written standard = WriteInfoOf(c.kind, true, script);
        EXPECT_EQ(standard.result, kOk);
        EXPECT_EQ(standard.head, Head(c.standardVersion, c.standardProfile, "MY ALBUM", 1, 2));
        // The default keeps what VERSION gives (0 without the key).
        const Written own = WriteInfoOf(c.kind, false, script);
        const uint8_t version = c.version ? uint8_t(c.version[0] - '0') : 0;
        const uint8_t profile = c.version ? uint8_t(c.version[2] - '0') : 0;
        EXPECT_EQ(own.head, Head(version, profile, "MY ALBUM", 1, 2));
    }
    // VERSION is still read and checked on a standard disc.
    EXPECT_EQ(WriteInfoOf(DiscKind::Vcd30, true, "[VCD]\r\nVERSION = 300.0\r\n").result,
              kStepFailed);
    EXPECT_EQ(StandardInfoVersion(DiscKind::Vcd30), (InfoVersion{2, 0}));
}

TEST(StandardInfo, ContentBytesNameTheStillResolution) {
    const std::pair<uint8_t, StillResolution> cases[] = {
        {0x04, StillResolution::Normal},    // NTSC still
        {0x08, StillResolution::High},      // NTSC high-resolution still
        {0x0C, StillResolution::NotStill},  // NTSC motion
        {0x14, StillResolution::Normal},    // PAL still
        {0x19, StillResolution::High},      // PAL high-resolution still, one audio channel
        {0x1E, StillResolution::NotStill},  // PAL motion, stereo
        {0x34, StillResolution::Normal},    // a further segment of a still
        {0x96, StillResolution::Normal},    // SVCD audio code 6 on a PAL still
        {0x00, StillResolution::NotStill},  // no video
        {0x10, StillResolution::NotStill},  // video type 4 is reserved
    };
    for (const auto& [content, resolution] : cases)
        EXPECT_EQ(StillResolutionOf(content), resolution) << int(content);
    EXPECT_EQ(StillResolutionOf(SegmentContentByte(6, 0x14)), StillResolution::Normal);
}

}  // namespace
}  // namespace qorvcd
