// How a standard build marks the MPEG units it copies: the last unit of every
// file (segment item, video track, application file) ends the file, and the
// video units of a still picture carry the still coding of its resolution.
// Independent readers rely on both to find where an item ends and what it
// holds; this format's own discs leave them as the encoder wrote them.
#pragma once

#include <cstdint>

#include "infofiles/info_record.h"

namespace qorvcd {

// Sets the end-of-file bit in both copies of a unit's subheader (the unit
// begins with its 8-byte subheader, whatever its size).
void MarkEndOfFile(uint8_t* unit);

// Gives a video unit of a still the channel and coding of `resolution`;
// other units, and every unit when the item is not a still, stay as they are.
void RecodeStillUnit(uint8_t* unit, StillResolution resolution);

}  // namespace qorvcd
