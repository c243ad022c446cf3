// `qorvcd make -o OUT/disc.cue VIDEO... [--picture PIC...]`: a whole disc in
// one command. It writes the authoring script it uses beside the cue sheet
// (OUT/disc.txt, for the user to edit and build again), draws a menu picture
// when asked, authors the disc through the library and exports it as BIN/CUE.
// The build converts the videos and pictures itself.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <vector>

#include "cli/commands.h"
#include "cli/disc_kind_option.h"
#include "cli/terminal_progress.h"
#include "codec/encode_pipeline.h"
#include "codec/picture_facts.h"
#include "codec/still_format.h"
#include "codec/transcode.h"
#include "core/results.h"
#include "discmaker/disc_script.h"
#include "discmaker/menu_picture.h"
#include "imagetools/bincue.h"
#include "mpeg/packed_stream.h"
#include "mpeg/program_stream_probe.h"
#include "mpeg/stream_times.h"
#include "platform/file.h"
#include "platform/outputs.h"
#include "platform/paths.h"
#include "platform/terminal.h"
#include "session/qorvcd.h"

namespace qorvcd::cli {

namespace {

// A program stream that already fits the kind is measured by the disc's own
// probe, as the build will measure it: making a disc of such streams never
// loads the codec module, and the script's TIME agrees with the build's.
// Anything else is asked of the module.
codec::SourceFacts ProbeVideo(const std::string& path, DiscKind kind) {
    if (ProbeProgramStreamVideo(path)) {
        PackedStreamIndex packed;
        std::string error;
        MpegStreamInfo info;
        ResetStreamInfo(info);
        if (packed.Build(path, kind, {}, {}, &error) == PackedStreamIndex::Outcome::Indexed &&
            ProbeMpegSource(info, packed, path, nullptr, {}) == kOk && packed.Ok()) {
            codec::SourceFacts facts = codec::FactsOfProbedStream(info);
            // The probe times MPEG-2 only; an MPEG-1 stream's time stamps tell.
            if (facts.duration <= 0) {
                if (const auto times = MeasureSourceTimes(packed, facts.frameRate, nullptr))
                    facts.duration = times->PlayingHundredths() / 100.0;
            }
            if (facts.duration > 0 && codec::FitsDiscKind(facts, kind, std::nullopt)) return facts;
        }
    }
    return codec::ProbeSource(path);
}

// The folders the command made for its outputs; unless kept, they are taken
// away again (only while empty) when the command ends.
class CreatedFolders {
public:
    ~CreatedFolders() {
        if (kept_) return;
        for (auto it = made_.rbegin(); it != made_.rend(); ++it) RemoveEmptyDirectory(*it);
    }
    // Makes `folder` and any missing folder above it.
    bool Make(const std::string& folder) {
        std::string path = folder;
        while (!path.empty() && path.back() == '/') path.pop_back();
        if (path.empty() || IsDirectory(path)) return true;
        if (!Make(FolderOf(path)) || !MakeDirectory(path)) return false;
        made_.push_back(path);
        return true;
    }
    void Keep() { kept_ = true; }

private:
    std::vector<std::string> made_;
    bool kept_ = false;
};

constexpr const char* kCommand = "qorvcd make";

int Refuse(const std::string& text) {
    std::fprintf(stderr, "%s: %s\n", kCommand, text.c_str());
    return 2;
}

std::vector<std::string> Components(const std::string& path) {
    std::vector<std::string> parts;
    std::string part;
    const auto take = [&] {
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        part.clear();
    };
    for (char c : path) {
        if (c == '/') {
            take();
        } else {
            part += c;
        }
    }
    take();
    return parts;
}

// A path made absolute, without "." and ".." steps, and found as it is
// spelled on disk.
std::string FullPath(const std::string& given) {
    std::string path;
    for (const std::string& part : Components(AbsolutePath(ToNativeSeparators(given)))) path += "/" + part;
    return ResolvePath(path.empty() ? "/" : path, "");
}

// How the saved script names `file` (absolute): relative to the script's
// folder when it lies in it or beside it, else absolute.
std::string NameFromFolder(const std::string& file, const std::string& folder) {
    const std::vector<std::string> to = Components(file), from = Components(folder);
    size_t common = 0;
    while (common < to.size() && common < from.size() && to[common] == from[common]) ++common;
    const size_t up = from.size() - common;
    if (up > 1 || common == 0) return file;
    std::string name;
    for (size_t i = 0; i < up; ++i) name += "../";
    for (size_t i = common; i < to.size(); ++i) name += (i > common ? "/" : "") + to[i];
    return name;
}

std::vector<char> MutableCopy(const std::string& text) {
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    return buffer;
}

struct Input {
    std::string given;     // as the user wrote it
    std::string path;      // resolved, absolute
    double seconds = 0;    // videos
    bool highResolution = false;  // pictures
    VideoStandard norm = VideoStandard::Unknown;  // a picture's own; unknown: the disc's
};

// A folder this command made and removes again whatever happened.
struct OwnedFolder {
    std::optional<std::string> path;
    ~OwnedFolder() {
        if (path) RemoveTree(*path);
    }
};

// A pending output with its bytes, written and kept only after the disc.
struct SmallOutput {
    std::unique_ptr<PendingOutput> pending;
    bool Write(const void* data, size_t size, std::string* error) {
        File file;
        if (!pending->Create() || !pending->OpenForWriting(file)) {
            *error = pending->Error();
            return false;
        }
        file.Write(data, size);
        if (!file.Close() || !file.Ok()) {
            *error = file.Error();
            return false;
        }
        return true;
    }
};

}  // namespace

int RunMake(const MakeOptions& options) {
    const std::optional<DiscKind> kind = DiscKindFromName(options.kind);
    if (!kind) return Refuse("unknown disc kind " + options.kind + " (vcd30, svcd, cvd or supervcd)");
    std::optional<VideoStandard> norm;
    if (const std::string name = ToLower(options.norm); name == "pal") {
        norm = VideoStandard::Pal;
    } else if (name == "ntsc") {
        norm = VideoStandard::Ntsc;
    } else if (!name.empty()) {
        return Refuse("unknown norm " + options.norm + " (pal or ntsc)");
    }
    if (options.chapterMinutes < 0 || (options.chapterMinutes > 0 && options.chapterMinutes * 60 < 1))
        return Refuse("--chapters takes minutes, at least a second's worth (0.02)");
    if (options.videos.empty() && options.pictures.empty()) return Refuse("name at least one video or picture");
    if (options.videos.size() > discmaker::kMaxVideos)
        return Refuse("a disc takes at most " + std::to_string(discmaker::kMaxVideos) + " videos");
    if (options.pictures.size() > discmaker::kMaxPictures)
        return Refuse("a disc takes at most " + std::to_string(discmaker::kMaxPictures) + " pictures");
    const bool pictureChoice = options.menu && !options.pictures.empty();
    if (options.menu && options.videos.size() + (pictureChoice ? 1 : 0) > 99)
        return Refuse("a menu offers at most 99 choices");

    // Every input is read before anything is written.
    std::vector<Input> videos, pictures;
    for (const std::string& given : options.videos) {
        Input input{given, FullPath(given)};
        if (!File::Exists(input.path)) return Refuse(given + ": no such file");
        const codec::SourceFacts facts = ProbeVideo(input.path, *kind);
        if (!facts.readable) return Refuse(given + ": cannot be read as a video: " + facts.error);
        if (!facts.hasVideo) return Refuse(given + ": holds no video stream");
        const VideoStandard own = codec::NormForFrameRate(facts.frameRate);
        // A Video CD 3.0 script names no norm: each track keeps its source's.
        if (*kind == DiscKind::Vcd30 && norm && *norm != own)
            std::fprintf(stderr, "%s: note: %s stays %s on a Video CD 3.0 (its frame rate decides)\n", kCommand,
                         given.c_str(), own == VideoStandard::Pal ? "PAL" : "NTSC");
        if (!norm) norm = own;
        input.seconds = facts.duration;
        videos.push_back(input);
    }
    if (!norm) norm = VideoStandard::Pal;
    for (const std::string& given : options.pictures) {
        Input input{given, FullPath(given)};
        if (!File::Exists(input.path)) return Refuse(given + ": no such file");
        codec::PictureFacts facts;
        std::string reason;
        if (!codec::ReadPictureFacts(input.path, facts, &reason)) return Refuse(given + ": " + reason);
        input.highResolution = codec::PictureModeForSize(*kind, facts.width, facts.height) == kPictureModeHigh;
        // A bitmap of a standard frame keeps the norm of its height.
        if (facts.standardBitmap) input.norm = facts.height % 288 == 0 ? VideoStandard::Pal : VideoStandard::Ntsc;
        pictures.push_back(input);
    }

    // The outputs: NAME.bin and NAME.cue, NAME.txt (the script), NAME-menu.bmp
    // and, when asked, NAME.img, all in the cue sheet's folder.
    const std::string cue = FullPath(options.cue);
    const PathParts parts = SplitPath(cue);
    if (ToLower(parts.ext) != ".cue") return Refuse("-o names the cue sheet, NAME.cue (NAME.bin is written beside it)");
    const std::string folder = parts.drive + parts.folder;
    // A missing output folder is made, and taken away again, with whatever
    // folders above it were missing too, when the command does not succeed.
    CreatedFolders created;
    if (!created.Make(folder)) return Refuse("the folder " + folder + " cannot be created");
    const std::string base = folder + parts.name;
    const std::string scriptPath = base + ".txt", menuPath = base + "-menu.bmp", bin = BinPathForCue(cue);
    const std::string keptImage = base + ".img";
    std::vector<NamedFile> inputs;
    for (const Input& v : videos) inputs.push_back({"the video " + v.given, v.path});
    for (const Input& p : pictures) inputs.push_back({"the picture " + p.given, p.path});
    std::vector<NamedFile> outputs = {{"the BIN", bin}, {"the cue sheet", cue}, {"the script", scriptPath}};
    if (options.menu) outputs.push_back({"the menu picture", menuPath});
    if (options.image) outputs.push_back({"the image", keptImage});
    for (size_t i = 0; i < outputs.size(); ++i) {
        if (const std::string problem = OutputProblem(outputs[i].path); !problem.empty())
            return Refuse(outputs[i].what + " cannot be written: " + problem);
        if (const NamedFile* input = AliasedInput(outputs[i].path, inputs))
            return Refuse(outputs[i].what + " " + outputs[i].path + " would overwrite " + input->what);
    }

    // The plan, twice: the saved script names the files as the user will
    // find them; the one built now names them by their full paths, and the
    // menu picture by its copy in the work folder.
    discmaker::DiscPlan plan;
    plan.kind = *kind;
    plan.norm = *norm;
    plan.title = options.title;
    plan.chapterMinutes = options.chapterMinutes;
    for (const Input& v : videos) plan.videos.push_back({NameFromFolder(v.path, folder), v.seconds});
    for (const Input& p : pictures) plan.pictures.push_back({NameFromFolder(p.path, folder), p.highResolution, p.norm});
    if (options.menu) {
        plan.menuPicture = FileNameOf(menuPath);
        const bool pal = *norm == VideoStandard::Pal;
        plan.menuHighResolution = codec::PictureModeForSize(*kind, pal ? 768 : 640, pal ? 576 : 480) == kPictureModeHigh;
    }
    for (const auto& named : plan.videos) {
        if (const std::string problem = discmaker::ScriptNameProblem(named.file); !problem.empty())
            return Refuse(named.file + ": " + problem);
    }
    for (const auto& named : plan.pictures) {
        if (const std::string problem = discmaker::ScriptNameProblem(named.file); !problem.empty())
            return Refuse(named.file + ": " + problem);
    }

    static std::atomic<int> stopSignals{0};
    InstallStopSignalCounter(&stopSignals);
    TerminalProgress progress(&stopSignals, options.quiet);

    // A private folder for the script built now and, without --image, the image.
    std::string system = options.workDir;
    if (system.empty()) {
        const char* env = std::getenv("QORVCD_WORK_DIR");
        system = env && *env ? env : TempFolder();
    }
    // Beside the build's own work folders: <system folder>/TEMP/.
    system = ResolvePath(JoinPath(AbsolutePath(system), "TEMP"), "");
    if (!IsDirectory(system)) MakeDirectory(system);
    OwnedFolder work;
    work.path = IsDirectory(system) ? MakeUniqueDirectory(system, "qorvcd-make-") : std::nullopt;
    if (!work.path) {
        std::fprintf(stderr, "%s: cannot create a work folder in %s\n", kCommand, system.c_str());
        return 1;
    }

    std::string error;
    SmallOutput savedScript{std::make_unique<PendingOutput>(scriptPath)};
    SmallOutput menu{std::make_unique<PendingOutput>(menuPath)};
    discmaker::DiscPlan buildPlan = plan;
    for (size_t i = 0; i < videos.size(); ++i) buildPlan.videos[i].file = videos[i].path;
    for (size_t i = 0; i < pictures.size(); ++i) buildPlan.pictures[i].file = pictures[i].path;
    if (options.menu) {
        std::vector<std::string> choices;
        for (size_t i = 0; i < videos.size(); ++i)
            choices.push_back(std::to_string(i + 1) + ". " + SplitPath(videos[i].given).name);
        if (pictureChoice) choices.push_back(std::to_string(videos.size() + 1) + ". PICTURES");
        const std::vector<uint8_t> bmp = discmaker::BmpBytes(discmaker::DrawMenu(options.title, choices, *norm));
        if (!menu.Write(bmp.data(), bmp.size(), &error)) {
            std::fprintf(stderr, "%s: cannot write the menu picture %s: %s\n", kCommand, menuPath.c_str(), error.c_str());
            return 1;
        }
        // The build reads its own copy under the final name: the build tells
        // a picture by its name.
        buildPlan.menuPicture = JoinPath(*work.path, FileNameOf(menuPath));
        if (!File::WriteAll(buildPlan.menuPicture, bmp.data(), bmp.size(), &error)) {
            std::fprintf(stderr, "%s: %s\n", kCommand, error.c_str());
            return 1;
        }
    }
    const std::string savedText = discmaker::AuthoringScript(plan);
    if (!savedScript.Write(savedText.data(), savedText.size(), &error)) {
        std::fprintf(stderr, "%s: cannot write the script %s: %s\n", kCommand, scriptPath.c_str(), error.c_str());
        return 1;
    }
    const std::string buildScript = JoinPath(*work.path, "disc.txt");
    const std::string buildText = discmaker::AuthoringScript(buildPlan);
    if (!File::WriteAll(buildScript, buildText.data(), buildText.size(), &error)) {
        std::fprintf(stderr, "%s: %s\n", kCommand, error.c_str());
        return 1;
    }

    // The disc.
    LogList log;
    PrintLogLines(log, progress, options.quiet);
    BuildHost host;
    host.progress = &progress;
    host.systemFolder = options.workDir;
    host.settingsFolder = options.settingsDir;
    // The image, the BIN and the cue sheet are the build's own outputs; the
    // others it must keep off its inputs.
    for (const NamedFile& output : outputs) {
        if (output.path != keptImage && output.path != bin && output.path != cue) host.otherOutputs.push_back(output);
    }
    host.showMessage = [&](const std::string& text) {
        progress.BeforeLogLine();
        std::fprintf(stderr, "qorvcd: %s\n", text.c_str());
    };
    // One pass writes the BIN and the cue sheet (and the image, when asked).
    const std::string image = options.image ? keptImage : cue;
    std::vector<char> imageBuffer = MutableCopy(image), scriptBuffer = MutableCopy(buildScript);
    BuildRequest request;
    request.imagePath = imageBuffer.data();
    request.scriptPath = scriptBuffer.data();
    request.fallbackKind = *kind == DiscKind::Vcd30 ? DiscKind::Vcd30 : DiscKind::Svcd;
    request.standard = options.standard;
    request.outputs = options.image ? BuildOutputs::ImageAndBinCue : BuildOutputs::BinCueOnly;
    const int result = Build(request, &log, host);
    progress.BeforeLogLine();
    if (result != 0) {
        std::printf("Result: %d\n", result);
        std::fprintf(stderr, "%s: the disc was not made; nothing was written in %s\n", kCommand, folder.c_str());
        return 1;
    }

    if ((options.menu && !menu.pending->Keep()) || !savedScript.pending->Keep()) {
        std::fprintf(stderr, "%s: the disc is written, but not its script: %s %s\n", kCommand,
                     menu.pending->Error().c_str(), savedScript.pending->Error().c_str());
        return 1;
    }
    created.Keep();
    std::printf("Result: 0\n%s\n%s\n%s\n", bin.c_str(), cue.c_str(), scriptPath.c_str());
    if (options.image) std::printf("%s\n", image.c_str());
    return 0;
}

}  // namespace qorvcd::cli
