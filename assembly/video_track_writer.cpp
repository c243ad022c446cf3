#include "assembly/video_track_writer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "content/psd_compiler.h"
#include "content/track_list.h"
#include "core/build_context.h"
#include "core/sector_unit.h"
#include "image/container.h"
#include "infofiles/entries_record.h"
#include "infofiles/info_file_names.h"
#include "infofiles/scan_data.h"
#include "infofiles/search_record.h"
#include "iso9660/directory_record.h"
#include "iso9660/file_system_state.h"
#include "mpeg/mpeg_probe.h"
#include "mpeg/pack_header.h"
#include "mpeg/stream_codes.h"
#include "platform/bytes.h"
#include "platform/file.h"
#include "platform/file.h"
#include "platform/log_list.h"

namespace qorvcd {

namespace {

// Bytes of a 2336-byte sector-mode unit the writer reads or sets.
constexpr size_t kFileNumberByte = 0;       // subheader file number ...
constexpr size_t kFileNumberCopyByte = 4;   // ... and its copy
constexpr size_t kCodingByte = 3;
constexpr size_t kPackOffset = kSubheaderSize;  // the pack follows the subheader
// The third byte of a pack start code at unit byte 8: 0x01 when one is there.
constexpr size_t kPackStartPrefixByte = 10;
// Bytes of a pack header the clock reference needs.
constexpr size_t kPackClockBytes = 9;

// A scan point every half second of playing time.
constexpr double kScanPointStep = 0.5;
// The counter's own limit: logical sectors are kept in 23 bits.
constexpr uint32_t kSectorCounterLimit = 0x7FFFFF;

// The CVD track table in logical sector 0's user data.
constexpr size_t kCvdTrackCountField = 10;  // big-endian: video tracks + 5
constexpr uint16_t kCvdTrackCountBias = 5;
constexpr size_t kCvdFirstTrackEntry = 34;
constexpr size_t kCvdTrackEntrySize = 4;    // track number - 1, BCD address

// A play list's play-item field, relative to its PSD descriptor.
constexpr uint32_t kPlayListItemField = 14;

// Where the track files' records are, and the unit of the folder that holds
// the next one.
struct TrackDirectoryCursor {
    uint64_t unitOffset = 0;
    std::array<uint8_t, kForm1UnitSize> unit{};
    size_t cursor = kFirstTrackFileRecord;  // into the unit's user data
};

// What the writer tracks inside one track.
struct TrackState {
    uint32_t units = 0;
    uint32_t firstSector = 0;
    uint32_t lastUnitSector = 0;
    std::optional<uint32_t> lastIntraSector;
    double nextSearchTime = 0.0;
    double nextScanTime = 0.0;
    size_t nextEntryPoint = 0;
    uint32_t lastVideoSeconds = 0;
};

class VideoTrackWriter {
public:
    VideoTrackWriter(ImageContainer& image, const BuildContext& ctx, std::vector<TrackEntry>& tracks,
                     FileSystemState& fs, ScanDataState* scan)
        : image_(image), ctx_(ctx), tracks_(tracks), fs_(fs), scan_(scan), kind_(ctx.kind) {}

    // kOk, or the code the writing ended with.
    int Run() {
        Write();
        return result_;
    }

private:
    void Write() {
        if (tracks_.empty()) return;
        if (!Prepare()) return;
        for (TrackEntry& track : tracks_) {
            if (!WriteTrack(track)) return;
        }
        Finish();
    }

    bool Fail(const std::string& line) {
        ctx_.LogLine(line);
        result_ = kStepFailed;
        return false;
    }
    bool CantOpen(const std::string& name) { return Fail(Format("Can't open %s file", name.c_str())); }
    bool ImageOk() { return image_.Ok() || Fail(image_.Error()); }

    bool SearchKind() const { return IsSvcdFamily(kind_); }
    bool ScanKind() const { return scan_ && HasScanData(kind_); }

    // ------------------------------------------------------------ before the first track

