// The four kinds of disc the library builds, and the texts tied to each.
#pragma once

namespace qorvcd {

enum class DiscKind : int {
    Vcd30 = 0,
    Svcd = 1,
    Cvd = 2,       // information file carries the system identifier "HQ-VCD  "
    SuperVcd = 3,  // an SVCD that also carries EXT/SCANDATA.DAT
};

inline bool IsSvcdFamily(DiscKind k) { return k == DiscKind::Svcd || k == DiscKind::SuperVcd; }
inline bool HasScanData(DiscKind k) { return k == DiscKind::Cvd || k == DiscKind::SuperVcd; }

struct DiscKindTexts {
    const char* headerLabel;     // first log line
    const char* frameLabel;      // "... Frame building..."
    const char* settingsFile;    // beside the program
    const char* generatedFolder; // disc folder of the generated control files
    const char* doneLabel;       // "---%s disc image be created!---"
};

inline const DiscKindTexts& TextsOf(DiscKind k) {
    static constexpr DiscKindTexts kTexts[] = {
        {"VCD3.0", "VCD", "VCD.CFG", "VCD", "VCD"},
        {"SVCD", "SVCD", "SVCD.CFG", "SVCD", "SVCD"},
        {"CVD", "CVD", "CVD.CFG", "HQVCD", "CVD"},
        {"SUPER-VCD", "SUPER-VCD", "SUPERVCD.CFG", "SVCD", "Super VCD"},
    };
    return kTexts[int(k)];
}

}  // namespace qorvcd
