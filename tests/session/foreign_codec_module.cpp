// A stand-in for a codec module of another build: its table carries an
// interface number no program has, so the loader must refuse it uncalled.
#include <cstdint>

namespace {

struct ForeignTable {
    uint32_t interfaceNumber;
    uint32_t size;
};

constexpr ForeignTable kTable{0xFFFFu, sizeof(ForeignTable)};

}  // namespace

extern "C" __attribute__((visibility("default"))) const void* qorvcd_codec_module() { return &kTable; }