    bool Prepare() {
        if (kind_ == DiscKind::Cvd) WriteCvdTrackCount();
        image_.AdvanceSectorCounter(kTrackLeadGap);
        if (ScanKind()) {
            if (scan_->scanDataTrackSlot < scan_data_layout::kHeaderSize) {
                return Fail("SCANDATA has no entries reserved for the tracks' scan points");
            }
            File& file = scan_->scanDataFile;
            scanEnd_ = file.Length();
            file.Seek(scan_->scanDataTrackSlot);
            AppendScanAddress(image_.SectorCounter());
        }
        if (!fs_.trackDirPosition) return Fail("The track folder's directory was not written");
        dir_.unitOffset = *fs_.trackDirPosition;
        if (!image_.ReadImageAt(dir_.unitOffset, dir_.unit.data(), dir_.unit.size())) {
            return ImageOk() && Fail("Can't read the track folder's directory");
        }
        if (!ReadEntriesWorkFile()) return false;
        if (SearchKind() && !OpenSearchWorkFile()) return false;
        const std::string psd = ctx_.workFolder + PsdFileName(kind_);
        if (!psd_.Open(psd, FileMode::ReadWrite)) return CantOpen(psd);
        psdLength_ = psd_.Length();

        ctx_.LogLine(" ");
        ctx_.LogLine("Adding Video tracks...");
        ctx_.LogShowLast();
        if (ctx_.log) ctx_.log->Repaint();
        return true;
    }

    void WriteCvdTrackCount() {
        uint8_t count[2];
        PutBe16(count, uint16_t(tracks_.size() + kCvdTrackCountBias));
        image_.WriteImageAt(CvdUserData() + kCvdTrackCountField, count, sizeof count);
    }
    uint64_t CvdUserData() const { return image_.SystemAreaOffset() + kSubheaderSize; }

    bool ReadEntriesWorkFile() {
        const std::string path = ctx_.workFolder + InfoFileNamesOf(kind_).entriesWorkFile;
        File file;
        if (!file.Open(path, FileMode::Read)) return CantOpen(path);
        std::array<uint8_t, kInfoFileSize> bytes{};
        file.Read(bytes.data(), bytes.size());
        if (!file.Ok()) return Fail(file.Error());
        entries_.emplace(bytes);
        return true;
    }

    bool OpenSearchWorkFile() {
        const std::string path = ctx_.workFolder + kSearchWorkFile;
        if (!search_.Open(path, FileMode::ReadWrite)) return CantOpen(path);
        searchEnd_ = search_.Length();
        std::array<uint8_t, search_layout::kHeaderSize> header{};
        if (searchEnd_ < header.size() || !search_.ReadExact(header.data(), header.size())) {
            return Fail(Format("%s holds no SEARCH.DAT header", path.c_str()));
        }
        searchInterval_ = header[search_layout::kTimeInterval];
        return search_.Seek(search_layout::kHeaderSize) || Fail(search_.Error());
    }

    // ------------------------------------------------------------ one track

    bool WriteTrack(TrackEntry& track) {
        const unsigned k = track.number;
        track.startSector = image_.SectorCounter();
        if (!PatchTrackFileRecord()) return false;

        const std::string& path = track.path.empty() ? track.fileName : track.path;
        File file;
        if (!file.Open(path, FileMode::Read)) {
            ctx_.LogLine(Format("Can't open %s file", track.fileName.c_str()));
            result_ = kStepFailed;
            return false;
        }
        if (!CheckUnchanged(file, track)) return false;
        // The length the probe saw: the copy takes exactly that many units.
        const uint64_t length = track.probedStamp ? track.probedStamp->size : file.Length();
        if (length % kSectorModeUnitSize != 0) {
            return Fail(Format("%s is not a whole number of %zu-byte sectors", track.fileName.c_str(),
                               kSectorModeUnitSize));
        }
        ctx_.LogLine(Format("Adding %s.%s %s", track.id.c_str(),
                            kind_ == DiscKind::Vcd30 ? "DAT from" : "MPG from", track.fileName.c_str()));
        ctx_.LogLine(DescribeTrack(kind_, {track.videoStandard, track.audioInfo, track.duration}));
        ctx_.LogShowLast();
        if (ctx_.progress) {
            ctx_.progress->SetMessage(Format("Reading && Writing file %s...", track.fileName.c_str()));
        }

        image_.OpenVideoTrack();
        if (kind_ == DiscKind::Cvd) WriteCvdTrackEntry(k);
        cumulativeTime_ = float(double(cumulativeTime_) + track.duration * 0.01);
        pointLimit_ = 2 * uint32_t(cumulativeTime_);

        TrackState state;
        state.firstSector = image_.SectorCounter();
        if (!CopyUnits(track, file, length, state)) return false;
        FillPointsAfterTrack(state);
        ReportUnplacedEntryPoint(track, state);

        image_.CloseVideoTrack(k, state.units);
        image_.AdvanceSectorCounter(kTrackLeadGap);
        return ImageOk();
    }

