#include "session/authoring_session.h"

#include <cstring>
#include <exception>

#include "platform/paths.h"
#include "session/content_steps.h"

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

AuthoringSession::AuthoringSession(char* imagePath, char* scriptPath, LogList* log,
                                   DiscKind fallbackKind, const BuildHost& host)
    : log_(log), host_(host) {
    context_.log = log;
    context_.showMessage = host.showMessage;
    context_.clock = host.fixedTime ? Clock::Fixed(*host.fixedTime) : Clock::FromEnvironment();
    imagePath_ = imagePath ? imagePath : "";
    scriptPath_ = scriptPath ? scriptPath : "";
    context_.scriptFolder = FolderOf(ResolvePath(scriptPath_, ""));
    content_.reset(MakeSessionContent());
    try {
        Build(imagePath, scriptPath, fallbackKind);
    } catch (const std::exception& e) {
        LogLine(Format("Error: %s", e.what()));
        if (result == kOk) result = kStepFailed;
    } catch (...) {
        LogLine("Error: unexpected failure");
        if (result == kOk) result = kStepFailed;
    }
    Ending();
}

AuthoringSession::~AuthoringSession() = default;

void AuthoringSession::ContentDeleter::operator()(SessionContent* c) const { DestroySessionContent(c); }

// The build, step by step; a failed step returns to the constructor, which
// runs the ending.
void AuthoringSession::Build(char* imagePathBuffer, char* scriptPathBuffer, DiscKind fallbackKind) {
    LogRepaint();
    ChooseDiscKind(fallbackKind);
    WriteHeaderLines(imagePathBuffer, scriptPathBuffer);
    LogLine(std::string(TextsOf(Kind()).frameLabel) + " Frame building...");
    LogRepaint();

    settingsPath_ = FindSettingsPath();
    if (!CheckOutputsBeforeStart()) return;
    if (!PrepareWorkFolder()) return;
    if (!KeepOutputsOutside(privateWorkFolder_, "the work folder")) return;
    ResetContent(*this);

    CreateDirectoryTree(*this);
    if (Kind() == DiscKind::SuperVcd) ReadSuperVcdEntryId(*this);
    if (!ReadSettingsFolderLists(*this)) {
        result = kStepFailed;
        return;
    }
    LogLine(Format("Init Directory tree from %s OK.", settingsPath_.c_str()));
    if (HasScanData(Kind())) AddScanDataNode(*this);
    LogRepaint();
    if (!TreeHasRoot(*this)) {
        result = kStepFailed;
        return;
    }
    if (!ExpandScriptFolderLists(*this)) {
        result = kStepFailed;
        return;
    }
    LogLine(Format("Expand Directory tree from %s OK.", scriptPath_.c_str()));
    LogRepaint();

    if (!OpenScriptReader(*this)) {
        LogLine(Format("Can't open %s", scriptPath_.c_str()));
        result = kStepFailed;
        return;
    }
    if (!CreateImageFiles()) return;
    if (!OpenProgressWindow()) {
        LogLine("Can't open the progress window");
        result = kStepFailed;
        return;
    }
    if (Kind() != DiscKind::Cvd && !ReadApplications(*this)) return;
    if (IsSvcdFamily(Kind())) AddSvcdControlNodes(*this);

    LogRepaint();
    // Whatever the track list's own code, the build ends with kTrackListFailed.
    if (ReadTrackList(*this) != kOk) {
        result = kTrackListFailed;
        return;
    }
    if (IsSvcdFamily(Kind())) SetSearchIntervals(*this);
    if (result == kOk && ScriptWasRejected(*this)) result = kStepFailed;
    if (result != kOk) return;

    result = ReadSegmentItems(*this);
    if (result != kOk) {
        if (result == kCancelled) LogLine("Cancle by user");
        return;
    }
    result = WriteScanAndSearchHeaders(*this);
    // The info files are written even after a failed header; their own failure wins.
    if (const int info = WriteInfoFiles(*this); info != kOk) result = info;
    if (result == kOk && ScriptWasRejected(*this)) result = kStepFailed;
    if (result != kOk) return;
    result = PlaceFiles(*this);
    if (result != kOk) return;
    if (!CheckOutputsAgainstContent()) return;

    progressWindow_.reset();  // the layout opens its own
    context_.progress = nullptr;
    result = LayOutImage(*this);
    LogShowLast();
}

