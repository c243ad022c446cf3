#include "assembly/layout.h"

#include <optional>

#include "assembly/control_files.h"
#include "assembly/directory_writer.h"
#include "assembly/segment_writer.h"
#include "assembly/video_track_writer.h"
#include "content/track_list.h"
#include "core/build_context.h"
#include "core/progress.h"
#include "image/container.h"
#include "infofiles/scan_data.h"
#include "iso9660/dir_tree.h"
#include "iso9660/file_placement.h"
#include "iso9660/path_table.h"
#include "iso9660/volume_descriptor.h"
#include "platform/file.h"
#include "platform/log_list.h"

namespace qorvcd {

namespace {

// The path tables start right after the volume descriptor set.
constexpr uint32_t kPathTableSector = 18;
// Bytes of a directory record that hold its extent and data length.
constexpr size_t kRecordHeadSize = 18;

class LayoutDriver {
public:
    explicit LayoutDriver(LayoutInputs& in)
        : in_(in), image_(in.image), fs_(in.fs), ctx_(in.ctx), window_(in.makeProgressWindow ? in.makeProgressWindow() : nullptr) {
        ctx_.progress = window_.get();
    }

    int Run() {
        result_ = WriteDataTrack();
        // "VCD info size over 00:06.00" stops the layout without the closing line.
        if (result_ == kControlAreaOverflow) return kStepFailed;
        if (result_ == kOk) result_ = WriteVideoTracks();
        const int closed = CloseScanData();
        if (result_ == kOk) result_ = closed;
        if (window_) window_->DestroyWindow();
        Report();
        return result_;
    }

private:
    int Fail(const std::string& line) {
        ctx_.LogLine(line);
        return kStepFailed;
    }
    int IoFailure() { return Fail(image_.Error()); }

    int WriteDataTrack() {
        image_.SetVideoTrackCount(uint16_t(in_.tracks.size()));
        image_.BeginTail();
        image_.BeginImage();
        QORVCD_CHECK(WriteSystemArea());
        pathTablePosition_ = image_.ImagePosition();
        if (window_) window_->Open();

        image_.SetSectorCounter(kPathTableSector);
        fs_.dirSector = kPathTableSector;
        QORVCD_CHECK(WritePathTables(true));
        QORVCD_CHECK(WriteRootDirectory());
        image_.SetSectorCounter(fs_.dirSector);
        image_.CloseStoredRun();

        QORVCD_CHECK(WriteControlFiles(image_, in_.tree, ctx_, fs_));
        if (image_.SectorCounter() > kControlAreaEnd) {
            ctx_.LogLine("VCD info size over 00:06.00");
            ctx_.LogShowLast();
            return kControlAreaOverflow;
        }
        fs_.dirSector = kControlAreaEnd;
        image_.ReserveSectors(kControlAreaEnd - image_.SectorCounter());
        image_.SetSectorCounter(kSegmentAreaStart);

        const int segments = WriteSegmentItems(image_, ctx_, in_.segments, fs_, OpenScanData());
        ctx_.LogShowLast();
        QORVCD_CHECK(segments);

        QORVCD_CHECK(WriteDataFolder());
        image_.SetSectorCounter(fs_.dirSector);
        QORVCD_CHECK(WritePathTables(false));
        fs_.dirSector = image_.SectorCounter();
        // The application writer copies the finished work file.
        QORVCD_CHECK(CloseScanData());

        QORVCD_CHECK(WriteApplications());
        image_.CloseStoredRun();
        image_.CloseDataTrack(DataTrackEnd(image_.SectorCounter()));
        return image_.Ok() ? kOk : IoFailure();
    }

    int WriteSystemArea() {
        std::optional<PrimaryVolumeDescriptor> pvd = BuildPrimaryVolumeDescriptor(in_.script, ctx_);
        if (!pvd) return kStepFailed;
        descriptor_ = *pvd;
        image_.AppendForm1Unit({0, 0, kPrimaryDescriptorSubmode, 0}, descriptor_.Encode().data());
        const std::vector<uint8_t> terminator = VolumeDescriptorSetTerminator{}.Encode();
        image_.AppendForm1Unit({0, 0, kTerminatorSubmode, 0}, terminator.data());
        return image_.Ok() ? kOk : IoFailure();
    }

