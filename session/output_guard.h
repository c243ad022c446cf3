// Keeps a build's outputs off everything the build reads: the image (and the
// files the host writes beside it) must never be the script, a settings
// file, a track, a segment or application file, another output, or lie in
// the work folder. Each check returns why an output is refused, or empty.
#pragma once

#include <string>
#include <vector>

#include "platform/outputs.h"

namespace qorvcd {

class OutputGuard {
public:
    OutputGuard() = default;
    explicit OutputGuard(std::vector<NamedFile> outputs) : outputs_(std::move(outputs)) {}

    // An output that cannot be written, or two outputs that are one file.
    std::string CheckOutputs() const;
    // An output that is, or names when case is ignored, one of `inputs`.
    std::string CheckAgainst(const std::vector<NamedFile>& inputs) const;
    // An output inside `folder` (the work folder, the application folder).
    std::string CheckOutside(const std::string& folder, const std::string& what) const;

private:
    std::vector<NamedFile> outputs_;
};

// Every word of the script that names an existing file, resolved against the
// script's folder: the tracks, segments, pictures and listed files it reads,
// found before anything is created. A word that only happens to name a file
// is kept too: refusing to write over it is the safe side.
// Returns why the script could not be read when it is there but unreadable
// (the outputs cannot be checked then); empty otherwise.
std::string FilesNamedByScript(const std::string& scriptPath, const std::string& scriptFolder,
                               std::vector<NamedFile>& files);

}  // namespace qorvcd
