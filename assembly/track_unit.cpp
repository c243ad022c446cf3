#include "assembly/track_unit.h"

#include "mpeg/pack_header.h"
#include "mpeg/stream_codes.h"

namespace qorvcd {

namespace {
// Bytes of a pack header the clock reference needs.
constexpr size_t kPackClockBytes = 9;
}  // namespace

TrackUnitFacts InspectTrackUnit(const uint8_t* unit) {
    TrackUnitFacts facts;
    facts.video = unit[track_unit::kCoding] == kVideoCoding;
    const uint8_t* pack = unit + track_unit::kPack;
    facts.packHeadOk = IsStartCode(pack, StreamId::PackStart);
    if (!facts.video || !facts.packHeadOk) return facts;
    static_assert(kPackClockBytes <= kMaxPackSize);
    // Read by the pack's own syntax: the MPEG-1 marker '0010', else as an
    // MPEG-2 pack header (as the probe reads it); the low 32 bits are kept.
    const PackSyntax syntax = IsMpeg1PackHeader(pack) ? PackSyntax::Mpeg1 : PackSyntax::Mpeg2;
    facts.clockReference = uint32_t(ReadClockReference(pack, syntax));
    facts.iPicture = HoldsIntraPicture(pack, kMaxPackSize);
    return facts;
}

}  // namespace qorvcd
