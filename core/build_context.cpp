#include "core/build_context.h"

#include "platform/paths.h"

namespace qorvcd {

void BuildContext::Report(Severity severity, const std::string& text, int line) const {
    if (!diagnostics) return;
    Diagnostic d;
    d.severity = severity;
    d.text = text;
    d.file = position ? position->PositionFile() : scriptName;
    if (line >= 0) d.line = line;
    else if (position) d.line = position->PositionLine();
    diagnostics(d);
}

std::string FormatDiagnostic(const Diagnostic& d) {
    std::string out = d.file.empty() ? std::string("qorvcd") : d.file;
    if (d.line > 0) out += ":" + std::to_string(d.line);
    out += d.severity == Severity::Error ? ": error: " : ": warning: ";
    return out + d.text;
}

std::string BuildContext::ResolveScriptPath(const std::string& path) const {
    return ResolvePath(path, scriptFolder);
}

}  // namespace qorvcd