void AuthoringSession::ChooseDiscKind(DiscKind fallbackKind) {
    const int mode = ReadDiscModeOf(*this);
    context_.kind = mode < 0 ? fallbackKind : DiscKind(mode);
}

void AuthoringSession::WriteHeaderLines(char* imagePathBuffer, char* scriptPathBuffer) {
    if (log_) log_->Reset();
    LogLine(std::string("---------- ") + TextsOf(Kind()).headerLabel + " CD-R disc image ----------");
    LogLine("Creating CD-Creator software disc image...");
    // The caller's buffers are lowered as the log shows them; the files
    // themselves keep the case the caller gave (case matters on this platform).
    LowerInPlace(scriptPathBuffer);
    LowerInPlace(imagePathBuffer);
    LogLine(Format("Make %s via %s", ToLower(imagePath_).c_str(), ToLower(scriptPath_).c_str()));
}

// The work folder is a private folder inside <system folder>/TEMP/, so two
// builds at once never share work files; the clean-up removes it whole.
bool AuthoringSession::PrepareWorkFolder() {
    std::string temp = SystemFolderOf(host_);
    if (!IsDirectory(temp)) {
        LogLine(Format("Error: the work folder %s does not exist (set by --work-dir, QORVCD_WORK_DIR or TMPDIR)",
                       temp.c_str()));
        result = kCannotCreateImage;
        return false;
    }
    if (temp.back() != '/') temp += '/';
    temp += "TEMP";
    temp = ResolvePath(temp, "");
    if (!IsDirectory(temp)) MakeDirectory(temp);
    const std::optional<std::string> folder = MakeUniqueDirectory(temp, "qorvcd-");
    if (!folder) {
        LogLine(Format("Error 10000: Can't create file %s", (temp + "/qorvcd-*").c_str()));
        result = kCannotCreateImage;
        return false;
    }
    privateWorkFolder_ = *folder;
    context_.workFolder = *folder + "/";
    if (context_.workFolder.size() + 1 > kWorkFolderField) {
        LogLine(Format("Error 10000: Too deep path, Exceed %d", int(kWorkFolderField)));
        result = kStepFailed;
        return false;
    }
    return true;
}

std::string AuthoringSession::FindSettingsPath() const {
    const std::string name = TextsOf(Kind()).settingsFile;
    if (!host_.settingsFolder.empty()) return ResolvePath(name, host_.settingsFolder);
    const std::string exe = ExecutableFolder();
    const std::string installed = ResolvePath(name, exe + "../share/qorvcd/");
    if (PathExists(installed)) return installed;
    return ResolvePath(name, exe);
}

// The outputs that cannot be written, or that would replace the script, a
// settings file or a file the script names, end the build before anything
// is created.
bool AuthoringSession::CheckOutputsBeforeStart() {
    std::vector<NamedFile> outputs{{"the image", ResolvePath(imagePath_, "")}};
    outputs.insert(outputs.end(), host_.otherOutputs.begin(), host_.otherOutputs.end());
    outputGuard_ = OutputGuard(outputs);
    std::string problem = outputGuard_.CheckOutputs();
    if (problem.empty()) {
        std::vector<NamedFile> inputs = FilesNamedByScript(ResolvePath(scriptPath_, ""), context_.scriptFolder);
        inputs.push_back({"the settings file", settingsPath_});
        problem = outputGuard_.CheckAgainst(inputs);
    }
    return problem.empty() || RefuseOutputs(problem);
}

