#include "image/container_records.h"

#include <cstring>
#include <optional>

#include "core/inspect_visitor.h"
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

// Gives the reason to the caller and nothing as the record.
std::nullopt_t Refuse(std::string* why, const std::string& reason) {
    if (why) *why = reason;
    return std::nullopt;
}

bool CheckLength(const char* record, size_t need, size_t size, std::string* why) {
    if (size >= need) return true;
    Refuse(why, Format("%s: %zu bytes, expected %zu", record, size, need));
    return false;
}

bool CheckMagic(const char* record, const uint8_t* p, size_t offset, const char (&magic)[4], std::string* why) {
    if (HasMagic(p + offset, magic)) return true;
    Refuse(why, Format("%s: found \"%s\" at offset %zu, expected \"%.4s\"", record, MagicText(p + offset).c_str(),
                       offset, magic));
    return false;
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
                    std::string* why) {
    return CheckMagic(record, p, riff, kRiffMagic, why) && CheckMagic(record, p, riff + kChunkMarkAt, mark, why);
}

// A record that is one chunk: long enough, and opening with its chunk head.
bool CheckChunkRecord(const char* record, std::span<const uint8_t> bytes, size_t need, const char (&mark)[4],
                      std::string* why) {
    return CheckLength(record, need, bytes.size(), why) && CheckChunkHead(record, bytes.data(), 0, mark, why);
}

}  // namespace

uint32_t UnitSizeOf(RunForm form) {
    return form == RunForm::Form1 ? uint32_t(kForm1UnitSize) : uint32_t(kForm2UnitSize);
}

// ---- ImageHeader

std::vector<uint8_t> ImageHeader::Encode() const {
    std::vector<uint8_t> bytes(kSize, 0);  // the reserved stretches at 12, 70 and 106 stay zero
    uint8_t* p = bytes.data();
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
    return bytes;
}

std::optional<ImageHeader> ImageHeader::Decode(std::span<const uint8_t> bytes, std::string* why) {
    const char* name = "image header";
    if (!CheckChunkRecord(name, bytes, kSize, kImagMagic, why) ||
        !CheckChunkHead(name, bytes.data(), kOffsetDiscRiff, kDiscMagic, why)) {
        return std::nullopt;
    }
    const uint8_t* p = bytes.data();
    const uint16_t count = GetLe16(p + kOffsetTrackCount);
    if (count < 1 || count > kMaxTrackCount) {
        return Refuse(why, Format("image header: track count %u, expected 1 to %u", unsigned(count),
                                  unsigned(kMaxTrackCount)));
    }
    if (GetLe16(p + kOffsetTrackCount2) != count) {
        return Refuse(why, Format("image header: track counts %u and %u disagree", unsigned(count),
                                  unsigned(GetLe16(p + kOffsetTrackCount2))));
    }
    ImageHeader header;
    header.trackCount = count;
    if (GetLe32(p + kOffsetDiscChunkSize) != header.DiscChunkSize()) {
        return Refuse(why, Format("image header: disc chunk size %u, expected %u for %u tracks",
                                  GetLe32(p + kOffsetDiscChunkSize), header.DiscChunkSize(), unsigned(count)));
    }
    return header;
}

// ---- TrackRecord

TrackRecord TrackRecord::ForDataTrack(uint32_t sectorCount) {
    return {sectorCount, 1, ContainerTrackKind::Data, kDataBytesPerSector};
}

TrackRecord TrackRecord::ForVideoTrack(uint32_t sectorCount) {
    return {sectorCount, 1, ContainerTrackKind::Video, kVideoBytesPerSector};
}

std::vector<uint8_t> TrackRecord::Encode() const {
    std::vector<uint8_t> bytes(kSize, 0);  // reserved stretches at 12 and 24
    uint8_t* p = bytes.data();
    PutLe16(p + kOffsetRecordSize, uint16_t(kSize));
    PutLe16(p + kOffsetValue2, 0);
    PutLe32(p + kOffsetSectorCount, sectorCount);
    PutLe16(p + kOffsetValue8, value8);
    PutLe16(p + kOffsetKind, uint16_t(kind));
    PutLe16(p + kOffsetBytesPerSector, bytesPerSector);
    return bytes;
}

std::optional<TrackRecord> TrackRecord::Decode(std::span<const uint8_t> bytes, std::string* why) {
    if (!CheckLength("track record", kSize, bytes.size(), why)) return std::nullopt;
    const uint8_t* p = bytes.data();
    if (GetLe16(p + kOffsetRecordSize) != kSize) {
        return Refuse(why, Format("track record: size field %u, expected %zu",
                                  unsigned(GetLe16(p + kOffsetRecordSize)), kSize));
    }
    const uint16_t kindValue = GetLe16(p + kOffsetKind);
    if (kindValue != uint16_t(ContainerTrackKind::Data) && kindValue != uint16_t(ContainerTrackKind::Video)) {
        return Refuse(why, Format("track record: track kind %u, expected 3 or 4", unsigned(kindValue)));
    }
    TrackRecord record;
    record.sectorCount = GetLe32(p + kOffsetSectorCount);
    record.value8 = GetLe16(p + kOffsetValue8);
    record.kind = ContainerTrackKind(kindValue);
    record.bytesPerSector = GetLe16(p + kOffsetBytesPerSector);
    return record;
}

// ---- InfoRecord

std::vector<uint8_t> InfoRecord::Encode() const {
    std::vector<uint8_t> bytes(kSize, 0);
    uint8_t* p = bytes.data();
    PutChunkHead(p, kOffsetRiff, chunkSize, kInfoMagic);
    PutLe32(p + kOffsetImageOffset, offset);
    PutLe32(p + kOffsetReserved16, 0);  // reserved
    return bytes;
}

