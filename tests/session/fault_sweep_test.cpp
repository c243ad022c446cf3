// Every file operation of a whole build made to fail in turn, the disk made
// to fill up at a spread of sizes, and Cancel pressed at every look at the
// progress window: each stopped build must report failure, end the log with
// ">>> Fail <<<" and leave the folder it worked in exactly as it found it
// (no image, no temporary image, no work folder). A build that writes only
// the BIN and the cue sheet, and the BIN/CUE export, get the same treatment.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>

#include "imagetools/bincue.h"
#include "platform/file_faults.h"
#include "session/qorvcd.h"
#include "tests/support/test_support.h"

namespace qorvcd {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

constexpr const char* kFfmpeg = "ffmpeg -nostdin -hide_banner -loglevel error -y ";

// A short SVCD program stream.
std::string Stream(const std::string& tag, const std::string& seconds, int tone) {
    return test::EnsureMedia(
        "fault-svcd-" + tag + ".mpg", std::string(kFfmpeg) + "-f lavfi -i testsrc2=size=480x576:rate=25 -f lavfi -i sine=frequency=" +
                                          std::to_string(tone) + ":sample_rate=44100 -t " + seconds +
                                          " -ac 2 -target pal-svcd {out}");
}

// The same packed into a sector-mode file.
std::string PackedStream(const std::string& tag, const std::string& seconds, int tone) {
    const std::string stream = Stream(tag, seconds, tone);
    return test::EnsureMedia("fault-svcd-" + tag + ".mps",
                             "'" + test::CliPath() + "' pack '" + stream + "' {out} --kind svcd");
}

std::string MenuBitmap() {
    return test::EnsureMedia("e2e-menu-480x576.bmp", std::string(kFfmpeg) +
                                                         "-f lavfi -i smptebars=size=480x576 -frames:v 1 -c:v bmp -f image2 {out}");
}

// Every entry below `folder` with the bytes of each regular file: equal
// snapshots mean nothing was created, changed or removed.
using Snapshot = std::map<std::string, std::string>;
Snapshot TakeSnapshot(const std::string& folder) {
    Snapshot entries;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        const std::string name = fs::relative(entry.path(), folder).string();
        entries[name] = entry.is_regular_file() ? test::ReadText(entry.path().string()) : "<folder>";
    }
    return entries;
}

// The names that differ between two snapshots, for a readable failure.
std::string Difference(const Snapshot& before, const Snapshot& after) {
    std::string text;
    for (const auto& [name, bytes] : after) {
        const auto was = before.find(name);
        if (was == before.end()) text += " +" + name;
        else if (was->second != bytes) text += " ~" + name;
    }
    for (const auto& [name, bytes] : before)
        if (!after.count(name)) text += " -" + name;
    return text;
}

// A host whose Cancel button is pressed at the n-th look at the window.
class CancelAt : public ProgressSink {
public:
    explicit CancelAt(int n) : pressAt_(n) {}
    bool PumpPendingMessages() override { return ++looks == pressAt_; }
    void SetMessage(const std::string& text) override { message = text; }
    int looks = 0;
    std::string message;
    std::vector<std::string> messageAtLook;  // filled when counting

private:
    int pressAt_;
};

// Records what the window said at each look, to tell the steps apart.
class LookRecorder : public CancelAt {
public:
    LookRecorder() : CancelAt(0) {}
    bool PumpPendingMessages() override {
        messageAtLook.push_back(message);
        return CancelAt::PumpPendingMessages();
    }
};

struct BuildRun {
    int result = 0;
    std::vector<std::string> lines;
};

