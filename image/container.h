// The writer side of the CD-Creator disc image: the image file with its
// header, track records and per-track info records, and the tail work file
// that indexes every track's runs of stored units and reserved empty sectors.
//
// The image is kept positioned at its end: units are appended there, and every
// in-place patch (a record, a directory unit) seeks back to the end afterwards.
// I/O failures are kept in the two files; `Ok()` and `Error()` report them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/build_context.h"
#include "core/disc_kind.h"
#include "core/sector_unit.h"
#include "image/container_records.h"
#include "image/sector_sink.h"
#include "platform/file.h"

namespace qorvcd {

// Logical sectors of the system area written by BeginImage.
inline constexpr uint32_t kSystemAreaSectors = 16;
// Bytes the free-space check allows on top of the track files.
inline constexpr uint64_t kFreeSpaceMargin = 64000;
// Reserved empty sectors that close every video track.
inline constexpr uint32_t kVideoTrackTrailingSectors = 10;

// Result of looking a logical sector up through the tail.
enum class SectorLookup {
    Stored,    // the unit was read
    Reserved,  // the sector lies in a reserved, unstored run
    Missing,   // the tail has no such sector
};

class ImageContainer {
public:
    ImageContainer() = default;
    ImageContainer(const ImageContainer&) = delete;
    ImageContainer& operator=(const ImageContainer&) = delete;

    // Creates (truncates) the files; false when one cannot be created.
    bool CreateImage(const std::string& path);
    // Makes no image file: every offset is counted as if the image were
    // written, and the sector sink alone keeps the sectors (stored units are
    // read back from it). `outputPath` is the file whose disc must have room.
    void WriteNoImageFile(const std::string& outputPath);
    // Also feeds every sector to `sink` (null: none); set before BeginImage.
    // Needed when no image file is written.
    void SetSectorSink(SectorSink* sink) { sink_ = sink; }
    bool CreateTail(const std::string& path);
    // Closes both files (flushing them); false when a flush failed.
    bool Close();
    void CloseTail();

    void SetDiscKind(DiscKind kind) { kind_ = kind; }
    DiscKind Kind() const { return kind_; }
    void SetVideoTrackCount(uint16_t count) { videoTrackCount_ = count; }
    uint16_t VideoTrackCount() const { return videoTrackCount_; }

    // --- Track 1's start and the tail's start ---
    void BeginTail();
    void BeginImage();

    // --- Records ---
    // Writes one track record at the image's current position.
    void WriteTrackRecord(const TrackRecord& record);
    // Rewrites the record of track `trackNumber` (1 = data track) in place.
    void RewriteTrackRecord(unsigned trackNumber, const TrackRecord& record);
    // Writes the info record at the image's current position (its offset).
    void WriteInfoRecord(uint32_t size);

    // --- Units ---
    // Appends one Form 1 unit; a run of another form still open is closed first.
    void AppendForm1Unit(const Subheader& subheader, const uint8_t* data2048);
    // Appends the first 2332 bytes of `unit` as a Form 2 unit (same run rule).
    void AppendForm2Unit(const uint8_t* unit);
    // Rewrites a Form 1 unit at `offset` (the unit's subheader position).
    void WriteForm1UnitAt(uint64_t offset, const Subheader& subheader, const uint8_t* data2048);
    // Raw in-place access for record patches; the image returns to its end.
    bool ReadImageAt(uint64_t offset, void* buffer, size_t size);
    void WriteImageAt(uint64_t offset, const void* buffer, size_t size);
    uint64_t ImagePosition() const;

    // --- Runs of the open track ---
    // Closes the stored run at the image position (it may store nothing).
    void CloseStoredRun();
    // Reserves `count` empty sectors of `form` after whatever is stored so far.
    void ReserveSectors(uint32_t count, RunForm form = RunForm::Form1);
    // Appends a ready-made run record (writers with their own run shapes).
    void AppendRun(const RunRecord& run);
    uint64_t RunStart() const { return runStart_; }
    void SetRunStart(uint64_t offset) { runStart_ = offset; }
    RunForm CurrentRunForm() const { return runForm_; }
    int16_t RunCount() const { return blockHeader_.runCount; }

