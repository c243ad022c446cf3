// The steps of a build that call into the subsystems: the settings and the
// script's folder lists, the application folder, the content lists, the
// control work files, the placement and the layout.
#include <cstring>

#include "apps/app_scan.h"
#include "apps/folder_lists.h"
#include "assembly/app_writer.h"
#include "assembly/directory_writer.h"
#include "assembly/layout.h"
#include "infofiles/info_files.h"
#include "infofiles/search_record.h"
#include "iso9660/file_placement.h"
#include "iso9660/track_folder.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "content/pbc_reach.h"
#include "script/script_lint.h"
#include "script/disc_settings.h"
#include "session/authoring_session_p.h"
#include "session/session_content_p.h"

namespace qorvcd {

namespace {

// Disc folders named as on the disc: "\DATA\SVCDDATA".
const char* ApplicationDataPath(DiscKind kind) {
    return kind == DiscKind::Svcd ? "\\DATA\\SVCDDATA" : "\\DATA\\VCD_DATA";
}

void AddTreeSources(const DirNode* dir, std::vector<NamedFile>& files) {
    ForEachChild(dir, [&](const DirNode* node) {
        if (node->IsDirectory()) AddTreeSources(node, files);
        else if (node->sourceFolder) files.push_back({"the listed file", ResolvePath(*node->sourceFolder + node->name, "")});
    });
}

}  // namespace

// Lists, counters, identifiers and, for the CVD kinds, the SCANDATA work file.
int AuthoringSession::ResetContent() {
    const DiscKind kind = Kind();
    content_->trackIdPrefix = TrackIdPrefix(kind);
    const char* id = EntriesIdentifier(kind, context_.standard);
    std::memcpy(content_->entryId.data(), id, content_->entryId.size());
    content_->image.SetDiscKind(kind);
    if (HasScanData(kind)) CreateScanData(content_->scanData, context_);
    return kOk;
}

// An empty tree, the settings file's folder lists in it and, for the CVD
// kinds, the SCANDATA.DAT node.
int AuthoringSession::ReadSettingsFolderLists() {
    content_->tree = std::make_unique<DirTree>(&context_);
    DirTree& tree = *content_->tree;
    if (Kind() == DiscKind::SuperVcd) {
        char id[8];
        std::memcpy(id, content_->entryId.data(), sizeof id);
        if (!ReadEntryIdentifier(settingsPath_, context_, id)) return kStepFailed;
        std::memcpy(content_->entryId.data(), id, sizeof id);
    }
    if (!ReadFolderLists(settingsPath_, FolderListMode::Init, tree, context_)) return kStepFailed;
    // The standard SVCD keeps its tracks in \MPEG2, where the settings file
    // of this format declares \MPEGAV.
    if (Kind() == DiscKind::Svcd && context_.standard && tree.Root()) {
        tree.RenameChild(tree.Root(), kMpegAvFolder, TrackFolderName(Kind(), true));
    }
    LogLine(Format("Init Directory tree from %s OK.", settingsPath_.c_str()));
    if (HasScanData(Kind()) && tree.ChangeDir("\\EXT")) {
        tree.AddFile("SCANDATA.DAT", NodeKind::Form1File, NodeFlag::Plain, 0);
        const DirNode* ext = DirTree::FindChild("EXT", tree.Root());
        content_->scanDataNode = ext ? DirTree::FindChild("SCANDATA.DAT", ext) : nullptr;
    }
    LogRepaint();
    return tree.Root() ? kOk : kStepFailed;
}

int AuthoringSession::ExpandScriptFolderLists() {
    if (!ReadFolderLists(ScriptFile(), FolderListMode::Expand, *content_->tree, context_)) return kStepFailed;
    LogLine(Format("Expand Directory tree from %s OK.", scriptPath_.c_str()));
    LogRepaint();
    return kOk;
}

int AuthoringSession::OpenScriptReader() {
    auto reader = std::make_unique<ScriptReader>(context_.showMessage);
    if (!reader->OpenScript(ScriptFile())) {
        if (!reader->OpenError().empty()) LogLine("Error: " + reader->OpenError());
        context_.Report(Severity::Error, Format("Can't open %s", scriptPath_.c_str()), 0);
        LogLine(Format("Can't open %s", scriptPath_.c_str()));
        if (!reader->OpenError().empty()) LogLine("Error: " + reader->OpenError());
        return kStepFailed;
    }
    reader->SetDisplayName(scriptPath_);
    content_->scriptReader = std::move(reader);
    context_.position = content_->scriptReader.get();
    return kOk;
}

// What the build passes over in silence (an unknown section or keyword, a
// MODE or VERSION that does not fit) is told to a host that takes diagnostics.
int AuthoringSession::LintScript() {
    if (!context_.diagnostics) return kOk;
    qorvcd::LintScript(ScriptFile(), LintFacts{.kind = Kind(), .displayName = scriptPath_}, context_.diagnostics);
    return kOk;
}

int AuthoringSession::WarnUnreachedContent() {
    if (context_.diagnostics) ReportUnreachedContent(content_->pbc, content_->tracks, content_->segments, context_);
    return kOk;
}

namespace {

// Sectors the disc takes, near enough to compare with a capacity: every unit
// of a track or segment file is one sector; track 1's file system and each
// track's gaps are counted at their usual sizes. A track that cannot be
// opened is named in `unreadable` (the estimate would be too small).
uint64_t EstimatedDiscSectors(const TrackList& tracks, const SegmentList& segments, std::string* unreadable) {
    constexpr uint64_t kTrackOneSectors = 1000;
    constexpr uint64_t kTrackGapSectors = 300;
    uint64_t sectors = kTrackOneSectors;
    for (const TrackEntry& track : tracks.Entries()) {
        std::string error;
        if (const std::optional<uint64_t> bytes = TrackSectorModeBytes(track, &error)) {
            sectors += *bytes / kSectorModeUnitSize;
        } else if (unreadable->empty()) {
            *unreadable = error;
        }
        sectors += kTrackGapSectors;
    }
    for (const SegmentItem& item : segments.Items()) sectors += uint64_t(item.segmentCount) * kSectorsPerSegment;
    return sectors;
}

}  // namespace

// A disc larger than its capacity: a warning, or with a capacity given by
// the host, a failure before the tracks are written.
int AuthoringSession::CheckCapacity() {
    constexpr uint64_t kSectorsPerMinute = 60 * 75;
    constexpr int kDefaultCapacityMinutes = 80;
    const int minutes = host_.capacityMinutes.value_or(kDefaultCapacityMinutes);
    std::string unreadable;
    const uint64_t sectors = EstimatedDiscSectors(content_->tracks, content_->segments, &unreadable);
    if (!unreadable.empty()) {
        LogLine("Error: " + unreadable);
        return kStepFailed;
    }
    if (sectors <= uint64_t(minutes) * kSectorsPerMinute) return kOk;
    const std::string text = Format("the disc takes about %llu:%02llu minutes, more than a %d-minute disc holds",
                                     static_cast<unsigned long long>(sectors / kSectorsPerMinute),
                                     static_cast<unsigned long long>(sectors % kSectorsPerMinute / 75), minutes);
    if (!host_.capacityMinutes) {
        context_.Report(Severity::Warning, text, 0);
        return kOk;
    }
    context_.Report(Severity::Error, text, 0);
    LogLine("Error: " + text);
    return kStepFailed;
}

// A dry run stops before the directories are written: the names and
// nesting they would refuse are checked here instead.
int AuthoringSession::CheckDiscNamesInDryRun() {
    return checkOnly_ && content_->tree ? CheckDiscNames(*content_->tree, context_) : kOk;
}

// A word the reader had to reject leaves the script half read: whatever the
// section's reader made of it, the build must not pass as good.
bool AuthoringSession::ScriptWasRejected() {
    const ScriptReader* reader = content_->scriptReader.get();
    if (!reader || reader->RejectReason().empty()) return false;
    context_.Report(Severity::Error, "Error: " + reader->RejectReason(), reader->RejectLine());
    LogLine("Error: " + reader->RejectReason());
    return true;
}

// The [VCD30] application folder (every kind but CVD): its files are scanned
// into the data folder. A scan that stopped on a bad name or a Cancel keeps
// its result for the check after the track list.
int AuthoringSession::ReadApplications() {
    const DiscKind kind = Kind();
    if (kind == DiscKind::Cvd) return kOk;
    ApplicationFolder app;
    // Without a HOMEPAGE after TITLEHOMEDIR the disc simply has no application.
    if (!ReadApplicationFolder(*content_->scriptReader, context_, app) && app.failed) return kStepFailed;
    if (app.folder.empty()) {
        LogLine(std::string(IsSvcdFamily(kind) ? "Kavo" : "VCD3.0") + " application files don't be defined");
        return kOk;
    }
    LogLine(std::string("Appending ") + (kind == DiscKind::Svcd ? "Kavo" : "VCD3.0") +
            Format(" application files from %s...", app.folder.c_str()));
    DirTree& tree = *content_->tree;
    if (!tree.ChangeDir(ApplicationDataPath(kind))) return kStepFailed;
    const std::string folder = context_.ResolveScriptPath(app.folder);
    if (!IsDirectory(folder)) {
        context_.LogError(Format("Error 10003:Can't read directionary %s", app.folder.c_str()));
        return kStepFailed;
    }
    if (!DirTree::FindChild("DATA", tree.Root())) {
        LogLine(std::string("\\DATA\\") + (IsSvcdFamily(kind) ? "S" : "") + "VCD_DATA don't found");
        return kAppDataFolderMissing;
    }
    // The image must not be among the files the scan takes.
    QORVCD_CHECK(KeepOutputsOutside(folder, "the application folder"));
    content_->appFolder = folder;
    const ScanOutcome scan = ScanApplicationFiles(folder, tree, context_);
    deferredResult_ = scan.result;
    content_->appFileCount = scan.fileCount;
    LogLine(" ");
    LogLine(Format("Total found file %ld", content_->appFileCount));
    context_.LogShowLast();
    return kOk;
}

// SVCD control files that the session adds with their fixed sizes.
int AuthoringSession::AddSvcdControlNodes() {
    DirTree& tree = *content_->tree;
    if (!IsSvcdFamily(Kind()) || !tree.ChangeDir("\\SVCD")) return kOk;
    tree.AddFile("SEARCH.DAT", NodeKind::Form1File, NodeFlag::Plain, 100352);
    tree.AddFile("TRACKS.SVD", NodeKind::Form1File, NodeFlag::Plain, 2048);
    tree.AddFile("SPICONTX.SVD", NodeKind::Form1File, NodeFlag::Plain, 4096);
    return kOk;
}

// Whatever the track list's own code, a failed list ends the build with
// kTrackListFailed; then the application scan's result, then a rejected word.
int AuthoringSession::ReadTrackList() {
    LogRepaint();
    if (qorvcd::ReadTrackList(*content_->scriptReader, context_, content_->tracks) != kOk) return kTrackListFailed;
    if (IsSvcdFamily(Kind())) content_->scanInterval = content_->searchInterval = 1;
    if (deferredResult_ != kOk) return deferredResult_;
    return ScriptWasRejected() ? kStepFailed : kOk;
}

int AuthoringSession::ReadSegmentItems() {
    // The tracks, read just before, give the stills their video standard.
    const int result =
        qorvcd::ReadSegmentItems(*content_->scriptReader, context_, content_->segments, &content_->tracks);
    if (result == kCancelled) LogLine("Cancle by user");
    return result;
}

// SCANDATA's track times, SEARCH.DAT's header, then INFO, ENTRIES, the
// playback control and TRACKS.SVD: the info files are written even after a
// failed header, and their own failure wins.
int AuthoringSession::WriteControlWorkFiles() {
    int result = WriteScanAndSearchHeaders();
    if (const int info = WriteInfoFiles(); info != kOk) result = info;
    if (result == kOk && ScriptWasRejected()) result = kStepFailed;
    return result;
}

int AuthoringSession::WriteScanAndSearchHeaders() {
    const DiscKind kind = Kind();
    if (HasScanData(kind) && content_->scanData.IsOpen()) {
        std::vector<uint32_t> durations;
        for (const TrackEntry& t : content_->tracks.Entries()) durations.push_back(t.duration);
        std::string error;
        if (!WriteScanTrackTimes(content_->scanData, durations, error)) {
            LogLine(error);
            return kStepFailed;
        }
    }
    if (!IsSvcdFamily(kind)) return kOk;
    const bool written = context_.standard ? WriteStandardSearchHeader()
                                           : WriteSearchHeader(context_, content_->tracks.TotalPlayingTime(),
                                                               content_->scanInterval);
    return written ? kOk : kStepFailed;
}

// A point per half second of each track's own playing time.
bool AuthoringSession::WriteStandardSearchHeader() {
    std::vector<uint32_t> durations;
    for (const TrackEntry& t : content_->tracks.Entries()) durations.push_back(t.duration);
    return WriteSearchHeaderWithPoints(context_, StandardScanPointsFor(durations), content_->scanInterval);
}

int AuthoringSession::WriteInfoFiles() {
    InfoFilesJob job;
    job.script = content_->scriptReader.get();
    job.tree = content_->tree.get();
    job.tracks = &content_->tracks;
    job.segments = &content_->segments;
    job.pbc = &content_->pbc;
    job.entryId = content_->entryId;
    job.scanData = &content_->scanData;
    return qorvcd::WriteInfoFiles(context_, job);
}

int AuthoringSession::PlaceFiles() {
    return qorvcd::PlaceFiles(*content_->tree, context_, content_->tracks.Entries(), content_->trackIdPrefix,
                              content_->segments.Items(), content_->fileSystem);
}

// The layout shows a progress window of its own.
// A Cancel pressed at the content window's last bar update is taken here.
int AuthoringSession::LayOutImage() {
    const bool cancelled = progressWindow_ && progressWindow_->CancelPending();
    progressWindow_.reset();
    context_.progress = nullptr;
    if (cancelled) {
        LogLine("Cancle by user");
        return kCancelled;
    }
    LayoutInputs in{.ctx = context_,
                    .image = content_->image,
                    .tree = *content_->tree,
                    .fs = content_->fileSystem,
                    .tracks = content_->tracks.Entries(),
                    .segments = content_->segments,
                    .script = content_->scriptReader.get(),
                    .makeProgressWindow = [sink = host_.progress, left = &cancelLeftOver_] {
                        return std::make_unique<ProgressWindow>(sink, 0, left);
                    },
                    .scanData = &content_->scanData,
                    .apps = {.appFolder = content_->appFolder, .scanDataNode = content_->scanDataNode}};
    const int result = qorvcd::LayOutImage(in);
    context_.LogShowLast();
    return result;
}

// The files the content steps read: tracks (with their .EP side files),
// segment files and the sources of listed and application files.
std::vector<NamedFile> AuthoringSession::ContentInputFiles() const {
    std::vector<NamedFile> files;
    for (const TrackEntry& track : content_->tracks.Entries()) {
        files.push_back({"the track file", track.path});
        files.push_back({"the side file", ResolvePath(SideFilePathOf(track.path), "")});
    }
    for (const SegmentItem& item : content_->segments.Items()) files.push_back({"the segment file", item.fileName});
    if (content_->tree) AddTreeSources(content_->tree->Root(), files);
    return files;
}

// The clean-up's order: script reader, tree, SCANDATA work file, the content
// lists (the converted stills go with the segment list).
void AuthoringSession::ReleaseContent() {
    context_.position = nullptr;
    if (content_->scriptReader) {
        content_->scriptReader->CloseScript();
        content_->scriptReader.reset();
    }
    if (content_->tree) {
        content_->tree->ClearTree();
        content_->tree.reset();
    }
    content_->scanDataNode = nullptr;
    DiscardScanData(content_->scanData);
    content_->segments.Clear();
    content_->tracks.Clear();
    content_->pbc.Clear();
}

}  // namespace qorvcd
