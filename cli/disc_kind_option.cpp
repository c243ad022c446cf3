#include "cli/disc_kind_option.h"

#include "platform/paths.h"

namespace qorvcd::cli {

namespace {

struct KindName {
    const char* name;
    DiscKind kind;
};

constexpr KindName kKindNames[] = {
    {"vcd30", DiscKind::Vcd30},
    {"svcd", DiscKind::Svcd},
    {"cvd", DiscKind::Cvd},
    {"supervcd", DiscKind::SuperVcd},
};

}  // namespace

const std::vector<std::string>& DiscKindNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> list;
        for (const KindName& entry : kKindNames) list.emplace_back(entry.name);
        return list;
    }();
    return names;
}

std::optional<DiscKind> DiscKindFromName(const std::string& name) {
    const std::string lower = ToLower(name);
    for (const KindName& entry : kKindNames) {
        if (lower == entry.name) return entry.kind;
    }
    return std::nullopt;
}

}  // namespace qorvcd::cli
