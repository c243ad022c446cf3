#include "session/output_guard.h"

#include <unordered_set>

#include "platform/file_identity.h"
#include "platform/log_list.h"
#include "platform/paths.h"
#include "script/script_reader.h"

namespace qorvcd {

namespace {

std::string Refusal(const NamedFile& output, const std::string& reason) {
    return Format("Error: %s %s %s", output.what.c_str(), output.path.c_str(), reason.c_str());
}

}  // namespace

std::string OutputGuard::CheckOutputs() const {
    for (size_t i = 0; i < outputs_.size(); ++i) {
        const NamedFile& output = outputs_[i];
        if (const std::string problem = OutputProblem(output.path); !problem.empty()) {
            return Format("Error: %s cannot be written: %s", output.what.c_str(), problem.c_str());
        }
        const std::vector<NamedFile> earlier(outputs_.begin(), outputs_.begin() + long(i));
        if (const NamedFile* other = AliasedInput(output.path, earlier)) {
            return Refusal(output, "would be the same file as " + other->what + " " + other->path);
        }
    }
    return {};
}

std::string OutputGuard::CheckAgainst(const std::vector<NamedFile>& inputs) const {
    for (const NamedFile& output : outputs_) {
        if (const NamedFile* input = AliasedInput(output.path, inputs)) {
            return Refusal(output, "would overwrite " + input->what + " " + input->path);
        }
    }
    return {};
}

std::string OutputGuard::CheckOutside(const std::string& folder, const std::string& what) const {
    for (const NamedFile& output : outputs_) {
        if (LiesInside(output.path, folder)) return Refusal(output, "lies inside " + what + " " + folder);
    }
    return {};
}

std::string FilesNamedByScript(const std::string& scriptPath, const std::string& scriptFolder,
                               std::vector<NamedFile>& files) {
    files = {{"the script", scriptPath}};
    ScriptReader reader;
    if (!reader.OpenScript(scriptPath)) {
        // A missing script is told by the step that reads it.
        return PathExists(scriptPath) ? "Error: " + reader.OpenError() : std::string();
    }
    // Every word could name a file. Words are looked up in folder listings
    // (each folder listed once) and each file found is identified once, so a
    // long script costs one pass over its words.
    std::unordered_set<std::string> seen;
    PathResolver resolver;
    while (!reader.AtEnd()) {
        const char* token = reader.NextToken();
        if (!token || !*token) continue;
        bool exists = false;
        const std::string path = resolver.Resolve(token, scriptFolder, &exists);
        if (!exists || !seen.insert(path).second) continue;
        const auto id = IdentifyFile(path);
        if (id && id->type == FileType::Regular) files.push_back({"the file named in the script", path});
    }
    // An input the guard could not look for may be the very file an output names.
    if (resolver.LookupFailed()) return "Error: a folder named in " + scriptPath + " cannot be listed";
    return {};
}

}  // namespace qorvcd
