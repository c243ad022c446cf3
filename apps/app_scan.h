// The scan of the application folder: every "*.CHM", "*.MP*", "*.ybm" and
// "*.WAV" entry (in that pass order, case-insensitive) becomes a node of the
// tree's current folder with the size it will take on the disc.
#pragma once

#include <cstdint>
#include <string>

#include "core/results.h"

namespace qorvcd {

class DirTree;
struct BuildContext;

// Every this many matches the log is trimmed (emptied when it holds more
// than kScanLogLimit lines) and its last line selected.
inline constexpr long kScanLogCheckEvery = 20;
inline constexpr int kScanLogLimit = 100;

// Disc size of an MPEG application file of `bytes` bytes: its sectors at
// 2048 bytes each, counted as 2336-byte units when the length is a multiple
// of 2336, else as 2304-byte ones.
uint64_t MpegApplicationSize(uint64_t bytes);

struct ScanOutcome {
    int result = kOk;    // kOk, kAppNameNot83, kScanCancelled or kStepFailed
    long fileCount = 0;  // nodes added
};

// Scans `folder` (a real folder path, read as is; the process's working
// directory is not used or changed) into the tree's cursor folder. A name that
// is not 8.3 stops the scan at once with kAppNameNot83 ("Error 200: Filename
// not 8.3, %s"); a Cancel taken from ctx.progress ends the current pass and
// the scan then returns kScanCancelled after the remaining passes. A file
// over 4 GiB - 1 bytes (too large for a directory record) stops the scan with
// kStepFailed. Only regular files and folders are taken: anything else ("Skipping %s: it is not a
// regular file or folder"), and a link to the scanned folder or a folder
// holding it ("Skipping %s: it is a link back to a folder that holds it"), is
// logged with its path and left out.
ScanOutcome ScanApplicationFiles(const std::string& folder, DirTree& tree, const BuildContext& ctx);

}  // namespace qorvcd
