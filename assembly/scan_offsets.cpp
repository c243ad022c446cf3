#include "assembly/scan_offsets_p.h"

#include <array>

#include "core/progress.h"
#include "core/sector_unit.h"
#include "mpeg/scan_information.h"

namespace qorvcd {

bool ScanOffsetFiller::Prepare(const UnitReader& read, uint64_t units, Progress* progress, bool& cancelled) {
    cancelled = false;
    patches_.clear();
    next_ = 0;
    ScanInformationScanner scanner;
    std::array<uint8_t, kSectorModeUnitSize> unit{};
    for (uint64_t n = 0; n < units; ++n) {
        if (progress && progress->TakeCancelRequest()) {
            cancelled = true;
            return false;
        }
        if (!read(unit.data())) return false;
        scanner.FeedPack(uint32_t(n), unit.data() + kSubheaderSize, kMaxPackSize);
    }
    blocks_ = scanner.Blocks().size();
    patches_.reserve(blocks_ * kScanInformationPayload);
    for (const ScanBlockPlace& block : scanner.Blocks()) {
        const auto payload = EncodeScanOffsets(ScanOffsetsFor(block, scanner.IntraPictures()));
        for (size_t i = 0; i < kScanInformationPayload; ++i) {
            const uint64_t at = uint64_t(block.bytes[i].unit) * kSectorModeUnitSize + kSubheaderSize +
                                block.bytes[i].offset;
            patches_.push_back({at, payload[i]});
        }
    }
    return true;
}

void ScanOffsetFiller::Apply(uint64_t offset, uint8_t* unit) {
    // Units come in file order, so the patches are taken in order too.
    while (next_ < patches_.size() && patches_[next_].offset < offset) ++next_;
    for (; next_ < patches_.size() && patches_[next_].offset < offset + kSectorModeUnitSize; ++next_) {
        unit[patches_[next_].offset - offset] = patches_[next_].value;
    }
}

}  // namespace qorvcd
