// Any bytes as the picture of a still: its facts are read as the build reads
// them, then the whole still pipeline runs (decode, scale or fit, encode,
// multiplex, sector mode) for a disc kind chosen from the input. A picture
// the pipeline cannot use fails with a reason and leaves no file behind.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "codec/encode_pipeline.h"
#include "codec/picture_facts.h"
#include "codec/still_format.h"
#include "core/build_context.h"
#include "core/results.h"
#include "platform/log_list.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

size_t FilesIn(const std::string& folder) {
    std::error_code ec;
    size_t count = 0;
    for (auto it = std::filesystem::directory_iterator(folder, ec); !ec && it != std::filesystem::directory_iterator();
         it.increment(ec)) {
        ++count;
    }
    return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qorvcd::fuzz::ScratchFolder folder;
    // The name's extension only matters to formats without a signature (TGA).
    const std::string picture = folder / (size % 2 ? "picture.tga" : "picture.img");
    const std::string work = folder / "work/";
    if (!folder.Ok() || !qorvcd::fuzz::WriteInput(picture, data, size)) return 0;
    std::error_code ec;
    std::filesystem::create_directory(work, ec);

    qorvcd::codec::PictureFacts facts;
    std::string error;
    if (!qorvcd::codec::ReadPictureFacts(picture, facts, &error)) {
        if (error.empty()) __builtin_trap();
        return 0;
    }
    if (facts.width <= 0 || facts.height <= 0) __builtin_trap();

    qorvcd::LogList log;
    qorvcd::BuildContext ctx;
    ctx.log = &log;
    ctx.showMessage = [](const std::string&) {};
    ctx.kind = qorvcd::DiscKind((size / 2) % 4);
    ctx.workFolder = work;
    ctx.scriptFolder = folder.Path();
    const int mode = qorvcd::codec::PictureModeForSize(ctx.kind, facts.width, facts.height);
    const std::string target = folder / "still.mps";
    const int result = qorvcd::EncodeStillPicture(ctx, picture, target, mode);
    if (FilesIn(work) != 0) __builtin_trap();  // the work files go, whatever happened
    const bool targetExists = std::filesystem::exists(target, ec);
    if (result != qorvcd::kOk && targetExists) __builtin_trap();
    if (result == qorvcd::kOk && !targetExists) __builtin_trap();
    return 0;
}
