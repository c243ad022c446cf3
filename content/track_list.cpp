#include "content/track_list.h"

#include <algorithm>

#include "content/content_ids.h"
#include "content/video_conversion.h"
#include "mpeg/stream_codes.h"
#include "mpeg/stream_times.h"
#include "platform/file.h"
#include "platform/log_list.h"
#include "platform/paths.h"
#include "script/script_reader.h"

namespace qorvcd {

std::optional<uint64_t> TrackSectorModeBytes(const TrackEntry& track, std::string* error) {
    if (track.packed) return track.packed->SectorModeBytes();
    File file;
    if (file.Open(track.path.empty() ? track.fileName : track.path, FileMode::Read)) return file.Length();
    if (error) *error = file.Error();
    return std::nullopt;
}

const char* TrackIdPrefix(DiscKind kind) { return kind == DiscKind::Vcd30 ? "MUSIC" : "AVSEQ"; }

void TrackList::Insert(TrackEntry entry) {
    auto at =
        std::upper_bound(entries_.begin(), entries_.end(), entry.id,
                         [](const std::string& id, const TrackEntry& e) { return id < e.id; });
    entries_.insert(at, std::move(entry));
}

void TrackList::Number() {
    uint32_t number = kFirstTrackNumber;
    for (TrackEntry& entry : entries_) entry.number = number++;
}

TrackEntry* TrackList::Find(std::string_view id) {
    for (TrackEntry& entry : entries_)
        if (entry.id == id) return &entry;
    return nullptr;
}

const TrackEntry* TrackList::Find(std::string_view id) const {
    for (const TrackEntry& entry : entries_)
        if (entry.id == id) return &entry;
    return nullptr;
}

void TrackList::Clear() {
    entries_.clear();
    totalPlayingTime_ = 0;
}

bool InsertEntryPoint(TrackList& tracks, const BuildContext& ctx, std::string_view id,
                      uint32_t value, int32_t key) {
    TrackEntry* track = tracks.Find(id);
    if (!track) {
        ctx.ShowMessage(
            Format("Insert entry failed, not found ID %.*s", int(id.size()), id.data()));
        return false;
    }
    auto& points = track->entryPoints;
    auto at = std::upper_bound(points.begin(), points.end(), key,
                               [](int32_t k, const EntryPoint& p) { return k < p.key; });
    points.insert(at, EntryPoint{key, value});
    return true;
}

std::string SideFilePathOf(const std::string& trackPath) {
    const PathParts parts = SplitPath(trackPath);
    return parts.drive + parts.folder + parts.name + ".EP";
}

bool ApplySideFile(const std::string& sideFilePath, TrackEntry& entry,
                   const MessageHandler& showMessage) {
    ScriptReader side(showMessage);
    if (!side.OpenScript(sideFilePath)) return false;
    for (;;) {
        const std::string_view token = TokenText(side.NextTokenUpper());
        if (token.empty()) break;
        if (token == "PAL") {
            entry.videoStandard = int32_t(VideoStandard::Pal);
        } else if (token == "NTSC") {
            entry.videoStandard = int32_t(VideoStandard::Ntsc);
        } else if (token == "AUDIO") {
            entry.audioInfo = uint32_t(ScriptInt(TokenText(side.NextTokenUpper())));
        } else if (token == "TIME") {
            side.NextTokenUpper();
        }
    }
    side.CloseScript();
    return true;
}

namespace {

// A file that starts with a pack header is an MPEG program stream as encoders
// write it, not yet cut into the sectors of a track file.
bool IsPlainProgramStream(const std::string& path) {
    File file;
    uint8_t head[4] = {};
    return file.Open(path, FileMode::Read) && file.Read(head, sizeof head) == sizeof head &&
           IsStartCode(head, StreamId::PackStart);
}

// Why the file at `path` cannot be read, as the system says it; empty when
// its first bytes read (the file is then merely not a track).
std::string ReadFailureOf(const std::string& path) {
    File file;
    uint8_t first = 0;
    if (file.Open(path, FileMode::Read)) file.Read(&first, sizeof first);
    return file.Error();
}

int32_t AudioClassOf(const MpegStreamInfo& info, int stream) {
    AudioStreamInfo audio;
    if (GetAudioStream(info, audio, stream) != kOk) return 0;
    return audio.audioClass & 0x0F;
}

// A Video CD 3.0 plays MPEG-1 video, the other kinds MPEG-2.
void WarnMpegVersion(const BuildContext& ctx, const TrackEntry& entry, const MpegStreamInfo& info) {
    const bool wantsMpeg2 = ctx.kind != DiscKind::Vcd30;
    if (bool(info.isMpeg2) == wantsMpeg2) return;
    ctx.Warn(Format("%s is an MPEG-%d stream; a %s plays MPEG-%d", entry.fileName.c_str(), info.isMpeg2 ? 2 : 1,
                    TextsOf(ctx.kind).headerLabel, wantsMpeg2 ? 2 : 1),
             entry.line);
}

// The line's PAL/NTSC, AUDIO and TIME are only declarations: the probe's
// measurements go onto the disc. One that disagrees is worth a warning.
void WarnDeclaredValues(const BuildContext& ctx, const TrackEntry& entry, const std::string& standard,
                        int declaredAudio, int declaredTime) {
    const int32_t measured = entry.videoStandard;
    if ((measured == int32_t(VideoStandard::Pal) || measured == int32_t(VideoStandard::Ntsc)) &&
        (standard == "PAL") != (measured == int32_t(VideoStandard::Pal)))
        ctx.Warn(Format("%s declares %s but %s is %s; the measured norm is used", entry.id.c_str(), standard.c_str(),
                        entry.fileName.c_str(), measured == int32_t(VideoStandard::Pal) ? "PAL" : "NTSC"),
                 entry.line);
    if (uint32_t(declaredAudio) != entry.audioInfo)
        ctx.Warn(Format("%s declares AUDIO %d but %s measures AUDIO %u; the measured value is used", entry.id.c_str(),
                        declaredAudio, entry.fileName.c_str(), entry.audioInfo),
                 entry.line);
    // The measured time may read up to a second short at the end of a stream.
    constexpr int kTimeSlackSeconds = 2;
    if (entry.duration > 0) {
        const int seconds = int((entry.duration + 50) / 100);
        if (declaredTime > seconds + kTimeSlackSeconds || declaredTime + kTimeSlackSeconds < seconds)
            ctx.Warn(Format("%s declares TIME %d but %s plays about %d seconds; the measured time is used",
                            entry.id.c_str(), declaredTime, entry.fileName.c_str(), seconds),
                     entry.line);
    }
}

// The probe's playing time runs from the stream's start to a clock reference
// some way before its end. A disc laid out to the standards states it to the
// frame instead: from the first picture's time stamp to the end of the last.
// `packed` reads a stream packed as it is copied; null for a sector-mode file.
uint32_t PlayingTimeOf(const BuildContext& ctx, const TrackEntry& entry, const MpegStreamInfo& info,
                       SectorModeSource* packed) {
    const int32_t probed = PlayingTime(info);
    const uint32_t measured = probed > 0 ? uint32_t(probed) : 0;
    if (!ctx.standard) return measured;
    std::string why;
    const std::optional<StreamTimes> times = packed ? MeasureSourceTimes(*packed, FrameRate(info), &why)
                                                    : MeasureStreamTimes(entry.path, FrameRate(info), &why);
    if (!times) {
        ctx.Warn(Format("%s: %s; its playing time is taken from its clock references", entry.fileName.c_str(),
                        why.c_str()),
                 entry.line);
        return measured;
    }
    return times->PlayingHundredths();
}

// Reads one track line after its "MPEGTRACK" and fills `entry`; returns kOk,
// or the code of an error already reported (kTrackListFailed when the error
// carries no code of its own).
int ReadTrackLine(ScriptReader& script, const BuildContext& ctx, TrackEntry& entry, TrackList& tracks,
                  VideoConversions& videos) {
    const std::string_view id = TokenText(script.NextTokenUpper());
    const char* prefix = TrackIdPrefix(ctx.kind);
    if (id.substr(0, 5) != prefix) {
        ctx.MessageError(Format("100: ID_Name = %.*s", int(id.size()), id.data()));
        return kTrackListFailed;
    }
    if (!CheckScriptId(id, "Track", ctx)) return kTrackListFailed;
    entry.id = std::string(id);
    entry.line = script.TokenLine();

    const std::string_view file = TokenText(script.NextTokenUpper());
    entry.fileName = std::string(file);
    entry.path = ctx.ResolveScriptPath(entry.fileName);
    // An ordinary video becomes a track file first, in the norm the line
    // declares (read now, and not again below); the log goes on naming the
    // user's file.
    std::optional<std::string> declared;
    std::optional<VideoStandard> norm;
    if (ctx.kind != DiscKind::Vcd30 && VideoConversions::MayNeedConversion(entry.path)) {
        declared = std::string(TokenText(script.NextTokenUpper()));
        if (*declared == "PAL" || *declared == "NTSC") norm = *declared == "PAL" ? VideoStandard::Pal : VideoStandard::Ntsc;
    }
    // A program stream that fits is packed as the track is copied: its stamp
    // is taken before it is first read.
    const std::optional<FileIdentity> sourceStamp = IdentifyFile(entry.path);
    PackedStreamIndex packed;
    bool packedOnCopy = false;
    if (const int converted = videos.TrackFileFor(ctx, entry.fileName, entry.path, norm, entry.path, packed, packedOnCopy);
        converted != kOk) {
        if (converted == kCancelled) ctx.LogLine("Cancle by user");
        else ctx.Report(Severity::Error, Format("can't convert %s into a track", entry.fileName.c_str()), entry.line);
        return converted;
    }

    // A fresh record per track: the probe leaves the audio facts of a stream it
    // does not find untouched, so a shared record would hand one track's second
    // audio stream to the next.
    MpegStreamInfo info;
    ResetStreamInfo(info);
    // Taken before the probe reads, so a change while it reads shows too.
    entry.probedStamp = packedOnCopy ? sourceStamp : IdentifyFile(entry.path);
    const int32_t status = packedOnCopy ? ProbeMpegSource(info, packed, entry.path, ctx.progress, ctx.showMessage)
                                        : ProbeMpegFile(info, entry.path, ctx.progress, ctx.showMessage);
    if (packedOnCopy) entry.packed = packed.Facts();
    if (status < 0) {
        if (const std::string reason = ReadFailureOf(entry.path); !reason.empty())
            ctx.LogLine("Error: " + reason);
        if (status == kProbeCannotOpen)
            ctx.LogLine(Format("Can't open file %s", entry.fileName.c_str()));
        ctx.Report(Severity::Error, Format("Error %d: File %s is not a track format", kNotATrack, entry.fileName.c_str()),
                   entry.line);
        ctx.LogLine(Format("Error %d: File %s is not a track format", kNotATrack, entry.fileName.c_str()));
        // The probe answers a Cancel like a bad file; the user is told which it was.
        if (status == kProbeCancelled)
            ctx.LogLine(Format("%s was not read to its end: the build was cancelled", entry.fileName.c_str()));
        else if (IsPlainProgramStream(entry.path))
            ctx.LogLine(Format("%s is a plain MPEG program stream; qorvcd pack makes the sector-mode file a track needs",
                               entry.fileName.c_str()));
        return kNotATrack;
    }
    entry.videoStandard = int32_t(VideoStandard::Pal);

    if (ctx.kind == DiscKind::Vcd30) {
        entry.videoStandard = ClassifyVideoStandard(info);
        entry.audioInfo = uint32_t(AudioClassOf(info, 0));
        WarnMpegVersion(ctx, entry, info);
        return kOk;
    }
    // The script's standard, audio and time values are only checked: the
    // probe's measurements win.
    const std::string standard = declared ? *declared : std::string(TokenText(script.NextTokenUpper()));
    if (standard != "PAL" && standard != "NTSC") {
        ctx.MessageError("Missing PAL/NTSC");
        return kTrackListFailed;
    }
    entry.videoStandard = ClassifyVideoStandard(info);
    if (TokenText(script.NextTokenUpper()) != "AUDIO") {
        ctx.MessageError("Missing AUDIO");
        return kTrackListFailed;
    }
    const int declaredAudio = ScriptInt(TokenText(script.NextTokenUpper()));
    entry.audioInfo = uint32_t(16 * AudioClassOf(info, 1) + AudioClassOf(info, 0));
    if (TokenText(script.NextTokenUpper()) != "TIME") {
        ctx.MessageError("Missing TIME");
        return kTrackListFailed;
    }
    const int declaredTime = ScriptInt(TokenText(script.NextTokenUpper()));
    entry.duration = PlayingTimeOf(ctx, entry, info, packedOnCopy ? &packed : nullptr);
    tracks.AddPlayingTime(entry.duration);
    WarnMpegVersion(ctx, entry, info);
    WarnDeclaredValues(ctx, entry, standard, declaredAudio, declaredTime);
    return kOk;
}

// A missing side file is a warning; one that is there but cannot be read
// fails the list, since its entry points would be lost without a word.
bool ApplySideFiles(const BuildContext& ctx, TrackList& tracks) {
    for (TrackEntry& entry : tracks.Entries()) {
        const std::string sidePath = SideFilePathOf(entry.fileName);
        const std::string resolved = ctx.ResolveScriptPath(sidePath);
        if (ApplySideFile(resolved, entry, ctx.showMessage)) continue;
        if (PathExists(resolved)) {
            ctx.LogError(Format("Error: can't read %s", sidePath.c_str()));
            return false;
        }
        if (ctx.kind != DiscKind::Vcd30)
            ctx.LogLine(
                Format("Warning::Can't open %s, disc information may be wrong", sidePath.c_str()));
    }
    return true;
}

}  // namespace

int ReadTrackList(ScriptReader& script, const BuildContext& ctx, TrackList& tracks) {
    tracks.Clear();
    if (!script.FindSection("[TRACK]")) {
        ctx.Report(Severity::Error, "Track info do't found", 0);
        ctx.LogLine("Track info do't found");
        return kNoTrackSection;
    }
    VideoConversions videos;
    for (std::string_view token = TokenText(script.NextTokenUpper());
         !token.empty() && !IsSectionHeader(token); token = TokenText(script.NextTokenUpper())) {
        if (token != "MPEGTRACK") break;  // "ENDFILE" or any other word ends the list
        if (tracks.Count() == kMaxVideoTracks) {
            const std::string id(TokenText(script.NextTokenUpper()));
            ctx.LogError(Format("Error: too many video tracks, at most %zu: track %s would be track %zu of the disc, "
                                "and a CD holds 99 tracks, the first of them the file system",
                                kMaxVideoTracks, id.c_str(), kMaxVideoTracks + kFirstTrackNumber));
            return kTrackListFailed;
        }
        TrackEntry entry;
        QORVCD_CHECK(ReadTrackLine(script, ctx, entry, tracks, videos));
        tracks.Insert(std::move(entry));
    }
    tracks.Number();
    if (!ApplySideFiles(ctx, tracks)) return kTrackListFailed;
    ctx.LogLine(" ");
    ctx.LogLine(Format("Total has %d Video Track(s)", int(tracks.Count())));
    return kOk;
}

}  // namespace qorvcd
