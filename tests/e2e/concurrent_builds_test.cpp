// Builds that run at the same time — on threads of one host through the C
// interface, or as separate `qorvcd build` processes sharing one work folder —
// must give byte for byte the images of the same builds run one at a time,
// keep their logs apart and leave nothing in the work folder.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <latch>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/results.h"
#include "session/qorvcd_c.h"
#include "tests/e2e/e2e_support.h"

namespace qorvcd::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kEpoch = "1772668800";  // 2026-03-05 00:00:00 UTC

// Fixes the clock through SOURCE_DATE_EPOCH for one test. The environment is
// the process's own: it is set before any build thread starts and restored
// after the last one has ended, never while a build runs.
class ScopedSourceDateEpoch {
public:
    explicit ScopedSourceDateEpoch(const char* value) {
        if (const char* old = std::getenv("SOURCE_DATE_EPOCH")) old_ = old;
        ::setenv("SOURCE_DATE_EPOCH", value, 1);
    }
    ~ScopedSourceDateEpoch() {
        if (old_) ::setenv("SOURCE_DATE_EPOCH", old_->c_str(), 1);
        else ::unsetenv("SOURCE_DATE_EPOCH");
    }

private:
    std::optional<std::string> old_;
};

// One disc of each kind, each from its own folder, media and script.
struct Disc {
    KindCase kind;
    std::string folder;  // ends with '/'
    std::string Script() const { return folder + "disc.txt"; }
};

struct LoggedBuild {
    int result = -99;
    std::vector<std::string> lines;
};

LoggedBuild BuildThroughC(const Disc& disc, const std::string& image, const std::string& workDir) {
    LoggedBuild out;
    const std::string script = disc.Script(), settings = SourceDir() + "/settings/";
    qorvcd_build_options options{};
    options.image_path = image.c_str();
    options.script_path = script.c_str();
    options.fallback_vcd30 = disc.kind.vcd30 ? 1 : 0;
    options.work_dir = workDir.c_str();
    options.settings_dir = settings.c_str();
    options.user = &out.lines;
    options.log = [](void* user, const char* line) { static_cast<std::vector<std::string>*>(user)->push_back(line); };
    out.result = qorvcd_build(&options);
    return out;
}

// Whatever a finished build left under the work folder: nothing but the
// system folder's TEMP, empty, may be there.
std::vector<std::string> LeftInWorkFolder(const std::string& workDir) {
    std::vector<std::string> left;
    for (const auto& entry : fs::recursive_directory_iterator(workDir))
        if (entry.path() != fs::path(workDir) / "TEMP") left.push_back(entry.path().string());
    return left;
}

