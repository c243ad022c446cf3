#include "session/content_steps.h"

#include <cstring>

#include "platform/paths.h"
#include "script/disc_settings.h"
#include "script/script_reader.h"
#include "session/authoring_session.h"

namespace qorvcd {

// What the build owns besides its files: the script reader, the directory
// tree and the content lists.
struct SessionContent {
    std::unique_ptr<ScriptReader> scriptReader;
    char entryId[8] = {};
};

SessionContent* MakeSessionContent() { return new SessionContent(); }

void DestroySessionContent(SessionContent* content) { delete content; }

namespace {

// A step whose subsystem is not part of this build yet: it fails the build
// with a line that says what is missing, never a silent success.
bool NotBuiltYet(AuthoringSession& session, const char* what) {
    session.LogLine(Format("Error: %s is not built yet", what));
    return false;
}

std::string ResolvedScript(AuthoringSession& session) {
    return ResolvePath(session.ScriptPath(), "");
}

}  // namespace

void ReleaseContent(AuthoringSession& session) {
    SessionContent& content = session.Content();
    if (content.scriptReader) {
        content.scriptReader->CloseScript();
        content.scriptReader.reset();
    }
}

int ReadDiscModeOf(AuthoringSession& session) {
    return ReadDiscMode(ResolvedScript(session), session.Context().showMessage);
}

void ResetContent(AuthoringSession& session) {
    SessionContent& content = session.Content();
    const char* id = session.Kind() == DiscKind::Svcd ? "ENTRYSVD" : "ENTRYVCD";
    std::memcpy(content.entryId, id, sizeof content.entryId);
}

bool CreateDirectoryTree(AuthoringSession& session) { return NotBuiltYet(session, "the directory tree"); }

void ReadSuperVcdEntryId(AuthoringSession& session) {
    ReadEntryIdentifier(session.SettingsPath(), session.Context(), session.Content().entryId);
}

bool ReadSettingsFolderLists(AuthoringSession& session) { return NotBuiltYet(session, "reading folder lists"); }
void AddScanDataNode(AuthoringSession& session) { NotBuiltYet(session, "the SCANDATA node"); }
bool TreeHasRoot(AuthoringSession&) { return false; }
bool ExpandScriptFolderLists(AuthoringSession& session) { return NotBuiltYet(session, "reading folder lists"); }

bool OpenScriptReader(AuthoringSession& session) {
    auto reader = std::make_unique<ScriptReader>(session.Context().showMessage);
    if (!reader->OpenScript(ResolvedScript(session))) return false;
    session.Content().scriptReader = std::move(reader);
    return true;
}

void ReadApplications(AuthoringSession& session) {
    NotBuiltYet(session, "the application section");
    session.result = AuthoringSession::kStepFailed;
}
void AddSvcdControlNodes(AuthoringSession& session) { NotBuiltYet(session, "the SVCD control files"); }
bool ReadTrackList(AuthoringSession& session) { return NotBuiltYet(session, "the track list"); }
void SetSearchIntervals(AuthoringSession&) {}
bool ReadSegmentItems(AuthoringSession& session) { return NotBuiltYet(session, "the segment items"); }
void WriteScanAndSearchHeaders(AuthoringSession&) {}
void WriteInfoFiles(AuthoringSession& session) {
    NotBuiltYet(session, "the information files");
    session.result = AuthoringSession::kStepFailed;
}
void PlaceFiles(AuthoringSession& session) {
    NotBuiltYet(session, "file placement");
    session.result = AuthoringSession::kStepFailed;
}
void LayOutImage(AuthoringSession& session) {
    NotBuiltYet(session, "the image layout");
    session.result = AuthoringSession::kStepFailed;
}

}  // namespace qorvcd
