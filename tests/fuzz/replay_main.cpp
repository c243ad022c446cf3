// Replays corpora through a fuzz target without libFuzzer: every file of
// every folder (or file) named on the command line is fed to
// LLVMFuzzerTestOneInput once. A fault shows as a crash or a sanitizer
// report, as under the fuzzer; otherwise the exit status is 0.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) __attribute__((weak));

namespace fs = std::filesystem;

namespace {

std::vector<fs::path> InputsOf(const fs::path& place) {
    std::vector<fs::path> inputs;
    if (fs::is_directory(place)) {
        for (const auto& entry : fs::recursive_directory_iterator(place)) {
            if (entry.is_regular_file()) inputs.push_back(entry.path());
        }
    } else if (fs::is_regular_file(place)) {
        inputs.push_back(place);
    }
    std::sort(inputs.begin(), inputs.end());  // the same order on every run
    return inputs;
}

std::vector<uint8_t> ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

int main(int argc, char** argv) {
    if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CORPUS-FOLDER-OR-FILE...\n", argv[0]);
        return 2;
    }
    size_t replayed = 0;
    for (int i = 1; i < argc; ++i) {
        if (!fs::exists(argv[i])) {
            std::fprintf(stderr, "%s: no such corpus: %s\n", argv[0], argv[i]);
            return 2;
        }
        for (const fs::path& input : InputsOf(argv[i])) {
            const std::vector<uint8_t> bytes = ReadAll(input);
            std::fprintf(stderr, "replay %s (%zu bytes)\n", input.c_str(), bytes.size());
            LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
            ++replayed;
        }
    }
    std::printf("%s: replayed %zu inputs\n", argv[0], replayed);
    return 0;
}