    // Enters the track's first sector as the extent of the next track-file
    // record of the track folder.
    bool PatchTrackFileRecord() {
        uint8_t* record = dir_.unit.data() + kSubheaderSize + dir_.cursor;
        const char* prefix = TrackIdPrefix(kind_);
        const size_t prefixLength = std::strlen(prefix);
        const size_t idLength = record[dirrec::kIdentifierLength];
        const char* id = reinterpret_cast<const char*>(record + dirrec::kIdentifier);
        const size_t shown = std::min(idLength, kTrackFileRecordSize - dirrec::kIdentifier);
        if (record[dirrec::kLength] != kTrackFileRecordSize || idLength < prefixLength ||
            std::memcmp(id, prefix, prefixLength) != 0) {
            // A build whose folder does not list the track cannot be finished.
            return Fail(Format("%11s Name error!", std::string(id, shown).c_str()));
        }
        PutRecordExtent(record, image_.SectorCounter());
        dir_.cursor += kTrackFileRecordSize;
        if (kForm1DataSize - dir_.cursor < kTrackFileRecordSize) {
            image_.WriteImageAt(dir_.unitOffset, dir_.unit.data(), dir_.unit.size());
            dir_.unitOffset += kForm1UnitSize;
            dir_.cursor = 0;
            if (!image_.ReadImageAt(dir_.unitOffset, dir_.unit.data(), dir_.unit.size())) {
                return ImageOk() && Fail("Can't read the track folder's directory");
            }
        }
        return ImageOk();
    }

    bool CheckUnchanged(const File& file, const TrackEntry& track) {
        const std::string line = InputChangedLine(file, track.fileName, track.probedStamp);
        return line.empty() || Fail(line);
    }

    void WriteCvdTrackEntry(unsigned k) {
        const size_t at = kCvdFirstTrackEntry + kCvdTrackEntrySize * cvdTracks_++;
        if (at + kCvdTrackEntrySize > kForm1DataSize) return;  // the track count is far lower
        uint8_t entry[kCvdTrackEntrySize];
        entry[0] = uint8_t(k - 1);
        PutMsfBcd(entry + 1, image_.SectorCounter());
        image_.WriteImageAt(CvdUserData() + at, entry, sizeof entry);
    }

