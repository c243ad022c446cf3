// Throughput of the sector checksums (fast and reference) and of the
// assembly of whole raw sectors, in bytes per second.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "imagetools/bincue.h"
#include "imagetools/sector_checksums.h"

namespace qorvcd {
namespace {

std::vector<uint8_t> RandomBytes(size_t size) {
    std::mt19937 rng(1);
    std::vector<uint8_t> bytes(size);
    for (uint8_t& b : bytes) b = uint8_t(rng());
    return bytes;
}

// EDC over `range(0)` bytes.
template <uint32_t (*Edc)(const uint8_t*, size_t)>
void BM_Edc(benchmark::State& state) {
    const size_t size = size_t(state.range(0));
    const std::vector<uint8_t> data = RandomBytes(size);
    for (auto _ : state) benchmark::DoNotOptimize(Edc(data.data(), size));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(size));
}
BENCHMARK(BM_Edc<ComputeEdc>)->Name("Edc")->Arg(int64_t(kForm1UnitSize))->Arg(int64_t(kForm2UnitSize))->Arg(1 << 16);
BENCHMARK(BM_Edc<ComputeEdcSliced>)->Name("EdcSliced")->Arg(int64_t(kForm1UnitSize))->Arg(int64_t(kForm2UnitSize))->Arg(1 << 16);
BENCHMARK(BM_Edc<ComputeEdcBytewise>)->Name("EdcBytewise")->Arg(int64_t(kForm2UnitSize))->Arg(1 << 16);

// P and Q parity of one Form 1 sector; the bytes counted are the 2064 the
// parity covers (header to EDC).
template <void (*Ecc)(uint8_t*)>
void BM_Ecc(benchmark::State& state) {
    std::vector<uint8_t> raw = RandomBytes(kRawSectorSize);
    for (auto _ : state) {
        Ecc(raw.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kRawEccPOffset - kRawHeaderOffset));
}
BENCHMARK(BM_Ecc<ComputeForm1Ecc>)->Name("Form1EccSideBySide");
BENCHMARK(BM_Ecc<ComputeForm1EccReference>)->Name("Form1EccReference");

// A whole 2352-byte raw sector from a stored unit (sync, header, subheader,
// data, EDC and, for Form 1, the ECC).
void BM_BuildRawSector(benchmark::State& state) {
    const bool form2 = state.range(0) == 2;
    const std::vector<uint8_t> data = RandomBytes(form2 ? kForm2DataSize : kForm1DataSize);
    const SectorContent content{SectorState::Stored, form2 ? RunForm::Form2 : RunForm::Form1,
                                Subheader{1, 1, uint8_t(form2 ? kSubmodeForm2 | kSubmodeVideo : kSubmodeData), 0},
                                data};
    RawSector raw;
    uint32_t sector = 1000;
    for (auto _ : state) {
        BuildRawSector(sector++, content, raw.data());
        benchmark::DoNotOptimize(raw.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kRawSectorSize));
}
BENCHMARK(BM_BuildRawSector)->Name("BuildRawSector/form")->Arg(1)->Arg(2);

}  // namespace
}  // namespace qorvcd

BENCHMARK_MAIN();
