// The program never harms a user's file: outputs that would replace an input
// are refused with every file left as it was, a failed or stopped command
// leaves the output path as it found it, and nothing is left behind (no
// temporary file, no work folder). Stop signals are real signals sent to the
// running program during real builds and exports.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <thread>

#include "tests/e2e/e2e_support.h"

namespace qorvcd::test {
namespace {

namespace fs = std::filesystem;

const KindCase& Svcd() { return AllKinds()[1]; }

// Every entry below `folder` (the work folder left out) with the bytes of
// each regular file: two snapshots are equal when nothing was touched.
std::map<std::string, std::string> Snapshot(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (auto it = fs::recursive_directory_iterator(folder); it != fs::recursive_directory_iterator(); ++it) {
        const std::string name = fs::relative(it->path(), folder).string();
        if (name == "work") {
            it.disable_recursion_pending();
            continue;
        }
        const auto status = it->symlink_status();
        files[name] = fs::is_regular_file(status) ? ReadText(it->path().string())
                      : fs::is_symlink(status)   ? "link to " + fs::read_symlink(it->path()).string()
                                                 : "special";
    }
    return files;
}

std::vector<std::string> Names(const std::map<std::string, std::string>& snapshot) {
    std::vector<std::string> names;
    for (const auto& entry : snapshot) names.push_back(entry.first);
    return names;
}

class SafeOutputs : public ::testing::Test {
protected:
    void SetUp() override {
        if (const std::string tool = MissingTool({"ffmpeg"}); !tool.empty()) GTEST_SKIP() << "missing " << tool;
        CopyKindMedia(Svcd(), dir.Path());
        WriteScript(dir / "disc.txt", WholeDiscScript(Svcd()));
        fs::create_directories(dir / "work/TEMP");
    }
    CommandResult Build(const std::string& image, const std::string& options = "") {
        return BuildDisc(Svcd(), dir / "disc.txt", image, dir.Path(), options, "SOURCE_DATE_EPOCH=1 ");
    }
    std::string LeftInWork() { return RunCommand("ls -A " + Quote(dir / "work/TEMP")).output; }

    TempDir dir;
};

TEST_F(SafeOutputs, OutputsThatNameAnInputAreRefusedAndNothingIsTouched) {
    fs::create_directories(dir / "settings");
    fs::create_directories(dir / "folder");
    fs::create_directories(dir / "title/comp");
    WriteText(dir / "title/index.htm", "<html></html>");
    fs::copy_file(SourceDir() + "/settings/SVCD.CFG", dir / "settings/SVCD.CFG");
    WriteText(dir / "A.EP", "");  // A.MPS's side file: an input the script does not name
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0644), 0);
    fs::create_symlink(dir / "B.MPS", dir / "link.img");
    fs::create_symlink(dir / "B.MPS", dir / "link.bin");
    std::vector<std::string> withApps = WholeDiscScript(Svcd());
    withApps.insert(withApps.end(), {"[VCD30]", "TITLEHOMEDIR = title", "HOMEPAGE = index.htm", "ENDFILE"});
    WriteScript(dir / "apps.txt", withApps);

    const struct {
        std::string output, options, refusal;
        std::string script = "disc.txt";
    } cases[] = {
        {"disc.txt", "", "Error: the image " + dir.Path() + "disc.txt would overwrite the script"},
        {"a.mps", "", "would overwrite the file named in the script " + dir.Path() + "A.MPS"},  // any case
        {"Menu.Bmp", "", "would overwrite the file named in the script " + dir.Path() + "MENU.BMP"},
        {"clip.mps", "--bin-cue", "would overwrite the file named in the script " + dir.Path() + "CLIP.MPS"},
        {"link.img", "", "would overwrite the file named in the script " + dir.Path() + "B.MPS"},
        {"a.ep", "", "would overwrite the side file " + dir.Path() + "A.EP"},
        {"settings/svcd.cfg", "--settings-dir " + Quote(dir / "settings"), "would overwrite the settings file"},
        {"d.bin", "--bin-cue", "Error: the BIN " + dir.Path() + "d.bin would be the same file as the image"},
        {"link.cue", "", "Error: the BIN " + dir.Path() + "link.bin would overwrite the file named in the script"},
        {"folder", "", "is a folder, not a file"},
        {"pipe", "", "is not a regular file"},
        {"title/comp/disc.img", "", "lies inside the application folder", "apps.txt"},
    };
    const auto before = Snapshot(dir.Path());
    for (const auto& c : cases) {
        const CommandResult build =
            BuildDisc(Svcd(), dir / c.script, dir / c.output, dir.Path(), c.options, "SOURCE_DATE_EPOCH=1 ");
        EXPECT_NE(build.exitCode, 0) << c.output;
        EXPECT_NE(build.output.find(c.refusal), std::string::npos) << c.output << "\n" << build.output;
        EXPECT_NE(build.output.find(">>> Fail <<<\nResult: 200"), std::string::npos) << build.output;
        EXPECT_EQ(Snapshot(dir.Path()), before) << c.output;
        EXPECT_EQ(LeftInWork(), "") << c.output;
    }
}

