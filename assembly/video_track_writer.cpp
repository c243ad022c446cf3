#include "assembly/video_track_writer.h"

#include <array>
#include <optional>
#include <string>

#include "assembly/cvd_track_table_p.h"
#include "assembly/entry_points_p.h"
#include "assembly/input_checks.h"
#include "assembly/scan_offsets_p.h"
#include "assembly/scan_points_p.h"
#include "assembly/standard_units.h"
#include "assembly/track_folder_patch_p.h"
#include "assembly/track_input_p.h"
#include "assembly/track_observer_p.h"
#include "assembly/track_unit.h"
#include "content/track_list.h"
#include "core/build_context.h"
#include "core/sector_unit.h"
#include "image/container.h"
#include "infofiles/scan_data.h"
#include "iso9660/file_system_state.h"
#include "mpeg/mpeg_probe.h"
#include "platform/file.h"
#include "platform/log_list.h"

namespace qorvcd {

namespace {

// The counter's own limit: logical sectors are kept in 23 bits.
constexpr uint32_t kSectorCounterLimit = 0x7FFFFF;

// Copies the tracks unit by unit and tells the observers, in this order:
// the track folder's records, the CVD track table, ENTRIES, SEARCH.DAT, the
// PSD and SCANDATA. What they finish at the end goes into the image in the
// same order.
class VideoTrackWriter {
public:
    VideoTrackWriter(ImageContainer& image, const BuildContext& ctx, std::vector<TrackEntry>& tracks,
                     FileSystemState& fs, ScanDataState* scan)
        : image_(image), ctx_(ctx), tracks_(tracks), fs_(fs), scan_(scan), kind_(ctx.kind), w_(image, ctx),
          folder_(w_), psd_(w_, fs.psdPosition), entries_(w_, psd_, fs.entriesPosition) {}

