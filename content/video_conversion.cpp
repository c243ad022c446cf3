#include "content/video_conversion.h"

#include "codec/track_file.h"
#include "codec/transcode.h"
#include "core/results.h"
#include "mpeg/program_stream_probe.h"
#include "platform/file.h"
#include "platform/log_list.h"

namespace qorvcd {

namespace {

// The track list and the segment block convert into the same work folder.
std::string FreeWorkFileName(const std::string& workFolder) {
    std::string name;
    for (int n = 1; name.empty() || File::Exists(name); ++n) name = workFolder + Format("converted-%d.mps", n);
    return name;
}

}  // namespace

// Only a real video is converted: anything else reaches the probe, whose
// message says what is wrong with it.
// A file that cannot be read now is not converted: a failed read must not
// turn a track file into a video to convert; the probe reports the failure.
bool VideoConversions::MayNeedConversion(const std::string& path) {
    return codec::CheckSectorModeFile(path) == false;
}

// The stream as the disc's own probe reads it from the packed units.
bool VideoConversions::PackedStreamFits(PackedStreamIndex& packed, DiscKind kind, std::optional<VideoStandard> norm) {
    MpegStreamInfo info;
    ResetStreamInfo(info);
    if (ProbeMpegSource(info, packed, {}, nullptr, {}) != kOk || !packed.Ok()) return false;
    return codec::FitsDiscKind(codec::FactsOfProbedStream(info), kind, norm);
}

// A program stream is recognised by its own headers first, so that one
// needing only to be packed never loads the codec module; a module that
// cannot be loaded sends the file on to the conversion, which says so.
bool VideoConversions::NeedsConversion(const std::string& path) {
    const std::optional<bool> sectorMode = codec::CheckSectorModeFile(path);
    if (sectorMode != false) return false;
    if (ProbeProgramStreamVideo(path)) return true;
    const codec::SourceFacts facts = codec::ProbeSource(path);
    return facts.readable || facts.codecUnavailable;
}

int VideoConversions::TrackFileFor(const BuildContext& ctx, const std::string& name, const std::string& path,
                                   std::optional<VideoStandard> norm, std::string& use, PackedStreamIndex& packed,
                                   bool& packedOnCopy) {
    packedOnCopy = false;
    use = path;
    if (converted_.count(path) || !MayNeedConversion(path)) return FileFor(ctx, name, path, norm, use);
    if (ctx.progress) ctx.progress->SetMessage(Format("Reading %s...", name.c_str()));
    std::string error;
    const auto poll = [&ctx](uint64_t done, uint64_t total) {
        if (!ctx.progress) return false;
        if (total > 0) ctx.progress->SetProgress(int(done * 100 / total));
        return ctx.progress->TakeCancelRequest();
    };
    switch (packed.Build(path, ctx.kind, {}, poll, &error)) {
        case PackedStreamIndex::Outcome::Indexed:
            if (PackedStreamFits(packed, ctx.kind, norm)) {
                packedOnCopy = true;
                return kOk;
            }
            if (packed.Ok()) break;
            error = packed.Error();
            [[fallthrough]];
        case PackedStreamIndex::Outcome::ReadError:
            ctx.LogLine(Format("Error: can't convert %s: %s", name.c_str(), error.c_str()));
            return kStepFailed;
        case PackedStreamIndex::Outcome::Cancelled:
            return kCancelled;
        case PackedStreamIndex::Outcome::FormatError:
            break;
    }
    // Anything else is converted as before, which says why a stream is refused.
    return FileFor(ctx, name, path, norm, use);
}

int VideoConversions::FileFor(const BuildContext& ctx, const std::string& name, const std::string& path,
                              std::optional<VideoStandard> norm, std::string& use) {
    use = path;
    if (const auto done = converted_.find(path); done != converted_.end()) {
        use = done->second;
        return kOk;
    }
    if (!NeedsConversion(path)) return kOk;

    ctx.LogLine(Format("Converting %s for the disc...", name.c_str()));
    if (ctx.progress) ctx.progress->SetMessage(Format("Converting %s...", name.c_str()));
    codec::TrackFileRequest request;
    request.inputPath = path;
    request.outputPath = FreeWorkFileName(ctx.workFolder);
    request.workFolder = ctx.workFolder;
    request.kind = ctx.kind;
    request.norm = norm;
    request.showMessage = ctx.showMessage;
    request.progress = [&ctx](double done, double total) {
        if (ctx.progress && total > 0) ctx.progress->SetProgress(int(100 * done / total));
    };
    request.cancelRequested = [&ctx] { return ctx.progress && ctx.progress->TakeCancelRequest(); };
    const codec::TrackFileOutcome outcome = codec::MakeTrackFile(request);
    if (outcome.result != kOk) {
        File::Remove(request.outputPath);
        if (outcome.result == kCancelled) return kCancelled;
        ctx.LogLine(Format("Error: can't convert %s: %s", name.c_str(), outcome.error.c_str()));
        return kStepFailed;
    }
    converted_[path] = request.outputPath;
    use = request.outputPath;
    return kOk;
}

}  // namespace qorvcd
