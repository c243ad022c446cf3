#include <exception>

#include "session/authoring_session.h"
#include "session/qorvcd.h"

namespace qorvcd {

namespace {

int Build(char* imagePath, char* scriptPath, LogList* log, DiscKind fallback, const BuildHost& host) {
    try {
        AuthoringSession session(imagePath, scriptPath, log, fallback, host);
        return session.result;
    } catch (...) {  // the session catches its own; this keeps the promise absolute
        return kStepFailed;
    }
}

}  // namespace

int QorSVCD(char* imagePath, char* scriptPath, LogList* log, const BuildHost& host) {
    return Build(imagePath, scriptPath, log, DiscKind::Svcd, host);
}

int QorVCD30(char* imagePath, char* scriptPath, LogList* log, const BuildHost& host) {
    return Build(imagePath, scriptPath, log, DiscKind::Vcd30, host);
}

}  // namespace qorvcd