    bool CopyUnits(const TrackEntry& track, File& file, uint64_t length, TrackState& state) {
        std::array<uint8_t, kSectorModeUnitSize> unit{};
        const uint8_t fileNumber = uint8_t(kind_ == DiscKind::Vcd30 ? track.number - 1 : track.number);
        for (uint64_t remaining = length; remaining > 0; remaining -= kSectorModeUnitSize) {
            if (ctx_.progress && ctx_.progress->TakeCancelRequest()) {
                result_ = kCancelled;
                return false;
            }
            const uint64_t offset = file.Position();
            if (!file.ReadExact(unit.data(), unit.size())) {
                return CheckUnchanged(file, track) && Fail(file.Error());  // a file cut short says so
            }
            // Compared as read: the file number is set in both copies below.
            if (const std::string line = DamagedUnitLine(unit.data(), track.fileName, offset); !line.empty()) {
                return Fail(line);
            }
            const TrackUnitFacts facts = InspectTrackUnit(unit.data());
            if (facts.video && unit[kPackStartPrefixByte] != 0x01) return RejectPacketHead(unit);

            unit[kFileNumberByte] = unit[kFileNumberCopyByte] = fileNumber;
            const uint32_t sector = image_.SectorCounter();
            image_.AppendForm2Unit(unit.data());
            state.lastUnitSector = sector;
            image_.AdvanceSectorCounter();
            if (image_.SectorCounter() > kSectorCounterLimit || image_.SectorCounter() > kMaxTrackSector) {
                return TooLong();
            }
            ++state.units;
            if (ctx_.progress) ctx_.progress->SetProgress(int(file.Position() * 100 / length));

            if (state.units == 1) {
                if (!AddEntry(track.number, sector)) return false;
                continue;
            }
            if (facts.video && !HandleVideoUnit(track, facts, sector, state)) return false;
        }
        // A file that grew or was rewritten while it was copied.
        return CheckUnchanged(file, track) && ImageOk();
    }

    // The unit is kept in the work folder for a look at what arrived instead
    // of a pack.
    bool RejectPacketHead(const std::array<uint8_t, kSectorModeUnitSize>& unit) {
        ctx_.LogLine("MPS error packet head!");
        result_ = kStepFailed;
        const std::string path = ctx_.workFolder + kPacketErrorDumpFile;
        File dump;
        if (dump.Open(path, File::Exists(path) ? FileMode::ReadWrite : FileMode::CreateReadWrite)) {
            dump.Seek(0);
            dump.Write(unit.data(), unit.size());
            dump.Close();
        }
        return false;
    }

    bool TooLong() {
        const bool vcd = kind_ == DiscKind::Vcd30;
        ctx_.LogLine(std::string(vcd ? "VCD" : "SVCD") + " times may be over " + (vcd ? "45" : "70") +
                     "mins, or space over 645M");
        // A failure, not a Cancel: the layout then does not report one.
        result_ = kStepFailed;
        return false;
    }

    bool AddEntry(uint32_t trackNumber, uint32_t sector) {
        std::string error;
        if (!entries_->Add(trackNumber, sector, error)) return Fail(error);
        return true;
    }

    bool HandleVideoUnit(const TrackEntry& track, const TrackUnitFacts& facts, uint32_t sector,
                         TrackState& state) {
        const double t = facts.clockReference / double(kMpegClockHz);
        const uint32_t t100 = facts.clockReference / kMpegClockTicksPerHundredth;
        state.lastVideoSeconds = uint32_t(t);
        if (facts.iPicture && state.nextEntryPoint < track.entryPoints.size()) {
            const EntryPoint& entry = track.entryPoints[state.nextEntryPoint];
            if (int64_t(t100) >= int64_t(entry.key)) {
                if (!AddEntry(track.number, sector) || !PatchPsdPlayItem(entry)) return false;
                ++state.nextEntryPoint;
            }
        }
        if (SearchKind()) {
            if (facts.iPicture) state.lastIntraSector = sector;
            if (t >= state.nextSearchTime && searchCount_ < pointLimit_) {
                if (AppendSearchPoint(SearchPointSector(state))) {
                    state.nextSearchTime += searchInterval_ * kScanPointStep;
                }
            }
        }
        if (ScanKind() && t >= state.nextScanTime && scan_->scanPointCount < pointLimit_) {
            if (AppendScanPoint(sector)) state.nextScanTime += kScanPointStep;
        }
        return true;
    }

    // Before the track's first intra picture after its first unit is seen, a
    // search point leads to the track's first unit, where its stream begins.
    static uint32_t SearchPointSector(const TrackState& state) {
        return state.lastIntraSector.value_or(state.firstSector);
    }