// An SVCD with two tracks, a still menu made from a bitmap, a motion clip,
// play lists, a listed file and application files, built in a folder that
// holds everything it reads and writes.
class FaultSweep : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!test::HaveProgram("ffmpeg")) return;
        media_ = new std::map<std::string, std::string>{{"A.MPS", PackedStream("a", "0.6", 440)},
                                                        {"B.MPS", PackedStream("b", "0.4", 660)},
                                                        {"CLIP.MPS", PackedStream("clip", "0.3", 880)},
                                                        {"MENU.BMP", MenuBitmap()}};
    }
    static void TearDownTestSuite() {
        delete media_;
        media_ = nullptr;
    }

    void SetUp() override {
        if (!media_) GTEST_SKIP() << "ffmpeg is missing";
        for (const auto& [name, source] : *media_) test::WriteBytes(dir_ / name, test::ReadBytes(source));
        fs::create_directories(dir_ / "system/TEMP");
        fs::create_directories(dir_ / "out");
        fs::create_directories(dir_ / "title/comp");
        test::WriteText(dir_ / "title/index.htm", "<html></html>");
        test::WriteText(dir_ / "title/comp/HELP.CHM", std::string(3000, 'h'));
        test::WriteText(dir_ / "title/comp/TUNE.WAV", std::string(5000, 'w'));
        test::WriteText(dir_ / "readme.txt", "read me\n");
        test::WriteText(dir_ / "A.EP", "PAL\r\nAUDIO 2\r\nTIME 1\r\n");  // A.MPS's side file
        test::WriteText(dir_ / "disc.txt", Script());
    }

    static std::string Script() {
        const char* lines[] = {
            "[VCD]", "MODE = SVCD", "ALBUM = \"FAULTS\"", "VERSION = 2.0", "VOLUME = 1", "ANZVOL = 1", "[TRACK]",
            "MPEGTRACK AVSEQ01 A.MPS PAL AUDIO 2 TIME 1", "MPEGTRACK AVSEQ02 B.MPS PAL AUDIO 2 TIME 1", "[PBC]",
            "SEGMENT", "SEGMENU = MENU.BMP AUDIO 0 VIDEO 20", "SEGCLIP = CLIP.MPS AUDIO 1 VIDEO 28", "ENDSEGMENT",
            "SELECTION MAIN PREVIOUS NONE NEXT NONE RETURN NONE DEFAULT PLAY1 TIMEOUT NONE WAIT 10 LOOP 1 "
            "PLAYITEM SEGMENU ITEMS 1 PLAY1 2 PLAY2 3 CLIP ENDITEMS ENDSELECT",
            "PLAYLIST PLAY1 PREVIOUS MAIN NEXT PLAY2 RETURN MAIN WAIT 0 AUTOWAIT 0 PLAY AVSEQ01 ENDPLAYLIST",
            "PLAYLIST PLAY2 PREVIOUS PLAY1 NEXT NONE RETURN MAIN WAIT 0 AUTOWAIT 0 PLAY AVSEQ02 ENDPLAYLIST",
            "PLAYLIST CLIP PREVIOUS NONE NEXT NONE RETURN MAIN WAIT 5 AUTOWAIT 0 PLAY SEGCLIP ENDPLAYLIST",
            "[ISO9660]", "VOLUME_ID = FAULTS", "[VCD30]", "FOLDER \\DOCS", "README.TXT readme.txt", "ENDFOLDER",
            "TITLEHOMEDIR = title", "HOMEPAGE = index.htm"};
        std::string text;
        for (const char* line : lines) text += std::string(line) + "\r\n";
        return text;
    }

    std::string ImagePath() const { return dir_ / "out/disc.img"; }
    // What a build writes: the image, or the BIN and the cue sheet alone.
    std::string TargetPath() const { return outputs_ == BuildOutputs::BinCueOnly ? dir_ / "out/disc.cue" : ImagePath(); }
    std::vector<std::string> OutputPaths() const {
        if (outputs_ == BuildOutputs::BinCueOnly) return {dir_ / "out/disc.bin", dir_ / "out/disc.cue"};
        return {ImagePath()};
    }
    // The outputs' bytes, one after the other; empty when one is missing.
    std::string OutputText() const {
        std::string text;
        for (const std::string& path : OutputPaths()) {
            if (!fs::exists(path)) return {};
            text += test::ReadText(path);
        }
        return text;
    }
    void RemoveOutputs() const {
        for (const std::string& path : OutputPaths()) fs::remove(path);
    }

    BuildRun RunBuild(FileFaultPlan* plan, ProgressSink* progress = nullptr) {
        BuildRun run;
        LogList log;
        BuildHost host;
        host.systemFolder = dir_ / "system";
        host.settingsFolder = test::SourceDir() + "/settings/";
        host.fixedTime = 1772668800;
        host.showMessage = [](const std::string&) {};
        host.progress = progress;
        std::string image = TargetPath(), script = dir_ / "disc.txt";
        std::optional<ScopedFileFaultPlan> scope;
        if (plan) scope.emplace(*plan);
        BuildRequest request;
        request.imagePath = image.data();
        request.scriptPath = script.data();
        request.outputs = outputs_;
        run.result = Build(request, &log, host);
        scope.reset();
        run.lines = log.Lines();
        return run;
    }

    // What is wrong with a stopped build (empty when nothing): a failing
    // result, ">>> Fail <<<" last, and the folder exactly as it was.
    std::string StopProblem(const BuildRun& run, const Snapshot& before) {
        std::string problem;
        if (run.result == 0) problem += " result 0;";
        if (run.lines.empty() || run.lines.back() != ">>> Fail <<<")
            problem += " last line \"" + (run.lines.empty() ? std::string() : run.lines.back()) + "\";";
        if (run.result == 0) problem += OutputText() == reference_ ? " the clean image;" : " another image;";
        const Snapshot after = TakeSnapshot(dir_.Path());
        if (after != before) problem += " changed:" + Difference(before, after) + ";";
        RemoveWhatIsNew(before, after);
        return problem;
    }

    // A failure the build absorbed (a retried clearing, a lookup or a close
    // after reading whose failure changes nothing) is sound only when the
    // image is exactly the clean build's and nothing else was left.
    std::string AbsorbedProblem(const Snapshot& before) {
        std::string problem;
        if (OutputText() != reference_) problem += " result 0 with another image;";
        RemoveOutputs();
        const Snapshot after = TakeSnapshot(dir_.Path());
        if (after != before) problem += " changed:" + Difference(before, after) + ";";
        RemoveWhatIsNew(before, after);
        return problem;
    }

    // Removes what a point left behind, so that the next point starts clean.
    void RemoveWhatIsNew(const Snapshot& before, const Snapshot& after) {
        for (auto it = after.rbegin(); it != after.rend(); ++it)
            if (!before.count(it->first)) fs::remove_all(dir_ / it->first);
    }

    // A clean build's image and the counts of its file work.
    struct Reference {
        std::string image;
        uint64_t operations = 0;
        uint64_t bytesWritten = 0;
        std::vector<FileFaultPlan::Operation> kinds;
    };
    Reference CleanBuild() {
        FileFaultPlan counter;
        counter.RecordOperations(true);
        const BuildRun run = RunBuild(&counter);
        std::string log;
        for (const std::string& line : run.lines) log += line + "\n";
        EXPECT_EQ(run.result, 0) << log;
        Reference ref{OutputText(), counter.Operations(), counter.BytesWritten(), counter.Recorded()};
        reference_ = ref.image;
        RemoveOutputs();
        return ref;
    }

    // Fails every file operation of the build in turn.
    void SweepEveryFileOperation();
    // Fills the disk at a spread of sizes.
    void SweepDiskFull();
    // Presses Cancel at every look at the window.
    void SweepCancel();

    static std::map<std::string, std::string>* media_;
    TempDir dir_;
    BuildOutputs outputs_ = BuildOutputs::Image;
    std::string reference_;  // a clean build's outputs
};

