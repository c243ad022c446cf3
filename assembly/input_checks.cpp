#include "assembly/input_checks.h"

#include <cstring>

#include "core/sector_unit.h"
#include "platform/file.h"
#include "platform/log_list.h"

namespace qorvcd {

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

}  // namespace qorvcd
