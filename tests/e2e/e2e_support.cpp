#include "tests/e2e/e2e_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <sstream>

#include "imagetools/inspect.h"

namespace qorvcd::test {

const std::vector<KindCase>& AllKinds() {
    static const std::vector<KindCase> kinds = {
        {"Vcd30", "", "vcd30", "MUSIC", "/VCD/INFO.VCD", "VCD_DATA", true},
        {"Svcd", "SVCD", "svcd", "AVSEQ", "/SVCD/INFO.SVD", "SVCDDATA", false},
        {"Cvd", "CVD", "cvd", "AVSEQ", "/HQVCD/INFO.VCD", "", false},
        {"SuperVcd", "SUPERVCD", "supervcd", "AVSEQ", "/SVCD/INFO.SVD", "VCD_DATA", false},
    };
    return kinds;
}

std::string Quote(const std::string& text) { return "'" + text + "'"; }

namespace {

constexpr const char* kFfmpeg = "ffmpeg -nostdin -hide_banner -loglevel error -y ";

// Picture size, ffmpeg target, filters after the picture source and further
// options of a kind's streams. MPEG-2 streams get noise so they run near the
// disc's data rate, as real ones do (the playing time is measured a fixed
// number of units before the end).
struct StreamShape {
    const char *size, *target, *filter, *options;
};
StreamShape ShapeOf(const KindCase& kind) {
    if (kind.vcd30) return {"352x288", "pal-vcd", "", ""};
    const char* noise = ",noise=alls=20:allf=t+u";
    if (std::string(kind.packKind) == "cvd") return {"352x576", "pal-svcd", noise, " -s 352x576 -ac 2"};
    return {"480x576", "pal-svcd", noise, " -ac 2"};
}

std::string Stream(const KindCase& kind, const std::string& tag, int seconds, int tone) {
    const StreamShape shape = ShapeOf(kind);
    const std::string filter = std::string("testsrc2=size=") + shape.size + ":rate=25" + shape.filter;
    return EnsureMedia(std::string("e2e-") + shape.size + "-" + shape.target + "-" + tag + ".mpg",
                       kFfmpeg + std::string("-f lavfi -i ") + Quote(filter) + " -f lavfi -i sine=frequency=" +
                           std::to_string(tone) + ":sample_rate=44100 -t " + std::to_string(seconds) + shape.options +
                           " -target " + shape.target + " {out}");
}

std::string Packed(const KindCase& kind, const std::string& stream, const std::string& tag) {
    return EnsureMedia(std::string("e2e-") + kind.packKind + "-" + tag + ".mps",
                       Quote(CliPath()) + " pack " + Quote(stream) + " {out} --kind " + kind.packKind);
}

std::string Bitmap(const KindCase& kind) {
    const char* size = ShapeOf(kind).size;
    return EnsureMedia(std::string("e2e-menu-") + size + ".bmp",
                       kFfmpeg + std::string("-f lavfi -i smptebars=size=") + size + " -frames:v 1 -c:v bmp -f image2 {out}");
}

// Flattens the inspector's walk into "a.b.0.c" = value.
class FlatVisitor : public InspectVisitor {
public:
    explicit FlatVisitor(FlatImage& out) : out_(out) {}
    void BeginObject(std::string_view name) override { Push(name); }
    void EndObject() override { levels_.pop_back(); }
    void BeginList(std::string_view name) override { Push(name); }
    void EndList() override {  // "key#" holds the list's size
        out_[levels_.back().key + "#"] = std::to_string(levels_.back().nextIndex);
        levels_.pop_back();
    }
    void Text(std::string_view name, std::string_view value) override { out_[KeyOf(name)] = std::string(value); }
    void Number(std::string_view name, int64_t value) override { out_[KeyOf(name)] = std::to_string(value); }
    void Flag(std::string_view name, bool value) override { out_[KeyOf(name)] = value ? "true" : "false"; }

private:
    struct Level { std::string key; int nextIndex = 0; };
    std::string KeyOf(std::string_view name) {
        std::string key = levels_.empty() ? "" : levels_.back().key;
        const std::string part = name.empty() && !levels_.empty() ? std::to_string(levels_.back().nextIndex++)
                                                                 : std::string(name);
        if (!key.empty() && !part.empty()) key += ".";
        return key + part;
    }
    void Push(std::string_view name) { levels_.push_back({levels_.empty() && name.empty() ? "" : KeyOf(name)}); }

