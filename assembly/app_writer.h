// Copies every file of the directory tree that has no place on the disc yet
// (the FOLDER-list files, the scanned application files, EXT\SCANDATA.DAT)
// to the end of track 1: MPEG files as Form 2 units straight from their
// sector-mode units, all others as Form 1 data units. Each file's directory
// record, already in the image, receives its extent and length.
#pragma once

#include <cstdint>
#include <string>

#include "core/results.h"

namespace qorvcd {

class File;
class ImageContainer;
struct BuildContext;
struct DirNode;

// The text a home page must hold for the disc to be marked as playable.
inline constexpr char kPlayOkText[] = "PLAYOK";
inline constexpr char kHomePageName[] = "HOMEPAGE.CHM";

struct AppWriterInputs {
    std::string appFolder;              // folder of files without a source folder
    const DirNode* dataFolder = nullptr;  // its file list is announced in the log
    const DirNode* scanDataNode = nullptr;
};

class AppWriter {
public:
    AppWriter(ImageContainer& image, const BuildContext& ctx, AppWriterInputs inputs);

    // Writes the list that starts at `first` and its sub-folders. Returns 1
    // when all was written, 0 on failure or Cancel (result() then says which).
    int WriteFiles(DirNode* first);

    // kStepFailed after a failure, kOk otherwise (also after a Cancel).
    int Result() const { return result_; }
    bool Cancelled() const { return cancelled_; }
    bool PlayOkFound() const { return playOkFound_; }
    // Image position of EXT\SCANDATA.DAT's first unit, once it was written.
    uint64_t ScanDataPosition() const { return scanDataPosition_; }

private:
    bool WriteMpegFile(DirNode& node);
    bool WriteOrdinaryFile(DirNode& node);
    bool CopyEnded(File& source, uint64_t length, const std::string& path);
    bool PlaceRecord(DirNode& node, std::string* sourcePath, uint8_t* record);
    bool Fail(const std::string& line);
    bool TakeCancel();
    void SetProgress(uint64_t position, uint64_t length);
    void CheckHomePage(const std::string& path);

    ImageContainer& image_;
    const BuildContext& ctx_;
    AppWriterInputs inputs_;
    int result_ = kOk;
    bool cancelled_ = false;
    bool playOkFound_ = false;
    uint64_t scanDataPosition_ = 0;
};

}  // namespace qorvcd
