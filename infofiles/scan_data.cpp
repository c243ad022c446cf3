#include "infofiles/scan_data.h"

#include <algorithm>
#include <cstring>

#include "core/build_context.h"
#include "core/inspect_visitor.h"
#include "infofiles/info_file_names.h"
#include "infofiles/tracks_record.h"
#include "platform/bytes.h"
#include "platform/log_list.h"

namespace qorvcd {

using namespace scan_data_layout;

namespace {
constexpr uint32_t kMaxCount16 = 0xFFFF;
}  // namespace

bool CreateScanData(ScanDataState& state, const BuildContext& ctx) {
    const std::string path = ctx.workFolder + kScanDataWorkFile;
    state.scanPointCount = 0;
    state.scanIndex = 0;
    if (!state.scanDataFile.Open(path, FileMode::CreateReadWrite)) {
        ctx.LogLine(Format("Warning :: Can't create %s", path.c_str()));
        return false;
    }
    uint8_t header[kHeaderSize] = {};
    std::memcpy(header, kFileId, kFileIdSize);
    header[kVersion] = kScanDataVersion;
    header[kReserved9] = 0;  // reserved
    // Offsets 10 to 15 (point, track and segment item counts) start at zero.
    if (!state.scanDataFile.Write(header, sizeof header)) {
        ctx.LogLine(Format("Warning :: Can't create %s", path.c_str()));
        state.scanDataFile.Close();
        File::Remove(path);
        return false;
    }
    return true;
}

bool WriteScanTrackTimes(ScanDataState& state, std::span<const uint32_t> durations,
                         std::string& error) {
    if (!state.IsOpen()) return true;
    if (durations.size() > kMaxCount16) {
        error = Format("SCANDATA cannot count %zu tracks (at most %u)", durations.size(), kMaxCount16);
        return false;
    }
    File& file = state.scanDataFile;
    file.SeekToEnd();
    CumulativePlayingTime time;
    for (uint32_t duration : durations) {
        time.Add(duration);
        const std::array<uint8_t, 3> bcd = time.Bcd();
        file.Write(bcd.data(), bcd.size());
    }
    const double points = 2.0 * double(time.Seconds()) + 20.0;
    if (points > double(kMaxCount16)) {
        error = Format("SCANDATA cannot count %.0f scan points (at most %u)", points, kMaxCount16);
        return false;
    }
    uint8_t counts[4];
    PutLe16(counts, uint16_t(points));
    PutLe16(counts + 2, uint16_t(durations.size()));
    file.Seek(kPointCount);
    file.Write(counts, sizeof counts);
    file.SeekToEnd();
    if (!file.Ok()) {
        error = file.Error();
        return false;
    }
    return true;
}

void AppendScanIndex(ScanDataState& state) {
    if (!state.IsOpen()) return;
    uint8_t index[kScanIndexSize];
    PutBe16(index, uint16_t(state.scanIndex));
    state.scanDataFile.Write(index, sizeof index);
    state.scanIndex += kScanIndexStep;
    state.scanPointCount += 1;
}

void DiscardScanData(ScanDataState& state) {
    if (!state.IsOpen()) return;
    const std::string path = state.scanDataFile.Path();
    state.scanDataFile.Close();
    File::Remove(path);
}

namespace {

// Walks the variable part of the file with a bounds-checked cursor.
class Cursor {
public:
    explicit Cursor(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    size_t Remaining() const { return bytes_.size() - offset_; }
    bool Has(size_t count) const { return count <= Remaining(); }
    const uint8_t* Take(size_t count) {
        const uint8_t* p = bytes_.data() + offset_;
        offset_ += count;
        return p;
    }
    size_t Offset() const { return offset_; }

private:
    std::span<const uint8_t> bytes_;
    size_t offset_ = 0;
};

uint16_t GetCount(const uint8_t* p, ScanDataForm form) {
    return form == ScanDataForm::WorkFile ? GetLe16(p) : GetBe16(p);
}

}  // namespace

std::optional<ScanDataRecord> ScanDataRecord::Decode(std::span<const uint8_t> bytes, ScanDataForm form,
                                                    std::string* why) {
    std::string error;
    auto fail = [&]() -> std::optional<ScanDataRecord> {
        if (why) *why = error;
        return std::nullopt;
    };
    if (bytes.size() < kHeaderSize) {
        error = Format("SCANDATA holds %zu bytes, its header alone takes %zu", bytes.size(),
                       kHeaderSize);
        return fail();
    }
    if (std::memcmp(bytes.data(), kFileId, kFileIdSize) != 0) {
        error = "SCANDATA does not begin with SCAN_VCD";
        return fail();
    }
    ScanDataRecord r;
    Cursor cursor(bytes);
    const uint8_t* header = cursor.Take(kHeaderSize);
    std::memcpy(r.fileId.data(), header, kFileIdSize);
    r.version = header[kVersion];
    r.pointCount = GetCount(header + kPointCount, form);
    r.trackCount = GetCount(header + kTrackCount, form);
    r.segmentItemCount = GetCount(header + kSegmentItemCount, form);

    if (!cursor.Has(size_t(r.trackCount) * kTrackTimeSize)) {
        error = Format("SCANDATA names %u tracks, but the file ends at byte %zu",
                       unsigned(r.trackCount), bytes.size());
        return fail();
    }
    for (size_t k = 0; k < r.trackCount; ++k) {
        const uint8_t* t = cursor.Take(kTrackTimeSize);
        r.trackTimes.push_back({t[0], t[1], t[2]});
    }
    if (!cursor.Has(size_t(r.segmentItemCount) * kScanIndexSize)) {
        error = Format("SCANDATA names %u segment items, but the file ends at byte %zu",
                       unsigned(r.segmentItemCount), bytes.size());
        return fail();
    }
    for (size_t k = 0; k < r.segmentItemCount; ++k) {
        r.segmentScanIndexes.push_back(GetBe16(cursor.Take(kScanIndexSize)));
    }
    // The rest is appended while the image is laid out; a work file taken
    // before that ends here.
    if (!cursor.Has(kScanIndexSize)) {
        return r;
    }
    r.endScanIndex = GetBe16(cursor.Take(kScanIndexSize));
    if (!cursor.Has(size_t(r.segmentItemCount) * kAddressSize)) {
        error = Format("SCANDATA lacks the addresses of its %u segment items",
                       unsigned(r.segmentItemCount));
        return fail();
    }
    for (size_t k = 0; k < r.segmentItemCount; ++k) {
        r.segmentSectors.push_back(MsfBcdToSector(cursor.Take(kAddressSize)));
    }
    // On the disc the entry count also counts one entry per segment item.
    size_t points = cursor.Remaining() / kAddressSize;
    const size_t declared = form == ScanDataForm::Disc
                                ? (r.pointCount >= r.segmentItemCount
                                       ? size_t(r.pointCount - r.segmentItemCount)
                                       : 0)
                                : size_t(r.pointCount);
    points = std::min(points, declared);
    for (size_t k = 0; k < points; ++k) r.scanPoints.push_back(MsfBcdToSector(cursor.Take(kAddressSize)));
    return r;
}

void ScanDataRecord::Inspect(InspectVisitor& v) const {
    v.Text("fileId", PrintableField(fileId));
    v.Number("version", version);
    v.Number("count", pointCount);
    v.Number("tracks", trackCount);
    v.Number("segmentItems", segmentItemCount);
    v.BeginList("trackTimes");
    for (const auto& t : trackTimes) v.Text("", BcdAddressText(t.data()));
    v.EndList();
    v.BeginList("segmentScanIndexes");
    for (uint16_t index : segmentScanIndexes) v.Number("", index);
    v.EndList();
    if (endScanIndex) v.Number("endScanIndex", *endScanIndex);
    v.BeginList("segmentStarts");
    for (int64_t sector : segmentSectors) InspectSectorAddress(v, sector);
    v.EndList();
    v.BeginList("scanPoints");
    for (int64_t sector : scanPoints) InspectSectorAddress(v, sector);
    v.EndList();
}

}  // namespace qorvcd
