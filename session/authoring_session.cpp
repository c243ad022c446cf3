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

std::string SystemFolderOf(const BuildHost& host) {
    if (!host.systemFolder.empty()) return host.systemFolder;
    if (const char* env = std::getenv("QORVCD_WORK_DIR"); env && *env) return env;
    return TempFolder();
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

    if (!PrepareWorkFolder()) return;
    ResetContent(*this);

    if (!CreateDirectoryTree(*this)) {
        LogLine("Can't create tree struct");
        result = kStepFailed;
        return;
    }
    settingsPath_ = FindSettingsPath();
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
    if (!ReadTrackList(*this)) {
        result = kTrackListFailed;
        return;
    }
    if (IsSvcdFamily(Kind())) SetSearchIntervals(*this);
    if (result == kOk && ScriptWasRejected(*this)) result = kStepFailed;
    if (result != kOk) return;

    if (!ReadSegmentItems(*this)) {
        if (result == kCancelled) LogLine("Cancle by user");
        if (result == kOk) result = kStepFailed;
        return;
    }
    WriteScanAndSearchHeaders(*this);
    WriteInfoFiles(*this);
    if (result == kOk && ScriptWasRejected(*this)) result = kStepFailed;
    if (result != kOk) return;
    PlaceFiles(*this);
    if (result != kOk) return;

    progressWindow_.reset();  // the layout opens its own
    context_.progress = nullptr;
    LayOutImage(*this);
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
    if (temp.empty() || temp.back() != '/') temp += '/';
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

bool AuthoringSession::CreateImageFiles() {
    const std::string image = ResolvePath(imagePath_, "");
    if (!CreateImageFile(*this, image)) {
        LogLine(Format("Error 10000: Can't create file %s", ToLower(imagePath_).c_str()));
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

bool AuthoringSession::OpenProgressWindow() {
    progressWindow_ = std::make_unique<ProgressWindow>(host_.progress);
    if (!progressWindow_->Open()) {
        progressWindow_.reset();
        return false;
    }
    context_.progress = progressWindow_.get();
    return true;
}

void AuthoringSession::Ending() {
    LogRepaint();
    CleanUp();
    if (result != kOk) {
        const std::string image = ResolvePath(imagePath_, "");
        if (!image.empty() && File::Exists(image) && !IsDirectory(image)) File::Remove(image);
        LogLine(">>> Fail <<<");
        LogShowLast();
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
