// Any bytes as the authoring script of a whole build, against fixed small
// media: a Video CD, an SVCD and a CVD clip, a bitmap and a PNG (made by make-media.sh into $QORVCD_FUZZ_MEDIA). Each
// input builds in a scratch folder of its own, with the work folder inside
// it, and everything is removed afterwards. A build must end with a result;
// a failed one leaves no image, a successful one an image the reader decodes.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core/results.h"
#include "imagetools/inspect.h"
#include "platform/log_list.h"
#include "session/qorvcd.h"
#include "tests/fuzz/fuzz_support.h"

namespace fs = std::filesystem;

namespace {

// The media the scripts of the corpus name, relative to the script.
const char* const kMediaFiles[] = {"vcd.mpg", "svcd.mpg", "cvd.mpg", "still.bmp", "menu.png"};

// The media folder, set once by LLVMFuzzerInitialize before any input runs.
std::string& Media() {
    static std::string folder;
    return folder;
}

bool LinkMedia(const std::string& scratch) {
    for (const char* name : kMediaFiles) {
        std::error_code ec;
        fs::create_symlink(Media() + name, scratch + name, ec);
        if (ec) return false;
    }
    return true;
}

std::vector<char> Buffer(const std::string& text) {
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    return buffer;
}

// True when a build's private work folder ("qorvcd-*" under TEMP) is still there.
bool WorkFolderLeft(const std::string& system) {
    std::error_code ec;
    for (auto it = fs::directory_iterator(system + "TEMP", ec); !ec && it != fs::directory_iterator();
         it.increment(ec)) {
        if (it->path().filename().string().rfind("qorvcd-", 0) == 0) return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    Media() = qorvcd::fuzz::MediaFolder();
    for (const char* name : kMediaFiles) {
        std::error_code ec;
        if (Media().empty() || !fs::is_regular_file(Media() + name, ec)) {
            std::fprintf(stderr,
                         "script_build_fuzz: set QORVCD_FUZZ_MEDIA to a folder made by tests/fuzz/make-media.sh "
                         "(%s is missing)\n",
                         name);
            std::exit(77);  // ctest counts this as skipped
        }
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qorvcd::fuzz::ScratchFolder folder;
    const std::string script = folder / "disc.txt";
    const std::string image = folder / "disc.img";
    const std::string system = folder / "sys/";
    if (!folder.Ok() || !LinkMedia(folder.Path()) || !qorvcd::fuzz::WriteInput(script, data, size)) return 0;
    std::error_code ec;
    fs::create_directory(system, ec);

    qorvcd::BuildHost host;
    const bool verbose = std::getenv("QORVCD_FUZZ_VERBOSE") != nullptr;  // to see what an input did
    host.showMessage = [verbose](const std::string& text) {
        if (verbose) std::fprintf(stderr, "  message: %s\n", text.c_str());
    };
    host.systemFolder = system;
    host.settingsFolder = QORVCD_FUZZ_SETTINGS_DIR;
    host.fixedTime = 1772668800;
    host.diagnostics = [verbose](const qorvcd::Diagnostic& d) {
        if (d.text.empty()) __builtin_trap();
        if (verbose) std::fprintf(stderr, "  %s\n", qorvcd::FormatDiagnostic(d).c_str());
    };
    std::vector<char> imagePath = Buffer(image), scriptPath = Buffer(script);
    qorvcd::BuildRequest request;
    request.imagePath = imagePath.data();
    request.scriptPath = scriptPath.data();
    // The fallback kind (for a script without MODE) follows the input, so
    // both classic entry points are covered.
    request.fallbackKind = size % 2 ? qorvcd::DiscKind::Vcd30 : qorvcd::DiscKind::Svcd;
    qorvcd::LogList log;
    const int result = qorvcd::Build(request, &log, host);

    if (verbose) {
        for (const std::string& line : log.Lines()) std::fprintf(stderr, "  %s\n", line.c_str());
    }
    if (log.Lines().empty()) __builtin_trap();
    const bool imageExists = fs::exists(image, ec);
    if (WorkFolderLeft(system)) __builtin_trap();  // the build removes its work folder
    if (result != qorvcd::kOk) {
        if (imageExists) __builtin_trap();  // a failed build leaves no image
        if (log.Lines().back() != ">>> Fail <<<") __builtin_trap();
        return 0;
    }
    if (!imageExists) __builtin_trap();
    // What the build wrote, its own inspector must read without a fault.
    qorvcd::DecodedImage decoded;
    std::string error;
    if (!qorvcd::DecodeImage(image, decoded, error)) {
        std::fprintf(stderr, "built image does not read back: %s\n", error.c_str());
        __builtin_trap();
    }
    if (!decoded.errors.empty()) {
        for (const std::string& fault : decoded.errors) std::fprintf(stderr, "built image: %s\n", fault.c_str());
        __builtin_trap();
    }
    return 0;
}
