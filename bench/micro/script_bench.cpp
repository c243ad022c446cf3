// Time of a 10 MB authoring script: the script reader alone (reading the
// file, the section lookups a build makes, one pass over every token), and a
// whole build of a disc whose script carries one 10 MB line of short words.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/log_list.h"
#include "platform/paths.h"
#include "script/script_reader.h"
#include "session/qorvcd.h"

namespace qorvcd {
namespace {

constexpr size_t kScriptBytes = 10u << 20;

// A small disc without video tracks, then a section of short words that
// every lookup of an absent section must pass.
std::string TenMegabyteScript(bool distinctWords) {
    std::string text = "[VCD]\r\nMODE = SVCD\r\nVERSION = 1.0\r\nALBUM = BENCH\r\n[TRACK]\r\nENDTRACK\r\n[NOTES]\r\n";
    for (size_t n = 0; text.size() < kScriptBytes; ++n) {
        char word[24];
        std::snprintf(word, sizeof word, distinctWords ? "W%zx " : "AB ", n);
        text += word;
    }
    return text + "\r\n";
}

struct ScriptFolder {
    explicit ScriptFolder(bool distinctWords) {
        folder = *MakeUniqueDirectory(TempFolder(), "qorvcd-bench-") + "/";
        const std::string text = TenMegabyteScript(distinctWords);
        File::WriteAll(folder + "disc.txt", text.data(), text.size(), nullptr);
        bytes = text.size();
    }
    ~ScriptFolder() { RemoveTree(folder); }
    std::string folder;
    size_t bytes = 0;
};

// The lookups one build makes, in its order.
constexpr const char* kBuildLookups[] = {"[VCD]", "[VCD30]", "[VCD30]", "[TRACK]", "[PBC]",
                                          "[PBC]", "[PBC]",   "[VCD]",   "[ISO9660]"};

void BM_ScriptReader10MB(benchmark::State& state) {
    const ScriptFolder script(state.range(0) != 0);
    for (auto _ : state) {
        ScriptReader reader;
        reader.OpenScript(script.folder + "disc.txt");
        for (const char* name : kBuildLookups) benchmark::DoNotOptimize(reader.FindSection(name));
        reader.FindSection("[VCD]");
        while (!reader.AtEnd()) benchmark::DoNotOptimize(reader.NextToken());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(script.bytes));
}
BENCHMARK(BM_ScriptReader10MB)->ArgName("distinct")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_Build10MBScript(benchmark::State& state) {
    const ScriptFolder script(state.range(0) != 0);
    for (auto _ : state) {
        std::string imagePath = script.folder + "disc.img";
        std::string scriptPath = script.folder + "disc.txt";
        BuildRequest request;
        request.imagePath = imagePath.data();
        request.scriptPath = scriptPath.data();
        BuildHost host;
        host.systemFolder = script.folder;
        host.settingsFolder = QORVCD_SETTINGS_DIR;
        host.fixedTime = 0;
        LogList log;
        if (Build(request, &log, host) != 0) state.SkipWithError(log.Count() ? log.Lines().back().c_str() : "failed");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(script.bytes));
}
BENCHMARK(BM_Build10MBScript)->ArgName("distinct")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace qorvcd

BENCHMARK_MAIN();