TEST_F(SafeOutputs, AFailedBuildLeavesTheImagePathAsItWas) {
    WriteText(dir / "keep.dat", "the user's own file");
    WriteText(dir / "KEEP.DAT", "another file of the user's");
    WriteScript(dir / "absent.txt", {"[VCD]", "MODE = SVCD", "[TRACK]", "MPEGTRACK AVSEQ01 NONE.MPS PAL AUDIO 2 TIME 3"});
    const auto before = Snapshot(dir.Path());
    const struct {
        std::string what, script, limit;
    } cases[] = {
        {"missing script", dir / "missing.txt", ""},
        {"track list fails after the image was begun", dir / "absent.txt", ""},
        {"the disk fills up", dir / "disc.txt", "ulimit -f 200; "},  // 100 KiB: the image cannot be written
    };
    for (const auto& c : cases) {
        for (const char* image : {"keep.dat", "KEEP.DAT"}) {
            const CommandResult build = RunCommand("trap '' XFSZ; " + c.limit + Quote(CliPath()) + " build " +
                                                   Quote(c.script) + " -o " + Quote(dir / image) + " --work-dir " +
                                                   Quote(dir / "work"));
            EXPECT_NE(build.exitCode, 0) << c.what;
            EXPECT_NE(build.output.find(">>> Fail <<<"), std::string::npos) << c.what << "\n" << build.output;
            EXPECT_EQ(Snapshot(dir.Path()), before) << c.what << " " << image;
            EXPECT_EQ(LeftInWork(), "") << c.what;
        }
    }
}

TEST_F(SafeOutputs, ABuildReplacesAnOldImageWholeAndLeavesOnlyItsOutputs) {
    WriteText(dir / "disc.img", "an older image");
    auto expected = Names(Snapshot(dir.Path()));
    expected.insert(expected.end(), {"disc.bin", "disc.cue"});
    std::sort(expected.begin(), expected.end());
    const CommandResult build = Build(dir / "disc.img", "--bin-cue");
    ASSERT_EQ(build.exitCode, 0) << build.output;
    EXPECT_EQ(Names(Snapshot(dir.Path())), expected);
    EXPECT_EQ(InspectFlat(dir / "disc.img").at("info.path"), Svcd().infoPath);
    EXPECT_EQ(LeftInWork(), "");
}

// A CVD build keeps its SCANDATA work file in the work folder: a relative
// work folder must not be taken relative to the script's folder.
TEST_F(SafeOutputs, ARelativeWorkFolderIsTakenFromWhereTheCommandRuns) {
    const KindCase& cvd = AllKinds()[2];
    TempDir run;
    fs::create_directories(run / "sys");
    fs::create_directories(run / "disc");
    CopyKindMedia(cvd, run / "disc/");
    WriteScript(run / "disc/disc.txt", WholeDiscScript(cvd));
    const CommandResult build = RunCommand("cd " + Quote(run.Path()) + " && " + Quote(CliPath()) +
                                           " build disc/disc.txt -o disc/disc.img --work-dir sys");
    EXPECT_EQ(build.exitCode, 0) << build.output;
    EXPECT_EQ(RunCommand("ls -A " + Quote(run / "sys/TEMP")).output, "");

    const CommandResult missing = RunCommand(Quote(CliPath()) + " build " + Quote(dir / "disc.txt") + " -o " +
                                             Quote(dir / "x.img") + " --work-dir " + Quote(dir / "nowhere"));
    EXPECT_NE(missing.output.find("Error: the work folder " + dir.Path() + "nowhere does not exist"), std::string::npos)
        << missing.output;
    EXPECT_FALSE(FileExists(dir / "x.img"));
}