    // The first pass reserves the tables' sectors and fills the descriptor;
    // the second rewrites them in place once every folder has its extent.
    int WritePathTables(bool first) {
        const std::optional<PathTables> tables = BuildPathTables(in_.tree, &ctx_);
        if (!tables) return kStepFailed;
        const uint32_t sectors = tables->SectorCount();
        if (first) {
            pathTableSectors_ = sectors;
            AppendTable(tables->little);
            AppendTable(tables->big);
            const uint32_t little = image_.SectorCounter();
            SetPathTableFields(descriptor_, tables->sizeInBytes, little, little + sectors);
        } else {
            if (sectors != pathTableSectors_) return Fail("The path tables changed size between passes");
            uint64_t at = pathTablePosition_;
            RewriteTable(tables->little, at);
            RewriteTable(tables->big, at);
        }
        fs_.dirSector += 2 * sectors;
        return image_.Ok() ? kOk : IoFailure();
    }

    void AppendTable(const std::vector<uint8_t>& table) {
        const size_t count = table.size() / kForm1DataSize;
        for (size_t i = 0; i < count; ++i) {
            image_.AppendForm1Unit(i + 1 == count ? kLastDataSubheader : kDataSubheader,
                                   table.data() + i * kForm1DataSize);
        }
    }

    void RewriteTable(const std::vector<uint8_t>& table, uint64_t& at) {
        const size_t count = table.size() / kForm1DataSize;
        for (size_t i = 0; i < count; ++i, at += kForm1UnitSize) {
            image_.WriteForm1UnitAt(at, i + 1 == count ? kLastDataSubheader : kDataSubheader,
                                    table.data() + i * kForm1DataSize);
        }
    }

    // The descriptor, the path tables and the root's own records all give the
    // root as one sector at sector 20: a larger root is refused.
    int WriteRootDirectory() {
        DirNode* root = in_.tree.Root();
        if (!root) return Fail("The directory tree has no root");
        if (fs_.dirSector != kRootDirectorySector) {
            return Fail(Format("The path tables take %u sectors; they must fit in one sector each",
                               pathTableSectors_));
        }
        root->startSector = fs_.dirSector;
        DirectoryWriter writer(image_, ctx_, fs_, !in_.tracks.empty());
        QORVCD_CHECK(writer.WriteDirectory(0, root, 1, fs_.dirSector));
        if (root->size != 1) {
            return Fail(Format("The root directory takes %u sectors; it must fit in one sector",
                               root->size));
        }
        return kOk;
    }

    int WriteDataFolder() {
        DirNode* data = fs_.dataFolder;
        if (!data) return Fail("The data folder was not placed");
        fs_.dirSector = image_.SectorCounter();
        data->startSector = fs_.dirSector;
        DirectoryWriter writer(image_, ctx_, fs_, false);
        QORVCD_CHECK(writer.WriteDirectory(0, data, fs_.dataParentSectors, fs_.dataParentSector));
        std::array<uint8_t, kRecordHeadSize> head{};
        if (!image_.ReadImageAt(data->recordPosition, head.data(), head.size())) return IoFailure();
        PutRecordExtent(head.data(), data->startSector);
        PutRecordDataLength(head.data(), data->size * uint32_t(kForm1DataSize));
        image_.WriteImageAt(data->recordPosition, head.data(), head.size());
        return image_.Ok() ? kOk : IoFailure();
    }

    int WriteApplications() {
        AppWriterInputs apps = in_.apps;
        apps.dataFolder = fs_.dataFolder;
        AppWriter writer(image_, ctx_, apps);
        const int ok = writer.WriteFiles(in_.tree.Root()->firstChild);
        playOkFound_ = writer.PlayOkFound();
        fs_.scanDataPosition = writer.ScanDataPosition();
        return ok ? kOk : kStepFailed;
    }

