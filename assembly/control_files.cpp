#include "assembly/control_files.h"

#include <array>
#include <string>
#include <vector>

#include "core/build_context.h"
#include "image/container.h"
#include "iso9660/dir_tree.h"
#include "platform/file.h"
#include "platform/log_list.h"
#include "platform/paths.h"

namespace qorvcd {

namespace {

// TRACKS.SVD takes one sector, SPICONTX.SVD two, whatever their work files hold.
constexpr uint32_t kTracksSectors = 1;
constexpr uint32_t kSpiContextSectors = 2;

// Work-copy names: ".SVD" for the SVCD kinds, ".VCD" otherwise.
std::string WorkName(const BuildContext& ctx, const char* base) {
    return ctx.workFolder + base + (IsSvcdFamily(ctx.kind) ? ".SVD" : ".VCD");
}

class ControlFileCopier {
public:
    ControlFileCopier(ImageContainer& image, const BuildContext& ctx) : image_(image), ctx_(ctx) {}

    // Copies `path` as Form 1 units, the last one marked end of file. With
    // `sectors` 0 the whole file is copied (at least one unit); otherwise
    // exactly that many units, zero-filled past the file's end.
    bool Copy(const std::string& path, uint32_t sectors, uint32_t* written = nullptr) {
        File file;
        if (!file.Open(ResolvePath(path, ""), FileMode::Read)) {
            ctx_.LogLine(Format("Can't open file %s", path.c_str()));
            return false;
        }
        const uint64_t length = file.Length();
        const uint32_t count =
            sectors ? sectors : uint32_t(length == 0 ? 1 : (length + kForm1DataSize - 1) / kForm1DataSize);
        std::array<uint8_t, kForm1DataSize> data{};
        for (uint32_t i = 0; i < count; ++i) {
            data.fill(0);
            file.Read(data.data(), data.size());
            image_.AppendForm1Unit(i + 1 == count ? kLastDataSubheader : kDataSubheader, data.data());
            image_.AdvanceSectorCounter();
        }
        if (written) *written = count;
        lastLength_ = length;
        if (!file.Ok() || !image_.Ok()) {
            ctx_.LogLine(file.Ok() ? image_.Error() : file.Error());
            return false;
        }
        return true;
    }

    uint64_t LastLength() const { return lastLength_; }

private:
    ImageContainer& image_;
    const BuildContext& ctx_;
    uint64_t lastLength_ = 0;
};

bool FileLength(const std::string& path, uint64_t* length) {
    File file;
    if (!file.Open(ResolvePath(path, ""), FileMode::Read)) return false;
    *length = file.Length();
    return true;
}

// Enters a control file's sector (and for SEARCH.DAT its length) into its
// record, which the directory writer wrote before the sector was known.
bool PatchRecord(ImageContainer& image, const DirNode& node, uint32_t sector,
                 const uint32_t* dataLength) {
    std::vector<uint8_t> record(size_t(node.recordLength > 0 ? node.recordLength : 0));
    if (record.size() < dirrec::kRecordingTime) return false;
    if (!image.ReadImageAt(node.recordPosition, record.data(), record.size())) return false;
    PutRecordExtent(record.data(), sector);
    if (dataLength) PutRecordDataLength(record.data(), *dataLength);
    image.WriteImageAt(node.recordPosition, record.data(), record.size());
    return image.Ok();
}

int WriteSvcdFiles(ImageContainer& image, DirTree& tree, const BuildContext& ctx,
                   ControlFileCopier& copier, FileSystemState& state) {
    const DirNode* svcd = DirTree::FindChild("SVCD", tree.Root());
    struct SvcdFile {
        const char* name;
        uint32_t sectors;  // 0: the whole file
    };
    for (const SvcdFile& f : {SvcdFile{"TRACKS.SVD", kTracksSectors},
                              SvcdFile{"SPICONTX.SVD", kSpiContextSectors}, SvcdFile{"SEARCH.DAT", 0}}) {
        DirNode* node = svcd ? DirTree::FindChild(f.name, svcd) : nullptr;
        if (!node) {
            ctx.LogLine(Format("\\SVCD\\%s is missing from the directory tree", f.name));
            return kSvcdFileMissing;
        }
        const std::string path = ctx.workFolder + f.name;
        uint64_t length = 0;
        if (!FileLength(path, &length) || length > UINT32_MAX) {
            ctx.LogLine(Format("Can't open file %s", path.c_str()));
            return kStepFailed;
        }
        const uint32_t sector = image.SectorCounter();
        const bool isSearch = f.sectors == 0;
        const uint32_t length32 = uint32_t(length);
        if (!PatchRecord(image, *node, sector, isSearch ? &length32 : nullptr)) {
            ctx.LogLine(image.Error().empty() ? Format("Can't patch the record of %s", f.name)
                                              : image.Error());
            return kStepFailed;
        }
        node->startSector = sector;
        if (!isSearch) node->size = length32;
        if (isSearch) state.searchPosition = image.ImagePosition();
        if (!copier.Copy(path, f.sectors)) return kStepFailed;
    }
    return kOk;
}

}  // namespace

int WriteControlFiles(ImageContainer& image, DirTree& tree, const BuildContext& ctx,
                      FileSystemState& state) {
    const uint32_t next = image.SectorCounter();
    if (next >= kInfoSector) {
        ctx.LogLine("Error :: Directory table over 00:04.00!");
        return kStepFailed;
    }
    image.ReserveSectors(kInfoSector - next);
    image.SetSectorCounter(kInfoSector);
    state.dirSector = kInfoSector;

    ControlFileCopier copier(image, ctx);
    if (!copier.Copy(WorkName(ctx, "INFO"), 1)) return kStepFailed;
    state.entriesPosition = image.ImagePosition();
    if (!copier.Copy(WorkName(ctx, "ENTRIES"), 1)) return kStepFailed;

    const std::string lot = WorkName(ctx, "LOT");
    uint64_t lotLength = 0;
    if (!FileLength(lot, &lotLength)) {
        ctx.LogLine(Format("Can't open file %s", lot.c_str()));
        return kStepFailed;
    }
    if (lotLength != kLotFileSize) {
        ctx.LogLine(Format("%s holds %llu bytes; the LOT fills exactly %llu bytes", lot.c_str(),
                           static_cast<unsigned long long>(lotLength),
                           static_cast<unsigned long long>(kLotFileSize)));
        return kStepFailed;
    }
    if (!copier.Copy(lot, 0)) return kStepFailed;

    state.psdPosition = image.ImagePosition();
    if (!copier.Copy(WorkName(ctx, "PSD"), 0)) return kStepFailed;

    if (IsSvcdFamily(ctx.kind)) {
        QORVCD_CHECK(WriteSvcdFiles(image, tree, ctx, copier, state));
    }
    image.CloseStoredRun();
    state.dirSector = image.SectorCounter();
    if (!image.Ok()) {
        ctx.LogLine(image.Error());
        return kStepFailed;
    }
    return kOk;
}

}  // namespace qorvcd