    FlatImage& out_;
    std::vector<Level> levels_;
};

}  // namespace

std::vector<std::string> CopyKindMedia(const KindCase& kind, const std::string& folder) {
    const std::string a = Stream(kind, "a", 3, 440), b = Stream(kind, "b", 2, 660), clip = Stream(kind, "clip", 1, 880);
    const std::pair<std::string, std::string> copies[] = {{Packed(kind, a, "a"), "A.MPS"}, {Packed(kind, b, "b"), "B.MPS"},
                                                          {Packed(kind, clip, "clip"), "CLIP.MPS"}, {Bitmap(kind), "MENU.BMP"}};
    for (const auto& [from, to] : copies) WriteBytes(folder + to, ReadBytes(from));
    return {a, b};
}

std::vector<std::string> WholeDiscScript(const KindCase& kind) {
    const std::string p = kind.trackPrefix;
    const auto clause = [&](const std::string& text) { return kind.vcd30 ? std::string() : " " + text; };
    std::vector<std::string> s = {"[VCD]"};
    if (*kind.mode) s.push_back(std::string("MODE = ") + kind.mode);
    s.insert(s.end(), {
        "ALBUM = \"WHOLE DISC\"", "VERSION = 2.0", "VOLUME = 1", "ANZVOL = 1", "[TRACK]",
        "MPEGTRACK " + p + "01 A.MPS" + clause("PAL AUDIO 2 TIME 3"),
        "MPEGTRACK " + p + "02 B.MPS" + clause("PAL AUDIO 2 TIME 2"),
        "[PBC]", "SEGMENT", "SEGMENU = MENU.BMP" + clause("AUDIO 0 VIDEO 20"),
        "SEGCLIP = CLIP.MPS" + clause("AUDIO 1 VIDEO 28"), "ENDSEGMENT",
        "SELECTION MAIN PREVIOUS NONE NEXT NONE RETURN NONE DEFAULT PLAY1 TIMEOUT NONE WAIT 10 LOOP 1 "
        "PLAYITEM SEGMENU ITEMS 1 PLAY1 2 PLAY2 3 CLIP ENDITEMS ENDSELECT",
        "PLAYLIST PLAY1 PREVIOUS MAIN NEXT PLAY2 RETURN MAIN WAIT 0 AUTOWAIT 0 PLAY " + p + "01 ENDPLAYLIST",
        "PLAYLIST PLAY2 PREVIOUS PLAY1 NEXT NONE RETURN MAIN WAIT 0 AUTOWAIT 0 PLAY " + p + "02 FROM 1.0 TO 2 ENDPLAYLIST",
        "PLAYLIST CLIP PREVIOUS NONE NEXT NONE RETURN MAIN WAIT 5 AUTOWAIT 0 PLAY SEGCLIP ENDPLAYLIST",
        "[ISO9660]", "VOLUME_ID = WHOLE_DISC"});
    return s;
}

void WriteWholeDiscWithFiles(const KindCase& kind, const std::string& folder) {
    const std::string dir = folder + "/";
    RunCommand("mkdir -p " + Quote(dir + "title/comp"));
    WriteText(dir + "title/index.htm", "<html></html>");
    WriteText(dir + "title/comp/HELP.CHM", "help pages");
    WriteText(dir + "readme.txt", "A plain text file on the disc.\n");
    std::vector<std::string> script = WholeDiscScript(kind);
    script.insert(script.end(), {"[VCD30]", "FOLDER \\DOCS", "  README.TXT readme.txt", "ENDFOLDER"});
    if (*kind.appFolder) script.insert(script.end(), {"TITLEHOMEDIR = title", "HOMEPAGE = index.htm"});
    script.push_back("ENDFILE");
    WriteScript(dir + "disc.txt", script);
}

void WriteScript(const std::string& path, const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    WriteText(path, text);
}

CommandResult BuildDisc(const KindCase& kind, const std::string& script, const std::string& image,
                        const std::string& folder, const std::string& extraOptions,
                        const std::string& environment) {
    const std::string work = Quote(folder + "work");
    return RunCommand("mkdir -p " + work + " && " + environment + Quote(CliPath()) + " build " + Quote(script) + " -o " +
                      Quote(image) + " --work-dir " + work + (kind.vcd30 ? " --vcd30 " : " ") + extraOptions);
}

FlatImage InspectFlat(const std::string& image) {
    FlatImage flat;
    DecodedImage decoded;
    std::string error;
    FlatVisitor visitor(flat);
    EXPECT_TRUE(DecodeImage(image, decoded, error) && VisitImage(decoded, visitor) && decoded.errors.empty())
        << image << ": " << error;
    return flat;
}

size_t ListSize(const FlatImage& flat, const std::string& key) {
    return flat.count(key + "#") ? std::stoul(flat.at(key + "#")) : 0;
}

int64_t NumberAt(const FlatImage& flat, const std::string& key) {
    const auto it = flat.find(key);
    EXPECT_TRUE(it != flat.end()) << "inspector gave no " << key;
    return it == flat.end() ? -1 : std::stoll(it->second);
}

std::vector<std::vector<std::string>> Matches(const std::string& output, const std::string& pattern) {
    std::vector<std::vector<std::string>> found;
    const std::regex re(pattern);
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        if (std::regex_search(line, m, re)) found.emplace_back(m.begin() + 1, m.end());
    }
    return found;
}

