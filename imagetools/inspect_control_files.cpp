// The inspector's view of the Video CD control files. Each file is decoded
// by the reader that lives beside its writer, then walked for the printers.
#include <cstring>
#include <unordered_map>

#include "content/lot.h"
#include "content/pbc_script.h"
#include "content/psd_records.h"
#include "imagetools/inspect_visitor.h"
#include "infofiles/entries_record.h"
#include "infofiles/info_record.h"
#include "infofiles/scan_data.h"
#include "infofiles/search_record.h"
#include "infofiles/tracks_record.h"
#include "platform/bytes.h"
#include "platform/log_list.h"

namespace qorvcd {

std::string PrintableField(std::span<const uint8_t> bytes) {
    std::string text;
    for (uint8_t b : bytes) text += (b >= 0x20 && b < 0x7F) ? char(b) : (b == 0 ? '\0' : '.');
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.pop_back();
    for (char& c : text) {
        if (c == '\0') c = '.';
    }
    return text;
}

std::string BcdAddressText(const uint8_t* bcd) {
    return Format("%02u:%02u:%02u", FromBcd(bcd[0]), FromBcd(bcd[1]), FromBcd(bcd[2]));
}

namespace {

bool Refused(InspectVisitor& v, const std::string& error) {
    v.Text("error", error);
    return false;
}

void SectorAddress(InspectVisitor& v, int64_t sector) {
    v.BeginObject("");
    v.Number("sector", sector);
    if (sector >= 0) {
        uint8_t bcd[3];
        PutMsfBcd(bcd, uint32_t(sector));
        v.Text("address", BcdAddressText(bcd));
    }
    v.EndObject();
}

// The list ID at each descriptor offset (the first list there), built once:
// a LOT of thousands of lists with 255 links each is looked up in one pass.
using ListIndex = std::unordered_map<uint32_t, uint16_t>;

ListIndex IndexLists(const std::vector<PsdListView>& lists) {
    ListIndex index;
    for (const PsdListView& view : lists) index.emplace(view.offset, view.listId);
    return index;
}

// A link of a PSD list: the list ID it leads to, or "none".
void Link(InspectVisitor& v, std::string_view name, uint16_t offset8, const ListIndex& lists) {
    if (offset8 == kNoListOffset) {
        v.Text(name, "none");
        return;
    }
    const auto found = lists.find(uint32_t(offset8) * kPsdAlignment);
    const uint16_t id = found == lists.end() ? 0 : found->second;
    if (id == 0) {
        v.Text(name, Format("offset %u (no list there)", unsigned(offset8) * unsigned(kPsdAlignment)));
    } else {
        v.Text(name, Format("list %u", unsigned(id)));
    }
}

void VisitPlayList(const PsdListView& list, const ListIndex& lists, InspectVisitor& v) {
    const PlayListRecord& p = list.playList;
    v.Text("type", "play list");
    v.Number("items", p.itemCount);
    v.Text("playItem", DescribePlayItem(p.playItem));
    Link(v, "previous", p.previous, lists);
    Link(v, "next", p.next, lists);
    Link(v, "return", p.returnTo, lists);
    v.Number("playTime", p.playTime);
    v.Number("wait", p.wait);
    v.Number("autoWait", p.autoWait);
}

void VisitSelection(const PsdListView& list, const ListIndex& lists, InspectVisitor& v) {
    const SelectionRecord& s = list.selection;
    v.Text("type", "selection");
    v.Text("playItem", DescribePlayItem(s.playItem));
    v.Number("baseNumber", s.baseNumber);
    Link(v, "previous", s.previous, lists);
    Link(v, "next", s.next, lists);
    Link(v, "return", s.returnTo, lists);
    Link(v, "default", s.defaultList, lists);
    Link(v, "timeout", s.timeout, lists);
    v.Number("wait", s.wait);
    v.Number("loop", s.loop);
    v.BeginList("selections");
    for (size_t i = 0; i < s.targets.size(); ++i) {
        v.BeginObject("");
        v.Number("number", int64_t(s.baseNumber) + int64_t(i));
        Link(v, "goes to", s.targets[i], lists);
        v.EndObject();
    }
    v.EndList();
}

}  // namespace

bool VisitInfoFile(std::span<const uint8_t> bytes, InspectVisitor& v) {
    std::string error;
    const std::optional<InfoFileRecord> decoded = InfoFileRecord::Decode(bytes, &error);
    if (!decoded) return Refused(v, error);
    const InfoFileRecord& info = *decoded;
    v.Text("systemId", PrintableField(info.systemId));
    v.Number("version", info.version);
    v.Number("profileTag", info.profileTag);
    v.Text("album", PrintableField(info.albumId));
    v.Number("volume", info.volume);
    v.Number("volumeCount", info.volumeCount);
    v.BeginList("palTracks");
    for (size_t i = 0; i < info_layout::kMaxPalTracks; ++i) {
        if (info.IsPalTrack(i)) v.Number("", int64_t(i) + 2);  // the first listed track is disc track 2
    }
    v.EndList();
    v.Number("psdSize", info.psdSize);
    v.Text("firstSegment", BcdAddressText(info.firstSegmentAddress.data()));
    v.Number("offsetMultiplier", info.offsetMultiplier);
    v.Number("lotEntries", info.lotEntryCount);
    v.Number("segments", info.segmentCount);
    v.BeginList("segmentContent");
    for (uint8_t b : info.segmentContent) v.Text("", Format("0x%02X", b));
    v.EndList();
    v.Text("segmentFlags", Format("0x%02X", info.segmentFlags));
    return true;
}

bool VisitEntriesFile(std::span<const uint8_t> bytes, InspectVisitor& v) {
    std::string error;
    const std::optional<EntriesRecord> decoded = EntriesRecord::Decode(bytes, &error);
    if (!decoded) return Refused(v, error);
    const EntriesRecord& entries = *decoded;
    v.Text("fileId", PrintableField(entries.fileId));
    v.Number("version", entries.version);
    v.Number("count", entries.entryCount);
    v.BeginList("entries");
    for (size_t i = 0; i < entries.entries.size(); ++i) {
        const EntriesEntry& e = entries.entries[i];
        v.BeginObject("");
        v.Number("playItem", int64_t(kFirstEntryPlayItem + i));
        v.Number("track", e.trackNumber);
        v.Number("sector", e.sector);
        v.Text("address", BcdAddressText(e.address.data()));
        v.EndObject();
    }
    v.EndList();
    return true;
}

bool VisitPlaybackControl(std::span<const uint8_t> lot, std::span<const uint8_t> psd, InspectVisitor& v) {
    std::vector<PsdListView> lists;
    std::string error;
    if (!DecodePlaybackControl(lot.data(), lot.size(), psd.data(), psd.size(), lists, error)) {
        return Refused(v, error);
    }
    const ListIndex index = IndexLists(lists);
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
            VisitPlayList(list, index, v);
        } else if (list.typeCode == uint8_t(PbcListType::Selection)) {
            VisitSelection(list, index, v);
        } else if (list.typeCode == uint8_t(PbcListType::EndList)) {
            v.Text("type", "end list");
            v.Number("stopNumber", list.endList.stopNumber);
            v.Text("playItem", DescribePlayItem(list.endList.playItem));
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
    const std::optional<TracksRecord> decoded = TracksRecord::Decode(bytes, &error);
    if (!decoded) return Refused(v, error);
    const TracksRecord& tracks = *decoded;
    v.Text("fileId", PrintableField(tracks.fileId));
    v.Number("version", tracks.version);
    v.Number("count", tracks.trackCount);
    v.BeginList("tracks");
    for (const TracksRecordTrack& t : tracks.tracks) {
        v.BeginObject("");
        v.Text("time", BcdAddressText(t.time.data()));
        v.Text("ogt", Format("0x%02X", t.ogtInfo));
        v.Text("audio", Format("0x%02X", t.audioInfo));
        v.EndObject();
    }
    v.EndList();
    return true;
}

bool VisitSearchFile(std::span<const uint8_t> bytes, InspectVisitor& v) {
    std::string error;
    const std::optional<SearchRecord> decoded = SearchRecord::Decode(bytes, &error);
    if (!decoded) return Refused(v, error);
    const SearchRecord& search = *decoded;
    v.Text("fileId", PrintableField(search.fileId));
    v.Number("version", search.version);
    v.Number("count", search.pointCount);
    v.Number("interval", search.timeInterval);
    v.BeginList("points");
    for (int64_t sector : search.points) SectorAddress(v, sector);
    v.EndList();
    return true;
}

bool VisitScanDataFile(std::span<const uint8_t> bytes, InspectVisitor& v) {
    std::string error;
    const std::optional<ScanDataRecord> decoded = ScanDataRecord::Decode(bytes, ScanDataForm::Disc, &error);
    if (!decoded) return Refused(v, error);
    const ScanDataRecord& scan = *decoded;
    v.Text("fileId", PrintableField(scan.fileId));
    v.Number("version", scan.version);
    v.Number("count", scan.pointCount);
    v.Number("tracks", scan.trackCount);
    v.Number("segmentItems", scan.segmentItemCount);
    v.BeginList("trackTimes");
    for (const auto& t : scan.trackTimes) v.Text("", BcdAddressText(t.data()));
    v.EndList();
    v.BeginList("segmentScanIndexes");
    for (uint16_t index : scan.segmentScanIndexes) v.Number("", index);
    v.EndList();
    if (scan.endScanIndex) v.Number("endScanIndex", *scan.endScanIndex);
    v.BeginList("segmentStarts");
    for (int64_t sector : scan.segmentSectors) SectorAddress(v, sector);
    v.EndList();
    v.BeginList("scanPoints");
    for (int64_t sector : scan.scanPoints) SectorAddress(v, sector);
    v.EndList();
    return true;
}

}  // namespace qorvcd