std::map<std::string, std::string>* FaultSweep::media_ = nullptr;

// QORVCD_SWEEP_VERBOSE=1 prints every absorbed failure and every Cancel's
// result, to see what a sweep walked through.
bool Verbose() { return std::getenv("QORVCD_SWEEP_VERBOSE") != nullptr; }

// The points of a sweep that went wrong, told together at the end so that
// one run shows every broken point.
class Findings {
public:
    void Add(const std::string& point, const std::string& problem) {
        if (!problem.empty()) found_.push_back(point + ":" + problem);
    }
    void ExpectNone(size_t points) const {
        std::string text;
        for (size_t i = 0; i < found_.size() && i < 40; ++i) text += "\n  " + found_[i];
        EXPECT_TRUE(found_.empty()) << found_.size() << " of " << points << " points went wrong:" << text;
    }

private:
    std::vector<std::string> found_;
};

void FaultSweep::SweepEveryFileOperation() {
    const Reference ref = CleanBuild();
    ASSERT_FALSE(ref.image.empty());
    ASSERT_GT(ref.operations, 50u);
    const Snapshot before = TakeSnapshot(dir_.Path());
    Findings findings;
    std::map<std::string, int> absorbed;  // failures that could not change the image, by operation
    for (uint64_t n = 1; n <= ref.operations; ++n) {
        FileFaultPlan plan;
        plan.FailOperation(n, EIO);
        const BuildRun run = RunBuild(&plan);
        const std::string what = "operation " + std::to_string(n) + " (" + FileOpName(ref.kinds[n - 1].op) + " " +
                                 ref.kinds[n - 1].path + ")";
        if (!plan.Fired()) {
            findings.Add(what, " not reached: the build's file work differs from the clean build's");
            continue;
        }
        if (run.result == 0) {
            ++absorbed[FileOpName(*plan.FailedOperation())];
            if (Verbose()) std::printf("absorbed: %s\n", what.c_str());
            findings.Add(what, AbsorbedProblem(before));
            continue;
        }
        findings.Add(what, StopProblem(run, before));
    }
    findings.ExpectNone(ref.operations);
    std::printf("file operations: %llu points;", static_cast<unsigned long long>(ref.operations));
    for (const auto& [op, count] : absorbed) std::printf(" %d failed %s absorbed;", count, op.c_str());
    std::printf("\n");
}

