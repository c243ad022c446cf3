// What a build owns besides its log: the script reader, the image, the
// directory tree and the content lists. Private to the session.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "content/pbc_script.h"
#include "content/segment_items.h"
#include "content/track_list.h"
#include "image/container.h"
#include "infofiles/scan_data.h"
#include "iso9660/dir_tree.h"
#include "iso9660/file_system_state.h"
#include "script/script_reader.h"

namespace qorvcd {

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

}  // namespace qorvcd
