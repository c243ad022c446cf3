#include "assembly/segment_writer.h"

#include <array>
#include <string>

#include "assembly/input_checks.h"
#include "assembly/standard_units.h"
#include "content/segment_items.h"
#include "core/build_context.h"
#include "core/sector_unit.h"
#include "image/container.h"
#include "infofiles/info_files.h"
#include "infofiles/scan_data.h"
#include "iso9660/file_placement.h"
#include "iso9660/file_system_state.h"
#include "platform/bytes.h"
#include "platform/file.h"
#include "platform/log_list.h"

namespace qorvcd {

namespace {

// The last item is filled up to this many units before its end unit, so it
// takes at least one whole segment.
constexpr uint32_t kLastItemFilledUnits = kSectorsPerSegment - 1;
// The empty Form 2 unit that ends the segment area: end of file, real-time, Form 2.
constexpr Subheader kEndUnitSubheader{0x01, 0x00, 0xE0, 0x00};

class SegmentItemWriter {
public:
    SegmentItemWriter(ImageContainer& image, const BuildContext& ctx, SegmentList& segments,
                      FileSystemState& fs, ScanDataState* scan)
        : image_(image), ctx_(ctx), items_(segments.Items()), fs_(fs), scan_(scan),
          storeFiller_(items_.size() >= kStoredFillerItemCount) {}

    // kOk, or the code of the first failure.
    int Run() {
        Write();
        return result_;
    }

private:
    void Write() {
        if (scan_) StartScanData();
        if (!items_.empty() && fs_.segmentSectors != 0) {
            uint32_t expectedStart = image_.SectorCounter();
            for (size_t i = 0; i < items_.size(); ++i) {
                if (!WriteItem(items_[i], i + 1 == items_.size(), expectedStart)) return;
                expectedStart += items_[i].segmentCount * kSectorsPerSegment;
            }
        }
        if (scan_) ReserveTrackScanEntries();
        if (!image_.Ok()) Fail(image_.Error());
        if (scan_ && !scan_->scanDataFile.Ok()) Fail(scan_->scanDataFile.Error());
    }

    bool Fail(const std::string& line) {
        ctx_.LogLine(line);
        result_ = kStepFailed;
        return false;
    }

    // The item count (least significant byte first, as the work file keeps
    // its counts) and the scan index reached after the last item.
    void StartScanData() {
        File& file = scan_->scanDataFile;
        uint8_t count[2];
        PutLe16(count, uint16_t(items_.size()));
        file.Seek(scan_data_layout::kSegmentItemCount);
        file.Write(count, sizeof count);
        file.SeekToEnd();
        uint8_t index[scan_data_layout::kScanIndexSize];
        PutBe16(index, uint16_t(scan_->scanIndex));
        file.Write(index, sizeof index);
    }

    // Zero entries for the tracks' scan points, as many as the header's
    // reserved point count; the video track writer fills them.
    void ReserveTrackScanEntries() {
        File& file = scan_->scanDataFile;
        std::array<uint8_t, scan_data_layout::kHeaderSize> header{};
        file.Seek(0);
        file.Read(header.data(), header.size());
        const uint16_t points = GetLe16(header.data() + scan_data_layout::kPointCount);
        file.SeekToEnd();
        scan_->scanDataTrackSlot = file.Position();
        file.WriteZeros(uint64_t(points) * scan_data_layout::kAddressSize);
    }

