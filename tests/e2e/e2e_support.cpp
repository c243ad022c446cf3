#include "tests/e2e/e2e_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <sstream>

#include "image/inspect.h"

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

// Picture size and ffmpeg target of a kind's streams. MPEG-2 streams get
// noise so they run near the disc's data rate, as real ones do (the playing
// time is measured a fixed number of units before the end).
struct StreamShape {
    const char* size;
    const char* target;
    const char* extra;
};
StreamShape ShapeOf(const KindCase& kind) {
    if (kind.vcd30) return {"352x288", "pal-vcd", ""};
    if (std::string(kind.packKind) == "cvd") return {"352x576", "pal-svcd", ",noise=alls=20:allf=t+u -s 352x576 -ac 2"};
    return {"480x576", "pal-svcd", ",noise=alls=20:allf=t+u -ac 2"};
}

std::string Stream(const KindCase& kind, const std::string& tag, int seconds, int tone) {
    const StreamShape shape = ShapeOf(kind);
    std::string extra = shape.extra;
    std::string filter = std::string("testsrc2=size=") + shape.size + ":rate=25";
    if (!extra.empty()) {  // the filter part of `extra` goes with the picture source
        const size_t space = extra.find(' ');
        filter += extra.substr(0, space);
        extra = extra.substr(space);
    }
    const std::string name = std::string("e2e-") + shape.size + "-" + shape.target + "-" + tag + ".mpg";
    return EnsureMedia(name, kFfmpeg + std::string("-f lavfi -i ") + Quote(filter) +
                                 " -f lavfi -i sine=frequency=" + std::to_string(tone) +
                                 ":sample_rate=44100 -t " + std::to_string(seconds) + extra +
                                 " -target " + shape.target + " {out}");
}

std::string Packed(const KindCase& kind, const std::string& stream, const std::string& tag) {
    return EnsureMedia(std::string("e2e-") + kind.packKind + "-" + tag + ".mps",
                       Quote(CliPath()) + " pack " + Quote(stream) + " {out} --kind " + kind.packKind);
}

std::string Bitmap(const KindCase& kind) {
    const char* size = kind.vcd30 ? "352x288" : ShapeOf(kind).size;
    return EnsureMedia(std::string("e2e-menu-") + size + ".bmp",
                       kFfmpeg + std::string("-f lavfi -i smptebars=size=") + size + " -frames:v 1 -c:v bmp -f image2 {out}");
}

}  // namespace

std::vector<std::string> CopyKindMedia(const KindCase& kind, const std::string& folder) {
    const std::string a = Stream(kind, "a", 3, 440);
    const std::string b = Stream(kind, "b", 2, 660);
    const std::string clip = Stream(kind, "clip", 1, 880);
    const std::pair<std::string, std::string> copies[] = {{Packed(kind, a, "a"), "A.MPS"},
                                                          {Packed(kind, b, "b"), "B.MPS"},
                                                          {Packed(kind, clip, "clip"), "CLIP.MPS"},
                                                          {Bitmap(kind), "MENU.BMP"}};
    for (const auto& [from, to] : copies) WriteBytes(folder + to, ReadBytes(from));
    return {a, b};
}

void WriteScript(const std::string& path, const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    WriteText(path, text);
}

CommandResult BuildDisc(const KindCase& kind, const std::string& script, const std::string& image,
                        const std::string& folder, const std::string& extraOptions,
                        const std::string& environment) {
    const std::string work = folder + "work";
    RunCommand("mkdir -p " + Quote(work));
    return RunCommand(environment + Quote(CliPath()) + " build " + Quote(script) + " -o " + Quote(image) +
                      " --work-dir " + Quote(work) + (kind.vcd30 ? " --vcd30 " : " ") + extraOptions);
}