    bool PatchPsdPlayItem(const EntryPoint& entry) {
        if (uint64_t(entry.value) + kPlayListItemField + 2 > psdLength_) {
            return Fail(Format("Entry point play list at PSD offset %u lies outside the PSD (%llu bytes)",
                               entry.value, static_cast<unsigned long long>(psdLength_)));
        }
        uint8_t item[2];
        PutBe16(item, uint16_t(entries_->LastPlayItem()));
        psd_.Seek(uint64_t(entry.value) + kPlayListItemField);
        psd_.Write(item, sizeof item);
        return psd_.Ok() || Fail(psd_.Error());
    }

    // Points are written into the entries reserved for them; a point with no
    // room left is dropped rather than written past the table.
    bool AppendSearchPoint(uint32_t sector) {
        if (search_.Position() + search_layout::kPointSize > searchEnd_) return false;
        uint8_t address[search_layout::kPointSize];
        PutMsfBcd(address, sector);
        search_.Write(address, sizeof address);
        ++searchCount_;
        return true;
    }

    bool AppendScanAddress(uint32_t sector) {
        File& file = scan_->scanDataFile;
        if (file.Position() + scan_data_layout::kAddressSize > scanEnd_) return false;
        uint8_t address[scan_data_layout::kAddressSize];
        PutMsfBcd(address, sector);
        file.Write(address, sizeof address);
        return true;
    }

    bool AppendScanPoint(uint32_t sector) {
        if (!AppendScanAddress(sector)) return false;
        ++scan_->scanPointCount;
        return true;
    }

    void FillPointsAfterTrack(const TrackState& state) {
        if (SearchKind()) {
            while (searchCount_ < pointLimit_ && AppendSearchPoint(SearchPointSector(state))) {
            }
        }
        if (ScanKind()) {
            while (scan_->scanPointCount < pointLimit_ && AppendScanPoint(state.lastUnitSector)) {
            }
        }
    }

    void ReportUnplacedEntryPoint(const TrackEntry& track, const TrackState& state) {
        if (state.nextEntryPoint >= track.entryPoints.size()) return;
        ctx_.LogLine(Format("Entry %d seconds doesn't be used, Video total time is only %d seconds",
                            int(track.entryPoints[state.nextEntryPoint].key),
                            int(state.lastVideoSeconds)));
        ctx_.LogLine(" ");
        result_ = kEntryPointBeyondTrack;
    }

    // ------------------------------------------------------------ after the last track

    void Finish() {
        if (dir_.cursor != 0) image_.WriteImageAt(dir_.unitOffset, dir_.unit.data(), dir_.unit.size());
        if (!CheckReserved(fs_.entriesPosition, "ENTRIES")) return;
        image_.WriteForm1UnitAt(fs_.entriesPosition, kLastDataSubheader, entries_->Bytes().data());

        if (SearchKind()) {
            if (!CheckReserved(fs_.searchPosition, "SEARCH.DAT")) return;
            const uint16_t count = uint16_t(searchCount_);
            CopyIntoSectors(search_, fs_.searchPosition, [count](uint8_t* first) {
                PutBe16(first + search_layout::kPointCount, count);
            });
            search_.Close();
        }
        if (!CheckReserved(fs_.psdPosition, "PSD")) return;
        CopyIntoSectors(psd_, fs_.psdPosition, nullptr);
        if (ScanKind() && !CopyScanData()) return;
        ImageOk();
    }

    bool CheckReserved(uint64_t position, const char* name) {
        if (position != 0) return true;
        return Fail(Format("%s has no sectors reserved in the image", name));
    }

    // Turns the work file's header into the disc form (scan entry count, all
    // counts big-endian) and copies the file into its sectors.
    bool CopyScanData() {
        if (!CheckReserved(fs_.scanDataPosition, "SCANDATA.DAT")) return false;
        File& file = scan_->scanDataFile;
        std::array<uint8_t, scan_data_layout::kHeaderSize> header{};
        file.Seek(0);
        if (!file.ReadExact(header.data(), header.size())) return Fail(file.Error());
        PutBe16(header.data() + scan_data_layout::kPointCount, uint16_t(scan_->scanPointCount));
        std::swap(header[scan_data_layout::kTrackCount], header[scan_data_layout::kTrackCount + 1]);
        std::swap(header[scan_data_layout::kSegmentItemCount],
                  header[scan_data_layout::kSegmentItemCount + 1]);
        file.Seek(0);
        file.Write(header.data(), header.size());
        if (!file.Ok()) return Fail(file.Error());
        CopyIntoSectors(file, fs_.scanDataPosition, nullptr);
        return true;
    }

