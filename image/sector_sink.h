// A second destination for the sectors the image writer lays down: every
// logical sector of the disc reaches the sink in sector order as its unit is
// appended (or as an unstored stretch is reserved), and every later rewrite
// of a stored unit (a patched directory record, a control file completed
// after the tracks) reaches it too. A BIN writer built on it makes the raw
// sectors in the same pass as the image, or without any image at all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "image/container_records.h"

namespace qorvcd {

class SectorSink {
public:
    virtual ~SectorSink() = default;

    // The stored unit of logical sector `sector`: 2056 bytes for Form 1,
    // 2332 for Form 2 (subheader first).
    virtual void PutUnit(uint32_t sector, RunForm form, const uint8_t* unit) = 0;
    // `count` logical sectors from `first` that the image does not store:
    // reserved runs and the gaps in front of the video tracks.
    virtual void PutEmpty(uint32_t first, uint32_t count) = 0;
    // Track `number` (2, 3, ...) begins at logical sector `startSector`.
    virtual void BeginTrack(unsigned number, uint32_t startSector) = 0;
    // Bytes [within, within + size) of the stored unit of `sector` rewritten.
    virtual void PatchUnit(uint32_t sector, RunForm form, size_t within, const uint8_t* bytes, size_t size) = 0;
    // Reads bytes [within, within + size) of the stored unit of `sector`, as
    // last put or patched; false on a failure (then Error()).
    virtual bool ReadUnit(uint32_t sector, RunForm form, size_t within, uint8_t* out, size_t size) = 0;

    virtual bool Ok() const = 0;
    // The first failure, or empty.
    virtual std::string Error() const = 0;
};

}  // namespace qorvcd
