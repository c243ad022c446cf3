#include "infofiles/search_record.h"

#include <cstring>

#include "core/inspect_visitor.h"
#include "platform/bytes.h"
#include "platform/log_list.h"

namespace qorvcd {

using namespace search_layout;

uint32_t ScanPointsFor(uint32_t totalHundredths) {
    const double seconds = double(totalHundredths) / 100.0;
    return kExtraScanPoints + uint32_t(2.0 * seconds);
}

uint32_t StandardScanPointsFor(uint32_t trackHundredths) {
    constexpr uint32_t kHundredthsPerPoint = 50;
    return (trackHundredths + kHundredthsPerPoint - 1) / kHundredthsPerPoint;
}

uint32_t StandardScanPointsFor(std::span<const uint32_t> trackHundredths) {
    uint32_t points = 0;
    for (const uint32_t hundredths : trackHundredths) points += StandardScanPointsFor(hundredths);
    return points;
}

std::vector<uint8_t> SearchRecord::Encode() const {
    std::vector<uint8_t> out(kHeaderSize + points.size() * kPointSize, 0);
    std::memcpy(out.data(), fileId.data(), kFileIdSize);
    out[kVersion] = version;
    out[kReserved9] = 0;  // reserved
    PutBe16(out.data() + kPointCount, pointCount);
    out[kTimeInterval] = timeInterval;
    for (size_t k = 0; k < points.size(); ++k) {
        uint8_t* p = out.data() + kHeaderSize + k * kPointSize;
        const int64_t address = points[k] + kDiscAddressOffset;
        p[0] = ToBcd(unsigned(address / kFramesPerMinute));
        p[1] = ToBcd(unsigned(address % kFramesPerMinute / kFramesPerSecond));
        p[2] = ToBcd(unsigned(address % kFramesPerSecond));
    }
    return out;
}

std::optional<SearchRecord> SearchRecord::Decode(std::span<const uint8_t> bytes, std::string* why) {
    auto fail = [why](const std::string& text) -> std::optional<SearchRecord> {
        if (why) *why = text;
        return std::nullopt;
    };
    if (bytes.size() < kHeaderSize) {
        return fail(Format("SEARCH.DAT holds %zu bytes, its header alone takes %zu", bytes.size(),
                           kHeaderSize));
    }
    const uint8_t* p = bytes.data();
    if (std::memcmp(p, kFileId, kFileIdSize) != 0) return fail("SEARCH.DAT does not begin with SEARCHSV");
    SearchRecord r;
    std::memcpy(r.fileId.data(), p, kFileIdSize);
    r.version = p[kVersion];
    r.pointCount = GetBe16(p + kPointCount);
    r.timeInterval = p[kTimeInterval];
    const size_t room = (bytes.size() - kHeaderSize) / kPointSize;
    if (r.pointCount > room) {
        return fail(Format("SEARCH.DAT names %u scan points, but its %zu bytes hold only %zu",
                           unsigned(r.pointCount), bytes.size(), room));
    }
    r.points.reserve(r.pointCount);
    for (size_t k = 0; k < r.pointCount; ++k) {
        r.points.push_back(MsfBcdToSector(p + kHeaderSize + k * kPointSize));
    }
    return r;
}

void SearchRecord::Inspect(InspectVisitor& v) const {
    v.Text("fileId", PrintableField(fileId));
    v.Number("version", version);
    v.Number("count", pointCount);
    v.Number("interval", timeInterval);
    v.BeginList("points");
    for (int64_t sector : points) InspectSectorAddress(v, sector);
    v.EndList();
}

}  // namespace qorvcd
