// The BIN/CUE of a disc written while the disc is built: the image writer
// feeds every sector as it lays it down (and every later rewrite of a stored
// unit), and each becomes its raw 2352-byte sector at once, exactly as the
// export makes it from a finished image. The image is never read back; the
// build may even write no image at all.
//
// Both files are written under temporary names beside their final paths and
// take those names only at Keep, the cue sheet last, so a failed or cancelled
// build leaves whatever was there as it was.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "image/image_reader.h"
#include "image/sector_sink.h"
#include "platform/file.h"
#include "platform/outputs.h"

namespace qorvcd {

class BinCueWriter final : public SectorSink {
public:
    // Sectors gathered before one write to the BIN.
    static constexpr uint32_t kBatchSectors = 128;

    // `cuePath` is resolved; the BIN is NAME.bin beside it.
    explicit BinCueWriter(const std::string& cuePath);
    BinCueWriter(const BinCueWriter&) = delete;
    BinCueWriter& operator=(const BinCueWriter&) = delete;

    // Creates both temporary files; false with Error() set.
    bool Create();

    void PutUnit(uint32_t sector, RunForm form, const uint8_t* unit) override;
    void PutEmpty(uint32_t first, uint32_t count) override;
    void BeginTrack(unsigned number, uint32_t startSector) override;
    void PatchUnit(uint32_t sector, RunForm form, size_t within, const uint8_t* bytes, size_t size) override;
    bool ReadUnit(uint32_t sector, RunForm form, size_t within, uint8_t* out, size_t size) override;
    bool Ok() const override { return error_.empty() && bin_.Ok() && cue_.Ok(); }
    std::string Error() const override;

    // Writes what is left of the BIN and the cue sheet and closes both (once).
    bool Finish();
    // Renames the BIN, then the cue sheet into place. When the cue sheet
    // cannot take its name, a BIN that was new is taken back.
    bool Keep();
    // Removes the temporary files of outputs not kept; false when one stays.
    bool Discard();

    const std::string& BinPath() const { return binOutput_.FinalPath(); }
    const std::string& CuePath() const { return cueOutput_.FinalPath(); }
    uint32_t SectorCount() const { return next_; }

private:
    uint8_t* NextSlot(uint32_t sector);
    bool WriteBatch();
    // The raw sector `sector` read into `raw` (from the batch or the BIN);
    // `slot` is set when it lies in the batch.
    bool LoadRaw(uint32_t sector, uint8_t* raw, uint8_t** slot);
    void StoreRaw(uint32_t sector, const uint8_t* raw);
    void Fail(const std::string& reason);

    PendingOutput binOutput_;
    PendingOutput cueOutput_;
    File bin_;
    File cue_;
    bool binExisted_ = false;
    bool binKept_ = false;
    bool finished_ = false;
    // An unstored sector differs from the next only in its header.
    std::array<uint8_t, kRawSectorSize> emptyRaw_{};
    std::vector<uint8_t> batch_;
    uint32_t batchFirst_ = 0;  // logical sector of the batch's first raw sector
    uint32_t batchCount_ = 0;
    uint32_t next_ = 0;        // the next logical sector expected
    std::vector<ImageTrack> tracks_;
    std::string error_;
};

}  // namespace qorvcd
