#include "infofiles/info_files.h"

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "content/pbc_script.h"
#include "content/psd_compiler.h"
#include "content/segment_items.h"
#include "content/track_list.h"
#include "core/build_context.h"
#include "infofiles/entries_record.h"
#include "infofiles/info_file_names.h"
#include "infofiles/search_record.h"
#include "infofiles/tracks_record.h"
#include "iso9660/control_sectors.h"
#include "iso9660/dir_tree.h"
#include "mpeg/mpeg_probe.h"
#include "mpeg/stream_codes.h"
#include "platform/bytes.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "script/script_reader.h"

namespace qorvcd {
namespace {

// The segment area begins at logical sector 300 (disc address 00:06:00).
constexpr uint32_t kSegmentAreaSector = 300;

void LogCannotCreate(const BuildContext& ctx, const std::string& path) {
    ctx.LogLine(Format("Error 10000: Can't create file %s", path.c_str()));
}

bool WriteWorkFile(const BuildContext& ctx, const std::string& path, const void* data, size_t size) {
    std::string error;
    if (File::WriteAll(path, data, size, &error)) return true;
    LogCannotCreate(ctx, path);
    if (!error.empty()) ctx.LogLine(error);
    return false;
}

// The standard decimal conversion (leading blanks, a sign, digits; 0 when
// there are none), kept wide enough to tell values that overflow a field.
long long LeadingNumber(const char* text) {
    errno = 0;
    const long long value = std::strtoll(text, nullptr, 10);
    return errno == ERANGE ? -1 : value;
}

enum class AlbumKey { None, Album, Version, Volume, VolumeCount };

AlbumKey AlbumKeyOf(const char* token) {
    if (std::strcmp(token, "ALBUM") == 0) return AlbumKey::Album;
    if (std::strcmp(token, "VERSION") == 0) return AlbumKey::Version;
    if (std::strcmp(token, "VOLUME") == 0) return AlbumKey::Volume;
    if (std::strcmp(token, "ANZVOL") == 0) return AlbumKey::VolumeCount;
    return AlbumKey::None;
}

bool FitsField(const BuildContext& ctx, const char* key, const char* value, long long number,
               long long limit) {
    if (number >= 0 && number <= limit) return true;
    ctx.LogError(Format("%s value %s does not fit its field (0 to %lld)", key, value, limit));
    return false;
}

// Applies one key's value; false (logged) when it does not fit.
bool ApplyAlbumKey(const BuildContext& ctx, AlbumKey key, const char* value, InfoFileRecord& record) {
    switch (key) {
        case AlbumKey::Album:
            record.SetAlbum(value);  // its first 16 characters
            return true;
        case AlbumKey::Version: {
            const long long version = LeadingNumber(value);
            const char* dot = std::strchr(value, '.');
            const long long tag = dot ? LeadingNumber(dot + 1) : 0;
            if (!FitsField(ctx, "VERSION", value, version, 0xFF)) return false;
            if (!FitsField(ctx, "VERSION", value, tag, 0xFF)) return false;
            record.version = uint8_t(version);
            record.profileTag = uint8_t(tag);
            return true;
        }
        case AlbumKey::Volume:
        case AlbumKey::VolumeCount: {
            const char* name = key == AlbumKey::Volume ? "VOLUME" : "ANZVOL";
            const long long number = LeadingNumber(value);
            if (!FitsField(ctx, name, value, number, 0xFFFF)) return false;
            (key == AlbumKey::Volume ? record.volume : record.volumeCount) = uint16_t(number);
            return true;
        }
        case AlbumKey::None:
            break;
    }
    return true;
}

const char* AlbumKeyName(AlbumKey key) {
    switch (key) {
        case AlbumKey::Album: return "ALBUM";
        case AlbumKey::Version: return "VERSION";
        case AlbumKey::Volume: return "VOLUME";
        case AlbumKey::VolumeCount: return "ANZVOL";
        case AlbumKey::None: break;
    }
    return "";
}

bool FillPalFlags(const BuildContext& ctx, const TrackList* tracks, InfoFileRecord& record) {
    if (!tracks) return true;
    if (tracks->Count() > info_layout::kMaxPalTracks) {
        ctx.LogLine(Format("INFO can flag at most %zu tracks as PAL; the disc has %zu",
                           info_layout::kMaxPalTracks, tracks->Count()));
        return false;
    }
    size_t index = 0;
    for (const TrackEntry& track : tracks->Entries()) {
        if (track.videoStandard == int32_t(VideoStandard::Pal)) record.SetPalTrack(index);
        ++index;
    }
    return true;
}

// Pictures in the video units of a sector-mode file, counted up to `limit`.
int CountPictures(const std::string& path, int limit) {
    File file;
    if (!file.Open(path, FileMode::Read)) return 0;
    std::array<uint8_t, kSectorModeUnitSize> unit{};
    int pictures = 0;
    while (pictures < limit && file.Read(unit.data(), unit.size()) == unit.size()) {
        if (unit[3] != kVideoCoding) continue;  // the subheader's coding byte
        const uint8_t* pack = unit.data() + kSubheaderSize;
        for (size_t i = 0; i + 4 <= kMaxPackSize && pictures < limit; ++i) {
            if (IsStartCodePrefix(pack + i) && pack[i + 3] == uint8_t(VideoStartCode::Picture)) ++pictures;
        }
    }
    return pictures;
}

// The content byte of a segment from what its file holds: bits 0-1 the audio
// (none, one channel, stereo, dual channel), bits 2-4 the video (1 NTSC still,
// 2 NTSC high-resolution still, 3 NTSC motion, 5, 6, 7 the same for PAL). A
// file the probe cannot read keeps the PAL still of normal resolution.
uint8_t MeasuredSegmentContent(const std::string& path) {
    MpegStreamInfo info;
    ResetStreamInfo(info);
    if (ProbeMpegFile(info, path, nullptr, {}) < 0) return kVcd30SegmentContent;
    const bool ntsc = ClassifyVideoStandard(info) == int32_t(VideoStandard::Ntsc);
    const bool still = CountPictures(path, 2) == 1;
    const bool high = info.width >= 704;
    const uint8_t video = uint8_t((ntsc ? 0 : 4) + (still ? (high ? 2 : 1) : 3));
    AudioStreamInfo audio;
    const uint8_t audioClass = GetAudioStream(info, audio, 0) == kOk ? uint8_t(audio.audioClass & 0x03) : 0;
    return uint8_t(video << 2 | audioClass);
}

}  // namespace

uint8_t FirstSegmentContent(DiscKind kind, const SegmentItem& item) {
    // A Video CD 3.0 script gives no codes: the segment file says what it holds.
    return kind == DiscKind::Vcd30 ? MeasuredSegmentContent(item.fileName)
                                   : SegmentContentByte(item.audioCode, item.videoCode);
}

namespace {

bool FillSegments(const BuildContext& ctx, const InfoFilesInput& input, InfoFileRecord& record) {
    if (!input.segments || input.segments->Count() == 0) return true;
    uint64_t total = 0;
    for (const SegmentItem& item : input.segments->Items()) total += item.segmentCount;
    if (total > info_layout::kMaxSegments) {
        ctx.LogLine(Format("INFO holds content bytes for at most %zu segments; the items take %llu",
                           info_layout::kMaxSegments, static_cast<unsigned long long>(total)));
        return false;
    }
    PutMsfBcd(record.firstSegmentAddress.data(), kSegmentAreaSector);
    record.segmentCount = uint16_t(total);
    record.segmentContent.clear();
    for (const SegmentItem& item : input.segments->Items()) {
        const uint8_t first = FirstSegmentContent(ctx.kind, item);
        // An item of no segments adds no content byte but keeps its place in
        // the scan index, which the segment writer counts per item.
        if (item.segmentCount > 0) record.segmentContent.push_back(first);
        if (input.scanData) AppendScanIndex(*input.scanData);
        for (uint32_t k = 1; k < item.segmentCount; ++k) {
            record.segmentContent.push_back(uint8_t(first | kContinuedSegmentBit));
        }
        if (ctx.kind == DiscKind::Vcd30) continue;  // its script gives no codes to flag
        if (item.audioCode > 0xFF) record.segmentFlags |= kSegmentFlagWideAudio;
        if (item.ogtCode != 0) record.segmentFlags |= kSegmentFlagOgt;
    }
    return true;
}

// The size a work file reached; false (logged) when it cannot be opened,
// since its directory record would otherwise say 0 bytes.
bool WorkFileSize(const BuildContext& ctx, const std::string& path, uint32_t* size) {
    File file;
    if (!file.Open(ResolvePath(path, ""), FileMode::Read)) {
        ctx.LogLine(Format("Can't open file %s", path.c_str()));
        ctx.LogLine("Error: " + file.Error());
        return false;
    }
    const uint64_t length = file.Length();
    *size = length > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(length);
    return true;
}

}  // namespace

bool WriteSearchHeader(const BuildContext& ctx, uint32_t totalHundredths, uint8_t scanInterval) {
    return WriteSearchHeaderWithPoints(ctx, ScanPointsFor(totalHundredths), scanInterval);
}

bool WriteSearchHeaderWithPoints(const BuildContext& ctx, uint32_t points, uint8_t scanInterval) {
    const std::string path = ctx.workFolder + kSearchWorkFile;
    SearchRecord search;  // no points yet: the video track writer fills them
    search.timeInterval = scanInterval;
    const std::vector<uint8_t> header = search.Encode();
    File file;
    if (!file.Open(path, FileMode::CreateReadWrite)) {
        LogCannotCreate(ctx, path);
        return false;
    }
    file.Write(header.data(), header.size());
    file.WriteZeros(uint64_t(points) * search_layout::kPointSize);
    const bool closed = file.Close();
    if (!file.Ok() || !closed) {
        ctx.LogLine(file.Error());
        return false;
    }
    return true;
}

bool WriteTracksFile(const BuildContext& ctx, const TrackList& tracks) {
    std::vector<TracksFileTrack> rows;
    rows.reserve(tracks.Count());
    for (const TrackEntry& track : tracks.Entries()) {
        rows.push_back({track.duration, uint8_t(track.ogtInfo), uint8_t(track.audioInfo),
                        track.videoStandard == int32_t(VideoStandard::Pal)});
    }
    std::string error;
    // SUPER-VCD keeps this format's layout: its players read that one.
    const bool standard = ctx.standard && ctx.kind == DiscKind::Svcd;
    const std::optional<TracksRecord> record =
        standard ? BuildStandardTracksRecord(rows, &error) : BuildTracksRecord(rows, &error);
    if (!record) {
        ctx.LogLine(error);
        return false;
    }
    const std::vector<uint8_t> bytes = record->Encode();
    return WriteWorkFile(ctx, ctx.workFolder + kTracksWorkFile, bytes.data(), bytes.size());
}

AlbumKeys ReadAlbumKeys(ScriptReader& script, const BuildContext& ctx, InfoFileRecord& record) {
    if (!script.FindSection("[VCD]")) return AlbumKeys::NoSection;
    for (;;) {
        const char* token = script.NextTokenUpper();
        if (token == nullptr || token[0] == '\0' || token[0] == '[') return AlbumKeys::Read;
        const AlbumKey key = AlbumKeyOf(token);
        if (key == AlbumKey::None) continue;
        const char* equals = script.NextToken();
        if (equals == nullptr || std::strcmp(equals, "=") != 0) {
            ctx.MessageError(Format("Find <%s> error", AlbumKeyName(key)));
            return AlbumKeys::KeyError;
        }
        const char* value = script.NextToken();
        if (value == nullptr) {
            ctx.LogError(Format("The %s value is refused: %s", AlbumKeyName(key),
                               script.RejectReason().c_str()));
            return AlbumKeys::KeyError;
        }
        if (!ApplyAlbumKey(ctx, key, value, record)) return AlbumKeys::KeyError;
    }
}

bool FillInfoContent(const BuildContext& ctx, const InfoFilesInput& input, InfoFileRecord& record) {
    if (!FillPalFlags(ctx, input.tracks, record)) return false;
    record.psdSize = input.psdSize;
    record.offsetMultiplier = kPsdOffsetMultiplier;
    record.lotEntryCount = input.lotEntryCount;
    return FillSegments(ctx, input, record);
}

int WriteInfoAndEntries(ScriptReader& script, const BuildContext& ctx, const InfoFilesInput& input) {
    const InfoFileNames& names = InfoFileNamesOf(ctx.kind);
    const std::array<uint8_t, kInfoFileSize> entries =
        EncodeEntriesHeader(input.entryId, names.entriesVersion);
    int result = kOk;
    if (!WriteWorkFile(ctx, ctx.workFolder + names.entriesWorkFile, entries.data(), entries.size())) {
        result = kStepFailed;
    }
    InfoFileRecord record;
    record.SetSystemId(names.systemId);
    switch (ReadAlbumKeys(script, ctx, record)) {
        case AlbumKeys::NoSection:
            ctx.LogLine(Format("Error %d: VCD section doesn't be found", kStepFailed));
            result = kStepFailed;
            break;
        case AlbumKeys::KeyError:
            result = kStepFailed;
            break;
        case AlbumKeys::Read:
            if (!FillInfoContent(ctx, input, record)) result = kStepFailed;
            break;
    }
    // A standard disc says which standard it follows whatever VERSION gave.
    if (ctx.standard) {
        const InfoVersion standard = StandardInfoVersion(ctx.kind);
        record.version = standard.version;
        record.profileTag = standard.profileTag;
    }
    const std::vector<uint8_t> info = record.Encode();
    if (!WriteWorkFile(ctx, ctx.workFolder + names.infoWorkFile, info.data(), info.size())) {
        result = kStepFailed;
    }
    return result;
}

namespace {

// The control folder's files and the fixed sectors they go to.
struct ControlNode {
    const char* prefix;
    uint32_t sector;
    DirNode* node = nullptr;
};

void PlaceControlNodes(const BuildContext& ctx, DirTree* tree, ControlNode (&nodes)[4]) {
    if (!tree || !tree->Root()) return;
    const DirNode* folder = DirTree::FindChild(InfoFileNamesOf(ctx.kind).controlFolder, tree->Root());
    ForEachChild(folder, [&](DirNode* child) {
        for (ControlNode& control : nodes) {
            if (child->name.compare(0, std::strlen(control.prefix), control.prefix) != 0) continue;
            child->startSector = control.sector;
            control.node = child;
            break;
        }
    });
}

}  // namespace

bool CheckEntriesCapacity(const BuildContext& ctx, const TrackList& tracks, const PbcScript& pbc) {
    using entries_layout::kMaxEntries;
    const std::string limit = Format("would take entry %zu of ENTRIES, which holds at most %zu "
                                     "(one per track start and one per entry point)",
                                     kMaxEntries + 1, kMaxEntries);
    size_t entries = 0;
    for (const TrackEntry& track : tracks.Entries()) {
        const size_t taken = 1 + track.entryPoints.size();
        if (entries + taken <= kMaxEntries) {
            entries += taken;
            continue;
        }
        if (entries == kMaxEntries) {
            const std::string text = Format("Error: track %s %s", track.id.c_str(), limit.c_str());
            ctx.Report(Severity::Error, text, track.line);
            ctx.LogLine(text);
            return false;
        }
        // After the track's start, its entry points take entries in time order.
        const EntryPoint& point = track.entryPoints[kMaxEntries - entries - 1];
        const PlayListNode* list = nullptr;
        for (const PlayListNode& node : pbc.playLists)
            if (node.psdOffset >= 0 && uint32_t(node.psdOffset) == point.value) list = &node;
        const std::string text = Format("Error: play list %s, which starts track %s at %.2f seconds, %s",
                                        list ? list->id.c_str() : "?", track.id.c_str(), point.key / 100.0,
                                        limit.c_str());
        ctx.Report(Severity::Error, text, list ? list->line : track.line);
        ctx.LogLine(text);
        return false;
    }
    return true;
}

int WriteInfoFiles(const BuildContext& ctx, InfoFilesJob& job) {
    if (!job.script || !job.tracks || !job.segments || !job.pbc) return kStepFailed;
    ScriptReader& script = *job.script;
    job.psdSize = 0;
    job.lotEntryCount = 0;
    ctx.LogLine(script.FindSection("[PBC]") ? "Creating PBC..." : "PBC not define!!!");

    ControlNode nodes[4] = {{"ENTRIES", kEntriesSector}, {"INFO", kInfoSector},
                            {"LOT", kLotSector}, {"PSD", kPsdSector}};
    PlaceControlNodes(ctx, job.tree, nodes);

    int result = kOk;
    if (!ReadPbcScript(script, ctx, TrackIdPrefix(ctx.kind), *job.pbc)) result = kPbcRejected;
    const PsdCompileResult psd = CompilePsd(*job.pbc, *job.tracks, *job.segments, ctx);
    job.psdSize = psd.psdSize;
    job.lotEntryCount = psd.lotEntryCount;
    if (!psd.ok && result == kOk) result = kStepFailed;
    if (result == kOk && !CheckEntriesCapacity(ctx, *job.tracks, *job.pbc)) result = kStepFailed;
    if (IsSvcdFamily(ctx.kind) && !WriteTracksFile(ctx, *job.tracks)) result = kStepFailed;

    InfoFilesInput input;
    input.tracks = job.tracks;
    input.segments = job.segments;
    input.entryId = job.entryId;
    input.psdSize = job.psdSize;
    input.lotEntryCount = job.lotEntryCount;
    input.scanData = job.scanData;
    const int infoResult = WriteInfoAndEntries(script, ctx, input);
    if (infoResult != kOk) result = infoResult;

    const InfoFileNames& names = InfoFileNamesOf(ctx.kind);
    const std::string paths[4] = {ctx.workFolder + names.entriesWorkFile,
                                  ctx.workFolder + names.infoWorkFile, psd.lotPath, psd.psdPath};
    for (size_t i = 0; i < 4; ++i) {
        if (nodes[i].node && !WorkFileSize(ctx, paths[i], &nodes[i].node->size) && result == kOk) result = kStepFailed;
    }
    return result;
}

}  // namespace qorvcd
