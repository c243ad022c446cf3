#include "assembly/app_writer.h"

#include <array>
#include <cstring>
#include <string_view>
#include <vector>

#include "assembly/standard_units.h"
#include "core/build_context.h"
#include "image/container.h"
#include "iso9660/dir_tree.h"
#include "iso9660/directory_record.h"
#include "mpeg/stream_codes.h"
#include "platform/bytes.h"
#include "platform/file.h"
#include "platform/log_list.h"
#include "platform/paths.h"

namespace qorvcd {

namespace {

constexpr size_t kProbeBytes = 16;
// On a CVD, logical sector 0 points at EXT\SCANDATA.DAT: a tag byte and the
// file's disc address, 30 bytes into the signature unit's user data.
constexpr uint64_t kCvdScanDataPointer = kSubheaderSize + 30;
constexpr uint8_t kCvdScanDataTag = 0x69;
constexpr size_t kHomePageBlock = 2048;

bool IsPendingOf(const DirNode& node, NodeKind kind) {
    return node.kind == kind && node.startSector == 0;
}

}  // namespace

AppWriter::AppWriter(ImageContainer& image, const BuildContext& ctx, AppWriterInputs inputs)
    : image_(image), ctx_(ctx), inputs_(std::move(inputs)) {}

bool AppWriter::Fail(const std::string& line) {
    ctx_.LogLine(line);
    result_ = kStepFailed;
    return false;
}

bool AppWriter::TakeCancel() {
    if (ctx_.progress && ctx_.progress->TakeCancelRequest()) {
        cancelled_ = true;
        return true;
    }
    return false;
}

void AppWriter::SetProgress(uint64_t position, uint64_t length) {
    if (ctx_.progress) ctx_.progress->SetProgress(length ? int(position * 100 / length) : 0);
}

int AppWriter::WriteFiles(DirNode* first) {
    if (!first) return 1;
    if (inputs_.dataFolder && first == inputs_.dataFolder->firstChild && ctx_.kind != DiscKind::Cvd) {
        ctx_.LogLine(" ");
        ctx_.LogLine("Adding VCD3.0 applications...");
        ctx_.LogShowLast();
    }
    // MPEG files of a folder first, then its other files, then its sub-folders.
    for (DirNode* node = first; node; node = node->nextSibling) {
        if (IsPendingOf(*node, NodeKind::Form2File) && !WriteMpegFile(*node)) return 0;
    }
    for (DirNode* node = first; node; node = node->nextSibling) {
        if (IsPendingOf(*node, NodeKind::Form1File) && !WriteOrdinaryFile(*node)) return 0;
    }
    for (DirNode* node = first; node; node = node->nextSibling) {
        if (node->IsDirectory() && node->firstChild && !WriteFiles(node->firstChild)) return 0;
    }
    return 1;
}

// Gives the node its first sector, checks that its record in the image is
// really its own, and enters the extent there. The record comes back in
// `record` for the length still to be entered.
bool AppWriter::PlaceRecord(DirNode& node, std::string* sourcePath, uint8_t* record) {
    node.startSector = image_.SectorCounter();
    const size_t length = node.recordLength > 0 ? size_t(node.recordLength) : 0;
    const bool readable = length >= dirrec::kIdentifier + node.name.size() &&
                          length <= dirrec::kMaxRecordLength &&
                          image_.ReadImageAt(node.recordPosition, record, length);
    if (!readable || std::memcmp(record + dirrec::kIdentifier, node.name.data(), node.name.size()) != 0) {
        return Fail(Format("%s FileName not match", node.name.c_str()));
    }
    PutRecordExtent(record, node.startSector);
    const std::string raw =
        node.sourceFolder ? *node.sourceFolder + node.name : inputs_.appFolder + "\\" + node.name;
    *sourcePath = ResolvePath(raw, ctx_.scriptFolder);
    return true;
}

bool AppWriter::WriteMpegFile(DirNode& node) {
    std::array<uint8_t, dirrec::kMaxRecordLength> record{};
    std::string path;
    if (!PlaceRecord(node, &path, record.data())) return false;
    File source;
    if (!source.Open(path, FileMode::Read)) return Fail(Format("Can't open file %s", path.c_str()));
    const uint64_t length = source.Length();
    const uint64_t size = length / kSectorModeUnitSize * kForm1DataSize;
    if (size > UINT32_MAX) return Fail(Format("%s is too large for one disc file", path.c_str()));
    node.size = uint32_t(size);
    PutRecordDataLength(record.data(), node.size);
    image_.WriteImageAt(node.recordPosition, record.data(), size_t(node.recordLength));

    const std::string action = Format("Adding file %s...", path.c_str());
    if (ctx_.progress) ctx_.progress->SetMessage(action);
    if (TakeCancel()) return false;
    ctx_.LogLine(action);
    ctx_.LogShowLast();

    std::array<uint8_t, kSectorModeUnitSize> unit{};
    const size_t probed = source.Read(unit.data(), kProbeBytes);
    // A file that begins with a pack start code is a plain program stream,
    // never cut into sector units.
    if (probed >= kStartCodeSize && IsStartCode(unit.data(), StreamId::PackStart)) {
        const std::string folder = node.sourceFolder ? *node.sourceFolder : path;
        return Fail(Format("Error :: %s is not muxed!", folder.c_str()));
    }
    source.Seek(0);
    size_t got = 0;
    do {
        SetProgress(source.Position(), length);
        unit.fill(0);
        got = source.Read(unit.data(), unit.size());
        // A standard disc marks the file's last sector as its end.
        if (ctx_.standard && source.Position() >= length) MarkEndOfFile(unit.data());
        image_.AppendForm2Unit(unit.data());
        image_.AdvanceSectorCounter();
    } while (got > 0 && source.Position() < length && source.Ok() && image_.Ok());
    return CopyEnded(source, length, path);
}

// After a copy loop: the first I/O failure, or a source that shrank while it
// was copied and so fell short of its record's size.
bool AppWriter::CopyEnded(File& source, uint64_t length, const std::string& path) {
    if (!source.Ok()) return Fail(source.Error());
    if (!image_.Ok()) return Fail(image_.Error());
    if (source.Position() < length) return Fail(Format("%s ended before all of it was copied", path.c_str()));
    return true;
}

bool AppWriter::WriteOrdinaryFile(DirNode& node) {
    std::array<uint8_t, dirrec::kMaxRecordLength> record{};
    std::string path;
    if (!PlaceRecord(node, &path, record.data())) return false;
    if (node.name.rfind(kHomePageName, 0) == 0) CheckHomePage(path);
    if (ctx_.progress) ctx_.progress->SetMessage(Format("Adding file %s...", path.c_str()));
    if (TakeCancel()) return false;

    File source;
    if (!source.Open(path, FileMode::Read)) return Fail(Format("Can't open file %s", path.c_str()));
    const uint64_t length = source.Length();
    if (length > UINT32_MAX) return Fail(Format("%s is too large for one disc file", path.c_str()));
    node.size = uint32_t(length);
    PutRecordDataLength(record.data(), node.size);
    image_.WriteImageAt(node.recordPosition, record.data(), size_t(node.recordLength));

    if (&node == inputs_.scanDataNode) {
        scanDataPosition_ = image_.ImagePosition();
        if (ctx_.kind == DiscKind::Cvd) {
            std::array<uint8_t, 4> pointer{kCvdScanDataTag};
            PutMsfBcd(pointer.data() + 1, node.startSector);
            image_.WriteImageAt(image_.SystemAreaOffset() + kCvdScanDataPointer, pointer.data(),
                                pointer.size());
        }
    }

    std::array<uint8_t, kForm1DataSize> data{};
    size_t got = 0;
    do {
        SetProgress(source.Position(), length);
        data.fill(0);
        got = source.Read(data.data(), data.size());
        const bool last = source.Position() >= length;
        image_.AppendForm1Unit(last ? kLastDataSubheader : kDataSubheader, data.data());
        image_.AdvanceSectorCounter();
    } while (got > 0 && source.Position() < length && source.Ok() && image_.Ok());
    return CopyEnded(source, length, path);
}

// A home page that holds the play-ok text marks the disc; the text is looked
// for block by block, so one that straddles two blocks is not seen.
void AppWriter::CheckHomePage(const std::string& path) {
    File page;
    if (!page.Open(path, FileMode::Read)) return;
    const std::string_view needle(kPlayOkText);
    std::array<char, kHomePageBlock> block{};
    for (;;) {
        const size_t n = page.Read(block.data(), block.size());
        if (std::string_view(block.data(), n).find(needle) != std::string_view::npos) {
            playOkFound_ = true;
            return;
        }
        if (n < block.size()) return;
    }
}

}  // namespace qorvcd
