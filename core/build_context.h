// What every step of a build may use besides its own inputs: the session log,
// the host's message box, the progress window, the disc kind and the folders.
// Subsystems take this instead of the whole session so their reach stays small.
#pragma once

#include <string>

#include "core/diagnostics.h"
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
    // Problems with their place in the script; may be empty. `position`
    // names the reader the current step reads through, when there is one.
    DiagnosticSink diagnostics;
    const ScriptPosition* position = nullptr;
    std::string scriptName;  // the file named when no reader is current
    // Stops the build before anything is laid out (a dry run).
    bool checkOnly = false;
    // Lay the disc out as the Video CD 2.0 / SVCD standards and their
    // independent readers expect, where this authoring format departs from
    // them by default (which it keeps for the players and discs that rely on it).
    bool standard = false;

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
    // A problem at the current position of the script (or at `line` of the
    // current file when given); nothing goes to the log.
    void Report(Severity severity, const std::string& text, int line = -1) const;
    void Warn(const std::string& text, int line = -1) const { Report(Severity::Warning, text, line); }
    // A log line (or message) that is also an error of the script.
    void LogError(const std::string& line) const {
        Report(Severity::Error, line);
        LogLine(line);
    }
    void MessageError(const std::string& text) const {
        Report(Severity::Error, text);
        ShowMessage(text);
    }
    // Resolves a path written in the script (either separator, any case).
    std::string ResolveScriptPath(const std::string& path) const;
};

}  // namespace qorvcd
