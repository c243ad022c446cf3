// Golden discs: one whole disc per kind (two tracks, a still menu and a clip,
// play lists, listed files and, where the kind has them, application files),
// built with a fixed clock; the SHA-256 of its image, its BIN and its log must
// match the recorded ones. A change meant to alter the output re-records them
// with QORVCD_RECORD_GOLDEN=1 (and says why in its commit).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "tests/e2e/e2e_support.h"

namespace qorvcd::test {
namespace {

const std::string& GoldenFile() {
    static const std::string path = SourceDir() + "/tests/e2e/golden_hashes.txt";
    return path;
}

std::string Sha256(const std::string& path) {
    const std::string out = Output("sha256sum " + Quote(path));
    return out.substr(0, out.find(' '));
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

std::string Lower(std::string text) {
    for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The log with what differs from run to run (the folders) replaced by names.
std::string StableLog(std::string log, const std::string& folder) {
    log = Replace(Replace(log, folder, "<dir>/"), Lower(folder), "<dir>/");
    log = Replace(log, std::filesystem::path(CliPath()).parent_path().string() + "/", "<exe>/");
    const std::string prefix = "qorvcd-";
    for (size_t at = log.find(prefix); at != std::string::npos; at = log.find(prefix, at + 1)) {
        log.replace(at + prefix.size(), 6, "XXXXXX");
    }
    return log;
}

// "kind what hash" lines.
std::map<std::string, std::string> ReadGolden() {
    std::map<std::string, std::string> hashes;
    std::ifstream in(GoldenFile());
    std::string kind, what, hash;
    while (in >> kind >> what >> hash) hashes[kind + " " + what] = hash;
    return hashes;
}

void RecordGolden(const std::string& kind, const std::map<std::string, std::string>& measured) {
    std::map<std::string, std::string> all = ReadGolden();
    for (const auto& [what, hash] : measured) all[kind + " " + what] = hash;
    std::ofstream out(GoldenFile());
    for (const auto& [key, hash] : all) out << key << " " << hash << "\n";
}

class GoldenDisc : public ::testing::TestWithParam<KindCase> {};

TEST_P(GoldenDisc, ImageBinAndLogMatchTheRecordedHashes) {
    if (const std::string tool = MissingTool({"ffmpeg", "sha256sum"}); !tool.empty()) GTEST_SKIP() << "missing " << tool;
    const KindCase& kind = GetParam();
    TempDir dir;
    const std::vector<std::string> sources = CopyKindMedia(kind, dir.Path());
    WriteWholeDiscWithFiles(kind, dir.Path());

    const CommandResult build =
        BuildDisc(kind, dir / "disc.txt", dir / "disc.img", dir.Path(), "--bin-cue", "SOURCE_DATE_EPOCH=1000000 ");
    ASSERT_EQ(build.exitCode, 0) << build.output;
    WriteText(dir / "log.txt", StableLog(build.output, dir.Path()));

    // The inputs come from ffmpeg: when another ffmpeg makes other bytes, the
    // recorded outputs say nothing about this build.
    const std::map<std::string, std::string> measured = {
        {"media", Sha256(sources[0]).substr(0, 16) + Sha256(sources[1]).substr(0, 16) +
                      Sha256(dir / "MENU.BMP").substr(0, 16)},
        {"image", Sha256(dir / "disc.img")},
        {"bin", Sha256(dir / "disc.bin")},
        {"log", Sha256(dir / "log.txt")},
    };
    if (const char* record = std::getenv("QORVCD_RECORD_GOLDEN"); record && *record == '1') {
        RecordGolden(kind.name, measured);
        GTEST_SKIP() << "recorded into " << GoldenFile();
    }
    const std::map<std::string, std::string> golden = ReadGolden();
    const std::string name = kind.name;
    ASSERT_TRUE(golden.count(name + " media")) << "nothing recorded for " << name << "; run with QORVCD_RECORD_GOLDEN=1";
    if (golden.at(name + " media") != measured.at("media")) {
        GTEST_SKIP() << "this ffmpeg makes other test media than the recording's; re-record with QORVCD_RECORD_GOLDEN=1";
    }
    for (const char* what : {"image", "bin", "log"}) {
        EXPECT_EQ(measured.at(what), golden.at(name + " " + what))
            << what << " of the " << name << " disc moved; its log:\n" << ReadText(dir / "log.txt");
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, GoldenDisc, ::testing::ValuesIn(AllKinds()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qorvcd::test
