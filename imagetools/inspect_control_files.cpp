// The inspector's view of the Video CD control files. Each file is decoded
// by the reader that lives beside its writer and then feeds its own fields;
// what needs the whole file (the lists of the PSD, found through the LOT and
// linked to each other) is walked here.
#include <unordered_map>

#include "content/pbc_script.h"
#include "content/psd_records.h"
#include "imagetools/inspect.h"
#include "infofiles/entries_record.h"
#include "infofiles/info_record.h"
#include "infofiles/scan_data.h"
#include "infofiles/search_record.h"
#include "infofiles/tracks_record.h"
#include "platform/log_list.h"

namespace qorvcd {

namespace {

bool Refused(InspectVisitor& v, const std::string& error) {
    v.Text("error", error);
    return false;
}

// Decodes a control file and has the record feed its fields.
template <typename Record>
bool VisitRecord(const std::optional<Record>& decoded, const std::string& error, InspectVisitor& v) {
    if (!decoded) return Refused(v, error);
    decoded->Inspect(v);
    return true;
}

// The list ID at each descriptor offset (the first list there), built once:
// a LOT of thousands of lists with 255 links each is looked up in one pass.
using ListIndex = std::unordered_map<uint32_t, uint16_t>;

ListIndex IndexLists(const std::vector<PsdListView>& lists) {
    ListIndex index;
    for (const PsdListView& view : lists) index.emplace(view.offset, view.listId);
    return index;
}

// A link of a PSD list: the list ID it leads to.
std::string LinkText(uint16_t offset8, const ListIndex& lists) {
    const auto found = lists.find(uint32_t(offset8) * kPsdAlignment);
    const uint16_t id = found == lists.end() ? 0 : found->second;
    if (id == 0) return Format("offset %u (no list there)", unsigned(offset8) * unsigned(kPsdAlignment));
    return Format("list %u", unsigned(id));
}

}  // namespace

bool VisitInfoFile(std::span<const uint8_t> bytes, InspectVisitor& v) {
    std::string error;
    return VisitRecord(InfoFileRecord::Decode(bytes, &error), error, v);
}

bool VisitEntriesFile(std::span<const uint8_t> bytes, InspectVisitor& v) {
    std::string error;
    return VisitRecord(EntriesRecord::Decode(bytes, &error), error, v);
}

bool VisitPlaybackControl(std::span<const uint8_t> lot, std::span<const uint8_t> psd, InspectVisitor& v) {
    std::vector<PsdListView> lists;
    std::string error;
    if (!DecodePlaybackControl(lot.data(), lot.size(), psd.data(), psd.size(), lists, error)) {
        return Refused(v, error);
    }
    const ListIndex index = IndexLists(lists);
    const PsdLinkText linkText = [&](uint16_t offset8) { return LinkText(offset8, index); };
    bool ok = true;
    v.Number("psdBytes", int64_t(psd.size()));
    v.BeginList("lists");
    for (const PsdListView& list : lists) {
        v.BeginObject("");
        v.Number("list", list.listId);
        v.Number("offset", list.offset);
        if (!list.error.empty()) {
            ok = Refused(v, list.error);
        } else if (list.typeCode == uint8_t(PbcListType::PlayList)) {
            list.playList.Inspect(v, linkText);
        } else if (list.typeCode == uint8_t(PbcListType::Selection)) {
            list.selection.Inspect(v, linkText);
        } else if (list.typeCode == uint8_t(PbcListType::EndList)) {
            list.endList.Inspect(v);
        } else {
            ok = Refused(v, Format("unknown descriptor type 0x%02X", list.typeCode));
        }
        v.EndObject();
    }
    v.EndList();
    return ok;
}

bool VisitTracksFile(std::span<const uint8_t> bytes, InspectVisitor& v) {
    std::string error;
    return VisitRecord(TracksRecord::Decode(bytes, &error), error, v);
}

bool VisitSearchFile(std::span<const uint8_t> bytes, InspectVisitor& v) {
    std::string error;
    return VisitRecord(SearchRecord::Decode(bytes, &error), error, v);
}

bool VisitScanDataFile(std::span<const uint8_t> bytes, InspectVisitor& v) {
    std::string error;
    return VisitRecord(ScanDataRecord::Decode(bytes, ScanDataForm::Disc, &error), error, v);
}

}  // namespace qorvcd
