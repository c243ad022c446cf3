#include "codec/track_file.h"

#include <cstring>

#include "codec/transcode.h"
#include "core/results.h"
#include "core/sector_unit.h"
#include "mpeg/packet_reader.h"
#include "mpeg/program_stream_probe.h"
#include "platform/file.h"
#include "platform/paths.h"

namespace qorvcd::codec {

namespace {

TrackFileOutcome Pack(const TrackFileRequest& request, const std::string& input, TrackFileOutcome outcome) {
    std::string error;
    if (PackProgramStream(input, request.outputPath, request.kind, request.showMessage, &error,
                          request.cancelRequested)) {
        return outcome;
    }
    const bool cancelled = request.cancelRequested && request.cancelRequested();
    outcome.result = cancelled ? kCancelled : kStepFailed;
    outcome.error = error;
    return outcome;
}

// A program stream whose own headers show the kind's codec and frame size:
// packed as it is, without loading the codec module.
bool FitsByItsOwnHeaders(const TrackFileRequest& request) {
    const std::optional<ProgramStreamVideo> video = ProbeProgramStreamVideo(request.inputPath);
    if (!video) return false;
    SourceFacts facts;
    facts.readable = facts.hasVideo = true;
    facts.container = "mpeg";
    facts.videoCodec = video->mpeg2 ? "mpeg2video" : "mpeg1video";
    facts.width = video->width;
    facts.height = video->height;
    return FitsDiscKind(facts, request.kind, request.norm);
}

}  // namespace

TrackFileOutcome MakeTrackFile(const TrackFileRequest& request) {
    if (FitsByItsOwnHeaders(request)) return Pack(request, request.inputPath, {});
    const SourceFacts source = ProbeSource(request.inputPath);
    // What the libraries cannot read at all still goes to the packer: its
    // own message says what is wrong with a program stream.
    if (!source.readable || FitsDiscKind(source, request.kind, request.norm)) {
        TrackFileOutcome outcome = Pack(request, request.inputPath, {});
        if (outcome.result == kStepFailed && !source.readable) outcome.error += "\n" + source.error;
        return outcome;
    }
    TranscodeRequest transcode;
    transcode.inputPath = request.inputPath;
    transcode.outputPath = request.outputPath + ".transcoded.mpg";
    if (!request.workFolder.empty()) transcode.outputPath = request.workFolder + FileNameOf(transcode.outputPath);
    transcode.kind = request.kind;
    transcode.norm = request.norm;
    transcode.progress = request.progress;
    transcode.cancelRequested = request.cancelRequested;
    const TranscodeOutcome transcoded = TranscodeForDisc(transcode);
    TrackFileOutcome outcome{transcoded.result, transcoded.error, true, transcoded.norm};
    if (outcome.result == kOk) outcome = Pack(request, transcode.outputPath, outcome);
    File::Remove(transcode.outputPath);
    return outcome;
}

bool IsSectorModeFile(const std::string& path) { return CheckSectorModeFile(path).value_or(false); }

std::optional<bool> CheckSectorModeFile(const std::string& path) {
    File file;
    uint8_t head[kSubheaderSize] = {};
    if (!file.Open(path, FileMode::Read)) return std::nullopt;
    const uint64_t length = file.Length();
    if (length == 0 || length % kSectorModeUnitSize != 0) return false;
    if (!file.ReadExact(head, sizeof head)) return std::nullopt;
    return std::memcmp(head, head + kSubheaderSize / 2, kSubheaderSize / 2) == 0;
}

}  // namespace qorvcd::codec