    int WriteVideoTracks() {
        uint64_t trackBytes = 0;
        // A track that cannot be measured would make the free space look enough.
        for (const TrackEntry& track : in_.tracks) {
            std::string error;
            const std::optional<uint64_t> bytes = TrackSectorModeBytes(track, &error);
            if (!bytes) return Fail(error);
            trackBytes += *bytes;
        }
        if (!image_.CheckFreeSpace(trackBytes, ctx_)) return kNoFreeSpace;
        if (HasScanData(ctx_.kind) && in_.scanData) {
            File& file = in_.scanData->scanDataFile;
            if (!file.Open(ctx_.workFolder + "scandata.dat", FileMode::ReadWrite)) {
                return Fail(file.Error());
            }
            file.SeekToEnd();
        }
        const int result = qorvcd::WriteVideoTracks(image_, ctx_, in_.tracks, fs_, OpenScanData());
        if (result == kOk && !image_.Ok()) return IoFailure();
        return result;
    }

    // Closing flushes the last buffered writes: a failure there leaves the
    // work file short, so it fails the build.
    int CloseScanData() {
        ScanDataState* scan = OpenScanData();
        if (!scan || scan->scanDataFile.Close()) return kOk;
        return Fail(scan->scanDataFile.Error());
    }

    ScanDataState* OpenScanData() const {
        return in_.scanData && in_.scanData->IsOpen() ? in_.scanData : nullptr;
    }

    void Report() {
        if (result_ == kCancelled) {
            ctx_.LogLine("Cancle by user");
        } else if (result_ != kOk) {
            ctx_.LogLine("Error!!!");
        } else {
            Finish();
        }
        image_.CloseTail();
    }

    void Finish() {
        // This format's own discs count the volume on to the sector counter;
        // a standard disc's volume is the disc, as ISO 9660 readers expect.
        const uint32_t volumeSpace = ctx_.standard ? DiscSectorCount(image_.SectorCounter(), in_.tracks.size())
                                                   : image_.SectorCounter();
        CompleteVolumeDescriptor(descriptor_, volumeSpace, fs_.lastRecordTime, playOkFound_);
        const uint64_t descriptorData = image_.SystemAreaOffset() +
                                        uint64_t(kPrimaryVolumeDescriptorSector) * kForm1UnitSize +
                                        kSubheaderSize;
        const std::vector<uint8_t> descriptor = descriptor_.Encode();
        image_.WriteImageAt(descriptorData, descriptor.data(), descriptor.size());
        image_.FinishImage();
        if (!image_.Ok()) {
            result_ = IoFailure();
            ctx_.LogLine("Error!!!");
            return;
        }
        ctx_.LogLine(std::string("---") + TextsOf(ctx_.kind).doneLabel + " disc image be created!---");
    }

    LayoutInputs& in_;
    ImageContainer& image_;
    FileSystemState& fs_;
    BuildContext ctx_;  // the caller's, with this layout's progress window
    std::unique_ptr<Progress> window_;
    PrimaryVolumeDescriptor descriptor_;
    uint64_t pathTablePosition_ = 0;
    uint32_t pathTableSectors_ = 0;
    bool playOkFound_ = false;
    int result_ = kOk;
};

}  // namespace

uint32_t DataTrackEnd(uint32_t nextSector) {
    if (nextSector < kControlAreaEnd) {
        return kControlAreaEnd - nextSector >= kDataTrackTrailingSectors
                   ? kControlAreaEnd
                   : kControlAreaEnd + kDataTrackTrailingSectors;
    }
    return nextSector + kDataTrackTrailingSectors;
}

uint32_t DiscSectorCount(uint32_t nextSector, size_t videoTracks) {
    return videoTracks == 0 || nextSector < kTrackLeadGap ? nextSector : nextSector - kTrackLeadGap;
}

int LayOutImage(LayoutInputs& in) { return LayoutDriver(in).Run(); }

}  // namespace qorvcd
