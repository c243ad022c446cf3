// What every step of a build may use besides its own inputs: the session log,
// the host's message box, the progress window, the disc kind and the folders.
// Subsystems take this instead of the whole session so their reach stays small.
#pragma once

#include <string>

#include "core/disc_kind.h"
#include "core/progress.h"
#include "platform/clock.h"
#include "platform/log_list.h"

namespace qorvcd {

struct BuildContext {
    LogList* log = nullptr;
    MessageHandler showMessage;       // may be empty: messages then go to the log
    Progress* progress = nullptr;     // may be null outside the long steps
    DiscKind kind = DiscKind::Svcd;
    std::string workFolder;    // private work folder, ends with '/'
    std::string scriptFolder;  // relative paths in the script resolve here, ends with '/'
    Clock clock;

    void LogLine(const std::string& line) const {
        if (log) log->Add(line);
    }
    void LogShowLast() const {
        if (log) log->SelectLast();
    }
    void ShowMessage(const std::string& text) const {
        if (showMessage) showMessage(text);
        else LogLine(text);
    }
    // Resolves a path written in the script (either separator, any case).
    std::string ResolveScriptPath(const std::string& path) const;
};

}  // namespace qorvcd