TEST_F(FaultSweep, EveryFailingFileOperationStopsTheBuildAndLeavesNothing) { SweepEveryFileOperation(); }

// A track given as an ordinary video is converted in the work folder by
// FFmpeg, whose reads and writes go through the file layer too.
TEST_F(FaultSweep, EveryFailingFileOperationOfAConversionStopsTheBuildAndLeavesNothing) {
    const std::string video = test::EnsureMedia(
        "fault-video.mp4", std::string(kFfmpeg) + "-f lavfi -i testsrc2=size=160x128:rate=25 -f lavfi -i "
                                                  "sine=frequency=440:sample_rate=44100 -t 0.2 -c:v mpeg4 -c:a aac -f mp4 {out}");
    test::WriteBytes(dir_ / "VIDEO.MP4", test::ReadBytes(video));
    test::WriteText(dir_ / "disc.txt", "[VCD]\r\nMODE = SVCD\r\n[TRACK]\r\nMPEGTRACK AVSEQ01 VIDEO.MP4 PAL AUDIO 2 TIME 1\r\n");
    SweepEveryFileOperation();
}

void FaultSweep::SweepDiskFull() {
    const Reference ref = CleanBuild();
    ASSERT_GT(ref.bytesWritten, ref.image.size());
    const Snapshot before = TakeSnapshot(dir_.Path());
    std::set<uint64_t> sizes;
    for (uint64_t size = 0; size < ref.bytesWritten; size += 64 * 1024) sizes.insert(size);
    for (uint64_t size = 1; size < ref.bytesWritten; size *= 3) sizes.insert(size);
    sizes.insert(ref.bytesWritten - 1);
    Findings findings;
    for (const uint64_t size : sizes) {
        FileFaultPlan plan;
        plan.FillDiskAfter(size);
        const BuildRun run = RunBuild(&plan);
        const std::string what = "a disk full after " + std::to_string(size) + " bytes";
        findings.Add(what, plan.Fired() ? StopProblem(run, before) : " the disk never filled up");
    }
    findings.ExpectNone(sizes.size());
    std::printf("disk full: %zu points up to %llu bytes\n", sizes.size(),
                static_cast<unsigned long long>(ref.bytesWritten));
}

