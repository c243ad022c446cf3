#include "infofiles/entries_record.h"

#include <algorithm>
#include <cstring>

#include "core/inspect_visitor.h"
#include "platform/bytes.h"
#include "platform/log_list.h"

namespace qorvcd {

using namespace entries_layout;

std::vector<uint8_t> EntriesRecord::Encode() const {
    std::vector<uint8_t> out(kInfoFileSize, 0);
    std::memcpy(out.data() + kFileId, fileId.data(), kFileIdSize);
    out[kVersion] = version;
    out[kReserved9] = 0;  // reserved
    PutBe16(out.data() + kEntryCount, entryCount);
    const size_t count = std::min(entries.size(), kMaxEntries);
    for (size_t k = 0; k < count; ++k) {
        uint8_t* e = out.data() + kFirstEntry + k * kEntrySize;
        e[0] = ToBcd(entries[k].trackNumber);
        std::memcpy(e + 1, entries[k].address.data(), 3);
    }
    return out;
}

std::array<uint8_t, kInfoFileSize> EncodeEntriesHeader(std::span<const char, 8> fileId,
                                                       uint8_t version) {
    EntriesRecord header;
    std::memcpy(header.fileId.data(), fileId.data(), kFileIdSize);
    header.version = version;  // the count is filled as the tracks are written
    const std::vector<uint8_t> bytes = header.Encode();
    std::array<uint8_t, kInfoFileSize> out{};
    std::copy(bytes.begin(), bytes.end(), out.begin());
    return out;
}

EntriesTable::EntriesTable(const std::array<uint8_t, kInfoFileSize>& bytes) : bytes_(bytes) {
    const uint16_t stored = GetBe16(bytes_.data() + kEntryCount);
    count_ = stored <= kMaxEntries ? stored : uint16_t(kMaxEntries);
}

bool EntriesTable::Add(uint32_t trackNumber, uint32_t logicalSector, std::string& error) {
    if (count_ >= kMaxEntries) {
        error = Format("ENTRIES is full: it holds at most %zu entries (track starts and entry points)",
                       kMaxEntries);
        return false;
    }
    if (trackNumber > kMaxBcdTrackNumber) {
        error = Format("Track %u cannot be named in ENTRIES (track numbers end at %u)", trackNumber,
                       kMaxBcdTrackNumber);
        return false;
    }
    uint8_t* entry = bytes_.data() + kFirstEntry + size_t(count_) * kEntrySize;
    entry[0] = ToBcd(trackNumber);
    PutMsfBcd(entry + 1, logicalSector);
    ++count_;
    return true;
}

std::array<uint8_t, kInfoFileSize> EntriesTable::Bytes() const {
    std::array<uint8_t, kInfoFileSize> out = bytes_;
    PutBe16(out.data() + kEntryCount, count_);
    return out;
}

std::optional<EntriesRecord> EntriesRecord::Decode(std::span<const uint8_t> bytes, std::string* why) {
    if (bytes.size() < kInfoFileSize) {
        if (why) *why = Format("ENTRIES holds %zu bytes, expected %u", bytes.size(), kInfoFileSize);
        return std::nullopt;
    }
    const uint8_t* p = bytes.data();
    EntriesRecord r;
    std::memcpy(r.fileId.data(), p + kFileId, kFileIdSize);
    r.version = p[kVersion];
    r.entryCount = GetBe16(p + kEntryCount);
    if (r.entryCount > kMaxEntries) {
        if (why) *why = Format("ENTRIES names %u entries, but the record holds at most %zu",
                               unsigned(r.entryCount), kMaxEntries);
        return std::nullopt;
    }
    r.entries.reserve(r.entryCount);
    for (size_t k = 0; k < r.entryCount; ++k) {
        const uint8_t* e = p + kFirstEntry + k * kEntrySize;
        EntriesEntry entry;
        entry.trackNumber = uint8_t(FromBcd(e[0]));
        std::memcpy(entry.address.data(), e + 1, 3);
        entry.sector = MsfBcdToSector(e + 1);
        r.entries.push_back(entry);
    }
    return r;
}

void EntriesRecord::Inspect(InspectVisitor& v) const {
    v.Text("fileId", PrintableField(fileId));
    v.Number("version", version);
    v.Number("count", entryCount);
    v.BeginList("entries");
    for (size_t i = 0; i < entries.size(); ++i) {
        const EntriesEntry& e = entries[i];
        v.BeginObject("");
        v.Number("playItem", int64_t(kFirstEntryPlayItem + i));
        v.Number("track", e.trackNumber);
        v.Number("sector", e.sector);
        v.Text("address", BcdAddressText(e.address.data()));
        v.EndObject();
    }
    v.EndList();
}

}  // namespace qorvcd