std::set<std::string> ReaderWarnings(const std::string& output) {
    std::set<std::string> warnings;
    for (const auto& m : Matches(output, R"(^\+\+ WARN: (.*)$)")) warnings.insert(m[0]);
    return warnings;
}

std::vector<ListedFile> ParseIsoListing(const std::string& output) {
    std::vector<ListedFile> files;
    const std::regex header(R"(^\s*((?:/[^/:]+)*)/?:\s*$)");
    const std::regex entry(R"(\s([d-])[-0-9a-z]{6,}\s.*\[LSN\s+(\d+)\]\s+(\d+)(?:\s+\(\s*(\d+)\))?.*\s(\S+)\s*$)");
    std::string folder;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        if (std::regex_match(line, m, header)) folder = m[1].str() + "/";
        if (!std::regex_search(line, m, entry)) continue;
        const std::string name = m[5].str().substr(0, m[5].str().find(';'));
        if (name == "." || name == "..") continue;
        ListedFile f{folder + name, m[1] == "d", uint32_t(std::stoul(m[2])), uint32_t(std::stoul(m[4].matched ? m[4] : m[3]))};
        std::transform(f.path.begin(), f.path.end(), f.path.begin(), [](unsigned char c) { return std::toupper(c); });
        files.push_back(f);
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<ListedFile> InspectedFiles(const FlatImage& flat) {
    std::vector<ListedFile> files;
    for (size_t i = 0, n = ListSize(flat, "files"); i < n; ++i) {
        const std::string key = "files." + std::to_string(i) + ".";
        files.push_back({flat.at(key + "path"), flat.at(key + "folder") == "true", uint32_t(NumberAt(flat, key + "extent")),
                         uint32_t(NumberAt(flat, key + "size"))});
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::string MissingTool(const std::vector<std::string>& programs) {
    for (const std::string& p : programs)
        if (!HaveProgram(p)) return p;
    return FileExists(CliPath()) ? "" : CliPath();
}

std::string Output(const std::string& commandLine) {
    const CommandResult r = RunCommand(commandLine);
    EXPECT_EQ(r.exitCode, 0) << commandLine << "\n" << r.output;
    return r.output;
}

}  // namespace qorvcd::test