namespace {

// Flattens the inspector's walk into "a.b.0.c" = value.
class FlatVisitor : public InspectVisitor {
public:
    explicit FlatVisitor(FlatImage& out) : out_(out) {}
    void BeginObject(std::string_view name) override { Push(name); }
    void EndObject() override { Pop(); }
    void BeginList(std::string_view name) override { Push(name); }
    void EndList() override { Pop(); }
    void Text(std::string_view name, std::string_view value) override { out_[KeyOf(name)] = std::string(value); }
    void Number(std::string_view name, int64_t value) override { out_[KeyOf(name)] = std::to_string(value); }
    void Flag(std::string_view name, bool value) override { out_[KeyOf(name)] = value ? "true" : "false"; }

private:
    struct Level {
        std::string key;
        int nextIndex = 0;
    };
    std::string KeyOf(std::string_view name) {
        std::string key = levels_.empty() ? "" : levels_.back().key;
        const std::string part = name.empty() && !levels_.empty() ? std::to_string(levels_.back().nextIndex++)
                                                                 : std::string(name);
        if (!key.empty() && !part.empty()) key += ".";
        return key + part;
    }
    void Push(std::string_view name) { levels_.push_back({levels_.empty() && name.empty() ? "" : KeyOf(name)}); }
    void Pop() { levels_.pop_back(); }

    FlatImage& out_;
    std::vector<Level> levels_;
};

}  // namespace

FlatImage InspectFlat(const std::string& image, bool* decodedAll) {
    FlatImage flat;
    DecodedImage decoded;
    std::string error;
    if (!DecodeImage(image, decoded, error)) {
        ADD_FAILURE() << image << ": " << error;
        if (decodedAll) *decodedAll = false;
        return flat;
    }
    FlatVisitor visitor(flat);
    const bool ok = VisitImage(decoded, visitor);
    if (decodedAll) *decodedAll = ok && decoded.errors.empty();
    return flat;
}

size_t ListSize(const FlatImage& flat, const std::string& key) {
    const auto present = [&](const std::string& element) {
        const auto it = flat.lower_bound(element);
        return it != flat.end() && (it->first == element || it->first.rfind(element + ".", 0) == 0);
    };
    size_t n = 0;
    while (present(key + "." + std::to_string(n))) ++n;
    return n;
}

int64_t NumberAt(const FlatImage& flat, const std::string& key) {
    const auto it = flat.find(key);
    if (it == flat.end()) {
        ADD_FAILURE() << "inspector gave no " << key;
        return -1;
    }
    return std::stoll(it->second);
}

std::vector<std::vector<std::string>> Matches(const std::string& output, const std::string& pattern) {
    std::vector<std::vector<std::string>> found;
    const std::regex re(pattern);
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        if (!std::regex_search(line, m, re)) continue;
        std::vector<std::string> groups;
        for (size_t i = 1; i < m.size(); ++i) groups.push_back(m[i]);
        found.push_back(groups);
    }
    return found;
}

std::vector<ListedFile> ParseIsoListing(const std::string& output) {
    std::vector<ListedFile> files;
    const std::regex header(R"(^\s*(/.*):\s*$)");
    const std::regex entry(R"(\s([d-])[-0-9a-z]{6,}\s.*\[LSN\s+(\d+)\]\s+(\d+)(?:\s+\(\s*(\d+)\))?.*\s(\S+)\s*$)");
    std::string folder;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        if (std::regex_match(line, m, header)) {
            folder = m[1];
            if (folder.back() != '/') folder += '/';
            continue;
        }
        if (!std::regex_search(line, m, entry)) continue;
        std::string name = m[5];
        if (name == "." || name == "..") continue;
        if (const size_t semi = name.find(';'); semi != std::string::npos) name.erase(semi);
        ListedFile f;
        f.path = folder + name;
        std::transform(f.path.begin(), f.path.end(), f.path.begin(), [](unsigned char c) { return std::toupper(c); });
        f.folder = m[1] == "d";
        f.extent = uint32_t(std::stoul(m[2]));
        f.size = uint32_t(std::stoul(m[4].matched ? m[4].str() : m[3].str()));
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

bool HaveTools(const std::vector<std::string>& programs, std::string& missing) {
    for (const std::string& p : programs)
        if (!HaveProgram(p)) {
            missing = p;
            return false;
        }
    return FileExists(CliPath()) || (missing = CliPath(), false);
}

}  // namespace qorvcd::test