    // kOk, or the code the writing ended with.
    int Run() {
        Write();
        return w_.Result();
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

    bool Prepare() {
        if (kind_ == DiscKind::Cvd) cvd_.emplace(w_).Open(tracks_.size());
        image_.AdvanceSectorCounter(kTrackLeadGap);
        if (scan_ && HasScanData(kind_)) {
            if (!scanPoints_.emplace(w_, *scan_, fs_.scanDataPosition).Open(image_.SectorCounter())) return false;
        }
        if (!folder_.Open(fs_.trackDirPosition) || !entries_.Open()) return false;
        if (IsSvcdFamily(kind_) && !searchPoints_.emplace(w_, fs_.searchPosition).Open()) return false;
        if (!psd_.Open()) return false;

        observers_.push_back(&folder_);
        if (cvd_) observers_.push_back(&*cvd_);
        observers_.push_back(&entries_);
        if (searchPoints_) observers_.push_back(&*searchPoints_);
        observers_.push_back(&psd_);
        if (scanPoints_) observers_.push_back(&*scanPoints_);

        ctx_.LogLine(" ");
        ctx_.LogLine("Adding Video tracks...");
        ctx_.LogShowLast();
        if (ctx_.log) ctx_.log->Repaint();
        return true;
    }

    bool WriteTrack(TrackEntry& track) {
        track.startSector = image_.SectorCounter();
        for (TrackObserver* observer : observers_) {
            if (!observer->BeginTrack(track, track.startSector)) return false;
        }

        const std::string& path = track.path.empty() ? track.fileName : track.path;
        File file;
        if (!file.Open(path, FileMode::Read)) return w_.Fail(Format("Can't open %s file", track.fileName.c_str()));
        if (!CheckUnchanged(file, track)) return false;
        // The length the probe saw: the copy takes exactly that many units.
        const uint64_t length = track.packed        ? track.packed->SectorModeBytes()
                                : track.probedStamp ? track.probedStamp->size
                                                    : file.Length();
        if (length % kSectorModeUnitSize != 0) {
            return w_.Fail(Format("%s is not a whole number of %zu-byte sectors", track.fileName.c_str(),
                                  kSectorModeUnitSize));
        }
        ctx_.LogLine(Format("Adding %s.%s %s", track.id.c_str(),
                            kind_ == DiscKind::Vcd30 ? "DAT from" : "MPG from", track.fileName.c_str()));
        ctx_.LogLine(DescribeTrack(kind_, {track.videoStandard, track.audioInfo, track.duration}));
        ctx_.LogShowLast();
        if (ctx_.progress) {
            ctx_.progress->SetMessage(Format("Reading && Writing file %s...", track.fileName.c_str()));
        }
        if (fillScanOffsets_ && !PrepareScanOffsets(file, track, length)) return false;

        image_.OpenVideoTrack();
        if (!CopyUnits(track, file, length)) return false;
        for (TrackObserver* observer : observers_) observer->EndTrack(track);

        image_.CloseVideoTrack(track.number, units_);
        image_.AdvanceSectorCounter(kTrackLeadGap);
        return w_.ImageOk();
    }

    // The standard SVCD stream's scan information is completed on the copy,
    // which then reads the track again from its start.
    bool PrepareScanOffsets(File& file, const TrackEntry& track, uint64_t length) {
        bool cancelled = false;
        TrackUnitInput input(file, track.packed);
        const auto read = [&input](uint8_t* unit) { return input.Read(unit); };
        if (!scanOffsets_.Prepare(read, length / kSectorModeUnitSize, ctx_.progress, cancelled) || !file.Seek(0)) {
            if (cancelled) {
                w_.SetResult(kCancelled);
                return false;
            }
            // A file cut short since the probe says so; otherwise the read error.
            const std::string error = input.Error().empty() ? Format("Can't read %s", track.fileName.c_str()) : input.Error();
            return CheckUnchanged(file, track) && w_.Fail(error);
        }
        if (scanOffsets_.BlockCount() > 0) {
            ctx_.LogLine(Format("Filling %zu scan information blocks of %s", scanOffsets_.BlockCount(),
                                track.fileName.c_str()));
        }
        return true;
    }

    bool CheckUnchanged(const File& file, const TrackEntry& track) {
        const std::string line = InputChangedLine(file, track.fileName, track.probedStamp);
        return line.empty() || w_.Fail(line);
    }

    bool CopyUnits(const TrackEntry& track, File& file, uint64_t length) {
        TrackUnitInput input(file, track.packed);
        std::array<uint8_t, kSectorModeUnitSize> unit{};
        const uint8_t fileNumber = uint8_t(kind_ == DiscKind::Vcd30 ? track.number - 1 : track.number);
        units_ = 0;
        for (uint64_t remaining = length; remaining > 0; remaining -= kSectorModeUnitSize) {
            if (ctx_.progress && ctx_.progress->TakeCancelRequest()) {
                w_.SetResult(kCancelled);
                return false;
            }
            const uint64_t offset = input.Position();
            if (!input.Read(unit.data())) {
                return CheckUnchanged(file, track) && w_.Fail(input.Error());  // a file cut short says so
            }
            // Compared as read: the file number is set in both copies below.
            if (const std::string line = DamagedUnitLine(unit.data(), track.fileName, offset); !line.empty()) {
                return w_.Fail(line);
            }
            const TrackUnitFacts facts = InspectTrackUnit(unit.data());
            if (facts.video && unit[track_unit::kPackStartPrefix] != 0x01) return RejectPacketHead(unit);

            if (fillScanOffsets_) scanOffsets_.Apply(offset, unit.data());
            unit[track_unit::kFileNumber] = unit[track_unit::kFileNumberCopy] = fileNumber;
            // A standard track's last sector ends its file.
            if (ctx_.standard && remaining == kSectorModeUnitSize) MarkEndOfFile(unit.data());
            const uint32_t sector = image_.SectorCounter();
            image_.AppendForm2Unit(unit.data());
            image_.AdvanceSectorCounter();
            if (image_.SectorCounter() > kSectorCounterLimit || image_.SectorCounter() > kMaxTrackSector) {
                return TooLong();
            }
            ++units_;
            if (ctx_.progress) ctx_.progress->SetProgress(int(input.Position() * 100 / length));

            const TrackUnit placed{sector, units_, facts, unit.data() + track_unit::kPack};
            for (TrackObserver* observer : observers_) {
                if (!observer->OnUnit(track, placed)) return false;
            }
        }
        // A file that grew or was rewritten while it was copied.
        return CheckUnchanged(file, track) && w_.ImageOk();
    }

    // The unit is kept in the work folder for a look at what arrived instead
    // of a pack.
    bool RejectPacketHead(const std::array<uint8_t, kSectorModeUnitSize>& unit) {
        ctx_.LogLine("MPS error packet head!");
        w_.SetResult(kStepFailed);
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
        w_.SetResult(kStepFailed);
        return false;
    }

    void Finish() {
        for (TrackObserver* observer : observers_) {
            if (!observer->Finish()) return;
        }
        w_.ImageOk();
    }

    ImageContainer& image_;
    const BuildContext& ctx_;
    std::vector<TrackEntry>& tracks_;
    FileSystemState& fs_;
    ScanDataState* scan_;
    const DiscKind kind_;
    TrackWriteContext w_;

    TrackFolderPatch folder_;
    std::optional<CvdTrackTable> cvd_;
    PsdPlayItems psd_;
    EntryPointRecorder entries_;
    std::optional<SearchPointRecorder> searchPoints_;
    std::optional<ScanPointRecorder> scanPoints_;
    std::vector<TrackObserver*> observers_;
    // SVCD streams of a standard disc carry their scan information filled in.
    const bool fillScanOffsets_ = ctx_.standard && IsSvcdFamily(kind_);
    ScanOffsetFiller scanOffsets_;

    uint32_t units_ = 0;  // of the track being copied
};

}  // namespace

int WriteVideoTracks(ImageContainer& image, const BuildContext& ctx, std::vector<TrackEntry>& tracks,
                     FileSystemState& fs, ScanDataState* scanData) {
    return VideoTrackWriter(image, ctx, tracks, fs, scanData).Run();
}

}  // namespace qorvcd
