#include "iso9660/path_table.h"

#include <cstring>

#include "core/build_context.h"
#include "iso9660/dir_tree.h"
#include "platform/bytes.h"
#include "platform/log_list.h"

namespace qorvcd {

using namespace pathrec;

namespace {

constexpr size_t kMaxIdentifierLength = 255;
constexpr uint32_t kMaxDirectoryNumber = 0xFFFF;

void SetError(std::string* error, const std::string& text) {
    if (error) *error = text;
}

// One table being filled sector by sector; records never cross a sector.
class TableWriter {
public:
    explicit TableWriter(ByteOrder order) : order_(order) { bytes_.resize(kPathTableSectorSize, 0); }

    void Add(const PathTableRecord& record) {
        const size_t length = PathTableRecordLength(record.identifier.size());
        if (used_ + length > kPathTableSectorSize) {
            bytes_.resize(bytes_.size() + kPathTableSectorSize, 0);
            used_ = 0;
        }
        const size_t sectorStart = bytes_.size() - kPathTableSectorSize;
        EncodePathTableRecord(record, order_, bytes_.data() + sectorStart + used_,
                              kPathTableSectorSize - used_);
        used_ += length;
    }

    uint32_t SizeInBytes() const { return uint32_t(bytes_.size() - kPathTableSectorSize + used_); }
    std::vector<uint8_t> Take() { return std::move(bytes_); }

private:
    ByteOrder order_;
    std::vector<uint8_t> bytes_;
    size_t used_ = 0;
};

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

size_t EncodePathTableRecord(const PathTableRecord& record, ByteOrder order, uint8_t* out,
                             size_t capacity) {
    const size_t idLength = record.identifier.size();
    if (idLength == 0 || idLength > kMaxIdentifierLength) return 0;
    const size_t length = PathTableRecordLength(idLength);
    if (length > capacity) return 0;
    std::memset(out, 0, length);
    out[kIdentifierLength] = uint8_t(idLength);
    out[kExtAttrLength] = 0;
    if (order == ByteOrder::Little) {
        PutLe32(out + kExtent, record.extent);
        PutLe16(out + kParentNumber, record.parentNumber);
    } else {
        PutBe32(out + kExtent, record.extent);
        PutBe16(out + kParentNumber, record.parentNumber);
    }
    std::memcpy(out + kIdentifier, record.identifier.data(), idLength);
    // an odd identifier is followed by a zero padding byte
    return length;
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

    TableWriter little(ByteOrder::Little);
    TableWriter big(ByteOrder::Big);
    for (size_t i = 0; i < folders.size(); ++i) {
        const PathTableRecord record = RecordOf(folders[i], i == 0);
        little.Add(record);
        big.Add(record);
    }
    PathTables tables;
    tables.sizeInBytes = little.SizeInBytes();
    tables.little = little.Take();
    tables.big = big.Take();
    if (tables.SectorCount() > kMaxPathTableSectors) {
        return fail(Format("Path table of %u bytes needs %u sectors (limit %zu sector, %zu bytes): too many folders",
                           tables.sizeInBytes, tables.SectorCount(), kMaxPathTableSectors,
                           kMaxPathTableSectors * kPathTableSectorSize));
    }
    return tables;
}

std::optional<std::vector<PathTableRecord>> DecodePathTable(const uint8_t* p, size_t sizeInBytes,
                                                            ByteOrder order, std::string* error) {
    std::vector<PathTableRecord> records;
    size_t pos = 0;
    while (pos < sizeInBytes) {
        const size_t idLength = p[pos + kIdentifierLength];
        if (idLength == 0) {
            // the rest of this sector is padding
            pos = (pos / kPathTableSectorSize + 1) * kPathTableSectorSize;
            continue;
        }
        const size_t length = PathTableRecordLength(idLength);
        if (length > sizeInBytes - pos) {
            // the last record may end without its padding byte
            if (kFixedPartSize + idLength > sizeInBytes - pos) {
                SetError(error, Format("path table record at byte %zu runs past the table end (%zu bytes)",
                                       pos, sizeInBytes));
                return std::nullopt;
            }
        }
        PathTableRecord r;
        const uint8_t* rec = p + pos;
        r.extent = order == ByteOrder::Little ? GetLe32(rec + kExtent) : GetBe32(rec + kExtent);
        r.parentNumber = order == ByteOrder::Little ? GetLe16(rec + kParentNumber) : GetBe16(rec + kParentNumber);
        r.identifier.assign(reinterpret_cast<const char*>(rec + kIdentifier), idLength);
        if (r.parentNumber == 0 || r.parentNumber > records.size() + 1) {
            SetError(error, Format("path table record %zu names parent %u, not an earlier folder",
                                   records.size() + 1, unsigned(r.parentNumber)));
            return std::nullopt;
        }
        records.push_back(std::move(r));
        pos += length;
    }
    return records;
}

}  // namespace qorvcd
