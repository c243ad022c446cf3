#include "image/container_records.h"

#include <cstring>

#include "core/sector_unit.h"
#include "platform/bytes.h"
#include "platform/log_list.h"

namespace qorvcd {

namespace {

void PutMagic(uint8_t* p, const char (&magic)[4]) { std::memcpy(p, magic, 4); }

bool HasMagic(const uint8_t* p, const char (&magic)[4]) { return std::memcmp(p, magic, 4) == 0; }

std::string MagicText(const uint8_t* p) {
    std::string text;
    for (int i = 0; i < 4; ++i) {
        const char c = char(p[i]);
        text += (c >= 0x20 && c < 0x7F) ? c : '.';
    }
    return text;
}

bool Refuse(std::string* error, const std::string& reason) {
    if (error) *error = reason;
    return false;
}

bool CheckLength(const char* record, size_t need, size_t size, std::string* error) {
    if (size >= need) return true;
    return Refuse(error, Format("%s: %zu bytes, expected %zu", record, size, need));
}

bool CheckMagic(const char* record, const uint8_t* p, size_t offset, const char (&magic)[4],
                std::string* error) {
    if (HasMagic(p + offset, magic)) return true;
    return Refuse(error, Format("%s: found \"%s\" at offset %zu, expected \"%.4s\"", record,
                                MagicText(p + offset).c_str(), offset, magic));
}

// Every chunk of the container opens with the same head: "RIFF", the chunk's
// 32-bit size and its own mark.
constexpr size_t kChunkSizeAt = 4;
constexpr size_t kChunkMarkAt = 8;

template <typename Record>
constexpr bool OpensWithChunkHead(size_t riff, size_t size, size_t mark) {
    return size == riff + kChunkSizeAt && mark == riff + kChunkMarkAt && mark + 4 <= Record::kSize;
}
static_assert(OpensWithChunkHead<ImageHeader>(ImageHeader::kOffsetRiff, ImageHeader::kOffsetChunkSize,
                                              ImageHeader::kOffsetImag));
static_assert(OpensWithChunkHead<ImageHeader>(ImageHeader::kOffsetDiscRiff, ImageHeader::kOffsetDiscChunkSize,
                                              ImageHeader::kOffsetDisc));
static_assert(OpensWithChunkHead<InfoRecord>(InfoRecord::kOffsetRiff, InfoRecord::kOffsetChunkSize,
                                             InfoRecord::kOffsetInfo));
static_assert(OpensWithChunkHead<TailHeader>(TailHeader::kOffsetRiff, TailHeader::kOffsetTailLength,
                                             TailHeader::kOffsetOfs));
static_assert(OpensWithChunkHead<TrackBlockHeader>(TrackBlockHeader::kOffsetRiff,
                                                   TrackBlockHeader::kOffsetInfoChunkSize,
                                                   TrackBlockHeader::kOffsetInfo));

void PutChunkHead(uint8_t* p, size_t riff, uint32_t chunkSize, const char (&mark)[4]) {
    PutMagic(p + riff, kRiffMagic);
    PutLe32(p + riff + kChunkSizeAt, chunkSize);
    PutMagic(p + riff + kChunkMarkAt, mark);
}

bool CheckChunkHead(const char* record, const uint8_t* p, size_t riff, const char (&mark)[4],
                    std::string* error) {
    return CheckMagic(record, p, riff, kRiffMagic, error) &&
           CheckMagic(record, p, riff + kChunkMarkAt, mark, error);
}

// A record that is one chunk: long enough, and opening with its chunk head.
bool CheckChunkRecord(const char* record, const uint8_t* p, size_t need, size_t size, const char (&mark)[4],
                      std::string* error) {
    return CheckLength(record, need, size, error) && CheckChunkHead(record, p, 0, mark, error);
}

}  // namespace

uint32_t UnitSizeOf(RunForm form) {
    return form == RunForm::Form1 ? uint32_t(kForm1UnitSize) : uint32_t(kForm2UnitSize);
}

// ---- ImageHeader

void ImageHeader::Encode(uint8_t* p) const {
    std::memset(p, 0, kSize);  // the reserved stretches at 12, 70 and 106 stay zero
    PutChunkHead(p, kOffsetRiff, kChunkSize, kImagMagic);
    PutLe16(p + kOffsetValue20, 37);
    PutLe16(p + kOffsetValue22, 2);
    std::memcpy(p + kOffsetPlaceholder, kPlaceholderText, sizeof kPlaceholderText - 1);
    PutLe16(p + kOffsetValue56, 0);
    PutChunkHead(p, kOffsetDiscRiff, DiscChunkSize(), kDiscMagic);
    PutLe16(p + kOffsetValue78, 16);
    PutLe16(p + kOffsetValue80, 1);
    PutLe16(p + kOffsetTrackCount, trackCount);
    PutLe16(p + kOffsetValue84, 0);
    PutLe16(p + kOffsetValue86, 16);
    PutLe16(p + kOffsetValue88, 0);
    PutLe16(p + kOffsetValue90, 5);
    PutLe16(p + kOffsetValue92, 0);
    PutLe16(p + kOffsetValue94, 18);
    PutLe16(p + kOffsetTrackCount2, trackCount);
    PutLe16(p + kOffsetValue98, 1);
    PutLe16(p + kOffsetValue100, 1);
    PutLe16(p + kOffsetValue102, 0);
    PutLe16(p + kOffsetValue104, 3);
}

bool ImageHeader::Decode(const uint8_t* p, size_t size, std::string* error) {
    const char* name = "image header";
    if (!CheckChunkRecord(name, p, kSize, size, kImagMagic, error) ||
        !CheckChunkHead(name, p, kOffsetDiscRiff, kDiscMagic, error)) {
        return false;
    }
    const uint16_t count = GetLe16(p + kOffsetTrackCount);
    if (count < 1 || count > kMaxTrackCount) {
        return Refuse(error, Format("image header: track count %u, expected 1 to %u", unsigned(count),
                                    unsigned(kMaxTrackCount)));
    }
    if (GetLe16(p + kOffsetTrackCount2) != count) {
        return Refuse(error, Format("image header: track counts %u and %u disagree", unsigned(count),
                                    unsigned(GetLe16(p + kOffsetTrackCount2))));
    }
    trackCount = count;
    if (GetLe32(p + kOffsetDiscChunkSize) != DiscChunkSize()) {
        return Refuse(error, Format("image header: disc chunk size %u, expected %u for %u tracks",
                                    GetLe32(p + kOffsetDiscChunkSize), DiscChunkSize(), unsigned(count)));
    }
    return true;
}

// ---- TrackRecord

TrackRecord TrackRecord::ForDataTrack(uint32_t sectorCount) {
    return {sectorCount, 1, ContainerTrackKind::Data, kDataBytesPerSector};
}

TrackRecord TrackRecord::ForVideoTrack(uint32_t sectorCount) {
    return {sectorCount, 1, ContainerTrackKind::Video, kVideoBytesPerSector};
}

void TrackRecord::Encode(uint8_t* p) const {
    std::memset(p, 0, kSize);  // reserved stretches at 12 and 24
    PutLe16(p + kOffsetRecordSize, uint16_t(kSize));
    PutLe16(p + kOffsetValue2, 0);
    PutLe32(p + kOffsetSectorCount, sectorCount);
    PutLe16(p + kOffsetValue8, value8);
    PutLe16(p + kOffsetKind, uint16_t(kind));
    PutLe16(p + kOffsetBytesPerSector, bytesPerSector);
}

bool TrackRecord::Decode(const uint8_t* p, size_t size, std::string* error) {
    if (!CheckLength("track record", kSize, size, error)) return false;
    if (GetLe16(p + kOffsetRecordSize) != kSize) {
        return Refuse(error, Format("track record: size field %u, expected %zu",
                                    unsigned(GetLe16(p + kOffsetRecordSize)), kSize));
    }
    const uint16_t kindValue = GetLe16(p + kOffsetKind);
    if (kindValue != uint16_t(ContainerTrackKind::Data) && kindValue != uint16_t(ContainerTrackKind::Video)) {
        return Refuse(error, Format("track record: track kind %u, expected 3 or 4", unsigned(kindValue)));
    }
    sectorCount = GetLe32(p + kOffsetSectorCount);
    value8 = GetLe16(p + kOffsetValue8);
    kind = ContainerTrackKind(kindValue);
    bytesPerSector = GetLe16(p + kOffsetBytesPerSector);
    return true;
}

// ---- InfoRecord

void InfoRecord::Encode(uint8_t* p) const {
    PutChunkHead(p, kOffsetRiff, chunkSize, kInfoMagic);
    PutLe32(p + kOffsetImageOffset, offset);
    PutLe32(p + kOffsetReserved16, 0);  // reserved
}

bool InfoRecord::Decode(const uint8_t* p, size_t size, std::string* error) {
    if (!CheckChunkRecord("info record", p, kSize, size, kInfoMagic, error)) return false;
    chunkSize = GetLe32(p + kOffsetChunkSize);
    offset = GetLe32(p + kOffsetImageOffset);
    return true;
}

// ---- TailHeader

void TailHeader::Encode(uint8_t* p) const {
    PutChunkHead(p, kOffsetRiff, tailLength, kOfsMagic);
    PutLe32(p + kOffsetLastBlock, lastBlockOffset);
    PutLe32(p + kOffsetAfterLastBlock, afterLastBlockOffset);
    PutLe16(p + kOffsetTrackCount, trackCount);
}

bool TailHeader::Decode(const uint8_t* p, size_t size, std::string* error) {
    if (!CheckChunkRecord("tail header", p, kSize, size, kOfsMagic, error)) return false;
    tailLength = GetLe32(p + kOffsetTailLength);
    lastBlockOffset = GetLe32(p + kOffsetLastBlock);
    afterLastBlockOffset = GetLe32(p + kOffsetAfterLastBlock);
    trackCount = GetLe16(p + kOffsetTrackCount);
    return true;
}

// ---- TrackBlockHeader

void TrackBlockHeader::Encode(uint8_t* p) const {
    PutChunkHead(p, kOffsetRiff, infoChunkSize, kInfoMagic);
    PutLe32(p + kOffsetInfoBody, infoBodyOffset);
    PutLe32(p + kOffsetFlags, flags);
    PutLe16(p + kOffsetRunCount, uint16_t(runCount));
}

bool TrackBlockHeader::Decode(const uint8_t* p, size_t size, std::string* error) {
    if (!CheckChunkRecord("track block header", p, kSize, size, kInfoMagic, error)) return false;
    infoChunkSize = GetLe32(p + kOffsetInfoChunkSize);
    infoBodyOffset = GetLe32(p + kOffsetInfoBody);
    flags = GetLe32(p + kOffsetFlags);
    runCount = int16_t(GetLe16(p + kOffsetRunCount));
    if (runCount < 0) {
        return Refuse(error, Format("track block header: negative run count %d", int(runCount)));
    }
    return true;
}

// ---- RunRecord

uint32_t RunRecord::SectorCount() const {
    if (StoresUnits()) return (end - start) / UnitSize();
    return reservedEnd > start ? (reservedEnd - start) / UnitSize() : 0;
}

void RunRecord::Encode(uint8_t* p) const {
    PutLe32(p + kOffsetStart, start);
    PutLe32(p + kOffsetEnd, end);
    PutLe32(p + kOffsetReservedEnd, reservedEnd);
    PutLe32(p + kOffsetForm, uint32_t(form));
}

bool RunRecord::Decode(const uint8_t* p, size_t size, std::string* error) {
    if (!CheckLength("run record", kSize, size, error)) return false;
    const uint32_t formValue = GetLe32(p + kOffsetForm);
    if (formValue != uint32_t(RunForm::Form1) && formValue != uint32_t(RunForm::Form2)) {
        return Refuse(error, Format("run record: form %u, expected 2 or 3", formValue));
    }
    start = GetLe32(p + kOffsetStart);
    end = GetLe32(p + kOffsetEnd);
    reservedEnd = GetLe32(p + kOffsetReservedEnd);
    form = RunForm(formValue);
    if (end < start) {
        return Refuse(error, Format("run record: end %u before start %u", end, start));
    }
    // A run that stores nothing stands for its reserved sectors alone; a
    // reserved end behind its start would describe a negative stretch.
    if (end == start && reservedEnd < start) {
        return Refuse(error, Format("run record: reserved end %u before start %u", reservedEnd, start));
    }
    if ((end - start) % UnitSize() != 0) {
        return Refuse(error, Format("run record: %u stored bytes are not whole units of %u", end - start,
                                    UnitSize()));
    }
    return true;
}

}  // namespace qorvcd