std::string Lower(std::string text) {
    for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

class ConcurrentBuilds : public ::testing::Test {
protected:
    void SetUp() override {
        if (const std::string tool = MissingTool({"ffmpeg"}); !tool.empty()) GTEST_SKIP() << "missing " << tool;
        for (const KindCase& kind : AllKinds()) {
            Disc disc{kind, dir / (std::string(kind.name) + "/")};
            fs::create_directories(disc.folder);
            CopyKindMedia(kind, disc.folder);
            WriteScript(disc.Script(), WholeDiscScript(kind));
            discs.push_back(disc);
        }
        ASSERT_GE(discs.size(), 4u);
        fs::create_directories(dir / "work-alone");
        fs::create_directories(dir / "work-shared");
    }

    // Each image built at once must be the image built alone, byte for byte.
    void ExpectSameImages(const std::string& alone, const std::string& together) {
        for (const Disc& disc : discs) {
            const std::vector<uint8_t> a = ReadBytes(disc.folder + alone), b = ReadBytes(disc.folder + together);
            ASSERT_FALSE(a.empty()) << disc.kind.name;
            EXPECT_EQ(a.size(), b.size()) << disc.kind.name;
            EXPECT_TRUE(a == b) << disc.kind.name << ": the image built beside others differs";
        }
    }

    TempDir dir;
    std::vector<Disc> discs;
};

TEST_F(ConcurrentBuilds, ThreadsThroughTheCInterfaceGiveTheImagesOfBuildsOneAtATime) {
    const ScopedSourceDateEpoch epoch(kEpoch);
    for (const Disc& disc : discs) {
        const LoggedBuild alone = BuildThroughC(disc, disc.folder + "alone.img", dir / "work-alone");
        ASSERT_EQ(alone.result, 0) << disc.kind.name << ": " << (alone.lines.empty() ? "" : alone.lines.back());
    }

    std::vector<LoggedBuild> together(discs.size());
    {
        std::latch start(std::ptrdiff_t(discs.size()));
        std::vector<std::jthread> threads;
        for (size_t i = 0; i < discs.size(); ++i)
            threads.emplace_back([&, i] {
                start.arrive_and_wait();  // all four begin at once
                together[i] = BuildThroughC(discs[i], discs[i].folder + "together.img", dir / "work-shared");
            });
    }

    for (size_t i = 0; i < discs.size(); ++i) {
        const LoggedBuild& build = together[i];
        ASSERT_EQ(build.result, 0) << discs[i].kind.name << ": " << (build.lines.empty() ? "" : build.lines.back());
        // Each log holds its own build's lines and no other's.
        for (size_t j = 0; j < discs.size(); ++j) {
            if (j == i) continue;
            const std::string other = Lower(discs[j].folder);
            for (const std::string& line : build.lines)
                EXPECT_EQ(Lower(line).find(other), std::string::npos) << discs[i].kind.name << "'s log: " << line;
        }
    }
    ExpectSameImages("alone.img", "together.img");
    EXPECT_TRUE(LeftInWorkFolder(dir / "work-shared").empty()) << LeftInWorkFolder(dir / "work-shared")[0];
}

// The host's cancel flag, set from the host's thread while the build runs on
// another. The build thread's first progress report waits until it sees the
// flag set, through a relaxed read that orders nothing else: the build must
// take the request itself, atomically, and stop.
struct CancelFromAnotherThread {
    std::vector<std::string> lines;
    std::latch reporting{1};
    bool waited = false;
    int flag = 0;
};

TEST_F(ConcurrentBuilds, ACancelSetFromTheHostsThreadStopsTheBuild) {
    const Disc& disc = discs[1];
    const std::string image = disc.folder + "cancelled.img", work = dir / "work-shared";
    const std::string script = disc.Script(), settings = SourceDir() + "/settings/";
    CancelFromAnotherThread host;
    qorvcd_build_options options{};
    options.image_path = image.c_str();
    options.script_path = script.c_str();
    options.work_dir = work.c_str();
    options.settings_dir = settings.c_str();
    options.user = &host;
    options.cancel = &host.flag;
    options.log = [](void* user, const char* line) { static_cast<CancelFromAnotherThread*>(user)->lines.push_back(line); };
    options.progress = [](void* user, int, const char*) {
        auto& h = *static_cast<CancelFromAnotherThread*>(user);
        if (h.waited) return;
        h.waited = true;
        h.reporting.count_down();
        while (std::atomic_ref<int>(h.flag).load(std::memory_order_relaxed) == 0) std::this_thread::yield();
    };

    int result = -99;
    std::jthread build([&] { result = qorvcd_build(&options); });
    host.reporting.wait();
    std::atomic_ref<int>(host.flag).store(1, std::memory_order_relaxed);
    build.join();

    EXPECT_NE(result, kOk);
    ASSERT_FALSE(host.lines.empty());
    EXPECT_EQ(host.lines.back(), ">>> Fail <<<");
    // Taken while the first track was probed: the failed track list says it was a cancel.
    if (result == kTrackListFailed)
        EXPECT_NE(::testing::PrintToString(host.lines).find("A.MPS was not read to its end: the build was cancelled"),
                  std::string::npos) << ::testing::PrintToString(host.lines);
    else
        EXPECT_TRUE(result == kCancelled || result == kScanCancelled) << result;
    EXPECT_FALSE(FileExists(image));
    EXPECT_EQ(host.flag, 0) << "the request was not taken";
    EXPECT_TRUE(LeftInWorkFolder(work).empty()) << LeftInWorkFolder(work)[0];
}

TEST_F(ConcurrentBuilds, ProcessesSharingOneWorkFolderGiveTheImagesOfBuildsOneAtATime) {
    const auto command = [&](const Disc& disc, const std::string& image, const std::string& work) {
        return std::string("SOURCE_DATE_EPOCH=") + kEpoch + " " + Quote(CliPath()) + " build " + Quote(disc.Script()) +
               " -o " + Quote(disc.folder + image) + " --work-dir " + Quote(work) +
               " --settings-dir " + Quote(SourceDir() + "/settings") + (disc.kind.vcd30 ? " --vcd30" : "");
    };
    for (const Disc& disc : discs) {
        const CommandResult alone = RunCommand(command(disc, "alone.img", dir / "work-alone"));
        ASSERT_EQ(alone.exitCode, 0) << disc.kind.name << ": " << alone.output;
    }

    // All four started in the background at once; each one's exit status and
    // output go to files beside its image.
    std::string line;
    for (const Disc& disc : discs)
        line += "( " + command(disc, "together.img", dir / "work-shared") + " > " + Quote(disc.folder + "together.log") +
                " 2>&1; echo $? > " + Quote(disc.folder + "together.status") + " ) & ";
    const CommandResult all = RunCommand(line + "wait");
    ASSERT_EQ(all.exitCode, 0) << all.output;

    for (const Disc& disc : discs)
        ASSERT_EQ(ReadText(disc.folder + "together.status"), "0\n")
            << disc.kind.name << ": " << ReadText(disc.folder + "together.log");
    ExpectSameImages("alone.img", "together.img");
    EXPECT_TRUE(LeftInWorkFolder(dir / "work-shared").empty()) << LeftInWorkFolder(dir / "work-shared")[0];
}

}  // namespace
}  // namespace qorvcd::test