TEST_F(SafeOutputs, ExportRefusesOutputsThatAreItsInputOrEachOther) {
    ASSERT_EQ(Build(dir / "x.img").exitCode, 0);
    fs::copy_file(dir / "x.img", dir / "y.bin");
    const struct {
        std::string image, cue, iso, refusal;
    } cases[] = {
        {"x.img", "x.img", "", "the cue sheet x.img would overwrite the disc image x.img"},
        {"y.bin", "y.cue", "", "the BIN y.bin would overwrite the disc image y.bin"},
        {"x.img", "o.cue", "x.img", "the ISO image x.img would overwrite the disc image x.img"},
        {"x.img", "o.cue", "o.bin", "the ISO image o.bin would overwrite the BIN o.bin"},
        {"x.img", "work", "", "the cue sheet cannot be written: work is a folder"},
    };
    const auto before = Snapshot(dir.Path());
    for (const auto& c : cases) {
        const CommandResult exported =
            RunCommand("cd " + Quote(dir.Path()) + " && " + Quote(CliPath()) + " export " + c.image + " -o " + c.cue +
                       (c.iso.empty() ? "" : " --iso " + c.iso));
        EXPECT_NE(exported.exitCode, 0) << c.cue;
        EXPECT_NE(exported.output.find(c.refusal), std::string::npos) << exported.output;
        EXPECT_EQ(Snapshot(dir.Path()), before) << c.cue;
    }
}

// The image would fit; only the BIN, written in the same pass, does not (a
// file size limit stands for a full disk): the build fails, says why, and
// leaves neither the image nor the BIN and cue sheet.
TEST_F(SafeOutputs, ABinThatDoesNotFitFailsTheBuildAndLeavesNothing) {
    ASSERT_EQ(Build(dir / "alone.img").exitCode, 0);
    const std::string image = ReadText(dir / "alone.img");
    const auto before = Names(Snapshot(dir.Path()));
    const size_t limitBlocks = image.size() / 512 + 4;  // the shell counts 512-byte blocks
    const CommandResult build = RunCommand("trap '' XFSZ; ulimit -f " + std::to_string(limitBlocks) +
                                           "; SOURCE_DATE_EPOCH=1 " + Quote(CliPath()) + " build " +
                                           Quote(dir / "disc.txt") + " -o " + Quote(dir / "disc.img") +
                                           " --bin-cue --work-dir " + Quote(dir / "work"));
    EXPECT_EQ(build.exitCode, 1);
    EXPECT_NE(build.output.find("disc.bin"), std::string::npos) << build.output;
    EXPECT_NE(build.output.find(">>> Fail <<<"), std::string::npos) << build.output;
    EXPECT_EQ(Names(Snapshot(dir.Path())), before);
    EXPECT_EQ(LeftInWork(), "");
}

