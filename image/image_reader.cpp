#include "image/image_reader.h"

#include <algorithm>
#include <cstring>

#include "core/inspect_visitor.h"
#include "image/container.h"
#include "platform/log_list.h"

namespace qorvcd {

namespace {

// The tail is searched for in chunks of this size when the info records
// cannot lead to it.
constexpr size_t kScanChunk = 1 << 20;

// Every image the writers make must read back.
static_assert(kMaxTrackSector + kVideoTrackTrailingSectors <= ImageReader::kMaxDiscSectors);

// Image offset just after a track's stored units (just after its info record
// when it stores none): the next track's data may not begin before it.
uint64_t DataEnd(const ImageTrack& track) {
    uint64_t end = track.block.FirstUnitOffset();
    for (const RunRecord& run : track.runs) {
        if (run.StoresUnits()) end = run.end;
    }
    return end;
}

}  // namespace

bool ImageReader::Fail(const std::string& reason) {
    if (error_.empty()) error_ = reason;
    return false;
}

bool ImageReader::ReadAt(uint64_t offset, void* buffer, size_t size, const char* what) {
    if (offset > imageLength_ || size > imageLength_ - offset) {
        return Fail(Format("%s at offset %llu (%zu bytes) lies beyond the image's end (%llu bytes)", what,
                           (unsigned long long)offset, size, (unsigned long long)imageLength_));
    }
    if (!file_.Seek(offset) || !file_.ReadExact(buffer, size)) {
        return Fail(Format("cannot read %s: %s", what, file_.Error().c_str()));
    }
    return true;
}

bool ImageReader::Open(const std::string& path) {
    *this = ImageReader();
    if (!file_.Open(path, FileMode::Read)) return Fail(file_.Error());
    imageLength_ = file_.Length();
    if (!file_.Ok()) return Fail(file_.Error());
    return ReadHeaderArea() && FindTail() && ReadTailBlocks() && BuildSpans() && (CrossCheck(), true);
}

bool ImageReader::ReadHeaderArea() {
    uint8_t bytes[ImageHeader::kSize];
    if (imageLength_ < ImageHeader::kSize) {
        return Fail(Format("not a disc image: %llu bytes, shorter than the %zu-byte image header",
                           (unsigned long long)imageLength_, ImageHeader::kSize));
    }
    if (!ReadAt(0, bytes, sizeof bytes, "image header")) return false;
    std::string why;
    const std::optional<ImageHeader> header = ImageHeader::Decode(bytes, &why);
    if (!header) return Fail("not a disc image: " + why);
    header_ = *header;
    // Checked before any record is read, so a damaged count is named as such.
    const uint64_t fixedBytes = ImageHeader::kSize + TailHeader::kSize;
    const uint64_t room = imageLength_ > fixedBytes ? (imageLength_ - fixedBytes) / kMinTrackBytes : 0;
    if (header_.trackCount > room) {
        return Fail(Format("image header: track count %u, but a %llu-byte image holds at most %llu tracks",
                           unsigned(header_.trackCount), (unsigned long long)imageLength_,
                           (unsigned long long)room));
    }

    for (unsigned n = 1; n <= header_.trackCount; ++n) {
        uint8_t record[TrackRecord::kSize];
        const std::string what = Format("track record %u", n);
        if (!ReadAt(TrackRecordOffset(n), record, sizeof record, what.c_str())) return false;
        const std::optional<TrackRecord> track = TrackRecord::Decode(record, &why);
        if (!track) return Fail(Format("track %u: %s", n, why.c_str()));
        trackRecords_.push_back(*track);
    }
    return true;
}

// The tail is found first by following the info records: each track's record
// says how long the track's data is, and the tail begins where the last
// track ends. A damaged record there falls back to scanning back from the
// end for a tail header whose length reaches exactly to the end.
bool ImageReader::FindTail() {
    uint64_t offset = 0;
    if (WalkInfoRecords(offset) && IsTailAt(offset)) {
        tailOffset_ = offset;
        return true;
    }
    const std::string walkError = error_;
    error_.clear();
    if (ScanBackForTail(offset)) {
        tailOffset_ = offset;
        if (!walkError.empty()) warnings_.push_back("tail found by scanning: " + walkError);
        return true;
    }
    return Fail("no tail index at the image's end (truncated or not a finished image)" +
                (walkError.empty() ? std::string() : "; " + walkError));
}

bool ImageReader::WalkInfoRecords(uint64_t& tailOffset) {
    uint64_t offset = TrackRecordOffset(header_.trackCount + 1u);
    for (unsigned n = 1; n <= header_.trackCount; ++n) {
        uint8_t bytes[InfoRecord::kSize];
        const std::string what = Format("info record of track %u", n);
        if (!ReadAt(offset, bytes, sizeof bytes, what.c_str())) return false;
        std::string why;
        const std::optional<InfoRecord> info = InfoRecord::Decode(bytes, &why);
        if (!info) return Fail(Format("track %u: %s", n, why.c_str()));
        if (info->offset != offset) {
            return Fail(Format("info record of track %u says offset %u, found at %llu", n, info->offset,
                               (unsigned long long)offset));
        }
        const uint64_t end = offset + 8 + uint64_t(info->chunkSize);
        if (info->chunkSize < InfoRecord::kSize - 8 || end > imageLength_) {
            return Fail(Format("info record of track %u: size %u does not fit the image", n, info->chunkSize));
        }
        walkedInfo_.push_back(*info);
        offset = end;
    }
    tailOffset = offset;
    return true;
}

bool ImageReader::IsTailAt(uint64_t offset) {
    if (offset > imageLength_ || imageLength_ - offset < TailHeader::kSize) return false;
    uint8_t bytes[TailHeader::kSize];
    if (!file_.Seek(offset) || file_.Read(bytes, sizeof bytes) != sizeof bytes) return false;
    const std::optional<TailHeader> tail = TailHeader::Decode(bytes);
    if (!tail || tail->tailLength != imageLength_ - offset) return false;
    tail_ = *tail;
    return true;
}

bool ImageReader::ScanBackForTail(uint64_t& tailOffset) {
    const uint64_t lowest = imageLength_ > kMaxTailLength ? imageLength_ - kMaxTailLength : 0;
    std::vector<uint8_t> chunk;
    uint64_t chunkEnd = imageLength_;
    while (chunkEnd > lowest && chunkEnd >= TailHeader::kSize) {
        const uint64_t chunkStart = std::max<uint64_t>(lowest, chunkEnd > kScanChunk ? chunkEnd - kScanChunk : 0);
        // Overlap the next chunk by one header so a header across the seam is seen.
        const uint64_t readEnd = std::min<uint64_t>(imageLength_, chunkEnd + TailHeader::kSize);
        chunk.resize(size_t(readEnd - chunkStart));
        if (!file_.Seek(chunkStart) || !file_.ReadExact(chunk.data(), chunk.size())) {
            return Fail(Format("cannot read the image's end: %s", file_.Error().c_str()));
        }
        for (size_t i = size_t(chunkEnd - chunkStart); i-- > 0;) {
            if (i + TailHeader::kSize > chunk.size()) continue;
            const uint8_t* p = chunk.data() + i;
            if (std::memcmp(p, kRiffMagic, 4) != 0 || std::memcmp(p + 8, kOfsMagic, 4) != 0) continue;
            if (IsTailAt(chunkStart + i)) {
                tailOffset = chunkStart + i;
                return true;
            }
        }
        chunkEnd = chunkStart;
    }
    return false;
}

bool ImageReader::ReadTailBlocks() {
    if (tail_.tailLength > kMaxTailLength) {
        return Fail(Format("tail of %u bytes is larger than any image needs", tail_.tailLength));
    }
    if (tail_.trackCount != header_.trackCount) {
        return Fail(Format("tail lists %u tracks, the image header %u", unsigned(tail_.trackCount),
                           unsigned(header_.trackCount)));
    }
    const uint64_t leastTail = TailHeader::kSize + uint64_t(header_.trackCount) * TrackBlockHeader::kSize;
    if (tail_.tailLength < leastTail) {
        return Fail(Format("tail length %u cannot hold the blocks of %u tracks (%llu bytes at least)",
                           tail_.tailLength, unsigned(header_.trackCount), (unsigned long long)leastTail));
    }
    std::vector<uint8_t> tail(tail_.tailLength);
    if (!ReadAt(tailOffset_, tail.data(), tail.size(), "tail")) return false;

    uint64_t cursor = TailHeader::kSize;
    uint64_t lastBlock = 0;
    for (unsigned n = 1; n <= header_.trackCount; ++n) {
        ImageTrack track;
        track.number = n;
        track.record = trackRecords_[n - 1];
        lastBlock = cursor;
        if (!IndexTrack(track, tail, cursor)) return false;
        tracks_.push_back(std::move(track));
    }
    if (cursor != tail.size()) {
        warnings_.push_back(Format("tail has %llu bytes after the last track's runs",
                                   (unsigned long long)(tail.size() - cursor)));
    }
    if (tail_.lastBlockOffset != lastBlock) {
        warnings_.push_back(Format("tail header names the last block at %u, found at %llu", tail_.lastBlockOffset,
                                   (unsigned long long)lastBlock));
    }
    return true;
}

bool ImageReader::IndexTrack(ImageTrack& track, const std::vector<uint8_t>& tail, uint64_t& cursor) {
    const unsigned n = track.number;
    std::string why;
    if (tail.size() - cursor < TrackBlockHeader::kSize) {
        return Fail(Format("tail ends before the block of track %u", n));
    }
    const std::optional<TrackBlockHeader> block = TrackBlockHeader::Decode(std::span(tail).subspan(cursor), &why);
    if (!block) return Fail(Format("tail block of track %u: %s", n, why.c_str()));
    track.block = *block;
    cursor += TrackBlockHeader::kSize;
    const uint64_t runBytes = uint64_t(track.block.runCount) * RunRecord::kSize;
    if (tail.size() - cursor < runBytes) {
        return Fail(Format("tail block of track %u: run count %d needs %llu bytes, the tail holds %llu more", n,
                           int(track.block.runCount), (unsigned long long)runBytes,
                           (unsigned long long)(tail.size() - cursor)));
    }
    return ReadTrackInfo(track) && PlaceTrack(track) && ReadRuns(track, tail, cursor);
}

// The block points at the track's info record; the units follow it. Tracks
// lie in order, so the record lies behind the previous track's units and in
// front of the tail.
bool ImageReader::ReadTrackInfo(ImageTrack& track) {
    const unsigned n = track.number;
    const uint64_t lowest = tracks_.empty() ? TrackRecordOffset(header_.trackCount + 1u) : DataEnd(tracks_.back());
    const uint64_t infoOffset = uint64_t(track.block.infoBodyOffset) - 8;
    if (track.block.infoBodyOffset < 8 || infoOffset < lowest || infoOffset > tailOffset_ ||
        tailOffset_ - infoOffset < InfoRecord::kSize) {
        return Fail(Format("tail block of track %u: info offset %u lies outside the track data (info record "
                           "between %llu and the tail at %llu)", n, track.block.infoBodyOffset,
                           (unsigned long long)lowest, (unsigned long long)tailOffset_));
    }
    uint8_t infoBytes[InfoRecord::kSize];
    const std::string what = Format("info record of track %u", n);
    if (!ReadAt(infoOffset, infoBytes, sizeof infoBytes, what.c_str())) return false;
    std::string why;
    const std::optional<InfoRecord> info = InfoRecord::Decode(infoBytes, &why);
    if (!info) return Fail(Format("track %u: %s", n, why.c_str()));
    track.info = *info;
    // The record's own fields are only shown, never followed: a damaged one is
    // what the tail scan exists to read past, so it is reported, not refused.
    if (track.info.offset != infoOffset) {
        warnings_.push_back(Format("info record of track %u says offset %u, found at %llu", n, track.info.offset,
                                   (unsigned long long)infoOffset));
    }
    if (track.info.chunkSize > tailOffset_ - infoOffset - 8) {
        warnings_.push_back(Format("info record of track %u: size %u reaches past the tail at %llu", n,
                                   track.info.chunkSize, (unsigned long long)tailOffset_));
    }
    return true;
}

// The track's first logical sector: behind the previous track and the gap
// in front of every video track.
bool ImageReader::PlaceTrack(ImageTrack& track) {
    if (track.number > 1) track.gapBefore = track.block.runCount > 0 ? kVideoTrackGap : kEmptyBlockGap;
    const uint32_t previousEnd = tracks_.empty() ? 0 : tracks_.back().EndSector();
    if (kMaxDiscSectors - previousEnd < track.gapBefore) {
        return Fail(Format("track %u: its gap of %u sectors after sector %u goes past the %u sectors a disc can "
                           "address (to 99:59:74)", track.number, track.gapBefore, previousEnd, kMaxDiscSectors));
    }
    track.startSector = previousEnd + track.gapBefore;
    return true;
}

// The runs map the track's sectors to the image: stored runs follow each
// other from the first unit and end before the tail; reserved runs are not
// stored, so only the disc's size bounds them.
bool ImageReader::ReadRuns(ImageTrack& track, const std::vector<uint8_t>& tail, uint64_t& cursor) {
    const unsigned n = track.number;
    std::string why;
    uint64_t base = track.block.FirstUnitOffset();
    uint32_t sectors = 0;
    for (int i = 0; i < track.block.runCount; ++i, cursor += RunRecord::kSize) {
        const std::optional<RunRecord> decoded =
            RunRecord::Decode(std::span(tail).subspan(cursor, RunRecord::kSize), &why);
        if (!decoded) return Fail(Format("track %u, run %d: %s", n, i + 1, why.c_str()));
        const RunRecord& run = *decoded;
        if (run.start != base) {
            if (run.StoresUnits()) {
                return Fail(Format("track %u, run %d starts at %u, expected %llu (after the previous run)", n,
                                   i + 1, run.start, (unsigned long long)base));
            }
            warnings_.push_back(Format("track %u, reserved run %d starts at %u, expected %llu", n, i + 1,
                                       run.start, (unsigned long long)base));
        }
        if (run.StoresUnits() && run.end > tailOffset_) {
            return Fail(Format("track %u, run %d ends at %u, past the data (tail at %llu)", n, i + 1, run.end,
                               (unsigned long long)tailOffset_));
        }
        // startSector + sectors never passes the limit, so the room cannot wrap.
        const uint32_t first = track.startSector + sectors;
        const uint32_t count = run.SectorCount();
        if (count > kMaxDiscSectors - first) {
            return Fail(Format("track %u, run %d: %s %u (start %u) makes %u sectors from sector %u, past the %u "
                               "sectors a disc can address (to 99:59:74)", n, i + 1,
                               run.StoresUnits() ? "end" : "reserved end",
                               run.StoresUnits() ? run.end : run.reservedEnd, run.start, count, first,
                               kMaxDiscSectors));
        }
        if (run.StoresUnits()) {
            base = run.end;
            track.storedUnits += count;
        }
        sectors += count;
        track.runs.push_back(run);
    }
    track.sectorCount = sectors;
    return true;
}

bool ImageReader::BuildSpans() {
    for (const ImageTrack& track : tracks_) {
        uint32_t sector = track.startSector;
        if (track.gapBefore > 0) {
            spans_.push_back({sector - track.gapBefore, track.gapBefore, SectorState::Gap, track.number,
                              RunForm::Form2, 0});
        }
        for (const RunRecord& run : track.runs) {
            const uint32_t count = run.SectorCount();
            if (count == 0) continue;
            const SectorState state = run.StoresUnits() ? SectorState::Stored : SectorState::Reserved;
            spans_.push_back({sector, count, state, track.number, run.form, run.start});
            sector += count;
        }
    }
    return true;
}

void ImageReader::CrossCheck() {
    for (const ImageTrack& track : tracks_) {
        const uint32_t expected = track.number == 1 ? track.sectorCount : track.storedUnits;
        if (track.record.sectorCount != expected) {
            warnings_.push_back(Format("track %u: track record counts %u sectors, the runs %u", track.number,
                                       track.record.sectorCount, expected));
        }
        if (track.info.chunkSize != track.block.infoChunkSize) {
            warnings_.push_back(Format("track %u: info record size %u, tail block says %u", track.number,
                                       track.info.chunkSize, track.block.infoChunkSize));
        }
    }
}

SectorPlace ImageReader::Locate(uint32_t sector) const {
    auto after = std::upper_bound(spans_.begin(), spans_.end(), sector,
                                  [](uint32_t s, const Span& span) { return s < span.firstSector; });
    if (after == spans_.begin()) return {};
    const Span& span = *(after - 1);
    if (sector - span.firstSector >= span.count) return {};
    SectorPlace place{span.state, span.track, span.form, 0};
    if (span.state == SectorState::Stored) {
        place.offset = span.offset + uint64_t(sector - span.firstSector) * UnitSizeOf(span.form);
    }
    return place;
}

bool ImageReader::ReadSector(uint32_t sector, SectorContent& out) {
    const SectorPlace place = Locate(sector);
    out.state = place.state;
    if (place.state == SectorState::Missing) {
        return Fail(Format("sector %u lies beyond the last track (which ends before %u)", sector, EndSector()));
    }
    if (place.state != SectorState::Stored) {
        out.form = RunForm::Form2;
        out.subheader = Subheader{};
        out.data.assign(kForm2DataSize, 0);
        return true;
    }
    out.form = place.form;
    const size_t unitSize = UnitSizeOf(place.form);
    uint8_t unit[kForm2UnitSize];
    const std::string what = Format("unit of sector %u", sector);
    if (!ReadAt(place.offset, unit, unitSize, what.c_str())) return false;
    out.subheader = Subheader::ReadFrom(unit);
    out.data.assign(unit + kSubheaderSize, unit + unitSize);
    return true;
}

bool ImageReader::ReadUserData2048(uint32_t sector, uint8_t* out) {
    SectorContent content;
    if (!ReadSector(sector, content)) return false;
    std::memcpy(out, content.data.data(), kForm1DataSize);
    return true;
}

bool ImageReader::ReadExtent(uint32_t firstSector, uint32_t length, std::vector<uint8_t>& out, uint32_t limit) {
    if (length > limit) {
        return Fail(Format("extent at sector %u of %u bytes is larger than the %u bytes allowed", firstSector,
                           length, limit));
    }
    const uint32_t sectors = (length + kForm1DataSize - 1) / kForm1DataSize;
    if (uint64_t(firstSector) + sectors > EndSector()) {
        return Fail(Format("extent at sector %u of %u sectors runs past the last track (ends before %u)",
                           firstSector, sectors, EndSector()));
    }
    out.assign(size_t(sectors) * kForm1DataSize, 0);
    for (uint32_t i = 0; i < sectors; ++i) {
        if (!ReadUserData2048(firstSector + i, out.data() + size_t(i) * kForm1DataSize)) return false;
    }
    out.resize(length);
    return true;
}

void ImageTrack::Inspect(InspectVisitor& v) const {
    v.Number("track", number);
    v.Text("kind", record.kind == ContainerTrackKind::Data ? "data" : "video");
    v.Number("gapBefore", gapBefore);
    v.Number("startSector", startSector);
    v.Number("sectors", sectorCount);
    v.Number("storedUnits", storedUnits);
    v.Number("recordSectorCount", record.sectorCount);
    v.Number("bytesPerSector", record.bytesPerSector);
    v.Number("infoOffset", info.offset);
    v.Number("infoSize", info.chunkSize);
    v.BeginList("runs");
    uint32_t sector = startSector;
    for (const RunRecord& run : runs) {
        v.BeginObject("");
        run.Inspect(v, sector);
        v.EndObject();
        sector += run.SectorCount();
    }
    v.EndList();
}

}  // namespace qorvcd
