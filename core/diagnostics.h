// Problems found in a script, with where they were found. The session log
// keeps its own lines; a host that wants to point at the script (an editor,
// `qorvcd check`) takes these beside them.
#pragma once

#include <functional>
#include <string>

namespace qorvcd {

enum class Severity { Error, Warning };

struct Diagnostic {
    std::string file;  // the script or settings file as the host named it
    int line = 0;      // 1-based; 0 when the problem has no single line
    Severity severity = Severity::Error;
    std::string text;
};

using DiagnosticSink = std::function<void(const Diagnostic&)>;

// "disc.txt:9: error: text" (or "disc.txt: warning: text" without a line),
// the form compilers use, so editors jump to the line.
std::string FormatDiagnostic(const Diagnostic& d);

// Where a reader of a script stands: the file it reads and the line of the
// token it returned last. Script readers provide it; the build context
// holds the one the current step reads through.
class ScriptPosition {
public:
    virtual ~ScriptPosition() = default;
    virtual const std::string& PositionFile() const = 0;
    virtual int PositionLine() const = 0;
};

}  // namespace qorvcd
