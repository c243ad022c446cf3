#include "infofiles/search_record.h"

#include <cstring>

#include "platform/bytes.h"
#include "platform/log_list.h"

namespace qorvcd {

using namespace search_layout;

uint32_t ScanPointsFor(uint32_t totalHundredths) {
    const double seconds = double(totalHundredths) / 100.0;
    return kExtraScanPoints + uint32_t(2.0 * seconds);
}

std::array<uint8_t, kHeaderSize> EncodeSearchHeader(uint8_t timeInterval) {
    std::array<uint8_t, kHeaderSize> out{};
    std::memcpy(out.data(), kFileId, kFileIdSize);
    out[kVersion] = kSearchFileVersion;
    out[kReserved9] = 0;  // reserved
    PutBe16(out.data() + kPointCount, 0);  // filled as the tracks are written
    out[kTimeInterval] = timeInterval;
    return out;
}

bool DecodeSearch(std::span<const uint8_t> bytes, SearchRecord& record, std::string& error) {
    if (bytes.size() < kHeaderSize) {
        error = Format("SEARCH.DAT holds %zu bytes, its header alone takes %zu", bytes.size(),
                       kHeaderSize);
        return false;
    }
    const uint8_t* p = bytes.data();
    if (std::memcmp(p, kFileId, kFileIdSize) != 0) {
        error = "SEARCH.DAT does not begin with SEARCHSV";
        return false;
    }
    SearchRecord r;
    std::memcpy(r.fileId.data(), p, kFileIdSize);
    r.version = p[kVersion];
    r.pointCount = GetBe16(p + kPointCount);
    r.timeInterval = p[kTimeInterval];
    const size_t room = (bytes.size() - kHeaderSize) / kPointSize;
    if (r.pointCount > room) {
        error = Format("SEARCH.DAT names %u scan points, but its %zu bytes hold only %zu",
                       unsigned(r.pointCount), bytes.size(), room);
        return false;
    }
    r.points.reserve(r.pointCount);
    for (size_t k = 0; k < r.pointCount; ++k) {
        r.points.push_back(MsfBcdToSector(p + kHeaderSize + k * kPointSize));
    }
    record = std::move(r);
    return true;
}

}  // namespace qorvcd
