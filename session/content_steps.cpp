#include "session/content_steps.h"

#include <cstring>

#include "apps/app_scan.h"
#include "apps/folder_lists.h"
#include "assembly/app_writer.h"
#include "assembly/layout.h"
#include "content/pbc_script.h"
#include "content/segment_items.h"
#include "content/track_list.h"
#include "image/container.h"
#include "infofiles/info_files.h"
#include "infofiles/scan_data.h"
#include "iso9660/dir_tree.h"
#include "iso9660/file_placement.h"
#include "iso9660/file_system_state.h"
#include "platform/paths.h"
#include "script/disc_settings.h"
#include "script/script_reader.h"
#include "session/authoring_session.h"

namespace qorvcd {

// What the build owns besides its log: the script reader, the image, the
// directory tree and the content lists.
struct SessionContent {
    std::unique_ptr<ScriptReader> scriptReader;
    ImageContainer image;
    std::unique_ptr<DirTree> tree;
    DirNode* scanDataNode = nullptr;
    std::string appFolder;  // resolved folder of the application files, or empty
    long appFileCount = 0;
    std::string trackIdPrefix;
    std::array<char, 8> entryId{};
    TrackList tracks;
    SegmentList segments;
    PbcScript pbc;
    ScanDataState scanData;
    FileSystemState fileSystem;
    uint8_t scanInterval = 0;    // SEARCH.DAT header's interval (SVCD kinds)
    uint8_t searchInterval = 0;  // step of the SEARCH points in half seconds
};

SessionContent* MakeSessionContent() { return new SessionContent(); }

void DestroySessionContent(SessionContent* content) { delete content; }

namespace {

std::string ResolvedScript(AuthoringSession& session) { return ResolvePath(session.ScriptPath(), ""); }

DirTree& Tree(AuthoringSession& session) { return *session.Content().tree; }

// Disc folders named as on the disc: "\DATA\SVCDDATA".
const char* ApplicationDataPath(DiscKind kind) {
    return kind == DiscKind::Svcd ? "\\DATA\\SVCDDATA" : "\\DATA\\VCD_DATA";
}

}  // namespace

// The clean-up's order: script reader, tree, SCANDATA work file, the content
// lists (the converted stills go with the segment list).
void ReleaseContent(AuthoringSession& session) {
    SessionContent& content = session.Content();
    if (content.scriptReader) {
        content.scriptReader->CloseScript();
        content.scriptReader.reset();
    }
    if (content.tree) {
        content.tree->ClearTree();
        content.tree.reset();
    }
    content.scanDataNode = nullptr;
    DiscardScanData(content.scanData);
    content.segments.Clear();
    content.tracks.Clear();
    content.pbc.Clear();
}

bool CloseImageFiles(AuthoringSession& session) { return session.Content().image.Close(); }

int ReadDiscModeOf(AuthoringSession& session) {
    return ReadDiscMode(ResolvedScript(session), session.Context().showMessage);
}

void ResetContent(AuthoringSession& session) {
    SessionContent& content = session.Content();
    const DiscKind kind = session.Kind();
    content.trackIdPrefix = TrackIdPrefix(kind);
    const char* id = kind == DiscKind::Svcd ? "ENTRYSVD" : "ENTRYVCD";
    std::memcpy(content.entryId.data(), id, content.entryId.size());
    content.image.SetDiscKind(kind);
    if (HasScanData(kind)) CreateScanData(content.scanData, session.Context());
}

void CreateDirectoryTree(AuthoringSession& session) {
    session.Content().tree = std::make_unique<DirTree>(&session.Context());
}

void ReadSuperVcdEntryId(AuthoringSession& session) {
    char id[8];
    std::memcpy(id, session.Content().entryId.data(), sizeof id);
    ReadEntryIdentifier(session.SettingsPath(), session.Context(), id);
    std::memcpy(session.Content().entryId.data(), id, sizeof id);
}

bool ReadSettingsFolderLists(AuthoringSession& session) {
    return ReadFolderLists(session.SettingsPath(), FolderListMode::Init, Tree(session), session.Context());
}

void AddScanDataNode(AuthoringSession& session) {
    DirTree& tree = Tree(session);
    if (!tree.ChangeDir("\\EXT")) return;
    tree.AddFile("SCANDATA.DAT", NodeKind::Form1File, NodeFlag::Plain, 0);
    const DirNode* ext = DirTree::FindChild("EXT", tree.Root());
    session.Content().scanDataNode = ext ? DirTree::FindChild("SCANDATA.DAT", ext) : nullptr;
}

bool TreeHasRoot(AuthoringSession& session) {
    return session.Content().tree && session.Content().tree->Root() != nullptr;
}

bool ExpandScriptFolderLists(AuthoringSession& session) {
    return ReadFolderLists(ResolvedScript(session), FolderListMode::Expand, Tree(session),
                           session.Context());
}

bool OpenScriptReader(AuthoringSession& session) {
    auto reader = std::make_unique<ScriptReader>(session.Context().showMessage);
    if (!reader->OpenScript(ResolvedScript(session))) return false;
    session.Content().scriptReader = std::move(reader);
    return true;
}

// A word the reader had to reject leaves the script half read: whatever the
// section's reader made of it, the build must not pass as good.
bool ScriptWasRejected(AuthoringSession& session) {
    const ScriptReader* reader = session.Content().scriptReader.get();
    if (!reader || reader->RejectReason().empty()) return false;
    session.LogLine("Error: " + reader->RejectReason());
    return true;
}

bool CreateImageFile(AuthoringSession& session, const std::string& path) {
    return session.Content().image.CreateImage(path);
}

bool CreateTailFile(AuthoringSession& session, const std::string& path) {
    return session.Content().image.CreateTail(path);
}

// The [VCD30] application folder: its files are scanned into the data folder.
// False when the build must end at once; a scan that stopped on a bad name or
// a Cancel leaves its result for the check after the track list.
bool ReadApplications(AuthoringSession& session) {
    SessionContent& content = session.Content();
    const BuildContext& ctx = session.Context();
    const DiscKind kind = session.Kind();
    ApplicationFolder app;
    if (!ReadApplicationFolder(*content.scriptReader, ctx, app)) {
        session.result = kStepFailed;
        return false;
    }
    if (app.folder.empty()) {
        session.LogLine(std::string(IsSvcdFamily(kind) ? "Kavo" : "VCD3.0") +
                        " application files don't be defined");
        return true;
    }
    session.LogLine(std::string("Appending ") + (kind == DiscKind::Svcd ? "Kavo" : "VCD3.0") +
                    Format(" application files from %s...", app.folder.c_str()));
    DirTree& tree = Tree(session);
    if (!tree.ChangeDir(ApplicationDataPath(kind))) {
        session.result = kStepFailed;
        return false;
    }
    const std::string folder = ctx.ResolveScriptPath(app.folder);
    if (!IsDirectory(folder)) {
        session.LogLine(Format("Error 10003:Can't read directionary %s", app.folder.c_str()));
        session.result = kStepFailed;
        return false;
    }
    const DirNode* data = DirTree::FindChild("DATA", tree.Root());
    if (!data) {
        session.LogLine(std::string("\\DATA\\") + (IsSvcdFamily(kind) ? "S" : "") + "VCD_DATA don't found");
        session.result = kAppDataFolderMissing;
        return false;
    }
    // The image must not be among the files the scan takes.
    if (!session.KeepOutputsOutside(folder, "the application folder")) return false;
    content.appFolder = folder;
    const ScanOutcome scan = ScanApplicationFiles(folder, tree, ctx);
    session.result = scan.result;
    content.appFileCount = scan.fileCount;
    session.LogLine(" ");
    session.LogLine(Format("Total found file %ld", content.appFileCount));
    session.LogShowLast();
    return true;
}

// SVCD control files that the session adds with their fixed sizes.
void AddSvcdControlNodes(AuthoringSession& session) {
    DirTree& tree = Tree(session);
    if (!tree.ChangeDir("\\SVCD")) return;
    tree.AddFile("SEARCH.DAT", NodeKind::Form1File, NodeFlag::Plain, 100352);
    tree.AddFile("TRACKS.SVD", NodeKind::Form1File, NodeFlag::Plain, 2048);
    tree.AddFile("SPICONTX.SVD", NodeKind::Form1File, NodeFlag::Plain, 4096);
}

int ReadTrackList(AuthoringSession& session) {
    return ReadTrackList(*session.Content().scriptReader, session.Context(), session.Content().tracks);
}

void SetSearchIntervals(AuthoringSession& session) {
    session.Content().scanInterval = 1;
    session.Content().searchInterval = 1;
}

int ReadSegmentItems(AuthoringSession& session) {
    return ReadSegmentItems(*session.Content().scriptReader, session.Context(), session.Content().segments);
}

int WriteScanAndSearchHeaders(AuthoringSession& session) {
    SessionContent& content = session.Content();
    const DiscKind kind = session.Kind();
    if (HasScanData(kind) && content.scanData.IsOpen()) {
        std::vector<uint32_t> durations;
        for (const TrackEntry& t : content.tracks.Entries()) durations.push_back(t.duration);
        std::string error;
        if (!WriteScanTrackTimes(content.scanData, durations, error)) {
            session.LogLine(error);
            return kStepFailed;
        }
    }
    if (IsSvcdFamily(kind) &&
        !WriteSearchHeader(session.Context(), content.tracks.TotalPlayingTime(), content.scanInterval)) {
        return kStepFailed;
    }
    return kOk;
}

int WriteInfoFiles(AuthoringSession& session) {
    SessionContent& content = session.Content();
    InfoFilesJob job;
    job.script = content.scriptReader.get();
    job.tree = content.tree.get();
    job.tracks = &content.tracks;
    job.segments = &content.segments;
    job.pbc = &content.pbc;
    job.entryId = content.entryId;
    job.scanData = &content.scanData;
    return WriteInfoFiles(session.Context(), job);
}

int PlaceFiles(AuthoringSession& session) {
    SessionContent& content = session.Content();
    return PlaceFiles(*content.tree, session.Context(), content.tracks.Entries(), content.trackIdPrefix,
                      content.segments.Items(), content.fileSystem);
}

int LayOutImage(AuthoringSession& session) {
    SessionContent& content = session.Content();
    LayoutInputs in{.ctx = session.Context(),
                    .image = content.image,
                    .tree = *content.tree,
                    .fs = content.fileSystem,
                    .tracks = content.tracks.Entries(),
                    .segments = content.segments,
                    .script = content.scriptReader.get(),
                    .makeProgressWindow = session.ProgressWindowMaker(),
                    .scanData = &content.scanData,
                    .apps = {.appFolder = content.appFolder, .scanDataNode = content.scanDataNode}};
    return LayOutImage(in);
}

namespace {

void AddTreeSources(const DirNode* dir, std::vector<NamedFile>& files) {
    ForEachChild(dir, [&](const DirNode* node) {
        if (node->IsDirectory()) AddTreeSources(node, files);
        else if (node->sourceFolder) files.push_back({"the listed file", ResolvePath(*node->sourceFolder + node->name, "")});
    });
}

}  // namespace

std::vector<NamedFile> ContentInputFiles(AuthoringSession& session) {
    SessionContent& content = session.Content();
    std::vector<NamedFile> files;
    for (const TrackEntry& track : content.tracks.Entries()) {
        files.push_back({"the track file", track.path});
        files.push_back({"the side file", ResolvePath(SideFilePathOf(track.path), "")});
    }
    for (const SegmentItem& item : content.segments.Items()) files.push_back({"the segment file", item.fileName});
    if (content.tree) AddTreeSources(content.tree->Root(), files);
    return files;
}

}  // namespace qorvcd