// A shell command line run in the background; signals reach the program
// that its last `exec` starts.
class Background {
public:
    explicit Background(const std::string& commandLine) {
        pid_ = ::fork();
        if (pid_ == 0) {
            ::execl("/bin/sh", "sh", "-c", commandLine.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
    }
    ~Background() {
        if (pid_ > 0 && !waited_) {
            ::kill(pid_, SIGKILL);
            Wait();
        }
    }
    void Signal(int signal) const { ::kill(pid_, signal); }
    bool Running() const {
        siginfo_t info{};
        return ::waitid(P_PID, id_t(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == 0;
    }
    int Wait() {
        int status = 0;
        ::waitpid(pid_, &status, 0);
        waited_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

private:
    pid_t pid_ = -1;
    bool waited_ = false;
};

// The size of the temporary file ("." output "." ... ".part") that stands
// for `output` in `folder` while it is written, or -1 when there is none.
long TemporaryOutputSize(const std::string& folder, const std::string& output) {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (!name.starts_with("." + output + ".") || !name.ends_with(".part")) continue;
        const auto size = fs::file_size(entry.path(), error);
        if (!error) return long(size);
    }
    return -1;
}

// A stream long enough that its build and export take a while on any machine:
// one minute of SVCD, packed, repeated five times as one track.
std::string LongTrack(const std::string& folder) {
    const std::string stream = EnsureMedia(
        "safe-long-svcd.mpg",
        "ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc2=size=480x576:rate=25 -f lavfi "
        "-i sine=frequency=440:sample_rate=44100 -t 60 -ac 2 -target pal-svcd {out}");
    const std::string packed =
        EnsureMedia("safe-long-svcd.mps", Quote(CliPath()) + " pack " + Quote(stream) + " {out} --kind svcd");
    const std::string one = ReadText(packed);
    std::string track;
    for (int i = 0; i < 5; ++i) track += one;
    WriteText(folder + "LONG.MPS", track);
    return stream;
}

class StopSignals : public SafeOutputs {
protected:
    // Runs `command` in `dir`, waits until the temporary file of its output
    // `target` has `bytes` bytes, pauses it, sends `signal` and lets it go on:
    // it must stop with a non-zero status and leave the folder as it was.
    void StopWhileWriting(const std::string& command, const std::string& target, long bytes, int signal) {
        const auto before = Snapshot(dir.Path());
        // On a busy machine the program may finish before the watcher sees
        // its output grow: that run proves nothing, so its outputs go and it
        // runs again.
        for (int attempt = 1; attempt <= kAttempts; ++attempt) {
            if (StopOnce(command, target, bytes, signal, before)) return;
            RemoveAllBut(before);
        }
        ADD_FAILURE() << "the program ended before it could be stopped, " << kAttempts << " times:\n" << lastOutput;
    }
    // False when the program ended before its output reached `bytes`.
    bool StopOnce(const std::string& command, const std::string& target, long bytes, int signal,
                  const std::map<std::string, std::string>& before) {
        Background program("cd " + Quote(dir.Path()) + " && exec " + command + " >" + Quote(outputs / "out.txt") +
                           " 2>&1");
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        while (TemporaryOutputSize(dir.Path(), target) < bytes && program.Running() &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        program.Signal(SIGSTOP);
        if (TemporaryOutputSize(dir.Path(), target) < bytes) {
            program.Signal(SIGCONT);
            program.Wait();
            lastOutput = ReadText(outputs / "out.txt");
            return false;
        }
        program.Signal(signal);
        program.Signal(SIGCONT);
        const int status = program.Wait();
        const std::string output = ReadText(outputs / "out.txt");
        EXPECT_NE(status, 0) << output;
        EXPECT_LT(status, 128) << "killed by the signal instead of stopping cleanly\n" << output;
        EXPECT_EQ(Snapshot(dir.Path()), before) << output;
        EXPECT_EQ(LeftInWork(), "") << output;
        lastOutput = output;
        return true;
    }
    void RemoveAllBut(const std::map<std::string, std::string>& before) {
        for (const auto& [name, bytes] : Snapshot(dir.Path())) {
            if (!before.count(name)) fs::remove_all(dir / name);
        }
    }
    static constexpr int kAttempts = 3;
    std::string Cli() const { return Quote(CliPath()); }

    TempDir outputs;  // the programs' output, outside the watched folder
    std::string lastOutput;
};

TEST_F(StopSignals, EachStopSignalCancelsTheWorkAndLeavesNothing) {
    const std::string stream = LongTrack(dir.Path());
    WriteScript(dir / "long.txt", {"[VCD]", "MODE = SVCD", "[TRACK]", "MPEGTRACK AVSEQ01 LONG.MPS PAL AUDIO 2 TIME 300"});
    const std::string build = Cli() + " build long.txt -o long.img --work-dir work";
    constexpr long kMiB = 1 << 20;

    StopWhileWriting(build, "long.img", 8 * kMiB, SIGTERM);  // during the track copy
    EXPECT_NE(lastOutput.find("Cancle by user"), std::string::npos) << lastOutput;
    StopWhileWriting(build, "long.img", 8 * kMiB, SIGINT);

    // --bin-cue and -o NAME.cue: the BIN is written with (or instead of) the
    // image; stopped while it grows, neither is left.
    ASSERT_EQ(RunCommand("cd " + Quote(dir.Path()) + " && " + build).exitCode, 0);
    fs::rename(dir / "long.img", outputs / "long.img");
    StopWhileWriting(build + " --bin-cue", "long.bin", 8 * kMiB, SIGHUP);
    EXPECT_NE(lastOutput.find("Cancle by user"), std::string::npos) << lastOutput;
    StopWhileWriting(Cli() + " build long.txt -o long.cue --work-dir work", "long.bin", 8 * kMiB, SIGTERM);
    EXPECT_NE(lastOutput.find("Cancle by user"), std::string::npos) << lastOutput;

    fs::rename(outputs / "long.img", dir / "long.img");
    StopWhileWriting(Cli() + " export long.img -o long.cue --iso long.iso", "long.bin", 8 * kMiB, SIGINT);
    EXPECT_NE(lastOutput.find("cancelled"), std::string::npos) << lastOutput;

    fs::copy_file(stream, dir / "long.mpg");
    StopWhileWriting(Cli() + " pack long.mpg LONG2.MPS", "LONG2.MPS", 0, SIGTERM);
    StopWhileWriting("env TMPDIR=work/TEMP " + Cli() + " still MENU.BMP MENU2.MPS", "MENU2.MPS", 0, SIGINT);
}

}  // namespace
}  // namespace qorvcd::test