// The result a Cancel gives, told by what the window said when it was
// pressed: 6666 in the application scan, -1 while a still is encoded or a
// video track written, 2000 while a segment item is written (the
// application writer gives 2000, or -1 when its last look's Cancel is
// taken by the first track). None where any failing result will do.
std::optional<int> ExpectedCancelResult(const std::string& message) {
    const std::string writing = "Reading && Writing file ";
    if (message.starts_with("Fund file ")) return 6666;
    if (message.starts_with("Encoding ")) return -1;
    if (message.starts_with(writing)) return message.find('/') == std::string::npos ? -1 : 2000;
    return std::nullopt;
}

void FaultSweep::SweepCancel() {
    LookRecorder recorder;
    ASSERT_EQ(RunBuild(nullptr, &recorder).result, 0);
    reference_ = OutputText();
    RemoveOutputs();
    const std::vector<std::string> messages = recorder.messageAtLook;
    ASSERT_GT(messages.size(), 10u);
    const Snapshot before = TakeSnapshot(dir_.Path());
    Findings findings;
    std::map<int, int> results;
    for (size_t n = 1; n <= messages.size(); ++n) {
        CancelAt cancel{int(n)};
        const BuildRun run = RunBuild(nullptr, &cancel);
        const std::string what = "Cancel at look " + std::to_string(n) + " (" + messages[n - 1] + ")";
        findings.Add(what, StopProblem(run, before));
        const std::optional<int> expected = ExpectedCancelResult(messages[n - 1]);
        if (expected && run.result != *expected)
            findings.Add(what, " result " + std::to_string(run.result) + ", not " + std::to_string(*expected));
        ++results[run.result];
        if (Verbose()) std::printf("%s: %d\n", what.c_str(), run.result);
    }
    findings.ExpectNone(messages.size());
    std::printf("Cancel: %zu points;", messages.size());
    for (const auto& [result, count] : results) std::printf(" %d gave %d;", count, result);
    std::printf("\n");
    for (const int result : {-1, 6666, 2000}) EXPECT_TRUE(results.count(result)) << "no Cancel gave " << result;
}

TEST_F(FaultSweep, ADiskThatFillsUpAnywhereStopsTheBuildAndLeavesNothing) { SweepDiskFull(); }
TEST_F(FaultSweep, CancelAtEveryLookAtTheWindowStopsTheBuildAndLeavesNothing) { SweepCancel(); }

// The build that writes the BIN and the cue sheet alone, with no image.
TEST_F(FaultSweep, EveryFailingFileOperationOfABinCueBuildStopsItAndLeavesNothing) {
    outputs_ = BuildOutputs::BinCueOnly;
    SweepEveryFileOperation();
}
TEST_F(FaultSweep, ADiskThatFillsUpAnywhereStopsABinCueBuildAndLeavesNothing) {
    outputs_ = BuildOutputs::BinCueOnly;
    SweepDiskFull();
}
TEST_F(FaultSweep, CancelAtEveryLookAtTheWindowStopsABinCueBuildAndLeavesNothing) {
    outputs_ = BuildOutputs::BinCueOnly;
    SweepCancel();
}

// A track named as the program stream it is, packed as it is copied.
TEST_F(FaultSweep, EveryFailingFileOperationOfAStreamPackedAsCopiedStopsTheBuildAndLeavesNothing) {
    test::WriteBytes(dir_ / "A.MPG", test::ReadBytes(Stream("a", "0.6", 440)));
    test::WriteText(dir_ / "disc.txt", "[VCD]\r\nMODE = SVCD\r\n[TRACK]\r\nMPEGTRACK AVSEQ01 A.MPG PAL AUDIO 2 TIME 1\r\n");
    outputs_ = BuildOutputs::BinCueOnly;
    SweepEveryFileOperation();
}

