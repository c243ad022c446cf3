#include "tests/fuzz/fuzz_support.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace fs = std::filesystem;

namespace qorvcd::fuzz {

namespace {

std::string TempRoot() {
    const char* tmp = std::getenv("TMPDIR");
    std::string root = tmp && *tmp ? tmp : "/tmp";
    if (root.back() != '/') root += '/';
    return root;
}

}  // namespace

ScratchFolder::ScratchFolder() {
    // mkdtemp's names mix cases, which the build's lowering would break, so
    // the name is made of the process id and a count instead.
    static std::atomic<unsigned> made{0};
    const std::string root = TempRoot();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate =
            root + "qorvcd-fuzz-" + std::to_string(getpid()) + "-" + std::to_string(made++) + "/";
        std::error_code ec;
        if (fs::create_directory(candidate, ec)) {
            path_ = candidate;
            return;
        }
    }
}

ScratchFolder::~ScratchFolder() {
    if (path_.empty()) return;
    std::error_code ec;
    fs::remove_all(path_, ec);
}

bool WriteInput(const std::string& path, const uint8_t* data, size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (size) out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
    return bool(out.flush());
}

std::string MediaFolder() {
    const char* folder = std::getenv("QORVCD_FUZZ_MEDIA");
    if (!folder || !*folder) return {};
    std::string path = folder;
    if (path.back() != '/') path += '/';
    return path;
}

}  // namespace qorvcd::fuzz
