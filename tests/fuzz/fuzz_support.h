// Shared by the fuzz targets: a scratch folder per input (the library reads
// files, not memory) and the folder of the fixed media the script target
// builds with.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qorvcd::fuzz {

// A fresh, empty folder removed with everything in it when the object dies.
// Its path is all lower case (the build lowers the paths it is given) and
// ends with '/'. It lies under $TMPDIR (else /tmp).
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    bool Ok() const { return !path_.empty(); }
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + name; }

private:
    std::string path_;
};

// Writes `size` bytes to `path`; false when it cannot.
bool WriteInput(const std::string& path, const uint8_t* data, size_t size);

// The folder named by $QORVCD_FUZZ_MEDIA with a trailing '/', or "" when unset.
std::string MediaFolder();

}  // namespace qorvcd::fuzz
