#include "assembly/track_observer_p.h"

#include <array>

#include "core/build_context.h"
#include "core/sector_unit.h"
#include "image/container.h"
#include "platform/file.h"
#include "platform/log_list.h"

namespace qorvcd {

TrackWriteContext::TrackWriteContext(ImageContainer& image, const BuildContext& ctx) : image_(image), ctx_(ctx) {}

DiscKind TrackWriteContext::Kind() const { return ctx_.kind; }

bool TrackWriteContext::Fail(const std::string& line) {
    ctx_.LogLine(line);
    result_ = kStepFailed;
    return false;
}

bool TrackWriteContext::CantOpen(const std::string& name) { return Fail(Format("Can't open %s file", name.c_str())); }

bool TrackWriteContext::ImageOk() { return image_.Ok() || Fail(image_.Error()); }

bool TrackWriteContext::CheckReserved(uint64_t position, const char* name) {
    if (position != 0) return true;
    return Fail(Format("%s has no sectors reserved in the image", name));
}

void TrackWriteContext::CopyIntoSectors(File& file, uint64_t position,
                                        const std::function<void(uint8_t*)>& patchFirst) {
    file.Seek(0);
    const uint64_t length = file.Length();
    std::array<uint8_t, kForm1DataSize> piece{};
    for (uint64_t done = 0, i = 0; done < length; done += kForm1DataSize, ++i) {
        piece.fill(0);
        file.Read(piece.data(), piece.size());
        if (i == 0 && patchFirst) patchFirst(piece.data());
        const bool last = done + kForm1DataSize >= length;
        image_.WriteForm1UnitAt(position + i * kForm1UnitSize, last ? kLastDataSubheader : kDataSubheader,
                                piece.data());
    }
    if (!file.Ok()) Fail(file.Error());
}

}  // namespace qorvcd
