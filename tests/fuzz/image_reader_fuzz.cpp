// Any bytes as a disc image: opening it, every printer of `inspect`, the
// playback graph, a read of every sector, and (for a small disc) the BIN/CUE
// export. A damaged image gives an error, never a crash or unbounded work.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "image/image_reader.h"
#include "imagetools/bincue.h"
#include "imagetools/inspect.h"
#include "imagetools/playback_model.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

// The export writes 2352 bytes for every logical sector, stored or not; a
// damaged image may claim a whole disc of reserved sectors, which the reader
// allows. Beyond this many the export is left out to keep runs fast.
constexpr uint32_t kMaxExportedSectors = 4000;

void ReadEverySector(const std::string& path) {
    qorvcd::ImageReader reader;
    if (!reader.Open(path)) {
        if (reader.Error().empty()) __builtin_trap();  // a refusal says why
        return;
    }
    qorvcd::SectorContent content;
    for (uint32_t sector = 0; sector < reader.EndSector() && sector < kMaxExportedSectors; ++sector) {
        if (!reader.ReadSector(sector, content)) return;
        uint8_t raw[qorvcd::kRawSectorSize];
        qorvcd::BuildRawSector(sector, content, raw);
    }
    std::vector<uint8_t> extent;
    (void)reader.ReadExtent(16, 2048 * 4, extent);  // the volume descriptors' place
}

void Export(const std::string& image, const qorvcd::fuzz::ScratchFolder& folder, uint32_t endSector) {
    if (endSector > kMaxExportedSectors) return;
    qorvcd::BinCueRequest request;
    request.imagePath = image;
    request.cuePath = folder / "out.cue";
    request.isoPath = folder / "out.iso";
    std::string error;
    const bool exported = qorvcd::ExportBinCue(request, &error);
    std::error_code ec;
    if (!exported) {
        if (error.empty()) __builtin_trap();
        // Nothing half-written stays behind.
        if (std::filesystem::exists(request.cuePath, ec) || std::filesystem::exists(folder / "out.bin", ec))
            __builtin_trap();
        return;
    }
    const auto binLength = std::filesystem::file_size(folder / "out.bin", ec);
    if (ec || binLength != uint64_t(endSector) * qorvcd::kRawSectorSize) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qorvcd::fuzz::ScratchFolder folder;
    const std::string path = folder / "disc.img";
    if (!folder.Ok() || !qorvcd::fuzz::WriteInput(path, data, size)) return 0;

    ReadEverySector(path);

    qorvcd::DecodedImage image;
    std::string error;
    if (!qorvcd::DecodeImage(path, image, error)) {
        if (error.empty()) __builtin_trap();
        return 0;
    }
    bool textOk = false, jsonOk = false;
    const std::string text = qorvcd::InspectText(image, &textOk);
    const std::string json = qorvcd::InspectJson(image, &jsonOk);
    if (textOk != jsonOk) __builtin_trap();  // one walk feeds both printers
    (void)qorvcd::InspectSummary(image);
    (void)qorvcd::PlaybackGraphDot(image);

    const uint32_t endSector = image.tracks.empty() ? 0 : image.tracks.back().EndSector();
    Export(path, folder, endSector);
    return 0;
}
