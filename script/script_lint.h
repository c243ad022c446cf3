// A reading of the whole authoring script for mistakes the build itself
// passes over: an unknown section or keyword (with the nearest keyword of
// that section), a MODE that names no disc kind, a VERSION that is missing
// or does not suit the kind. It only reports; the build reads on as always.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/diagnostics.h"
#include "core/disc_kind.h"

namespace qorvcd {

struct LintFacts {
    DiscKind kind = DiscKind::Svcd;  // the kind this build makes
    std::string displayName;          // the script's name in the diagnostics
};

void LintScript(const std::string& path, const LintFacts& facts, const DiagnosticSink& sink);

// The candidate nearest to `word` when it is a plausible misspelling of it
// (a few letters off); empty otherwise.
std::string NearestKeyword(std::string_view word, const std::vector<std::string_view>& candidates);

}  // namespace qorvcd
