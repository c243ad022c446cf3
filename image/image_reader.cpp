#include "image/image_reader.h"

#include <algorithm>
#include <cstring>

#include "platform/log_list.h"

namespace qorvcd {

namespace {

// The tail is searched for in chunks of this size when the info records
// cannot lead to it.
constexpr size_t kScanChunk = 1 << 20;
// More logical sectors than any CD holds (the writers stop at 0x7FFFFF).
constexpr uint64_t kMaxSectors = 1u << 24;

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
    if (!header_.Decode(bytes, sizeof bytes, &why)) return Fail("not a disc image: " + why);

    for (unsigned n = 1; n <= header_.trackCount; ++n) {
        uint8_t record[TrackRecord::kSize];
        const std::string what = Format("track record %u", n);
        if (!ReadAt(TrackRecordOffset(n), record, sizeof record, what.c_str())) return false;
        TrackRecord track;
        if (!track.Decode(record, sizeof record, &why)) return Fail(Format("track %u: %s", n, why.c_str()));
        trackRecords_.push_back(track);
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
        InfoRecord info;
        std::string why;
        if (!info.Decode(bytes, sizeof bytes, &why)) return Fail(Format("track %u: %s", n, why.c_str()));
        if (info.offset != offset) {
            return Fail(Format("info record of track %u says offset %u, found at %llu", n, info.offset,
                               (unsigned long long)offset));
        }
        const uint64_t end = offset + 8 + uint64_t(info.chunkSize);
        if (info.chunkSize < InfoRecord::kSize - 8 || end > imageLength_) {
            return Fail(Format("info record of track %u: size %u does not fit the image", n, info.chunkSize));
        }
        walkedInfo_.push_back(info);
        offset = end;
    }
    tailOffset = offset;
    return true;
}

bool ImageReader::IsTailAt(uint64_t offset) {
    if (offset > imageLength_ || imageLength_ - offset < TailHeader::kSize) return false;
    uint8_t bytes[TailHeader::kSize];
    if (!file_.Seek(offset) || file_.Read(bytes, sizeof bytes) != sizeof bytes) return false;
    TailHeader tail;
    if (!tail.Decode(bytes, sizeof bytes) || tail.tailLength != imageLength_ - offset) return false;
    tail_ = tail;
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
    if (!track.block.Decode(tail.data() + cursor, tail.size() - cursor, &why)) {
        return Fail(Format("tail block of track %u: %s", n, why.c_str()));
    }
    cursor += TrackBlockHeader::kSize;
    const uint64_t runBytes = uint64_t(track.block.runCount) * RunRecord::kSize;
    if (tail.size() - cursor < runBytes) {
        return Fail(Format("tail block of track %u counts %d runs, the tail holds fewer", n,
                           int(track.block.runCount)));
    }

    // The block points at the track's info record; the units follow it.
    const uint64_t infoOffset = uint64_t(track.block.infoBodyOffset) - 8;
    if (track.block.infoBodyOffset < 8 || infoOffset < TrackRecordOffset(header_.trackCount + 1u) ||
        infoOffset + InfoRecord::kSize > tailOffset_) {
        return Fail(Format("tail block of track %u points at offset %u, outside the track data", n,
                           track.block.infoBodyOffset));
    }
    uint8_t infoBytes[InfoRecord::kSize];
    const std::string what = Format("info record of track %u", n);
    if (!ReadAt(infoOffset, infoBytes, sizeof infoBytes, what.c_str())) return false;
    if (!track.info.Decode(infoBytes, sizeof infoBytes, &why)) {
        return Fail(Format("track %u: %s", n, why.c_str()));
    }

    uint64_t base = track.block.FirstUnitOffset();
    uint64_t sectors = 0;
    for (int i = 0; i < track.block.runCount; ++i, cursor += RunRecord::kSize) {
        RunRecord run;
        if (!run.Decode(tail.data() + cursor, RunRecord::kSize, &why)) {
            return Fail(Format("track %u, run %d: %s", n, i + 1, why.c_str()));
        }
        if (run.start != base) {
            if (run.StoresUnits()) {
                return Fail(Format("track %u, run %d starts at %u, expected %llu (after the previous run)", n,
                                   i + 1, run.start, (unsigned long long)base));
            }
            warnings_.push_back(Format("track %u, reserved run %d starts at %u, expected %llu", n, i + 1,
                                       run.start, (unsigned long long)base));
        }
        if (run.StoresUnits()) {
            if (run.end > tailOffset_) {
                return Fail(Format("track %u, run %d ends at %u, past the data (tail at %llu)", n, i + 1, run.end,
                                   (unsigned long long)tailOffset_));
            }
            base = run.end;
            track.storedUnits += run.SectorCount();
        }
        sectors += run.SectorCount();
        track.runs.push_back(run);
    }
    if (sectors > kMaxSectors) return Fail(Format("track %u covers %llu sectors, more than a disc holds", n,
                                                  (unsigned long long)sectors));
    track.sectorCount = uint32_t(sectors);
    if (n > 1) track.gapBefore = track.block.runCount > 0 ? kVideoTrackGap : kEmptyBlockGap;
    const uint64_t start = tracks_.empty() ? 0 : uint64_t(tracks_.back().EndSector()) + track.gapBefore;
    if (start + sectors > kMaxSectors) return Fail(Format("track %u ends beyond sector %llu", n,
                                                          (unsigned long long)kMaxSectors));
    track.startSector = uint32_t(start);
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

}  // namespace qorvcd
