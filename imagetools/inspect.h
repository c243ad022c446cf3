// The image inspector: decodes a finished disc image (tracks and runs, the
// ISO 9660 volume and tree, the Video CD control files) and walks it once
// for either printer, plain text or JSON. Each record feeds its own fields
// (its `Inspect` member, beside its writer and reader); the walk here gives
// them their place in the image.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/inspect_visitor.h"
#include "image/image_reader.h"
#include "iso9660/directory_record.h"
#include "iso9660/path_table.h"
#include "iso9660/volume_descriptor.h"

namespace qorvcd {

// One file or folder of the ISO 9660 tree.
struct InspectedEntry {
    std::string path;  // "/SVCD/INFO.SVD" (version suffix dropped)
    DirectoryRecord record;
};

// A control file found through the tree, with its bytes.
struct InspectedFile {
    std::string path;
    std::vector<uint8_t> bytes;
    std::string error;  // when it could not be read
};

struct DecodedImage {
    std::string imagePath;
    uint64_t imageLength = 0;
    uint64_t tailOffset = 0;
    std::vector<ImageTrack> tracks;
    std::vector<std::string> warnings;

    std::optional<PrimaryVolumeDescriptor> volume;
    std::vector<PathTableRecord> pathTable;
    std::vector<InspectedEntry> entries;
    // Faults found while decoding the file system (the tracks decoded fine).
    std::vector<std::string> errors;

    std::optional<InspectedFile> info;
    std::optional<InspectedFile> entriesFile;
    std::optional<InspectedFile> lot;
    std::optional<InspectedFile> psd;
    std::optional<InspectedFile> tracksFile;
    std::optional<InspectedFile> search;
    std::optional<InspectedFile> scanData;
};

// Limits that keep a damaged image from driving the decoder into huge work.
inline constexpr uint32_t kMaxInspectedDirectoryBytes = 1u << 20;
inline constexpr size_t kMaxInspectedEntries = 100000;
inline constexpr unsigned kMaxInspectedDepth = 8;  // ISO 9660 allows 8 levels

// Opens and decodes `path`. False with `error` when the image itself cannot
// be read (no track list); faults further in are kept in `errors`.
bool DecodeImage(const std::string& path, DecodedImage& out, std::string& error);

// Walks the decoded image; returns false when some part could not be decoded.
bool VisitImage(const DecodedImage& image, InspectVisitor& v);

// The two printers. `ok` (optional) is false when some part failed to decode.
std::string InspectText(const DecodedImage& image, bool* ok = nullptr);
std::string InspectJson(const DecodedImage& image, bool* ok = nullptr);

// The two printers over any walk. `walk` feeds the visitor; its result
// (false when a part could not be decoded) is passed back through `ok` when
// given.
using InspectWalk = std::function<bool(InspectVisitor&)>;
std::string PrintInspectText(const InspectWalk& walk, bool* ok = nullptr);
std::string PrintInspectJson(const InspectWalk& walk, bool* ok = nullptr);

// Visits of the Video CD control files found in the image, each from the
// file's bytes; a file that cannot be decoded becomes an "error" value.
// The return value is false when the file could not be decoded.
bool VisitInfoFile(std::span<const uint8_t> bytes, InspectVisitor& v);
bool VisitEntriesFile(std::span<const uint8_t> bytes, InspectVisitor& v);
bool VisitPlaybackControl(std::span<const uint8_t> lot, std::span<const uint8_t> psd, InspectVisitor& v);
bool VisitTracksFile(std::span<const uint8_t> bytes, InspectVisitor& v);
bool VisitSearchFile(std::span<const uint8_t> bytes, InspectVisitor& v);
bool VisitScanDataFile(std::span<const uint8_t> bytes, InspectVisitor& v);

}  // namespace qorvcd
