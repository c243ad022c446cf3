#include "platform/outputs.h"

#include <climits>
#include <cstdlib>
#include <random>
#include <unistd.h>

#include "platform/file_identity.h"
#include "platform/paths.h"

namespace qorvcd {

namespace {

constexpr int kTemporaryNameTries = 100;

std::string RandomSuffix(std::mt19937& random) {
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::uniform_int_distribution<size_t> pick(0, sizeof kLetters - 2);
    std::string suffix;
    for (int i = 0; i < 8; ++i) suffix += kLetters[pick(random)];
    return suffix;
}

std::optional<std::string> RealPath(const std::string& path) {
    char buffer[PATH_MAX];
    if (path.empty() || !::realpath(path.c_str(), buffer)) return std::nullopt;
    return std::string(buffer);
}

// The path with its folder resolved through links; a name that does not
// exist yet keeps its spelling after its real folder.
std::string CanonicalName(const std::string& path) {
    if (auto real = RealPath(path)) return *real;
    const std::string name = FileNameOf(path);
    if (auto folder = RealPath(FolderOf(path))) return (*folder == "/" ? "" : *folder) + "/" + name;
    return AbsolutePath(path);
}

}  // namespace

PendingOutput::PendingOutput(const std::string& finalPath)
    : finalPath_(RealPath(finalPath).value_or(finalPath)) {}

PendingOutput::~PendingOutput() { Discard(); }

bool PendingOutput::Create() {
    std::mt19937 random{std::random_device{}()};
    const std::string stem = FolderOf(finalPath_) + "." + FileNameOf(finalPath_) + ".";
    for (int attempt = 0; attempt < kTemporaryNameTries; ++attempt) {
        const std::string candidate = stem + RandomSuffix(random) + ".part";
        File file;
        if (file.Open(candidate, FileMode::CreateNew)) {
            temporaryPath_ = candidate;
            if (file.Close()) return true;
            error_ = file.Error();
            Discard();
            return false;
        }
        if (!File::Exists(candidate)) {  // not a name clash: the folder refuses
            error_ = file.Error();
            return false;
        }
    }
    error_ = "no free temporary name beside " + finalPath_;
    return false;
}

bool PendingOutput::OpenForWriting(File& file) {
    if (file.Open(temporaryPath_, FileMode::ReadWrite)) return true;
    error_ = file.Error();
    return false;
}

bool PendingOutput::Keep() {
    if (temporaryPath_.empty()) {
        error_ = "nothing was written for " + finalPath_;
        return false;
    }
    if (!RenamePath(temporaryPath_, finalPath_)) {
        error_ = "cannot rename " + temporaryPath_ + " to " + finalPath_;
        return false;
    }
    kept_ = true;
    return true;
}

bool PendingOutput::Discard() {
    if (kept_ || temporaryPath_.empty()) return true;
    if (!File::Remove(temporaryPath_) && !File::Remove(temporaryPath_) && File::Exists(temporaryPath_)) return false;
    temporaryPath_.clear();
    return true;
}

std::string OutputProblem(const std::string& output) {
    if (output.empty()) return "no output file was named";
    if (const auto id = IdentifyFile(output)) {
        if (id->type == FileType::Directory) return output + " is a folder, not a file";
        if (id->type != FileType::Regular) return output + " is not a regular file (a device, FIFO or socket)";
        return {};
    }
    if (!IsDirectory(FolderOf(output))) return "the folder " + FolderOf(output) + " does not exist";
    return {};
}

const NamedFile* AliasedInput(const std::string& output, const std::vector<NamedFile>& inputs) {
    const auto outputId = IdentifyFile(output);
    const std::string outputName = ToLower(CanonicalName(output));
    for (const NamedFile& input : inputs) {
        if (input.path.empty()) continue;
        const auto inputId = IdentifyFile(input.path);
        if (outputId && inputId && outputId->SameFileAs(*inputId)) return &input;
        if (ToLower(CanonicalName(input.path)) == outputName) return &input;
    }
    return nullptr;
}

bool LiesInside(const std::string& path, const std::string& folder) {
    std::string root = ToLower(CanonicalName(folder));
    if (root.empty()) return false;
    if (root.back() != '/') root += '/';
    return ToLower(CanonicalName(path)).starts_with(root);
}

std::string AbsolutePath(const std::string& path) {
    const std::string native = ToNativeSeparators(path);
    if (native.empty() || IsAbsolutePath(native)) return native;
    char buffer[PATH_MAX];
    if (!::getcwd(buffer, sizeof buffer)) return native;
    return JoinPath(buffer, native);
}

}  // namespace qorvcd
