#include <cstring>
#include <exception>

#include "imagetools/bincue.h"
#include "imagetools/bincue_writer.h"
#include "platform/paths.h"
#include "script/disc_settings.h"
#include "session/authoring_session_p.h"
#include "session/session_content_p.h"

namespace qorvcd {

namespace {

void LowerInPlace(char* text) {
    for (char* c = text; c && *c; ++c) *c = char(std::tolower(static_cast<unsigned char>(*c)));
}

// Made absolute once: work paths must not move when a later step resolves
// a path against the script's folder.
std::string SystemFolderOf(const BuildHost& host) {
    if (!host.systemFolder.empty()) return AbsolutePath(host.systemFolder);
    if (const char* env = std::getenv("QORVCD_WORK_DIR"); env && *env) return AbsolutePath(env);
    return AbsolutePath(TempFolder());
}

}  // namespace

const AuthoringSession::Step AuthoringSession::kSteps[] = {
    &AuthoringSession::StartLog,
    &AuthoringSession::CheckOutputsBeforeStart,
    &AuthoringSession::PrepareWorkFolder,
    &AuthoringSession::CheckWorkFolderOutputs,
    &AuthoringSession::ResetContent,
    &AuthoringSession::ReadSettingsFolderLists,
    &AuthoringSession::ExpandScriptFolderLists,
    &AuthoringSession::OpenScriptReader,
    &AuthoringSession::LintScript,
    &AuthoringSession::CreateImageFiles,
    &AuthoringSession::OpenProgressWindow,
    &AuthoringSession::ReadApplications,
    &AuthoringSession::AddSvcdControlNodes,
    &AuthoringSession::ReadTrackList,
    &AuthoringSession::ReadSegmentItems,
    &AuthoringSession::WriteControlWorkFiles,
    &AuthoringSession::PlaceFiles,
    &AuthoringSession::CheckOutputsAgainstContent,
    &AuthoringSession::WarnUnreachedContent,
    &AuthoringSession::CheckCapacity,
    &AuthoringSession::CheckDiscNamesInDryRun,
    &AuthoringSession::LayOutImage,
};

AuthoringSession::AuthoringSession(const BuildRequest& request, LogList* log, const BuildHost& host)
    : imagePathBuffer_(request.imagePath), scriptPathBuffer_(request.scriptPath),
      fallbackKind_(request.fallbackKind), checkOnly_(request.checkOnly), outputs_(request.outputs), log_(log),
      host_(host),
      content_(std::make_unique<SessionContent>()) {
    context_.log = log;
    context_.showMessage = host.showMessage;
    context_.diagnostics = host.diagnostics;
    context_.checkOnly = request.checkOnly;
    context_.standard = request.standard;
    context_.clock = host.fixedTime ? Clock::Fixed(*host.fixedTime) : Clock::FromEnvironment();
    imagePath_ = request.imagePath ? request.imagePath : "";
    scriptPath_ = request.scriptPath ? request.scriptPath : "";
    context_.scriptName = scriptPath_;
    context_.scriptFolder = FolderOf(ResolvePath(scriptPath_, ""));
}

AuthoringSession::~AuthoringSession() = default;

int AuthoringSession::Run() {
    try {
        for (const Step step : kSteps) {
            // A dry run ends where the image would be laid out.
            if (checkOnly_ && step == &AuthoringSession::LayOutImage) break;
            const int result = (this->*step)();
            // A dry run reads the segment block even after a failed track
            // list, to report its problems too; the build itself stops.
            if (result != kOk && checkOnly_ && step == &AuthoringSession::ReadTrackList) {
                result_ = result;
                ReadSegmentItems();
                break;
            }
            result_ = result;
            if (result_ != kOk) break;
        }
    } catch (const std::exception& e) {
        LogLine(Format("Error: %s", e.what()));
        if (result_ == kOk) result_ = kStepFailed;
    } catch (...) {
        LogLine("Error: unexpected failure");
        if (result_ == kOk) result_ = kStepFailed;
    }
    Ending();
    return result_;
}

// ---------------------------------------------------------------- the log's head

// The disc kind (the script's MODE, else the fallback) and the header lines.
int AuthoringSession::StartLog() {
    LogRepaint();
    std::string scriptError;
    const int mode = ReadDiscMode(ScriptFile(), context_.showMessage, &scriptError);
    context_.kind = mode < 0 ? fallbackKind_ : DiscKind(mode);
    if (log_) log_->Reset();
    LogLine(std::string("---------- ") + TextsOf(Kind()).headerLabel + " CD-R disc image ----------");
    LogLine("Creating CD-Creator software disc image...");
    // The caller's buffers are lowered as the log shows them; the files
    // themselves keep the case the caller gave (case matters on this platform).
    LowerInPlace(scriptPathBuffer_);
    LowerInPlace(imagePathBuffer_);
    LogLine(Format("Make %s via %s", ToLower(imagePath_).c_str(), ToLower(scriptPath_).c_str()));
    LogLine(std::string(TextsOf(Kind()).frameLabel) + " Frame building...");
    LogRepaint();
    settingsPath_ = FindSettingsPath();
    // A script that is there but cannot be read must not pass for one
    // without MODE: the build would take the fallback kind.
    if (!scriptError.empty() && PathExists(ScriptFile())) {
        LogLine(Format("Can't open %s", scriptPath_.c_str()));
        LogLine("Error: " + scriptError);
        return kStepFailed;
    }
    return kOk;
}

std::string AuthoringSession::ScriptFile() const { return ResolvePath(scriptPath_, ""); }

std::string AuthoringSession::FindSettingsPath() const {
    const std::string name = TextsOf(Kind()).settingsFile;
    if (!host_.settingsFolder.empty()) return ResolvePath(name, host_.settingsFolder);
    const std::string exe = ExecutableFolder();
    const std::string installed = ResolvePath(name, exe + "../share/qorvcd/");
    if (PathExists(installed)) return installed;
    return ResolvePath(name, exe);
}

// ---------------------------------------------------------------- outputs

// The outputs that cannot be written, or that would replace the script, a
// settings file or a file the script names, end the build before anything
// is created.
int AuthoringSession::CheckOutputsBeforeStart() {
    std::vector<NamedFile> outputs;
    if (WritesImage()) outputs.push_back({"the image", ResolvePath(imagePath_, "")});
    if (outputs_ != BuildOutputs::Image) {
        const std::string cue = CueSheetPathFor(ResolvePath(imagePath_, ""), outputs_);
        outputs.push_back({"the BIN", BinPathForCue(cue)});
        outputs.push_back({"the cue sheet", cue});
    }
    outputs.insert(outputs.end(), host_.otherOutputs.begin(), host_.otherOutputs.end());
    outputGuard_ = OutputGuard(outputs);
    if (const std::string problem = outputGuard_.CheckOutputs(); !problem.empty()) return RefuseOutputs(problem);
    std::vector<NamedFile> inputs;
    if (const std::string unreadable = FilesNamedByScript(ScriptFile(), context_.scriptFolder, inputs);
        !unreadable.empty()) {
        LogLine(Format("Can't open %s", scriptPath_.c_str()));
        LogLine(unreadable);
        return kStepFailed;
    }
    inputs.push_back({"the settings file", settingsPath_});
    const std::string problem = outputGuard_.CheckAgainst(inputs);
    return problem.empty() ? kOk : RefuseOutputs(problem);
}

int AuthoringSession::CheckWorkFolderOutputs() { return KeepOutputsOutside(privateWorkFolder_, "the work folder"); }

// The files the content steps found (tracks, segments, listed and application
// files), checked before the image is laid out.
int AuthoringSession::CheckOutputsAgainstContent() {
    const std::string problem = outputGuard_.CheckAgainst(ContentInputFiles());
    return problem.empty() ? kOk : RefuseOutputs(problem);
}

int AuthoringSession::KeepOutputsOutside(const std::string& folder, const std::string& what) {
    const std::string problem = outputGuard_.CheckOutside(folder, what);
    return problem.empty() ? kOk : RefuseOutputs(problem);
}

int AuthoringSession::RefuseOutputs(const std::string& reason) {
    LogLine(reason);
    LogLine(Format("Error 10000: Can't create file %s", ToLower(imagePath_).c_str()));
    return kCannotCreateImage;
}

// ---------------------------------------------------------------- work folder and files

// The work folder is a private folder inside <system folder>/TEMP/, so two
// builds at once never share work files; the clean-up removes it whole.
int AuthoringSession::PrepareWorkFolder() {
    std::string temp = SystemFolderOf(host_);
    if (!IsDirectory(temp)) {
        LogLine(Format("Error: the work folder %s does not exist (set by --work-dir, QORVCD_WORK_DIR or TMPDIR)",
                       temp.c_str()));
        return kCannotCreateImage;
    }
    if (temp.back() != '/') temp += '/';
    temp += "TEMP";
    temp = ResolvePath(temp, "");
    if (!IsDirectory(temp)) MakeDirectory(temp);
    const std::optional<std::string> folder = MakeUniqueDirectory(temp, "qorvcd-");
    if (!folder) {
        LogLine(Format("Error 10000: Can't create file %s", (temp + "/qorvcd-*").c_str()));
        return kCannotCreateImage;
    }
    privateWorkFolder_ = *folder;
    context_.workFolder = *folder + "/";
    if (context_.workFolder.size() + 1 > kWorkFolderField) {
        LogLine(Format("Error 10000: Too deep path, Exceed %d", int(kWorkFolderField)));
        return kStepFailed;
    }
    return kOk;
}

// The image is written under a temporary name beside its final path, so a
// failed build never changes what was at that path.
int AuthoringSession::CreateImageFiles() {
    if (const int created = CreateBinCue(); created != kOk) return created;
    if (!WritesImage()) {
        content_->image.WriteNoImageFile(binCue_->BinPath());
    } else {
        imageOutput_ = std::make_unique<PendingOutput>(ResolvePath(imagePath_, ""));
        imageExisted_ = File::Exists(imageOutput_->FinalPath());
    }
    if (imageOutput_ && (!imageOutput_->Create() || !content_->image.CreateImage(imageOutput_->TemporaryPath()))) {
        LogLine(Format("Error 10000: Can't create file %s", ToLower(imagePath_).c_str()));
        if (!imageOutput_->Error().empty()) LogLine("Error: " + imageOutput_->Error());
        return kCannotCreateImage;
    }
    LogLine(Format("%s is creating...", ToLower(imagePath_).c_str()));
    const std::string tail = context_.workFolder + "qortail.tmp";
    if (!content_->image.CreateTail(tail)) {
        LogLine(Format("Error 10000: Can't create file %s", tail.c_str()));
        return kCannotCreateImage;
    }
    return kOk;
}

// The BIN and the cue sheet are fed by the image writer as it goes, under
// temporary names like the image.
int AuthoringSession::CreateBinCue() {
    if (outputs_ == BuildOutputs::Image) return kOk;
    binCue_ = std::make_unique<BinCueWriter>(CueSheetPathFor(ResolvePath(imagePath_, ""), outputs_));
    if (!binCue_->Create()) {
        LogLine(Format("Error 10000: Can't create file %s", binCue_->BinPath().c_str()));
        LogLine("Error: " + binCue_->Error());
        return kCannotCreateImage;
    }
    content_->image.SetSectorSink(binCue_.get());
    return kOk;
}

int AuthoringSession::OpenProgressWindow() {
    progressWindow_ = std::make_unique<ProgressWindow>(host_.progress);
    if (!progressWindow_->Open()) {
        progressWindow_.reset();
        LogLine("Can't open the progress window");
        return kStepFailed;
    }
    context_.progress = progressWindow_.get();
    return kOk;
}

// ---------------------------------------------------------------- the ending

// Only the build's own temporary image is ever removed: a failure leaves the
// image path exactly as it was before the build.
void AuthoringSession::Ending() {
    LogRepaint();
    CleanUp();
    if (result_ == kOk) KeepImage();
    if (result_ != kOk) {
        if (imageOutput_ && !imageOutput_->Discard())
            LogLine(Format("Error: can't remove %s", imageOutput_->TemporaryPath().c_str()));
        imageOutput_.reset();
        if (binCue_ && !binCue_->Discard())
            LogLine(Format("Error: can't remove the temporary files of %s", binCue_->CuePath().c_str()));
        binCue_.reset();
        LogLine(">>> Fail <<<");
        context_.LogShowLast();
    }
}

// A Cancel that arrived after the layout's last poll still stops the image
// from taking its name.
void AuthoringSession::KeepImage() {
    if (!imageOutput_ && !binCue_) return;
    if (cancelLeftOver_ || (host_.progress && host_.progress->PumpPendingMessages())) {
        LogLine("Cancle by user");
        result_ = kCancelled;
        return;
    }
    if (imageOutput_ && !imageOutput_->Keep()) {
        LogLine(Format("Error 10000: Can't create file %s", ToLower(imagePath_).c_str()));
        LogLine("Error: " + imageOutput_->Error());
        result_ = kCannotCreateImage;
        return;
    }
    if (KeepBinCue()) return;
    // The build leaves all its outputs or none: a new image is taken back.
    if (imageOutput_ && !imageExisted_) File::Remove(imageOutput_->FinalPath());
    result_ = kCannotCreateImage;
}

bool AuthoringSession::KeepBinCue() {
    if (!binCue_ || binCue_->Keep()) return true;
    LogLine(Format("Error 10000: Can't create file %s", ToLower(binCue_->CuePath()).c_str()));
    LogLine("Error: " + binCue_->Error());
    return false;
}

// Every byte of the BIN and the cue sheet on the disk before any output takes
// its name.
void AuthoringSession::FinishBinCue() {
    if (!binCue_ || result_ != kOk || binCue_->Finish()) return;
    LogLine(Format("Error 10000: Can't write file %s", ToLower(binCue_->BinPath()).c_str()));
    LogLine("Error: " + binCue_->Error());
    result_ = kStepFailed;
}

// Releases everything the build owns, in a fixed order; running it twice does nothing.
void AuthoringSession::CleanUp() {
    // An image whose last writes could not reach the disk is no image.
    if (!content_->image.Close() && result_ == kOk) {
        LogLine(Format("Error 10000: Can't write file %s", ToLower(imagePath_).c_str()));
        result_ = kStepFailed;
    }
    FinishBinCue();
    ReleaseContent();  // script reader, tree, content lists, temporary stills
    progressWindow_.reset();
    context_.progress = nullptr;
    // A work folder that resists one removal gets a second try; one that
    // still stays makes the build a failure, never a success that leaves it.
    if (!privateWorkFolder_.empty()) {
        if (!RemoveTree(privateWorkFolder_) && !RemoveTree(privateWorkFolder_)) {
            LogLine(Format("Error: can't remove the work folder %s", privateWorkFolder_.c_str()));
            if (result_ == kOk) result_ = kStepFailed;
        }
        privateWorkFolder_.clear();
    }
}

}  // namespace qorvcd