std::optional<InfoRecord> InfoRecord::Decode(std::span<const uint8_t> bytes, std::string* why) {
    if (!CheckChunkRecord("info record", bytes, kSize, kInfoMagic, why)) return std::nullopt;
    InfoRecord record;
    record.chunkSize = GetLe32(bytes.data() + kOffsetChunkSize);
    record.offset = GetLe32(bytes.data() + kOffsetImageOffset);
    return record;
}

// ---- TailHeader

std::vector<uint8_t> TailHeader::Encode() const {
    std::vector<uint8_t> bytes(kSize, 0);
    uint8_t* p = bytes.data();
    PutChunkHead(p, kOffsetRiff, tailLength, kOfsMagic);
    PutLe32(p + kOffsetLastBlock, lastBlockOffset);
    PutLe32(p + kOffsetAfterLastBlock, afterLastBlockOffset);
    PutLe16(p + kOffsetTrackCount, trackCount);
    return bytes;
}

std::optional<TailHeader> TailHeader::Decode(std::span<const uint8_t> bytes, std::string* why) {
    if (!CheckChunkRecord("tail header", bytes, kSize, kOfsMagic, why)) return std::nullopt;
    const uint8_t* p = bytes.data();
    TailHeader header;
    header.tailLength = GetLe32(p + kOffsetTailLength);
    header.lastBlockOffset = GetLe32(p + kOffsetLastBlock);
    header.afterLastBlockOffset = GetLe32(p + kOffsetAfterLastBlock);
    header.trackCount = GetLe16(p + kOffsetTrackCount);
    return header;
}

// ---- TrackBlockHeader

std::vector<uint8_t> TrackBlockHeader::Encode() const {
    std::vector<uint8_t> bytes(kSize, 0);
    uint8_t* p = bytes.data();
    PutChunkHead(p, kOffsetRiff, infoChunkSize, kInfoMagic);
    PutLe32(p + kOffsetInfoBody, infoBodyOffset);
    PutLe32(p + kOffsetFlags, flags);
    PutLe16(p + kOffsetRunCount, uint16_t(runCount));
    return bytes;
}

std::optional<TrackBlockHeader> TrackBlockHeader::Decode(std::span<const uint8_t> bytes, std::string* why) {
    if (!CheckChunkRecord("track block header", bytes, kSize, kInfoMagic, why)) return std::nullopt;
    const uint8_t* p = bytes.data();
    TrackBlockHeader header;
    header.infoChunkSize = GetLe32(p + kOffsetInfoChunkSize);
    header.infoBodyOffset = GetLe32(p + kOffsetInfoBody);
    header.flags = GetLe32(p + kOffsetFlags);
    header.runCount = int16_t(GetLe16(p + kOffsetRunCount));
    if (header.runCount < 0) {
        return Refuse(why, Format("track block header: negative run count %d", int(header.runCount)));
    }
    return header;
}

// ---- RunRecord

uint32_t RunRecord::SectorCount() const {
    if (StoresUnits()) return (end - start) / UnitSize();
    return reservedEnd > start ? (reservedEnd - start) / UnitSize() : 0;
}

std::vector<uint8_t> RunRecord::Encode() const {
    std::vector<uint8_t> bytes(kSize, 0);
    uint8_t* p = bytes.data();
    PutLe32(p + kOffsetStart, start);
    PutLe32(p + kOffsetEnd, end);
    PutLe32(p + kOffsetReservedEnd, reservedEnd);
    PutLe32(p + kOffsetForm, uint32_t(form));
    return bytes;
}

std::optional<RunRecord> RunRecord::Decode(std::span<const uint8_t> bytes, std::string* why) {
    if (!CheckLength("run record", kSize, bytes.size(), why)) return std::nullopt;
    const uint8_t* p = bytes.data();
    const uint32_t formValue = GetLe32(p + kOffsetForm);
    if (formValue != uint32_t(RunForm::Form1) && formValue != uint32_t(RunForm::Form2)) {
        return Refuse(why, Format("run record: form %u, expected 2 or 3", formValue));
    }
    RunRecord run;
    run.start = GetLe32(p + kOffsetStart);
    run.end = GetLe32(p + kOffsetEnd);
    run.reservedEnd = GetLe32(p + kOffsetReservedEnd);
    run.form = RunForm(formValue);
    if (run.end < run.start) {
        return Refuse(why, Format("run record: end %u before start %u", run.end, run.start));
    }
    // A run that stores nothing stands for its reserved sectors alone; a
    // reserved end behind its start would describe a negative stretch.
    if (run.end == run.start && run.reservedEnd < run.start) {
        return Refuse(why, Format("run record: reserved end %u before start %u", run.reservedEnd, run.start));
    }
    if ((run.end - run.start) % run.UnitSize() != 0) {
        return Refuse(why, Format("run record: %u stored bytes are not whole units of %u", run.end - run.start,
                                  run.UnitSize()));
    }
    return run;
}

void RunRecord::Inspect(InspectVisitor& v, uint32_t firstSector) const {
    v.Text("state", StoresUnits() ? "stored" : "reserved");
    v.Number("firstSector", firstSector);
    v.Number("sectors", SectorCount());
    v.Number("form", form == RunForm::Form1 ? 1 : 2);
    v.Number("start", start);
    v.Number("end", end);
    v.Number("reservedEnd", reservedEnd);
}

}  // namespace qorvcd
