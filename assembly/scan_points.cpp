#include "assembly/scan_points_p.h"

#include <array>
#include <string>
#include <utility>

#include "content/track_list.h"
#include "core/build_context.h"
#include "infofiles/info_file_names.h"
#include "infofiles/scan_data.h"
#include "infofiles/search_record.h"
#include "mpeg/mpeg_probe.h"
#include "mpeg/pack_header.h"
#include "platform/bytes.h"
#include "platform/log_list.h"

namespace qorvcd {

namespace {
// A point every half second of playing time.
constexpr double kPointStep = 0.5;

double Seconds(const TrackUnit& unit) { return unit.facts.clockReference / double(kMpegClockHz); }
// The first unit counts as the track's start only; points come from video units.
bool TakesPoints(const TrackUnit& unit) { return !unit.First() && unit.facts.video; }
}  // namespace

// ---------------------------------------------------------------- access points

void TrackAccessPoints::Begin(uint32_t firstSector) {
    clock_ = PictureClock();
    intra_.clear();
    unitStarts_.clear();
    firstSector_ = firstSector;
}

void TrackAccessPoints::OnUnit(const uint8_t* pack, uint32_t sector) {
    constexpr size_t kRecentUnits = 256;
    for (const VideoPacket& packet : VideoPacketsOfPack(pack, kMaxPackSize)) {
        unitStarts_.emplace_back(clock_.Offset(), sector);
        if (unitStarts_.size() > kRecentUnits) unitStarts_.pop_front();
        pictures_.clear();
        clock_.Feed(packet.payload, packet.size, pictures_);
        for (const PictureClock::Picture& picture : pictures_) {
            if (picture.codingType == uint8_t(PictureCodingType::Intra))
                intra_.push_back({picture.displayIndex, SectorOf(picture.accessOffset)});
        }
    }
}

uint32_t TrackAccessPoints::SectorOf(uint64_t offset) const {
    uint32_t sector = unitStarts_.empty() ? firstSector_ : unitStarts_.front().second;
    for (const auto& [start, unitSector] : unitStarts_) {
        if (start > offset) break;
        sector = unitSector;
    }
    return sector;
}

std::vector<uint32_t> TrackAccessPoints::Points(uint32_t durationHundredths) const {
    const double ticksPerPicture = TicksPerPicture(FrameRateOfCode(clock_.FrameRateCode()));
    const uint32_t count = StandardScanPointsFor(durationHundredths);
    std::vector<uint32_t> points;
    points.reserve(count);
    for (uint32_t j = 0; j < count; ++j) {
        const double step = double(j) * kPointStep * kMpegClockHz;
        const Intra* chosen = intra_.empty() ? nullptr : &intra_.front();
        for (const Intra& picture : intra_) {
            // Half a picture's leeway: a picture shown at the step is taken.
            if (double(picture.displayIndex) * ticksPerPicture <= step + ticksPerPicture / 2) chosen = &picture;
        }
        points.push_back(chosen ? chosen->sector : firstSector_);
    }
    return points;
}

// ---------------------------------------------------------------- SEARCH.DAT

SearchPointRecorder::SearchPointRecorder(TrackWriteContext& writing, uint64_t position)
    : w_(writing), position_(position), standard_(writing.Build().standard) {}

bool SearchPointRecorder::Open() {
    const std::string path = w_.Build().workFolder + kSearchWorkFile;
    if (!search_.Open(path, FileMode::ReadWrite)) return w_.CantOpen(path);
    end_ = search_.Length();
    std::array<uint8_t, search_layout::kHeaderSize> header{};
    if (end_ < header.size() || !search_.ReadExact(header.data(), header.size())) {
        return w_.Fail(Format("%s holds no SEARCH.DAT header", path.c_str()));
    }
    interval_ = header[search_layout::kTimeInterval];
    return search_.Seek(search_layout::kHeaderSize) || w_.Fail(search_.Error());
}

bool SearchPointRecorder::BeginTrack(const TrackEntry& track, uint32_t firstSector) {
    if (standard_) access_.Begin(firstSector);
    budget_.AddTrack(track.duration);
    firstSector_ = firstSector;
    lastIntraSector_.reset();
    nextTime_ = 0.0;
    return true;
}

// Before the track's first intra picture after its first unit is seen, a
// point leads to the track's first unit, where its stream begins.
uint32_t SearchPointRecorder::PointSector() const { return lastIntraSector_.value_or(firstSector_); }

bool SearchPointRecorder::OnUnit(const TrackEntry& /*track*/, const TrackUnit& unit) {
    if (standard_) {
        if (unit.facts.video && unit.pack) access_.OnUnit(unit.pack, unit.sector);
        return true;
    }
    if (!TakesPoints(unit)) return true;
    if (unit.facts.iPicture) lastIntraSector_ = unit.sector;
    if (Seconds(unit) >= nextTime_ && count_ < budget_.Limit() && Append(PointSector())) {
        nextTime_ += interval_ * kPointStep;
    }
    return true;
}

void SearchPointRecorder::EndTrack(const TrackEntry& track) {
    if (standard_) {
        for (const uint32_t sector : access_.Points(track.duration)) Append(sector);
        return;
    }
    while (count_ < budget_.Limit() && Append(PointSector())) {
    }
}

// Points are written into the entries reserved for them; a point with no
// room left is dropped rather than written past the table.
bool SearchPointRecorder::Append(uint32_t sector) {
    if (search_.Position() + search_layout::kPointSize > end_) return false;
    uint8_t address[search_layout::kPointSize];
    PutMsfBcd(address, sector);
    search_.Write(address, sizeof address);
    ++count_;
    return true;
}

bool SearchPointRecorder::Finish() {
    if (!w_.CheckReserved(position_, "SEARCH.DAT")) return false;
    const uint16_t count = uint16_t(count_);
    w_.CopyIntoSectors(search_, position_, [count](uint8_t* first) {
        PutBe16(first + search_layout::kPointCount, count);
    });
    search_.Close();
    return true;
}

// ---------------------------------------------------------------- SCANDATA

bool ScanPointRecorder::Open(uint32_t firstTrackSector) {
    if (scan_.scanDataTrackSlot < scan_data_layout::kHeaderSize) {
        return w_.Fail("SCANDATA has no entries reserved for the tracks' scan points");
    }
    File& file = scan_.scanDataFile;
    end_ = file.Length();
    file.Seek(scan_.scanDataTrackSlot);
    AppendAddress(firstTrackSector);
    return true;
}

bool ScanPointRecorder::BeginTrack(const TrackEntry& track, uint32_t /*firstSector*/) {
    budget_.AddTrack(track.duration);
    lastUnitSector_ = 0;
    nextTime_ = 0.0;
    return true;
}

bool ScanPointRecorder::OnUnit(const TrackEntry& /*track*/, const TrackUnit& unit) {
    lastUnitSector_ = unit.sector;
    if (!TakesPoints(unit)) return true;
    if (Seconds(unit) >= nextTime_ && scan_.scanPointCount < budget_.Limit() && AppendPoint(unit.sector)) {
        nextTime_ += kPointStep;
    }
    return true;
}

void ScanPointRecorder::EndTrack(const TrackEntry& /*track*/) {
    while (scan_.scanPointCount < budget_.Limit() && AppendPoint(lastUnitSector_)) {
    }
}

bool ScanPointRecorder::AppendAddress(uint32_t sector) {
    File& file = scan_.scanDataFile;
    if (file.Position() + scan_data_layout::kAddressSize > end_) return false;
    uint8_t address[scan_data_layout::kAddressSize];
    PutMsfBcd(address, sector);
    file.Write(address, sizeof address);
    return true;
}

bool ScanPointRecorder::AppendPoint(uint32_t sector) {
    if (!AppendAddress(sector)) return false;
    ++scan_.scanPointCount;
    return true;
}

// Turns the work file's header into the disc form (scan entry count, all
// counts big-endian) and copies the file into its sectors.
bool ScanPointRecorder::Finish() {
    if (!w_.CheckReserved(position_, "SCANDATA.DAT")) return false;
    File& file = scan_.scanDataFile;
    std::array<uint8_t, scan_data_layout::kHeaderSize> header{};
    file.Seek(0);
    if (!file.ReadExact(header.data(), header.size())) return w_.Fail(file.Error());
    PutBe16(header.data() + scan_data_layout::kPointCount, uint16_t(scan_.scanPointCount));
    std::swap(header[scan_data_layout::kTrackCount], header[scan_data_layout::kTrackCount + 1]);
    std::swap(header[scan_data_layout::kSegmentItemCount], header[scan_data_layout::kSegmentItemCount + 1]);
    file.Seek(0);
    file.Write(header.data(), header.size());
    if (!file.Ok()) return w_.Fail(file.Error());
    w_.CopyIntoSectors(file, position_, nullptr);
    return true;
}

}  // namespace qorvcd
