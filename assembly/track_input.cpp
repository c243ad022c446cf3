#include "assembly/track_input_p.h"

#include "core/sector_unit.h"

namespace qorvcd {

TrackUnitInput::TrackUnitInput(File& file, const std::optional<PackedStreamFacts>& packed) : file_(file) {
    if (packed) packed_.emplace(file, *packed);
}

bool TrackUnitInput::Read(uint8_t* unit) {
    return packed_ ? packed_->Next(unit) : file_.ReadExact(unit, kSectorModeUnitSize);
}

uint64_t TrackUnitInput::Position() const { return packed_ ? packed_->Position() : file_.Position(); }

std::string TrackUnitInput::Error() const {
    if (packed_ && !packed_->Error().empty()) return packed_->Error();
    return file_.Error();
}

}  // namespace qorvcd
