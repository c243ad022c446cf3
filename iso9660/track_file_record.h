// The track-file records of the track folder ("MPEGAV", "MPEG2"): after the
// folder's "." and ".." records, one record per video track file, written
// before the tracks are placed. Once a track's first sector is known, its
// extent is entered into the next record in turn.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "iso9660/directory_record.h"

namespace qorvcd {

// Every track-file record of the track folder (e.g. "AVSEQ01.MPG;1" with its
// CD-XA area) is this long.
inline constexpr size_t kTrackFileRecordSize = 60;
// The track folder's "." and ".." records come first.
inline constexpr size_t kFirstTrackFileRecord = 2 * dirrec::kDotRecordLength;
static_assert(kFirstTrackFileRecord == 96);

// Where in a directory sector's user data the record after the one at
// `offset` lies: right behind it, or 0 (the start of the next sector) when
// the rest of this sector is too short for a whole record.
size_t NextTrackFileRecord(size_t offset);

// Enters `extent` in both byte orders into `record` when it is a track-file
// record: kTrackFileRecordSize long, with an identifier that begins with
// `prefix` ("AVSEQ", "MUSIC"). Otherwise leaves the bytes alone, sets `found`
// to the identifier it holds (as far as the record holds it) and returns false.
bool PutTrackFileExtent(std::span<uint8_t, kTrackFileRecordSize> record, std::string_view prefix,
                        uint32_t extent, std::string* found);

}  // namespace qorvcd
