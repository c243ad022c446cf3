// The output of a one-input command (`pack`, `still`): refused before anything
// is written when it is the input or cannot be written, then written under a
// temporary name and renamed into place only when complete.
#pragma once

#include <functional>
#include <string>

namespace qorvcd::cli {

// Runs `write` on a temporary path beside `output` and keeps the result under
// `output` when `write` returns true. Prints the refusal or failure itself,
// prefixed with `command`; returns the exit status.
int WriteSingleOutput(const char* command, const std::string& input, const std::string& output,
                      const std::function<bool(const std::string& temporaryPath)>& write);

}  // namespace qorvcd::cli