    // --- Closing and opening tracks ---
    // Track 1's end: reserve up to `endSector` after the last stored unit,
    // then write its final info record, track record and block header.
    void CloseDataTrack(uint32_t endSector);
    // A video track: new block header in the tail, info record in the image.
    void OpenVideoTrack();
    // Closes video track `trackNumber` (2, 3, ...) holding `unitCount` units:
    // its stored run, 10 reserved sectors, and its records rewritten.
    void CloseVideoTrack(unsigned trackNumber, uint32_t unitCount);

    // --- Lookup and finish ---
    // Finds logical sector `n`; for a stored sector reads its 2056 bytes into
    // `unit` (cleared first) and sets `offset` to the unit's image offset.
    SectorLookup LocateSector(uint32_t n, uint8_t* unit, uint64_t* offset);
    // Makes the root's own "." and ".." records describe one 2048-byte sector.
    void PatchRootDirectory();
    // Appends the tail to the image and patches the root directory.
    void FinishImage();
    // True when the image's disc has room for `trackFileBytes` more (plus a
    // margin); logs the shortfall, or a warning for a network path.
    bool CheckFreeSpace(uint64_t trackFileBytes, const BuildContext& ctx);

    // --- Counters shared with the writers ---
    uint32_t SectorCounter() const { return sectorCounter_; }
    void SetSectorCounter(uint32_t sector) { sectorCounter_ = sector; }
    void AdvanceSectorCounter(uint32_t count = 1) { sectorCounter_ += count; }
    uint64_t SystemAreaOffset() const { return systemAreaOffset_; }
    uint64_t InfoRecordOffset() const { return infoRecord_.offset; }

    bool Ok() const;
    // The first I/O failure of either file, or empty.
    std::string Error() const;
    const std::string& ImagePath() const { return imagePath_; }

private:
    void WriteCvdSignatureUnit();
    void AppendTail(const void* data, size_t size);
    void RewriteBlockHeader();
    void SwitchRunForm(RunForm form);
    void CloseTrackRecords(unsigned trackNumber, const TrackRecord& record);
    bool FitsOffsets(uint64_t offset);

    // The sector sink's side: which logical sector each stored unit of the
    // image is, so that rewrites at image offsets reach the right sectors.
    struct StoredSpan {
        uint64_t offset;       // image offset of the first unit
        uint32_t firstSector;  // its logical sector
        uint32_t count;        // units, all of `form`
        RunForm form;
    };
    // Appends bytes at the image's end (only counted without an image file).
    void PutImageBytes(const void* data, size_t size);
    // Tells the sink about the unit about to be appended at the image's end.
    void FeedUnit(RunForm form, const uint8_t* unit);
    void FeedEmpty(uint32_t count);
    void FeedPatch(uint64_t offset, const uint8_t* bytes, size_t size);
    bool ReadFromSink(uint64_t offset, uint8_t* buffer, size_t size);
    // The span holding image offset `offset`, or null.
    const StoredSpan* SpanAt(uint64_t offset) const;
    bool CheckSinkSectors();

    File image_;
    File tail_;
    std::string imagePath_;
    DiscKind kind_ = DiscKind::Svcd;
    uint16_t videoTrackCount_ = 0;

    uint32_t sectorCounter_ = 0;
    uint64_t runStart_ = 0;
    RunForm runForm_ = RunForm::Form1;
    uint64_t systemAreaOffset_ = 0;

    InfoRecord infoRecord_;
    TailHeader tailHeader_;
    TrackBlockHeader blockHeader_;
    uint64_t blockHeaderOffset_ = 0;

    SectorSink* sink_ = nullptr;
    bool imageFile_ = true;
    uint64_t countedEnd_ = 0;   // the image's length when no file is written
    uint32_t nextSector_ = 0;   // logical sector of the next unit or empty sector
    uint32_t runSectors_ = 0;   // logical sectors the runs and track gaps describe
    unsigned openTrack_ = 1;
    std::vector<StoredSpan> spans_;
};

}  // namespace qorvcd