// The files the content steps found (tracks, segments, listed and application
// files), checked before the image is laid out.
bool AuthoringSession::CheckOutputsAgainstContent() {
    const std::string problem = outputGuard_.CheckAgainst(ContentInputFiles(*this));
    return problem.empty() || RefuseOutputs(problem);
}

bool AuthoringSession::KeepOutputsOutside(const std::string& folder, const std::string& what) {
    const std::string problem = outputGuard_.CheckOutside(folder, what);
    return problem.empty() || RefuseOutputs(problem);
}

bool AuthoringSession::RefuseOutputs(const std::string& reason) {
    LogLine(reason);
    LogLine(Format("Error 10000: Can't create file %s", ToLower(imagePath_).c_str()));
    result = kCannotCreateImage;
    return false;
}

// The image is written under a temporary name beside its final path, so a
// failed build never changes what was at that path.
bool AuthoringSession::CreateImageFiles() {
    imageOutput_ = std::make_unique<PendingOutput>(ResolvePath(imagePath_, ""));
    if (!imageOutput_->Create() || !CreateImageFile(*this, imageOutput_->TemporaryPath())) {
        LogLine(Format("Error 10000: Can't create file %s", ToLower(imagePath_).c_str()));
        if (!imageOutput_->Error().empty()) LogLine("Error: " + imageOutput_->Error());
        result = kCannotCreateImage;
        return false;
    }
    LogLine(Format("%s is creating...", ToLower(imagePath_).c_str()));
    const std::string tail = context_.workFolder + "qortail.tmp";
    if (!CreateTailFile(*this, tail)) {
        LogLine(Format("Error 10000: Can't create file %s", tail.c_str()));
        result = kCannotCreateImage;
        return false;
    }
    return true;
}

ProgressWindowFactory AuthoringSession::ProgressWindowMaker() const {
    return [sink = host_.progress] { return std::make_unique<ProgressWindow>(sink); };
}

bool AuthoringSession::OpenProgressWindow() {
    progressWindow_ = std::make_unique<ProgressWindow>(host_.progress);
    if (!progressWindow_->Open()) {
        progressWindow_.reset();
        return false;
    }
    context_.progress = progressWindow_.get();
    return true;
}

// Only the build's own temporary image is ever removed: a failure leaves the
// image path exactly as it was before the build.
void AuthoringSession::Ending() {
    LogRepaint();
    CleanUp();
    if (result == kOk) KeepImage();
    if (result != kOk) {
        imageOutput_.reset();
        LogLine(">>> Fail <<<");
        LogShowLast();
    }
}

// A Cancel that arrived after the layout's last poll still stops the image
// from taking its name.
void AuthoringSession::KeepImage() {
    if (!imageOutput_) return;
    if (host_.progress && host_.progress->PumpPendingMessages()) {
        LogLine("Cancle by user");
        result = kCancelled;
        return;
    }
    if (!imageOutput_->Keep()) {
        LogLine(Format("Error 10000: Can't create file %s", ToLower(imagePath_).c_str()));
        LogLine("Error: " + imageOutput_->Error());
        result = kCannotCreateImage;
    }
}

// Releases everything the build owns, in a fixed order; running it twice does nothing.
void AuthoringSession::CleanUp() {
    // An image whose last writes could not reach the disk is no image.
    if (!CloseImageFiles(*this) && result == kOk) {
        LogLine(Format("Error 10000: Can't write file %s", ToLower(imagePath_).c_str()));
        result = kStepFailed;
    }
    ReleaseContent(*this);  // script reader, tree, content lists, temporary stills
    progressWindow_.reset();
    context_.progress = nullptr;
    if (!privateWorkFolder_.empty()) {
        RemoveTree(privateWorkFolder_);
        privateWorkFolder_.clear();
    }
}

}  // namespace qorvcd
