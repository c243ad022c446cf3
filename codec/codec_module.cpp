#include "codec/codec_module.h"

#include <cstdlib>

#include "platform/file.h"
#include "platform/paths.h"
#include "platform/shared_module.h"

namespace qorvcd::codec {

namespace {

// The host's File behind the module's CodecFile.
class CheckedCodecFile final : public CodecFile {
public:
    bool Open(const std::string& path, bool forWriting) {
        return file_.Open(path, forWriting ? FileMode::CreateReadWrite : FileMode::Read);
    }
    size_t Read(void* buffer, size_t size) override { return file_.Read(buffer, size); }
    bool Write(const void* buffer, size_t size) override { return file_.Write(buffer, size); }
    bool Seek(uint64_t position) override { return file_.Seek(position); }
    uint64_t Position() override { return file_.Position(); }
    uint64_t Length() override { return file_.Length(); }
    bool Close() override { return file_.Close(); }
    bool Ok() override { return file_.Ok(); }
    std::string Error() override { return file_.Error(); }
    std::string Path() override { return file_.Path(); }

private:
    File file_;
};

// Where the module may lie, most specific first.
std::vector<std::string> ModuleCandidates() {
    if (const char* chosen = std::getenv("QORVCD_CODEC_MODULE"); chosen && *chosen) return {chosen};
    const std::string programFolder = ExecutableFolder();
    std::vector<std::string> candidates = {
        programFolder + kCodecModuleFileName,
        programFolder + QORVCD_CODEC_MODULE_FROM_PROGRAM "/" + kCodecModuleFileName,
        std::string(QORVCD_CODEC_MODULE_BUILT "/") + kCodecModuleFileName,
        std::string(QORVCD_CODEC_MODULE_INSTALLED "/") + kCodecModuleFileName,
    };
    return candidates;
}

std::string FirstPresent(const std::vector<std::string>& candidates) {
    for (const std::string& candidate : candidates) {
        if (PathExists(candidate)) return candidate;
    }
    return candidates.front();
}

}  // namespace

const CodecModuleCalls* LoadCodecModule(const std::string& purpose, std::string* error) {
    const std::string path = FirstPresent(ModuleCandidates());
    std::string reason;
    using Entry = const CodecModuleCalls* (*)();
    auto entry = reinterpret_cast<Entry>(LoadModuleSymbol(path, kCodecModuleEntry, &reason));
    const CodecModuleCalls* calls = entry ? entry() : nullptr;
    if (entry && !calls) reason = "the module gave no calls";
    if (calls && (calls->interfaceNumber != kCodecModuleInterface || calls->size != sizeof(CodecModuleCalls) ||
                  calls->layout != CodecModuleLayout())) {
        reason = "the module is of another build (interface " + std::to_string(calls->interfaceNumber) +
                 ", this program needs " + std::to_string(kCodecModuleInterface) + ")";
        calls = nullptr;
    }
    if (!calls) *error = purpose + " needs the codec module " + path + ": " + reason;
    return calls;
}

std::unique_ptr<CodecFile> OpenCheckedCodecFile(const std::string& path, bool forWriting, std::string* error) {
    auto file = std::make_unique<CheckedCodecFile>();
    if (file->Open(path, forWriting)) return file;
    *error = file->Error();
    return nullptr;
}

SourceFacts ProbeSource(const std::string& path) {
    SourceFacts facts;
    const CodecModuleCalls* calls = LoadCodecModule("reading " + path, &facts.error);
    if (calls) return calls->probeSource(&OpenCheckedCodecFile, path);
    facts.codecUnavailable = true;
    return facts;
}

TranscodeOutcome TranscodeForDisc(const TranscodeRequest& request) {
    TranscodeOutcome outcome;
    const CodecModuleCalls* calls = LoadCodecModule("converting " + request.inputPath, &outcome.error);
    if (calls) return calls->transcodeForDisc(&OpenCheckedCodecFile, request);
    outcome.result = kStepFailed;
    return outcome;
}

}  // namespace qorvcd::codec
