// Segment play items: the still pictures and short clips of the SEGMENT block
// at the start of the [PBC] section. Each item is a sector-mode file (or a
// picture converted into one), kept in ID order and numbered from 1000 by the
// segments (150 sectors each) it occupies.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/build_context.h"
#include "core/results.h"
#include "core/sector_unit.h"
#include "platform/file_identity.h"

namespace qorvcd {

class ScriptReader;
class TrackList;

inline constexpr uint32_t kFirstSegmentItemNumber = 1000;
// Play-item numbers of segments end at 1998 (998 segments of 150 sectors).
inline constexpr uint32_t kLastSegmentItemNumber = 1998;
inline constexpr uint32_t kSectorsPerSegment = 150;

// Where an item's file came from.
enum class SegmentOrigin : char {
    AuthorFile = ' ',  // the author's own sector file, used as it is
    Converted = 'T',   // made from a bitmap in the work folder; deleted after use
};

struct SegmentItem {
    uint32_t number = 0;    // play-item number
    std::string id;         // upper-cased, at most kMaxScriptIdLength characters
    int32_t audioCode = 0;  // the script's AUDIO number (always 0 on a CVD)
    int32_t videoCode = 0;  // the script's VIDEO number
    int32_t ogtCode = 0;    // the script's OGT number, 0 when absent
    std::string fileName;   // the sector file to copy onto the disc (resolved path)
    std::string scriptName;  // the file as the script names it, for messages
    SegmentOrigin origin = SegmentOrigin::AuthorFile;
    uint32_t segmentCount = 0;  // ceil(sectors / 150)
    // Size and time of the file when it was measured: the writer copies it
    // only while they still hold, as the segment numbers rest on that size.
    std::optional<FileIdentity> measuredStamp;
    int line = 0;  // of its entry in the script
};

// Segment items are a whole number of segments of the segment area.
uint32_t SegmentCountOf(uint64_t fileSize);

class SegmentList {
  public:
    SegmentList() = default;
    SegmentList(const SegmentList&) = delete;
    SegmentList& operator=(const SegmentList&) = delete;
    ~SegmentList() { Clear(); }

    // Sorted by ID; an equal ID goes after the ones already present.
    const std::vector<SegmentItem>& Items() const { return items_; }
    std::vector<SegmentItem>& Items() { return items_; }
    size_t Count() const { return items_.size(); }
    void Insert(SegmentItem item);
    const SegmentItem* Find(std::string_view id) const;
    // Deletes the converted files and empties the list; safe to call twice.
    void Clear();
    // Deletes one item's converted file after the segment writer copied it.
    static void RemoveConvertedFile(SegmentItem& item);

  private:
    std::vector<SegmentItem> items_;
};

// Reads the SEGMENT block through the session's script reader, converts the
// pictures, numbers the items and, for SVCD and SUPER-VCD, writes the
// SPICONTX.SVD work file. Returns kOk, kStepFailed on an error (a failed
// picture conversion among them) or kCancelled for a Cancel during a conversion.
// A BMP of a standard frame size is converted as it always was; any other
// picture (PNG, JPEG, a BMP of another size, ...) becomes a still of the
// disc's video standard: that of the first track in `tracks` whose standard
// is known, else the one the picture's height names (PAL when none).
int ReadSegmentItems(ScriptReader& script, const BuildContext& ctx, SegmentList& segments,
                     const TrackList* tracks = nullptr);

// True for the file extensions of pictures the SEGMENT block converts
// (".BMP", ".PNG", ".JPG", ...; any case).
bool IsPictureFileName(std::string_view name);

// The picture mode of the still pipeline for a bitmap of this width:
// 2 normal resolution, 3 high resolution.
int PictureModeFor(DiscKind kind, int32_t bitmapWidth);

}  // namespace qorvcd