    // Copies a work file into consecutive reserved Form 1 units; `patchFirst`
    // may adjust the first 2048 bytes on their way.
    void CopyIntoSectors(File& file, uint64_t position, const std::function<void(uint8_t*)>& patchFirst) {
        file.Seek(0);
        const uint64_t length = file.Length();
        std::array<uint8_t, kForm1DataSize> piece{};
        for (uint64_t done = 0, i = 0; done < length; done += kForm1DataSize, ++i) {
            piece.fill(0);
            file.Read(piece.data(), piece.size());
            if (i == 0 && patchFirst) patchFirst(piece.data());
            const bool last = done + kForm1DataSize >= length;
            image_.WriteForm1UnitAt(position + i * kForm1UnitSize, last ? kLastDataSubheader : kDataSubheader,
                                    piece.data());
        }
        if (!file.Ok()) Fail(file.Error());
    }

    ImageContainer& image_;
    const BuildContext& ctx_;
    std::vector<TrackEntry>& tracks_;
    FileSystemState& fs_;
    ScanDataState* scan_;
    int result_ = kOk;
    const DiscKind kind_;

    TrackDirectoryCursor dir_;
    std::optional<EntriesTable> entries_;
    File search_;
    uint64_t searchEnd_ = 0;
    uint8_t searchInterval_ = 1;
    uint32_t searchCount_ = 0;
    File psd_;
    uint64_t psdLength_ = 0;
    uint64_t scanEnd_ = 0;
    float cumulativeTime_ = 0.0f;
    uint32_t pointLimit_ = 0;
    size_t cvdTracks_ = 0;
};

}  // namespace

TrackUnitFacts InspectTrackUnit(const uint8_t* unit) {
    TrackUnitFacts facts;
    facts.video = unit[kCodingByte] == kVideoCoding;
    const uint8_t* pack = unit + kPackOffset;
    facts.packHeadOk = IsStartCode(pack, StreamId::PackStart);
    if (!facts.video || !facts.packHeadOk) return facts;
    static_assert(kPackClockBytes <= kMaxPackSize);
    // Read by the pack's own syntax: the MPEG-1 marker '0010', else as an
    // MPEG-2 pack header (as the probe reads it); the low 32 bits are kept.
    const PackSyntax syntax = IsMpeg1PackHeader(pack) ? PackSyntax::Mpeg1 : PackSyntax::Mpeg2;
    facts.clockReference = uint32_t(ReadClockReference(pack, syntax));
    facts.iPicture = HoldsIntraPicture(pack, kMaxPackSize);
    return facts;
}

std::string InputChangedLine(const File& file, const std::string& name,
                             const std::optional<FileIdentity>& checked) {
    if (!checked) return {};
    const std::optional<FileIdentity> now = file.Identity();
    if (now && now->SameStampAs(*checked)) return {};
    return Format("Error: %s changed during the build (its size or time differs from when it was checked)",
                  name.c_str());
}

std::string DamagedUnitLine(const uint8_t* unit, const std::string& name, uint64_t offset) {
    constexpr size_t kCopySize = kSubheaderSize / 2;
    if (std::memcmp(unit, unit + kCopySize, kCopySize) == 0) return {};
    return Format("Error: %s is damaged: the two subheader copies of the sector at byte %llu differ",
                  name.c_str(), static_cast<unsigned long long>(offset));
}

int WriteVideoTracks(ImageContainer& image, const BuildContext& ctx, std::vector<TrackEntry>& tracks,
                     FileSystemState& fs, ScanDataState* scanData) {
    return VideoTrackWriter(image, ctx, tracks, fs, scanData).Run();
}

}  // namespace qorvcd
