#include "image/container.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

#include "iso9660/directory_record.h"
#include "iso9660/path_table.h"
#include "platform/bytes.h"
#include "platform/log_list.h"
#include "platform/paths.h"

namespace qorvcd {

namespace {

// The signature unit that logical sector 0 carries on a CVD disc. The track
// count at 10 and the per-track addresses from 34 are filled by the video
// track writer.
constexpr size_t kCvdSignatureText = 0;
constexpr char kCvdSignature[] = "HQVCDFLT";
constexpr size_t kCvdSignatureVersion = 8;
constexpr size_t kCvdFixedEntries = 12;
constexpr uint8_t kCvdFixedBytes[] = {0x04, 0x00, 0x65, 0x00, 0x04, 0x00, 0x66, 0x00, 0x04, 0x01,
                                      0x67, 0x00, 0x04, 0x02, 0x68, 0x00, 0x04, 0x22};

constexpr uint64_t kMaxContainerOffset = std::numeric_limits<uint32_t>::max();

// The root's "." record and its ".." copy, each 48 bytes with the XA area.
constexpr size_t kRootSelfRecordSize = dirrec::kDotRecordLength;
constexpr uint32_t kRootDirectoryBytes = 2048;

}  // namespace

bool ImageContainer::CreateImage(const std::string& path) {
    imagePath_ = path;
    imageFile_ = true;
    return image_.Open(path, FileMode::CreateReadWrite);
}

void ImageContainer::WriteNoImageFile(const std::string& outputPath) {
    imagePath_ = outputPath;
    imageFile_ = false;
    countedEnd_ = 0;
}

bool ImageContainer::CreateTail(const std::string& path) {
    return tail_.Open(path, FileMode::CreateReadWrite);
}

bool ImageContainer::Close() {
    bool ok = true;
    if (image_.IsOpen()) ok = image_.Close() && ok;
    if (tail_.IsOpen()) ok = tail_.Close() && ok;
    return ok;
}

void ImageContainer::CloseTail() {
    if (tail_.IsOpen()) tail_.Close();
}

bool ImageContainer::Ok() const { return image_.Ok() && tail_.Ok() && (!sink_ || sink_->Ok()); }

std::string ImageContainer::Error() const {
    if (!image_.Ok()) return image_.Error();
    if (!tail_.Ok()) return tail_.Error();
    return sink_ ? sink_->Error() : std::string();
}

uint64_t ImageContainer::ImagePosition() const { return imageFile_ ? image_.Position() : countedEnd_; }

void ImageContainer::PutImageBytes(const void* data, size_t size) {
    if (imageFile_) {
        image_.Write(data, size);
    } else {
        countedEnd_ += size;
    }
}

// Every offset the records hold is 32 bits wide: an image that grows past
// that cannot be described, so it is refused rather than silently wrapped.
bool ImageContainer::FitsOffsets(uint64_t offset) {
    if (offset <= kMaxContainerOffset) return true;
    if (image_.Ok()) {
        image_.Fail(Format("image larger than %llu bytes: the container's 32-bit offsets "
                           "cannot address it",
                           static_cast<unsigned long long>(kMaxContainerOffset)));
    }
    return false;
}

// ---------------------------------------------------------------- start

void ImageContainer::BeginTail() {
    tailHeader_ = TailHeader{};
    tailHeader_.trackCount = uint16_t(videoTrackCount_ + 1);
    const std::vector<uint8_t> header = tailHeader_.Encode();  // length and block offsets still zero
    tail_.Seek(0);
    tail_.Write(header.data(), header.size());

    blockHeader_ = TrackBlockHeader{};
    blockHeaderOffset_ = TailHeader::kSize;
    const std::vector<uint8_t> block = blockHeader_.Encode();
    tail_.Write(block.data(), block.size());
    tailHeader_.lastBlockOffset = uint32_t(blockHeaderOffset_);
    tailHeader_.afterLastBlockOffset = uint32_t(blockHeaderOffset_ + TrackBlockHeader::kSize);
}

void ImageContainer::BeginImage() {
    if (videoTrackCount_ + 1u > ImageHeader::kMaxTrackCount) {
        image_.Fail(Format("%u video tracks: a disc holds at most %u tracks",
                           unsigned(videoTrackCount_), unsigned(ImageHeader::kMaxTrackCount)));
        return;
    }
    ImageHeader header;
    header.trackCount = uint16_t(videoTrackCount_ + 1);
    const std::vector<uint8_t> bytes = header.Encode();
    if (imageFile_) image_.Seek(0);
    countedEnd_ = 0;
    nextSector_ = runSectors_ = 0;
    openTrack_ = 1;
    spans_.clear();
    PutImageBytes(bytes.data(), bytes.size());

    WriteTrackRecord(TrackRecord::ForDataTrack(TrackRecord::kDataTrackPlaceholder));
    for (unsigned i = 0; i < videoTrackCount_; ++i) {
        WriteTrackRecord(TrackRecord::ForVideoTrack(TrackRecord::kVideoTrackPlaceholder));
    }
    WriteInfoRecord(0);

    runStart_ = ImagePosition();
    runForm_ = RunForm::Form1;
    systemAreaOffset_ = runStart_;
    const std::array<uint8_t, kForm1DataSize> zero{};
    for (uint32_t i = 0; i < kSystemAreaSectors; ++i) {
        AppendForm1Unit(kEmptySystemSubheader, zero.data());
    }
    if (kind_ == DiscKind::Cvd) WriteCvdSignatureUnit();
}

void ImageContainer::WriteCvdSignatureUnit() {
    std::array<uint8_t, kForm1DataSize> data{};
    std::memcpy(data.data() + kCvdSignatureText, kCvdSignature, sizeof kCvdSignature - 1);
    data[kCvdSignatureVersion] = 0x01;
    // bytes 10-11: the track count, written with the video tracks
    std::memcpy(data.data() + kCvdFixedEntries, kCvdFixedBytes, sizeof kCvdFixedBytes);
    WriteForm1UnitAt(systemAreaOffset_, kCvdSignatureSubheader, data.data());
}

// ---------------------------------------------------------------- records

void ImageContainer::WriteTrackRecord(const TrackRecord& record) {
    const std::vector<uint8_t> bytes = record.Encode();
    PutImageBytes(bytes.data(), bytes.size());
}

void ImageContainer::RewriteTrackRecord(unsigned trackNumber, const TrackRecord& record) {
    const std::vector<uint8_t> bytes = record.Encode();
    WriteImageAt(TrackRecordOffset(trackNumber), bytes.data(), bytes.size());
}

void ImageContainer::WriteInfoRecord(uint32_t size) {
    const uint64_t position = ImagePosition();
    if (!FitsOffsets(position)) return;
    infoRecord_.offset = uint32_t(position);
    infoRecord_.chunkSize = size;
    const std::vector<uint8_t> bytes = infoRecord_.Encode();
    PutImageBytes(bytes.data(), bytes.size());
}

// ---------------------------------------------------------------- units

void ImageContainer::AppendForm1Unit(const Subheader& subheader, const uint8_t* data2048) {
    SwitchRunForm(RunForm::Form1);
    std::array<uint8_t, kSubheaderSize> head{};
    subheader.WriteTo(head.data());
    if (sink_) {
        std::array<uint8_t, kForm1UnitSize> unit;
        std::memcpy(unit.data(), head.data(), head.size());
        std::memcpy(unit.data() + kSubheaderSize, data2048, kForm1DataSize);
        FeedUnit(RunForm::Form1, unit.data());
    } else {
        ++nextSector_;
    }
    PutImageBytes(head.data(), head.size());
    PutImageBytes(data2048, kForm1DataSize);
}

void ImageContainer::AppendForm2Unit(const uint8_t* unit) {
    SwitchRunForm(RunForm::Form2);
    FeedUnit(RunForm::Form2, unit);
    PutImageBytes(unit, kForm2UnitSize);
}

void ImageContainer::WriteForm1UnitAt(uint64_t offset, const Subheader& subheader,
                                      const uint8_t* data2048) {
    std::array<uint8_t, kForm1UnitSize> unit{};
    subheader.WriteTo(unit.data());
    std::memcpy(unit.data() + kSubheaderSize, data2048, kForm1DataSize);
    WriteImageAt(offset, unit.data(), unit.size());
}

bool ImageContainer::ReadImageAt(uint64_t offset, void* buffer, size_t size) {
    if (!imageFile_) return ReadFromSink(offset, static_cast<uint8_t*>(buffer), size);
    image_.Seek(offset);
    const bool ok = image_.ReadExact(buffer, size);
    image_.SeekToEnd();
    return ok;
}

void ImageContainer::WriteImageAt(uint64_t offset, const void* buffer, size_t size) {
    if (imageFile_) {
        image_.Seek(offset);
        image_.Write(buffer, size);
        image_.SeekToEnd();
    }
    FeedPatch(offset, static_cast<const uint8_t*>(buffer), size);
}

// ---------------------------------------------------------------- runs

void ImageContainer::AppendTail(const void* data, size_t size) { tail_.Write(data, size); }

void ImageContainer::AppendRun(const RunRecord& run) {
    // The track block counts its runs in a signed 16-bit field.
    if (blockHeader_.runCount == std::numeric_limits<int16_t>::max()) {
        if (image_.Ok()) {
            image_.Fail(Format("a track of more than %d runs cannot be described",
                               int(blockHeader_.runCount)));
        }
        return;
    }
    const std::vector<uint8_t> bytes = run.Encode();
    AppendTail(bytes.data(), bytes.size());
    ++blockHeader_.runCount;
    runSectors_ += run.SectorCount();
    if (!run.StoresUnits()) FeedEmpty(run.SectorCount());
}

// A run holds units of one form: when the other form comes, the units stored
// so far become a run of their own and the next run starts behind them.
void ImageContainer::SwitchRunForm(RunForm form) {
    if (form == runForm_) return;
    if (ImagePosition() > runStart_) CloseStoredRun();
    runForm_ = form;
}

void ImageContainer::CloseStoredRun() {
    const uint64_t end = ImagePosition();
    if (end <= runStart_ || !FitsOffsets(end)) return;  // nothing stored: no record
    AppendRun({uint32_t(runStart_), uint32_t(end), uint32_t(end), runForm_});
    runStart_ = end;
}

void ImageContainer::ReserveSectors(uint32_t count, RunForm form) {
    CloseStoredRun();
    if (count == 0) return;
    const uint64_t start = ImagePosition();
    const uint64_t reservedEnd = start + uint64_t(count) * UnitSizeOf(form);
    if (!FitsOffsets(reservedEnd)) return;
    AppendRun({uint32_t(start), uint32_t(start), uint32_t(reservedEnd), form});
    runStart_ = start;
}

// ---------------------------------------------------------------- tracks

void ImageContainer::RewriteBlockHeader() {
    const std::vector<uint8_t> bytes = blockHeader_.Encode();
    tail_.Seek(blockHeaderOffset_);
    tail_.Write(bytes.data(), bytes.size());
    tail_.SeekToEnd();
}

void ImageContainer::CloseTrackRecords(unsigned trackNumber, const TrackRecord& record) {
    const uint64_t length = ImagePosition();
    if (!FitsOffsets(length)) return;
    infoRecord_.chunkSize = uint32_t(length - 8 - infoRecord_.offset);
    const std::vector<uint8_t> info = infoRecord_.Encode();
    WriteImageAt(infoRecord_.offset, info.data(), info.size());
    RewriteTrackRecord(trackNumber, record);

    blockHeader_.infoChunkSize = infoRecord_.chunkSize;
    blockHeader_.infoBodyOffset = infoRecord_.offset + 8;
    RewriteBlockHeader();
}

void ImageContainer::CloseDataTrack(uint32_t endSector) {
    const uint32_t written = sectorCounter_;
    ReserveSectors(endSector > written ? endSector - written : 0, RunForm::Form1);
    if (endSector > sectorCounter_) sectorCounter_ = endSector;
    CloseTrackRecords(1, TrackRecord::ForDataTrack(sectorCounter_));
}

void ImageContainer::OpenVideoTrack() {
    blockHeader_ = TrackBlockHeader{};
    tail_.SeekToEnd();
    blockHeaderOffset_ = tail_.Position();
    const std::vector<uint8_t> bytes = blockHeader_.Encode();
    AppendTail(bytes.data(), bytes.size());
    tailHeader_.lastBlockOffset = uint32_t(blockHeaderOffset_);
    tailHeader_.afterLastBlockOffset = uint32_t(blockHeaderOffset_ + TrackBlockHeader::kSize);

    WriteInfoRecord(0);
    runStart_ = ImagePosition();
    runForm_ = RunForm::Form2;
    // Readers place every video track behind its unrecorded gap.
    runSectors_ += kVideoTrackGap;
    FeedEmpty(kVideoTrackGap);
    ++openTrack_;
    if (sink_) sink_->BeginTrack(openTrack_, nextSector_);
}

void ImageContainer::CloseVideoTrack(unsigned trackNumber, uint32_t unitCount) {
    ReserveSectors(kVideoTrackTrailingSectors, RunForm::Form2);
    sectorCounter_ += kVideoTrackTrailingSectors;
    CloseTrackRecords(trackNumber, TrackRecord::ForVideoTrack(unitCount));
}

// ---------------------------------------------------------------- lookup

SectorLookup ImageContainer::LocateSector(uint32_t n, uint8_t* unit, uint64_t* offset) {
    std::memset(unit, 0, kForm1UnitSize);
    RewriteBlockHeader();  // the open track's runs count too
    tail_.Flush();
    const uint64_t tailLength = tail_.Length();
    uint64_t at = TailHeader::kSize;
    uint64_t remaining = n;
    for (bool firstTrack = true; at + TrackBlockHeader::kSize <= tailLength; firstTrack = false) {
        std::array<uint8_t, TrackBlockHeader::kSize> blockBytes{};
        tail_.Seek(at);
        if (!tail_.ReadExact(blockBytes.data(), blockBytes.size())) break;
        const std::optional<TrackBlockHeader> block = TrackBlockHeader::Decode(blockBytes);
        if (!block) break;
        at += TrackBlockHeader::kSize;
        if (!firstTrack) {
            // Every later track begins after its unrecorded gap.
            const uint32_t gap = block->runCount > 0 ? kVideoTrackGap : kEmptyBlockGap;
            if (remaining < gap) {
                tail_.SeekToEnd();
                return SectorLookup::Reserved;
            }
            remaining -= gap;
        }
        const int runs = block->runCount > 0 ? block->runCount : 0;
        for (int i = 0; i < runs && at + RunRecord::kSize <= tailLength; ++i) {
            std::array<uint8_t, RunRecord::kSize> runBytes{};
            std::optional<RunRecord> run;
            if (tail_.ReadExact(runBytes.data(), runBytes.size())) run = RunRecord::Decode(runBytes);
            if (!run) {
                tail_.SeekToEnd();
                return SectorLookup::Missing;
            }
            at += RunRecord::kSize;
            const uint32_t k = run->SectorCount();
            if (remaining >= k) {
                remaining -= k;
                continue;
            }
            tail_.SeekToEnd();
            if (!run->StoresUnits()) return SectorLookup::Reserved;
            const uint64_t position = run->start + remaining * run->UnitSize();
            if (!ReadImageAt(position, unit, kForm1UnitSize)) return SectorLookup::Missing;
            if (offset) *offset = position;
            return SectorLookup::Stored;
        }
    }
    tail_.SeekToEnd();
    return SectorLookup::Missing;
}

// ---------------------------------------------------------------- finish

void ImageContainer::PatchRootDirectory() {
    std::array<uint8_t, kForm1UnitSize> unit{};
    uint64_t offset = 0;
    if (LocateSector(kRootDirectorySector, unit.data(), &offset) != SectorLookup::Stored) return;
    uint8_t* self = unit.data() + kSubheaderSize;
    PutBoth32(self + dirrec::kDataLength, kRootDirectoryBytes);
    uint8_t* parent = self + kRootSelfRecordSize;
    std::memcpy(parent, self, kRootSelfRecordSize);
    parent[dirrec::kIdentifier] = kParentIdentifier;
    WriteImageAt(offset, unit.data(), unit.size());
}

void ImageContainer::FinishImage() {
    tail_.SeekToEnd();
    tailHeader_.tailLength = uint32_t(tail_.Position());
    const std::vector<uint8_t> header = tailHeader_.Encode();
    tail_.Seek(0);
    tail_.Write(header.data(), header.size());

    if (imageFile_) {
        tail_.Seek(0);
        image_.SeekToEnd();
        std::array<uint8_t, kForm1UnitSize> piece{};
        for (size_t n; (n = tail_.Read(piece.data(), piece.size())) > 0;) image_.Write(piece.data(), n);
    }
    PatchRootDirectory();
    if (sink_) CheckSinkSectors();
}

// ---------------------------------------------------------------- the sector sink

void ImageContainer::FeedUnit(RunForm form, const uint8_t* unit) {
    const uint32_t sector = nextSector_++;
    if (!sink_) return;
    const uint64_t at = ImagePosition();
    StoredSpan* last = spans_.empty() ? nullptr : &spans_.back();
    if (last && last->form == form && last->firstSector + last->count == sector &&
        last->offset + uint64_t(last->count) * UnitSizeOf(form) == at) {
        ++last->count;
    } else {
        spans_.push_back({at, sector, 1, form});
    }
    sink_->PutUnit(sector, form, unit);
}

void ImageContainer::FeedEmpty(uint32_t count) {
    if (sink_ && count > 0) sink_->PutEmpty(nextSector_, count);
    nextSector_ += count;
}

const ImageContainer::StoredSpan* ImageContainer::SpanAt(uint64_t offset) const {
    auto after = std::upper_bound(spans_.begin(), spans_.end(), offset,
                                  [](uint64_t at, const StoredSpan& span) { return at < span.offset; });
    if (after == spans_.begin()) return nullptr;
    const StoredSpan& span = *(after - 1);
    return offset - span.offset < uint64_t(span.count) * UnitSizeOf(span.form) ? &span : nullptr;
}

// A rewrite may cover several units, or bytes that are no unit at all (a
// track or info record), which have no sector.
void ImageContainer::FeedPatch(uint64_t offset, const uint8_t* bytes, size_t size) {
    if (!sink_) return;
    while (size > 0) {
        const StoredSpan* span = SpanAt(offset);
        if (!span) {
            auto next = std::upper_bound(spans_.begin(), spans_.end(), offset,
                                         [](uint64_t at, const StoredSpan& s) { return at < s.offset; });
            if (next == spans_.end() || next->offset - offset >= size) return;
            const size_t skip = size_t(next->offset - offset);
            offset += skip, bytes += skip, size -= skip;
            continue;
        }
        const uint32_t unitSize = UnitSizeOf(span->form);
        const uint64_t index = (offset - span->offset) / unitSize;
        const size_t within = size_t(offset - span->offset - index * unitSize);
        const size_t piece = std::min<size_t>(size, unitSize - within);
        sink_->PatchUnit(span->firstSector + uint32_t(index), span->form, within, bytes, piece);
        offset += piece, bytes += piece, size -= piece;
    }
}

bool ImageContainer::ReadFromSink(uint64_t offset, uint8_t* buffer, size_t size) {
    while (size > 0) {
        const StoredSpan* span = sink_ ? SpanAt(offset) : nullptr;
        if (!span) {
            image_.Fail(Format("image offset %llu holds no stored sector to read back",
                               static_cast<unsigned long long>(offset)));
            return false;
        }
        const uint32_t unitSize = UnitSizeOf(span->form);
        const uint64_t index = (offset - span->offset) / unitSize;
        const size_t within = size_t(offset - span->offset - index * unitSize);
        const size_t piece = std::min<size_t>(size, unitSize - within);
        if (!sink_->ReadUnit(span->firstSector + uint32_t(index), span->form, within, buffer, piece)) return false;
        offset += piece, buffer += piece, size -= piece;
    }
    return true;
}

// The sink numbered the sectors as they came; readers of the image number
// them from its runs. Were the two ever to differ, the BIN would not be the
// image's, so the build fails rather than keep it.
bool ImageContainer::CheckSinkSectors() {
    if (runSectors_ == nextSector_) return true;
    image_.Fail(Format("the raw sectors written (%u) disagree with the %u sectors the image's runs describe",
                       nextSector_, runSectors_));
    return false;
}

bool ImageContainer::CheckFreeSpace(uint64_t trackFileBytes, const BuildContext& ctx) {
    const uint64_t need = trackFileBytes + kFreeSpaceMargin;
    if (imagePath_.rfind("\\\\", 0) == 0) {
        ctx.LogLine(Format("Warning :: Creating disk image through netwrok, I may need %ld bytes "
                           "free space",
                           long(need)));
        return true;
    }
    const std::optional<uint64_t> free = FreeDiskSpace(FolderOf(imagePath_));
    if (free && *free < need) {
        ctx.LogLine(Format("Video track will need %ld bytes space over free space", long(need)));
        return false;
    }
    return true;
}

}  // namespace qorvcd
