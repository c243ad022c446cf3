#include "iso9660/path_table.h"

#include <algorithm>
#include <cstring>

#include "core/build_context.h"
#include "core/inspect_visitor.h"
#include "iso9660/dir_tree.h"
#include "platform/bytes.h"
#include "platform/log_list.h"

namespace qorvcd {

using namespace pathrec;

namespace {

constexpr size_t kMaxIdentifierLength = 255;
constexpr uint32_t kMaxDirectoryNumber = 0xFFFF;

// Gives the reason to the caller and nothing as the record.
std::nullopt_t Refuse(std::string* why, const std::string& text) {
    if (why) *why = text;
    return std::nullopt;
}

uint32_t GetNumber32(const uint8_t* p, ByteOrder order) {
    return order == ByteOrder::Little ? GetLe32(p) : GetBe32(p);
}

uint16_t GetNumber16(const uint8_t* p, ByteOrder order) {
    return order == ByteOrder::Little ? GetLe16(p) : GetBe16(p);
}

// Packs the records one after another, starting a new sector when a record
// would cross the sector's end, and gives each record's table offset to
// `place`. Returns the table's size in bytes.
template <typename Place>
uint32_t PackRecords(const std::vector<PathTableRecord>& records, Place&& place) {
    size_t sectorStart = 0;
    size_t used = 0;
    for (const PathTableRecord& record : records) {
        const size_t length = PathTableRecordLength(record.identifier.size());
        if (used + length > kPathTableSectorSize) {
            sectorStart += kPathTableSectorSize;
            used = 0;
        }
        place(record, sectorStart + used);
        used += length;
    }
    return uint32_t(sectorStart + used);
}

struct NumberedFolder {
    const DirNode* node;
    uint16_t parentNumber;
};

// Numbers the subfolders of `dir` together, then each subfolder's family in
// turn (depth first), appending them to `out` in table order.
bool NumberFolders(DirNode* dir, uint16_t dirNumber, std::vector<NumberedFolder>& out) {
    std::vector<DirNode*> subfolders;
    ForEachChild(dir, [&](DirNode* c) {
        if (c->IsDirectory()) subfolders.push_back(c);
    });
    for (DirNode* sub : subfolders) {
        if (out.size() + 1 > kMaxDirectoryNumber) return false;
        sub->pathTableNumber = uint16_t(out.size() + 1);
        out.push_back({sub, dirNumber});
    }
    for (DirNode* sub : subfolders) {
        if (!NumberFolders(sub, sub->pathTableNumber, out)) return false;
    }
    return true;
}

PathTableRecord RecordOf(const NumberedFolder& folder, bool isRoot) {
    if (isRoot) return {std::string(1, '\0'), kRootDirectorySector, kRootDirectoryNumber};
    return {folder.node->name, folder.node->startSector, folder.parentNumber};
}

}  // namespace

size_t PathTableRecordLength(size_t identifierLength) {
    const size_t length = kFixedPartSize + identifierLength;
    return length + (length % 2);
}

std::vector<uint8_t> PathTableRecord::Encode(ByteOrder order) const {
    const size_t idLength = identifier.size();
    if (idLength == 0 || idLength > kMaxIdentifierLength) return {};
    // an odd identifier is followed by a zero padding byte
    std::vector<uint8_t> bytes(PathTableRecordLength(idLength), 0);
    uint8_t* out = bytes.data();
    out[kIdentifierLength] = uint8_t(idLength);
    out[kExtAttrLength] = 0;
    if (order == ByteOrder::Little) {
        PutLe32(out + kExtent, extent);
        PutLe16(out + kParentNumber, parentNumber);
    } else {
        PutBe32(out + kExtent, extent);
        PutBe16(out + kParentNumber, parentNumber);
    }
    std::memcpy(out + kIdentifier, identifier.data(), idLength);
    return bytes;
}

std::optional<PathTableRecord> PathTableRecord::Decode(std::span<const uint8_t> bytes, ByteOrder order,
                                                       std::string* why) {
    if (bytes.empty()) return Refuse(why, "path table record: no bytes");
    const size_t idLength = bytes[kIdentifierLength];
    if (idLength == 0) return Refuse(why, "path table record: identifier length 0");
    if (kFixedPartSize + idLength > bytes.size()) {
        return Refuse(why, Format("path table record of %zu bytes: only %zu given",
                                  kFixedPartSize + idLength, bytes.size()));
    }
    const uint8_t* p = bytes.data();
    PathTableRecord record;
    record.extent = GetNumber32(p + kExtent, order);
    record.parentNumber = GetNumber16(p + kParentNumber, order);
    record.identifier.assign(reinterpret_cast<const char*>(p + kIdentifier), idLength);
    return record;
}

uint32_t PathTable::SizeInBytes() const {
    return PackRecords(records, [](const PathTableRecord&, size_t) {});
}

std::vector<uint8_t> PathTable::Encode(ByteOrder order) const {
    std::vector<uint8_t> bytes(kPathTableSectorSize, 0);
    bool encoded = true;
    PackRecords(records, [&](const PathTableRecord& record, size_t at) {
        const std::vector<uint8_t> one = record.Encode(order);
        if (one.empty()) encoded = false;
        if (!encoded) return;
        if (at + one.size() > bytes.size()) bytes.resize((at / kPathTableSectorSize + 1) * kPathTableSectorSize, 0);
        std::copy(one.begin(), one.end(), bytes.begin() + at);
    });
    if (!encoded) return {};
    return bytes;
}

std::optional<PathTable> PathTable::Decode(std::span<const uint8_t> bytes, ByteOrder order, std::string* why) {
    PathTable table;
    std::vector<PathTableRecord>& records = table.records;
    const size_t sizeInBytes = bytes.size();
    size_t pos = 0;
    while (pos < sizeInBytes) {
        const size_t idLength = bytes[pos + kIdentifierLength];
        if (idLength == 0) {
            // the rest of this sector is padding
            pos = (pos / kPathTableSectorSize + 1) * kPathTableSectorSize;
            continue;
        }
        // the last record may end without its padding byte
        if (kFixedPartSize + idLength > sizeInBytes - pos) {
            return Refuse(why, Format("path table record at byte %zu runs past the table end (%zu bytes)", pos,
                                      sizeInBytes));
        }
        std::optional<PathTableRecord> record = PathTableRecord::Decode(bytes.subspan(pos), order, why);
        if (!record) return std::nullopt;
        if (record->parentNumber == 0 || record->parentNumber > records.size() + 1) {
            return Refuse(why, Format("path table record %zu names parent %u, not an earlier folder",
                                      records.size() + 1, unsigned(record->parentNumber)));
        }
        records.push_back(std::move(*record));
        pos += PathTableRecordLength(idLength);
    }
    return table;
}

std::optional<PathTables> BuildPathTables(DirTree& tree, const BuildContext* ctx) {
    auto fail = [&](const std::string& line) -> std::optional<PathTables> {
        if (ctx) ctx->LogLine(line);
        return std::nullopt;
    };
    DirNode* root = tree.Root();
    if (!root) return fail("Path tables: the directory tree has no root");

    root->pathTableNumber = kRootDirectoryNumber;
    std::vector<NumberedFolder> folders{{root, kRootDirectoryNumber}};
    if (!NumberFolders(root, kRootDirectoryNumber, folders))
        return fail(Format("Path tables: more than %u folders", kMaxDirectoryNumber));

    PathTable table;
    for (size_t i = 0; i < folders.size(); ++i) table.records.push_back(RecordOf(folders[i], i == 0));
    PathTables tables;
    tables.sizeInBytes = table.SizeInBytes();
    tables.little = table.Encode(ByteOrder::Little);
    tables.big = table.Encode(ByteOrder::Big);
    if (tables.little.empty() || tables.big.empty()) return fail("Path tables: a folder name cannot be recorded");
    if (tables.SectorCount() > kMaxPathTableSectors) {
        return fail(Format("Path table of %u bytes needs %u sectors (limit %zu sector, %zu bytes): too many folders",
                           tables.sizeInBytes, tables.SectorCount(), kMaxPathTableSectors,
                           kMaxPathTableSectors * kPathTableSectorSize));
    }
    return tables;
}

void PathTableRecord::Inspect(InspectVisitor& v, size_t number) const {
    v.Number("number", int64_t(number));
    v.Text("name", identifier.size() == 1 && identifier[0] == 0 ? "(root)" : identifier);
    v.Number("extent", extent);
    v.Number("parent", parentNumber);
}

}  // namespace qorvcd