// The export of a finished image to BIN/CUE and an ISO of track 1.
class ExportSweep : public FaultSweep {
protected:
    void SetUp() override {
        FaultSweep::SetUp();
        if (IsSkipped()) return;
        ASSERT_EQ(RunBuild(nullptr).result, 0);
    }
    bool Export(FileFaultPlan* plan, std::function<bool()> cancel = {}) {
        BinCueRequest request;
        request.imagePath = ImagePath();
        request.cuePath = dir_ / "out/disc.cue";
        request.isoPath = dir_ / "out/track1.iso";
        request.cancelRequested = std::move(cancel);
        std::optional<ScopedFileFaultPlan> scope;
        if (plan) scope.emplace(*plan);
        error_.clear();
        return ExportBinCue(request, &error_);
    }
    void ExpectExportStopped(bool exported, const Snapshot& before, const std::string& what) {
        EXPECT_FALSE(exported) << what;
        EXPECT_FALSE(error_.empty()) << what;
        const Snapshot after = TakeSnapshot(dir_.Path());
        EXPECT_TRUE(after == before) << what << " (" << error_ << "): changed:" << Difference(before, after);
    }
    // Counts a clean export's file work and removes its outputs.
    FileFaultPlan CleanExport() {
        FileFaultPlan counter;
        counter.RecordOperations(true);
        EXPECT_TRUE(Export(&counter)) << error_;
        bin_ = test::ReadText(dir_ / "out/disc.bin");
        for (const char* name : {"out/disc.bin", "out/disc.cue", "out/track1.iso"}) {
            EXPECT_TRUE(fs::exists(dir_ / name)) << name;
            fs::remove(dir_ / name);
        }
        return counter;
    }
    std::string error_;
    std::string bin_;  // a clean export's BIN
};

TEST_F(ExportSweep, EveryFailingFileOperationStopsTheExportAndLeavesNothing) {
    const FileFaultPlan counter = CleanExport();
    const Snapshot before = TakeSnapshot(dir_.Path());
    for (uint64_t n = 1; n <= counter.Operations(); ++n) {
        FileFaultPlan plan;
        plan.FailOperation(n, EIO);
        const bool exported = Export(&plan);
        const std::string what = "operation " + std::to_string(n) + " (" + FileOpName(counter.Recorded()[n - 1].op) +
                                 " " + counter.Recorded()[n - 1].path + ")";
        ASSERT_TRUE(plan.Fired()) << what;
        if (exported) {  // only a failed clearing may be absorbed; the outputs must be whole
            EXPECT_EQ(test::ReadText(dir_ / "out/disc.bin"), bin_) << what;
            for (const char* name : {"out/disc.bin", "out/disc.cue", "out/track1.iso"}) fs::remove(dir_ / name);
            EXPECT_TRUE(TakeSnapshot(dir_.Path()) == before) << what;
            continue;
        }
        ExpectExportStopped(exported, before, what);
        if (HasFailure()) break;
    }
    std::printf("export, file operations: %llu points\n", static_cast<unsigned long long>(counter.Operations()));
}

TEST_F(ExportSweep, ADiskThatFillsUpOrACancelStopsTheExportAndLeavesNothing) {
    const FileFaultPlan counter = CleanExport();
    const Snapshot before = TakeSnapshot(dir_.Path());
    for (uint64_t size = 0; size < counter.BytesWritten(); size += 64 * 1024) {
        FileFaultPlan plan;
        plan.FillDiskAfter(size);
        ExpectExportStopped(Export(&plan), before, "a disk full after " + std::to_string(size) + " bytes");
        if (HasFailure()) return;
    }
    int polls = 0;
    ASSERT_TRUE(Export(nullptr, [&] { ++polls; return false; }));
    for (const char* name : {"out/disc.bin", "out/disc.cue", "out/track1.iso"}) fs::remove(dir_ / name);
    for (int n = 1; n <= polls; ++n) {
        int look = 0;
        ExpectExportStopped(Export(nullptr, [&] { return ++look == n; }), before, "Cancel at poll " + std::to_string(n));
        if (HasFailure()) return;
    }
    std::printf("export: %llu disk-full points, %d Cancel points\n",
                static_cast<unsigned long long>((counter.BytesWritten() + 65535) / 65536), polls);
}

}  // namespace
}  // namespace qorvcd
