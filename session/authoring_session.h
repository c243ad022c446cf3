// One build of one disc image. The construction performs the whole build, in
// a fixed order of steps, and leaves the outcome in `result`; the clean-up runs
// inside the construction on every path, so the destructor has nothing left to do.
#pragma once

#include <memory>
#include <string>

#include "core/build_context.h"
#include "core/disc_kind.h"
#include "core/results.h"
#include "platform/file.h"
#include "platform/log_list.h"
#include "platform/outputs.h"
#include "session/output_guard.h"
#include "session/qorvcd.h"

namespace qorvcd {

struct SessionContent;

class AuthoringSession {
public:
    // The work folder's path, terminator included, must fit this many bytes.
    static constexpr size_t kWorkFolderField = 228;

    AuthoringSession(char* imagePath, char* scriptPath, LogList* log, DiscKind fallbackKind,
                     const BuildHost& host);
    ~AuthoringSession();
    AuthoringSession(const AuthoringSession&) = delete;
    AuthoringSession& operator=(const AuthoringSession&) = delete;

    int result = kOk;  // the build's result code (core/results.h), read by the caller

    DiscKind Kind() const { return context_.kind; }
    const BuildContext& Context() const { return context_; }
    BuildContext& Context() { return context_; }
    const std::string& ImagePath() const { return imagePath_; }
    const std::string& ScriptPath() const { return scriptPath_; }
    const std::string& SettingsPath() const { return settingsPath_; }
    // Makes windows that show on the host's progress sink.
    ProgressWindowFactory ProgressWindowMaker() const;
    SessionContent& Content() { return *content_; }
    ProgressWindow* Progress() { return progressWindow_.get(); }

    void LogLine(const std::string& line) { context_.LogLine(line); }
    void LogShowLast() { context_.LogShowLast(); }
    void LogRepaint() { if (log_) log_->Repaint(); }
    // Ends the build (result 200, with the reason) when an output lies
    // inside `folder`; false then.
    bool KeepOutputsOutside(const std::string& folder, const std::string& what);

private:
    void Build(char* imagePathBuffer, char* scriptPathBuffer, DiscKind fallbackKind);
    void ChooseDiscKind(DiscKind fallbackKind);
    void WriteHeaderLines(char* imagePathBuffer, char* scriptPathBuffer);
    bool PrepareWorkFolder();
    bool CheckOutputsBeforeStart();
    bool CheckOutputsAgainstContent();
    bool RefuseOutputs(const std::string& reason);
    void KeepImage();
    std::string FindSettingsPath() const;
    bool CreateImageFiles();
    bool OpenProgressWindow();
    void DeleteWorkCopies();
    void Ending();
    void CleanUp();

    LogList* log_;
    BuildHost host_;
    BuildContext context_;
    std::string imagePath_;     // as the caller gave it (lowered only for the log)
    std::string scriptPath_;
    std::string settingsPath_;
    std::string privateWorkFolder_;  // removed at the clean-up
    OutputGuard outputGuard_;
    std::unique_ptr<PendingOutput> imageOutput_;  // the image until it is kept
    std::unique_ptr<ProgressWindow> progressWindow_;
    struct ContentDeleter {
        void operator()(SessionContent* c) const;
    };
    std::unique_ptr<SessionContent, ContentDeleter> content_;
};

}  // namespace qorvcd
