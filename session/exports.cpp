#include "platform/paths.h"
#include "session/authoring_session_p.h"
#include "session/qorvcd.h"

namespace qorvcd {

std::string CueSheetPathFor(const std::string& imagePath, BuildOutputs outputs) {
    if (outputs == BuildOutputs::BinCueOnly) return imagePath;
    const PathParts parts = SplitPath(imagePath);
    return parts.drive + parts.folder + parts.name + ".cue";
}

int Build(const BuildRequest& request, LogList* log, const BuildHost& host) {
    try {
        return AuthoringSession(request, log, host).Run();
    } catch (...) {  // the session catches its own; this keeps the promise absolute
        return kStepFailed;
    }
}

int QorSVCD(char* imagePath, char* scriptPath, LogList* log, const BuildHost& host) {
    return Build({imagePath, scriptPath, DiscKind::Svcd}, log, host);
}

int QorVCD30(char* imagePath, char* scriptPath, LogList* log, const BuildHost& host) {
    return Build({imagePath, scriptPath, DiscKind::Vcd30}, log, host);
}

}  // namespace qorvcd
