// The steps of a build that belong to the subsystems: each is a call into its
// subsystem with the session's inputs, and reports failure by its return value
// (having logged why): a bool, or a code of core/results.h.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/outputs.h"

namespace qorvcd {

class AuthoringSession;
struct SessionContent;

SessionContent* MakeSessionContent();
// Releases what the content owns, in the clean-up's order; safe to call twice.
void ReleaseContent(AuthoringSession& session);
void DestroySessionContent(SessionContent* content);

int ReadDiscModeOf(AuthoringSession& session);          // -1 when the script names none
void ResetContent(AuthoringSession& session);           // lists, counters, ids, SCANDATA work file
void CreateDirectoryTree(AuthoringSession& session);
void ReadSuperVcdEntryId(AuthoringSession& session);
bool ReadSettingsFolderLists(AuthoringSession& session);
void AddScanDataNode(AuthoringSession& session);
bool TreeHasRoot(AuthoringSession& session);
bool ExpandScriptFolderLists(AuthoringSession& session);
bool OpenScriptReader(AuthoringSession& session);
// True (after a log line) when the script reader rejected a word.
bool ScriptWasRejected(AuthoringSession& session);
bool CreateImageFile(AuthoringSession& session, const std::string& path);
bool CreateTailFile(AuthoringSession& session, const std::string& path);
// Closes the image and the tail; false when their last writes failed.
bool CloseImageFiles(AuthoringSession& session);
bool ReadApplications(AuthoringSession& session);       // false: end the build now
void AddSvcdControlNodes(AuthoringSession& session);
// kOk, or the track list's code of its failure.
int ReadTrackList(AuthoringSession& session);
void SetSearchIntervals(AuthoringSession& session);
// The next steps return kOk or the code of their failure.
int ReadSegmentItems(AuthoringSession& session);
int WriteScanAndSearchHeaders(AuthoringSession& session);
int WriteInfoFiles(AuthoringSession& session);
int PlaceFiles(AuthoringSession& session);
int LayOutImage(AuthoringSession& session);
// The files the content steps read: tracks (with their .EP side files),
// segment files and the sources of listed and application files.
std::vector<NamedFile> ContentInputFiles(AuthoringSession& session);

}  // namespace qorvcd
