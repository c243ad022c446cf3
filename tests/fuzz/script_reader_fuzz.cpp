// Any bytes as a script file: every token from the start, each section the
// build looks up with the tokens under it, the disc mode, and the lint for
// every disc kind. The reader must end (no token loop without progress) and
// never read past its token buffer.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/disc_kind.h"
#include "script/disc_settings.h"
#include "script/script_lint.h"
#include "script/script_reader.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

using qorvcd::ScriptReader;

// Far more tokens than any input of the fuzzer's length can hold: reaching it
// means the reader stopped making progress.
constexpr size_t kTokenBound = 1u << 20;

void ReadTokensUntilEnd(ScriptReader& reader, bool upper) {
    for (size_t count = 0;; ++count) {
        if (count > kTokenBound) __builtin_trap();
        const char* token = upper ? reader.NextTokenUpper() : reader.NextToken();
        // "" is the end of the file, or an empty quoted text ("") before it.
        if (token && *token == '\0' && reader.AtEnd()) return;
        if (token && std::char_traits<char>::length(token) > ScriptReader::kMaxTokenLength) __builtin_trap();
        (void)reader.TokenLine();
    }
}

void ReadSectionTokens(ScriptReader& reader, const char* section) {
    if (!reader.FindSection(section)) return;
    for (size_t count = 0;; ++count) {
        if (count > kTokenBound) __builtin_trap();
        const char* token = reader.NextTokenUpper();
        if (token && (*token == '\0' || *token == '[')) return;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qorvcd::fuzz::ScratchFolder folder;
    const std::string path = folder / "disc.txt";
    if (!folder.Ok() || !qorvcd::fuzz::WriteInput(path, data, size)) return 0;

    {
        ScriptReader reader([](const std::string&) {});
        if (!reader.OpenScript(path)) return 0;
        ReadTokensUntilEnd(reader, false);
        for (const char* section : {"[VCD]", "[TRACK]", "[PBC]", "[ISO9660]", "[VCD30]", "[VCD20]"}) {
            ReadSectionTokens(reader, section);
        }
        reader.CloseScript();
    }
    {
        ScriptReader reader;
        if (reader.OpenScript(path)) ReadTokensUntilEnd(reader, true);
    }
    (void)qorvcd::ReadDiscMode(path, [](const std::string&) {});
    for (const auto kind : {qorvcd::DiscKind::Vcd30, qorvcd::DiscKind::Svcd, qorvcd::DiscKind::Cvd,
                            qorvcd::DiscKind::SuperVcd}) {
        qorvcd::LintScript(path, {kind, "disc.txt"}, [](const qorvcd::Diagnostic& d) {
            if (d.text.empty()) __builtin_trap();  // a diagnostic says something
        });
    }
    return 0;
}
