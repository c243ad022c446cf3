// The video tracks of a disc: the [TRACK] section of the authoring script,
// each file probed, kept in ID order and numbered from 2 (track 1 is the
// data track). Every later writer that deals with tracks walks this list.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/build_context.h"
#include "core/disc_kind.h"
#include "core/results.h"
#include "mpeg/mpeg_probe.h"
#include "mpeg/packed_stream.h"
#include "platform/file_identity.h"

namespace qorvcd {

class ScriptReader;

// Video tracks are numbered 2..99 on a compact disc (track 1 holds the file
// system), which also keeps the one-byte track counts and the two-digit track
// file names ("AVSEQ%02d.MPG") of the disc in range.
inline constexpr uint32_t kFirstTrackNumber = 2;
inline constexpr size_t kMaxVideoTracks = 98;

// A place inside a track where a play list starts playing.
struct EntryPoint {
    int32_t key = 0;     // start time in the track, hundredths of a second
    uint32_t value = 0;  // byte offset in the PSD of the play list that starts here
};

struct TrackEntry {
    uint32_t number = 0;  // disc track number, also the track's play-item number
    int32_t videoStandard = int32_t(VideoStandard::Pal);  // a VideoStandard value
    uint32_t audioInfo = 0;    // one byte: class of audio stream 1 << 4 | class of stream 0
    // Playing time in hundredths of a second (not measured for Video CD 3.0):
    // the probe's measure, or under `standard` the exact time from the
    // stream's first and last time stamps. Every file that states a track's
    // time takes it from here.
    uint32_t duration = 0;
    uint32_t ogtInfo = 0;      // overlay graphics byte; the script offers no way to set it
    uint32_t startSector = 0;  // set by the video track writer
    std::string id;            // upper-cased, at most kMaxScriptIdLength characters
    std::string fileName;      // the file as written in the script, upper-cased
    std::string path;          // the same file resolved on disk: open this one
    // Size and time of the file when it was probed: the writer copies it only
    // while they still hold, so the disc matches what the probe measured.
    std::optional<FileIdentity> probedStamp;
    // Set for a program stream that is packed into units as it is copied
    // (no sector-mode file is made for it): what the copy needs of it.
    std::optional<PackedStreamFacts> packed;
    std::vector<EntryPoint> entryPoints;  // ascending key; equal keys in insertion order
    int line = 0;  // of its MPEGTRACK line in the script
};

// The bytes of a track's sector-mode form: its file's length, or for a packed
// stream its units'; none (with `error`) when the file cannot be opened.
std::optional<uint64_t> TrackSectorModeBytes(const TrackEntry& track, std::string* error);

// "MUSIC" for Video CD 3.0, "AVSEQ" for the other kinds: every track ID must
// begin with it, and it names the track files on the disc.
const char* TrackIdPrefix(DiscKind kind);

class TrackList {
  public:
    // Sorted by ID; an equal ID goes after the ones already present.
    const std::vector<TrackEntry>& Entries() const { return entries_; }
    std::vector<TrackEntry>& Entries() { return entries_; }
    size_t Count() const { return entries_.size(); }
    bool Empty() const { return entries_.empty(); }
    // Sum of the probed playing times (hundredths of a second).
    uint32_t TotalPlayingTime() const { return totalPlayingTime_; }

    void Insert(TrackEntry entry);
    void AddPlayingTime(uint32_t hundredths) { totalPlayingTime_ += hundredths; }
    // Gives the numbers 2, 3, ... in list order.
    void Number();
    // First track with exactly this ID, or null.
    TrackEntry* Find(std::string_view id);
    const TrackEntry* Find(std::string_view id) const;
    void Clear();

  private:
    std::vector<TrackEntry> entries_;
    uint32_t totalPlayingTime_ = 0;
};

// Reads the [TRACK] section through the session's script reader, probes every
// file, numbers the tracks and applies their ".EP" side files. Returns kOk, or
// on a fatal error (its reason is logged or shown) the code the error carries:
// kNoTrackSection, kNotATrack, or kTrackListFailed for errors that carry none.
int ReadTrackList(ScriptReader& script, const BuildContext& ctx, TrackList& tracks);

// Adds an entry point to the track with the given ID, keeping the keys in
// ascending order (equal keys keep their order of insertion). Returns false,
// with the message "Insert entry failed, not found ID %s", when no track
// has that ID.
bool InsertEntryPoint(TrackList& tracks, const BuildContext& ctx, std::string_view id,
                      uint32_t value, int32_t key);

// Reads a stream side file (the track file's name with the extension ".EP"):
// "PAL", "NTSC", "AUDIO" n override the probed values. False when it cannot
// be opened.
bool ApplySideFile(const std::string& sideFilePath, TrackEntry& entry,
                   const MessageHandler& showMessage);

// The side file's path for a track file: same folder and base name, ".EP".
std::string SideFilePathOf(const std::string& trackPath);

}  // namespace qorvcd
