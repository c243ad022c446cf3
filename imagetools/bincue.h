// Raw 2352-byte sectors and the BIN/CUE export of a disc image.
//
// The image stores only subheaders and user data; a BIN needs whole sectors.
// Each logical sector, from 0 to the end of the last track's reserved
// sectors, becomes one Mode 2 sector with its sync, header, EDC and (Form 1)
// ECC computed here. Unstored sectors (reserved runs and the gaps in front
// of the video tracks) become empty Form 2 sectors.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "core/sector_unit.h"
#include "image/image_reader.h"
#include "imagetools/sector_checksums.h"

namespace qorvcd {

// Byte offsets inside a raw Mode 2 sector (ECMA-130, CD-ROM XA).
inline constexpr size_t kRawSyncSize = 12;
inline constexpr size_t kRawHeaderOffset = 12;       // minutes, seconds, frames, mode
inline constexpr size_t kRawModeOffset = 15;
inline constexpr size_t kRawSubheaderOffset = 16;
inline constexpr size_t kRawDataOffset = 24;
inline constexpr size_t kRawForm1EdcOffset = kRawDataOffset + kForm1DataSize;  // 2072
inline constexpr size_t kRawEccPOffset = kRawForm1EdcOffset + 4;              // 2076
inline constexpr size_t kRawEccQOffset = kRawEccPOffset + 172;                // 2248
inline constexpr size_t kRawForm2EdcOffset = kRawDataOffset + kForm2DataSize;  // 2348

// Sector mode byte of the header (ECMA-130).
enum class SectorMode : uint8_t {
    Mode2 = 2,  // CD-ROM XA sectors
};

using RawSector = std::array<uint8_t, kRawSectorSize>;

// Assembles the raw sector of logical sector `sector` from what the image
// holds for it (a stored unit, or an unstored sector).
void BuildRawSector(uint32_t sector, const SectorContent& content, uint8_t* raw);
// The same from a stored unit of `form` (subheader first, 2056 or 2332 bytes).
void BuildRawSectorFromUnit(uint32_t sector, RunForm form, const uint8_t* unit, uint8_t* raw);
// The raw sector of an unstored sector: Form 2, the gap subheader, zero data.
void BuildEmptyRawSector(uint32_t sector, uint8_t* raw);
// Completes a raw sector whose subheader and user data (from byte 16) are in
// place: sync, header, EDC and, for Form 1, the P and Q parity. The
// subheader's second copy is made the first's, as a reader of the image
// takes it.
void FinishRawSector(uint32_t sector, RunForm form, uint8_t* raw);

// "mm:ss:ff" of a count of sectors from the start of the BIN.
std::string CueTime(uint32_t sectors);
// The cue sheet of the image's tracks for a BIN named `binName`.
std::string MakeCueSheet(const std::string& binName, const std::vector<ImageTrack>& tracks);

struct BinCueRequest {
    std::string imagePath;
    std::string cuePath;  // NAME.cue; the BIN is NAME.bin beside it
    std::string isoPath;  // optional: track 1's user data as a plain ISO 9660 image
    std::function<bool()> cancelRequested;  // optional: polled every few hundred sectors
    std::function<void(int percent)> progress;  // optional
};

// The BIN path that goes with a cue sheet path.
std::string BinPathForCue(const std::string& cuePath);

// Writes the BIN, the cue sheet and the optional ISO. Outputs that are the
// image or each other, or that cannot be written, are refused before anything
// is created. Each file is written under a temporary name and renamed into
// place once complete, so a failure or a Cancel leaves no partial output and
// every existing file as it was. False with `error` set on failure.
bool ExportBinCue(const BinCueRequest& request, std::string* error);

}  // namespace qorvcd
