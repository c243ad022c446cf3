#include "imagetools/bincue_writer.h"

#include <cstring>

#include "imagetools/bincue.h"
#include "platform/bytes.h"
#include "platform/log_list.h"
#include "platform/paths.h"

namespace qorvcd {

BinCueWriter::BinCueWriter(const std::string& cuePath)
    : binOutput_(BinPathForCue(cuePath)), cueOutput_(cuePath) {
    BuildEmptyRawSector(0, emptyRaw_.data());
    ImageTrack dataTrack;
    dataTrack.number = 1;
    tracks_.push_back(dataTrack);
}

std::string BinCueWriter::Error() const {
    if (!error_.empty()) return error_;
    if (!bin_.Ok()) return bin_.Error();
    return cue_.Error();
}

void BinCueWriter::Fail(const std::string& reason) {
    if (error_.empty()) error_ = reason;
}

bool BinCueWriter::Create() {
    binExisted_ = File::Exists(binOutput_.FinalPath());
    if (!binOutput_.Create() || !binOutput_.OpenForWriting(bin_)) {
        Fail(binOutput_.Error().empty() ? bin_.Error() : binOutput_.Error());
        return false;
    }
    if (!cueOutput_.Create() || !cueOutput_.OpenForWriting(cue_)) {
        Fail(cueOutput_.Error().empty() ? cue_.Error() : cueOutput_.Error());
        return false;
    }
    batch_.resize(size_t(kBatchSectors) * kRawSectorSize);
    return true;
}

// The sectors come in order, each exactly once; anything else would put a
// sector at the wrong disc address, so it fails the BIN.
uint8_t* BinCueWriter::NextSlot(uint32_t sector) {
    if (!Ok()) return nullptr;
    if (batch_.empty()) {
        Fail("the BIN was not created");
        return nullptr;
    }
    if (sector != next_) {
        Fail(Format("BIN sector %u came out of order (sector %u was due)", sector, next_));
        return nullptr;
    }
    if (batchCount_ == kBatchSectors && !WriteBatch()) return nullptr;
    if (batchCount_ == 0) batchFirst_ = sector;
    ++next_;
    return batch_.data() + size_t(batchCount_++) * kRawSectorSize;
}

bool BinCueWriter::WriteBatch() {
    if (batchCount_ > 0) bin_.Write(batch_.data(), size_t(batchCount_) * kRawSectorSize);
    batchFirst_ += batchCount_;
    batchCount_ = 0;
    return bin_.Ok();
}

void BinCueWriter::PutUnit(uint32_t sector, RunForm form, const uint8_t* unit) {
    if (uint8_t* raw = NextSlot(sector)) BuildRawSectorFromUnit(sector, form, unit, raw);
}

void BinCueWriter::PutEmpty(uint32_t first, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
        uint8_t* raw = NextSlot(first + i);
        if (!raw) return;
        std::memcpy(raw, emptyRaw_.data(), kRawSectorSize);
        PutMsfBcd(raw + kRawHeaderOffset, first + i);
    }
}

void BinCueWriter::BeginTrack(unsigned number, uint32_t startSector) {
    ImageTrack track;
    track.number = number;
    track.startSector = startSector;
    tracks_.push_back(track);
}

bool BinCueWriter::LoadRaw(uint32_t sector, uint8_t* raw, uint8_t** slot) {
    *slot = nullptr;
    if (!Ok()) return false;
    if (sector >= next_) {
        Fail(Format("BIN sector %u is rewritten before it was written", sector));
        return false;
    }
    if (batchCount_ > 0 && sector >= batchFirst_) {
        *slot = batch_.data() + size_t(sector - batchFirst_) * kRawSectorSize;
        std::memcpy(raw, *slot, kRawSectorSize);
        return true;
    }
    const bool read = bin_.Seek(uint64_t(sector) * kRawSectorSize) && bin_.ReadExact(raw, kRawSectorSize);
    bin_.SeekToEnd();
    return read && bin_.Ok();
}

void BinCueWriter::StoreRaw(uint32_t sector, const uint8_t* raw) {
    bin_.Seek(uint64_t(sector) * kRawSectorSize);
    bin_.Write(raw, kRawSectorSize);
    bin_.SeekToEnd();
}

void BinCueWriter::PatchUnit(uint32_t sector, RunForm form, size_t within, const uint8_t* bytes, size_t size) {
    std::array<uint8_t, kRawSectorSize> raw;
    uint8_t* slot = nullptr;
    if (within + size > UnitSizeOf(form)) {
        Fail(Format("a rewrite of %zu bytes at %zu does not fit the unit of sector %u", size, within, sector));
        return;
    }
    if (!LoadRaw(sector, raw.data(), &slot)) return;
    std::memcpy(raw.data() + kRawSubheaderOffset + within, bytes, size);
    FinishRawSector(sector, form, raw.data());
    if (slot) {
        std::memcpy(slot, raw.data(), kRawSectorSize);
    } else {
        StoreRaw(sector, raw.data());
    }
}

bool BinCueWriter::ReadUnit(uint32_t sector, RunForm form, size_t within, uint8_t* out, size_t size) {
    std::array<uint8_t, kRawSectorSize> raw;
    uint8_t* slot = nullptr;
    if (within + size > UnitSizeOf(form)) {
        Fail(Format("a read of %zu bytes at %zu does not fit the unit of sector %u", size, within, sector));
        return false;
    }
    if (!LoadRaw(sector, raw.data(), &slot)) return false;
    std::memcpy(out, raw.data() + kRawSubheaderOffset + within, size);
    return true;
}

bool BinCueWriter::Finish() {
    if (finished_) return Ok();
    finished_ = true;
    if (!Ok() || !WriteBatch()) return false;
    const std::string sheet = MakeCueSheet(FileNameOf(BinPath()), tracks_);
    cue_.Write(sheet.data(), sheet.size());
    const bool binClosed = bin_.Close();
    const bool cueClosed = cue_.Close();
    return binClosed && cueClosed && Ok();
}

bool BinCueWriter::Keep() {
    if (!binOutput_.Keep()) {
        Fail(binOutput_.Error());
        return false;
    }
    binKept_ = true;
    if (cueOutput_.Keep()) return true;
    Fail(cueOutput_.Error());
    if (!binExisted_) {
        File::Remove(BinPath());
    } else {
        error_ += "; " + BinPath() + " was already replaced";
    }
    return false;
}

bool BinCueWriter::Discard() {
    if (bin_.IsOpen()) bin_.Close();
    if (cue_.IsOpen()) cue_.Close();
    const bool binGone = binKept_ || binOutput_.Discard();
    return cueOutput_.Discard() && binGone;
}

}  // namespace qorvcd
