// One build of one disc image: a pipeline of steps run in a fixed order. Each
// step returns kOk to go on or the result that ends the build (having logged
// why); the ending (clean-up, the image kept or dropped, ">>> Fail <<<") runs
// on every path. Private to the session: hosts call Build (session/qorvcd.h).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/build_context.h"
#include "core/results.h"
#include "platform/log_list.h"
#include "platform/outputs.h"
#include "session/output_guard.h"
#include "session/qorvcd.h"

namespace qorvcd {

struct SessionContent;
class BinCueWriter;

class AuthoringSession {
public:
    // The work folder's path, terminator included, must fit this many bytes.
    static constexpr size_t kWorkFolderField = 228;

    AuthoringSession(const BuildRequest& request, LogList* log, const BuildHost& host);
    ~AuthoringSession();
    AuthoringSession(const AuthoringSession&) = delete;
    AuthoringSession& operator=(const AuthoringSession&) = delete;

    // Runs the steps until one fails, then the ending; returns the result.
    int Run();

private:
    using Step = int (AuthoringSession::*)();
    static const Step kSteps[];

    // The steps, in the order they run.
    int StartLog();
    int CheckOutputsBeforeStart();
    int PrepareWorkFolder();
    int CheckWorkFolderOutputs();
    int ResetContent();
    int ReadSettingsFolderLists();
    int ExpandScriptFolderLists();
    int OpenScriptReader();
    int LintScript();
    int CreateImageFiles();
    int OpenProgressWindow();
    int ReadApplications();
    int AddSvcdControlNodes();
    int ReadTrackList();
    int ReadSegmentItems();
    int WriteControlWorkFiles();
    int PlaceFiles();
    int CheckOutputsAgainstContent();
    int WarnUnreachedContent();
    int CheckCapacity();
    int CheckDiscNamesInDryRun();
    int LayOutImage();

    // Helpers of the steps.
    DiscKind Kind() const { return context_.kind; }
    void LogLine(const std::string& line) { context_.LogLine(line); }
    void LogRepaint() { if (log_) log_->Repaint(); }
    std::string ScriptFile() const;
    std::string FindSettingsPath() const;
    bool ScriptWasRejected();
    int WriteScanAndSearchHeaders();
    bool WriteStandardSearchHeader();
    int WriteInfoFiles();
    int KeepOutputsOutside(const std::string& folder, const std::string& what);
    int RefuseOutputs(const std::string& reason);
    int CreateBinCue();
    bool WritesImage() const { return outputs_ != BuildOutputs::BinCueOnly; }
    std::vector<NamedFile> ContentInputFiles() const;

    // The ending.
    void Ending();
    void KeepImage();
    bool KeepBinCue();
    void FinishBinCue();
    void CleanUp();
    void ReleaseContent();

    char* imagePathBuffer_;   // the caller's buffers, lowered in place for the log
    char* scriptPathBuffer_;
    DiscKind fallbackKind_;
    bool checkOnly_;
    BuildOutputs outputs_;
    LogList* log_;
    BuildHost host_;
    BuildContext context_;
    int result_ = kOk;
    int deferredResult_ = kOk;  // the application scan's, taken after the track list
    bool cancelLeftOver_ = false;  // a Cancel the layout's window took no more notice of
    std::string imagePath_;     // as the caller gave it (lowered only for the log)
    std::string scriptPath_;
    std::string settingsPath_;
    std::string privateWorkFolder_;  // removed at the clean-up
    OutputGuard outputGuard_;
    std::unique_ptr<PendingOutput> imageOutput_;  // the image until it is kept
    bool imageExisted_ = false;                   // a file was at the image path before
    std::unique_ptr<BinCueWriter> binCue_;        // the BIN and cue sheet until kept
    std::unique_ptr<ProgressWindow> progressWindow_;
    std::unique_ptr<SessionContent> content_;
};

}  // namespace qorvcd