    bool WriteItem(const SegmentItem& item, bool last, uint32_t expectedStart) {
        // The directory records were placed from the item sizes read with the
        // script: an item that no longer fits there would shift the others.
        if (image_.SectorCounter() != expectedStart) {
            return Fail(Format("Segment item %s changed since the script was read: it should begin at "
                               "sector %u, not %u",
                               item.fileName.c_str(), expectedStart, image_.SectorCounter()));
        }
        if (scan_) AppendScanAddress(image_.SectorCounter());

        File file;
        if (!file.Open(item.fileName, FileMode::Read)) {
            return Fail(Format("Can't open %s file", item.fileName.c_str()));
        }
        if (!CheckUnchanged(file, item)) return false;
        // The length measured with the script: the item's segments rest on it.
        const uint64_t length = item.measuredStamp ? item.measuredStamp->size : file.Length();
        if (length % kSectorModeUnitSize != 0) {
            return Fail(Format("%s is not a whole number of %zu-byte sectors", item.fileName.c_str(),
                               size_t(kSectorModeUnitSize)));
        }
        ctx_.LogLine(Format("Adding ITEM%04u.%s from %s", unsigned(item.number - (kFirstSegmentItemNumber - 1)),
                            ctx_.kind == DiscKind::Vcd30 ? "DAT" : "MPG", item.fileName.c_str()));
        if (ctx_.log) ctx_.log->Repaint();
        if (ctx_.progress) {
            ctx_.progress->SetMessage(Format("Reading && Writing file %s...", item.fileName.c_str()));
        }

        uint32_t units = 0;
        const StillResolution still = StandardStillResolution(item);
        std::array<uint8_t, kSectorModeUnitSize> unit{};
        for (uint64_t done = 0; done < length; done += kSectorModeUnitSize) {
            if (!file.ReadExact(unit.data(), unit.size())) {
                return CheckUnchanged(file, item) && Fail(file.Error());  // a file cut short says so
            }
            if (const std::string line = DamagedUnitLine(unit.data(), item.fileName, done); !line.empty()) {
                return Fail(line);
            }
            if (ctx_.standard) {
                RecodeStillUnit(unit.data(), still);
                if (done + kSectorModeUnitSize >= length) MarkEndOfFile(unit.data());
            }
            AppendUnit(unit.data(), units);
            if (ctx_.progress) ctx_.progress->SetProgress(int(file.Position() * 100 / length));
        }
        // A file that grew or was rewritten while it was copied.
        if (!CheckUnchanged(file, item)) return false;
        file.Close();

        if (last) {
            while (units < kLastItemFilledUnits) AppendEmptyUnit(kEmptyForm2Subheader, units);
            AppendEmptyUnit(kEndUnitSubheader, units);
        }
        CloseItemRuns(last, units);
        return image_.Ok() || Fail(image_.Error());
    }

    // The still coding a standard build gives the item's video units. CVD and
    // SUPER-VCD keep theirs: a CVD's second video stream already takes the
    // channel and coding of a normal still, and both kinds' players expect
    // the units as their own discs carry them.
    StillResolution StandardStillResolution(const SegmentItem& item) const {
        if (!ctx_.standard || (ctx_.kind != DiscKind::Vcd30 && ctx_.kind != DiscKind::Svcd)) {
            return StillResolution::NotStill;
        }
        return StillResolutionOf(FirstSegmentContent(ctx_.kind, item));
    }

    bool CheckUnchanged(const File& file, const SegmentItem& item) {
        const std::string line = InputChangedLine(file, item.fileName, item.measuredStamp);
        return line.empty() || Fail(line);
    }

    void AppendUnit(const uint8_t* unit, uint32_t& units) {
        image_.AppendForm2Unit(unit);
        image_.AdvanceSectorCounter();
        ++units;
    }

    void AppendEmptyUnit(const Subheader& subheader, uint32_t& units) {
        std::array<uint8_t, kForm2UnitSize> unit{};
        subheader.WriteTo(unit.data());
        AppendUnit(unit.data(), units);
    }

    // Every item but the last is filled up to its segment boundary: with few
    // items the filler is only reserved, with many it is stored so that each
    // item is one run of stored units.
    void CloseItemRuns(bool last, uint32_t& units) {
        const uint32_t partial = units % kSectorsPerSegment;
        const uint32_t filler = last || partial == 0 ? 0 : kSectorsPerSegment - partial;
        if (storeFiller_) {
            for (uint32_t i = 0; i < filler; ++i) AppendEmptyUnit(kEmptyForm2Subheader, units);
            image_.CloseStoredRun();
            return;
        }
        image_.CloseStoredRun();
        if (filler == 0) return;
        image_.ReserveSectors(filler, RunForm::Form1);
        image_.AdvanceSectorCounter(filler);
    }

    void AppendScanAddress(uint32_t sector) {
        uint8_t address[scan_data_layout::kAddressSize];
        PutMsfBcd(address, sector);
        scan_->scanDataFile.Write(address, sizeof address);
    }

    ImageContainer& image_;
    const BuildContext& ctx_;
    std::vector<SegmentItem>& items_;
    FileSystemState& fs_;
    ScanDataState* scan_;
    int result_ = kOk;
    const bool storeFiller_;
};

}  // namespace

int WriteSegmentItems(ImageContainer& image, const BuildContext& ctx, SegmentList& segments,
                      FileSystemState& fs, ScanDataState* scanData) {
    const int result = SegmentItemWriter(image, ctx, segments, fs, scanData).Run();
    segments.Clear();
    return result;
}

}  // namespace qorvcd
