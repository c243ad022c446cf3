// The --kind option of the sub-commands that work for one kind of disc.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/disc_kind.h"

namespace qorvcd::cli {

// The names --kind accepts, matched without regard to case.
const std::vector<std::string>& DiscKindNames();

std::optional<DiscKind> DiscKindFromName(const std::string& name);

}  // namespace qorvcd::cli
