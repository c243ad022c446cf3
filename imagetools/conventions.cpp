#include "imagetools/conventions.h"
#include "imagetools/svcd_conventions_p.h"

#include <optional>

namespace qorvcd {

namespace {

using Check = std::optional<ConventionFinding> (*)(const DecodedImage&);

// Standard readers look for this identifier to call a disc a Video CD.
std::optional<ConventionFinding> CheckSystemIdentifier(const DecodedImage& image) {
    if (!image.volume) return std::nullopt;
    const std::string id = PrintableField(image.volume->systemId);
    const bool follows = id == "CD-RTOS CD-BRIDGE";
    return ConventionFinding{"system identifier", follows,
                             follows ? "\"" + id + "\"" : "\"" + id + "\" (the standard: \"CD-RTOS CD-BRIDGE\")"};
}

// Both dates unset (all '0' digits) is what this format writes by default.
std::optional<ConventionFinding> CheckVolumeDates(const DecodedImage& image) {
    if (!image.volume) return std::nullopt;
    const auto isSet = [](const PrimaryVolumeDescriptor::Date& date) {
        for (size_t i = 0; i < 14; ++i) {
            if (date[i] != '0') return true;
        }
        return false;
    };
    const bool follows = isSet(image.volume->creationDate) && isSet(image.volume->modificationDate);
    return ConventionFinding{"volume dates", follows,
                             follows ? "creation and modification dates set" : "creation or modification date unset"};
}

constexpr Check kChecks[] = {
    CheckSystemIdentifier,
    CheckVolumeDates,
    CheckEntriesSignature,
    CheckTrackFolder,
    CheckTracksLayout,
    CheckScanOffsets,
};

}  // namespace

std::vector<ConventionFinding> CheckConventions(const DecodedImage& image) {
    std::vector<ConventionFinding> findings;
    for (const Check check : kChecks) {
        if (auto finding = check(image)) findings.push_back(std::move(*finding));
    }
    return findings;
}

std::string ConventionsVerdict(const std::vector<ConventionFinding>& findings) {
    if (findings.empty()) return "";
    size_t followed = 0;
    for (const ConventionFinding& f : findings) followed += f.follows ? 1 : 0;
    if (followed == findings.size()) return "standard";
    return followed == 0 ? "own format" : "mixed";
}

void VisitConventions(const std::vector<ConventionFinding>& findings, InspectVisitor& v) {
    v.BeginObject("conventions");
    v.Text("verdict", ConventionsVerdict(findings));
    v.BeginList("checks");
    for (const ConventionFinding& f : findings) {
        v.BeginObject("");
        v.Text("name", f.name);
        v.Flag("follows", f.follows);
        v.Text("detail", f.detail);
        v.EndObject();
    }
    v.EndList();
    v.EndObject();
}

}  // namespace qorvcd
