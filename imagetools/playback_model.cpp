#include "imagetools/playback_model.h"

#include <algorithm>
#include <cctype>
#include <unordered_map>

#include "content/pbc_script.h"
#include "content/psd_records.h"
#include "infofiles/entries_record.h"
#include "infofiles/info_record.h"
#include "infofiles/tracks_record.h"
#include "platform/bytes.h"
#include "platform/log_list.h"

namespace qorvcd {

namespace {

constexpr uint32_t kSectorsPerSegment = 150;
constexpr uint16_t kFirstSegmentPlayItem = 1000;
constexpr uint16_t kLastSegmentPlayItem = 2979;
constexpr uint8_t kWaitForever = 255;

std::string Upper(std::string text) {
    for (char& c : text) c = char(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

int PlaybackList::Link(const std::string& name) const {
    for (const PlaybackLink& link : links) {
        if (name == link.name) return link.target;
    }
    return kNoLink;
}

const char* PlaybackList::KindName() const {
    switch (kind) {
        case PlaybackListKind::PlayList: return "play list";
        case PlaybackListKind::Selection: return "selection";
        case PlaybackListKind::EndList: return "end list";
        case PlaybackListKind::Broken: break;
    }
    return "unreadable list";
}

const PlaybackList* PlaybackModel::Find(int number) const {
    if (number < 1 || size_t(number) > lists.size()) return nullptr;
    return &lists[size_t(number) - 1];
}

std::vector<int> PlaybackModel::Unreachable() const {
    std::vector<bool> seen(lists.size() + 1, false);
    std::vector<int> pending;
    if (!lists.empty()) pending.push_back(1);
    while (!pending.empty()) {
        const int at = pending.back();
        pending.pop_back();
        if (at < 1 || size_t(at) > lists.size() || seen[size_t(at)]) continue;
        seen[size_t(at)] = true;
        const PlaybackList& list = lists[size_t(at) - 1];
        for (const PlaybackLink& link : list.links) pending.push_back(link.target);
        for (int target : list.choices) pending.push_back(target);
    }
    std::vector<int> unreachable;
    for (size_t n = 1; n <= lists.size(); ++n) {
        if (!seen[n]) unreachable.push_back(int(n));
    }
    return unreachable;
}

PlaybackModel BuildPlaybackModel(const DecodedImage& image) {
    PlaybackModel model;
    if (!image.lot || !image.psd) return model;
    model.present = true;
    if (!image.lot->error.empty() || !image.psd->error.empty()) {
        model.error = image.lot->error.empty() ? image.psd->error : image.lot->error;
        return model;
    }
    std::vector<PsdListView> views;
    if (!DecodePlaybackControl(image.lot->bytes.data(), image.lot->bytes.size(), image.psd->bytes.data(),
                               image.psd->bytes.size(), views, model.error)) {
        return model;
    }
    std::unordered_map<uint32_t, int> byOffset;  // the first list at each offset
    for (const PsdListView& view : views) byOffset.emplace(view.offset, view.listId);
    const auto target = [&](uint16_t offset8) {
        if (offset8 == kNoListOffset) return kNoLink;
        const auto found = byOffset.find(uint32_t(offset8) * kPsdAlignment);
        return found == byOffset.end() ? kBrokenLink : found->second;
    };
    for (const PsdListView& view : views) {
        PlaybackList list;
        list.number = view.listId;
        list.error = view.error;
        if (!view.error.empty()) {
            model.lists.push_back(std::move(list));
            continue;
        }
        if (view.typeCode == uint8_t(PbcListType::PlayList)) {
            const PlayListRecord& r = view.playList;
            list.kind = PlaybackListKind::PlayList;
            list.playItem = r.playItem;
            list.itemCount = r.itemCount;
            list.playTime = r.playTime;
            list.wait = r.wait;
            list.autoWait = r.autoWait;
            list.links = {{"PREVIOUS", target(r.previous)}, {"NEXT", target(r.next)},
                          {"RETURN", target(r.returnTo)}};
        } else if (view.typeCode == uint8_t(PbcListType::Selection)) {
            const SelectionRecord& r = view.selection;
            list.kind = PlaybackListKind::Selection;
            list.playItem = r.playItem;
            list.wait = r.wait;
            list.loop = r.loop;
            list.links = {{"PREVIOUS", target(r.previous)}, {"NEXT", target(r.next)},
                          {"RETURN", target(r.returnTo)},   {"DEFAULT", target(r.defaultList)},
                          {"TIMEOUT", target(r.timeout)}};
            list.baseNumber = r.baseNumber;
            for (uint16_t offset8 : r.targets) list.choices.push_back(target(offset8));
        } else if (view.typeCode == uint8_t(PbcListType::EndList)) {
            list.kind = PlaybackListKind::EndList;
            list.playItem = view.endList.playItem;
            list.stopNumber = view.endList.stopNumber;
        } else {
            list.error = Format("unknown descriptor type 0x%02X", view.typeCode);
        }
        model.lists.push_back(std::move(list));
    }
    return model;
}

// ---- Play items

PlayItemNames::PlayItemNames(const DecodedImage& image) : image_(image) {
    if (image.info && image.info->error.empty()) {
        if (auto info = InfoFileRecord::Decode(image.info->bytes)) {
            if (info->segmentCount > 0) firstSegmentSector_ = MsfBcdToSector(info->firstSegmentAddress.data());
        }
    }
    if (image.entriesFile && image.entriesFile->error.empty()) {
        if (auto entries = EntriesRecord::Decode(image.entriesFile->bytes)) {
            for (const EntriesEntry& e : entries->entries) entries_.emplace_back(e.trackNumber, e.sector);
        }
    }
    if (image.tracksFile && image.tracksFile->error.empty()) {
        if (auto tracks = TracksRecord::Decode(image.tracksFile->bytes)) {
            // Each time is the running total up to the end of its track, or
            // in the standard's layout the track's own time.
            uint64_t before = 0;
            for (const TracksRecordTrack& t : tracks->tracks) {
                uint64_t total = uint64_t(MsfBcdToSector(t.time.data()) + kDiscAddressOffset);
                if (tracks->layout == TracksLayout::Standard) total += before;
                playFrames_.push_back(total >= before ? total - before : 0);
                before = total;
            }
        }
    }
}

std::string PlayItemNames::TrackTime(unsigned track) const {
    if (track >= 2 && track - 2 < playFrames_.size()) return DiscTimeText(playFrames_[track - 2]);
    for (const ImageTrack& t : image_.tracks) {
        if (t.number == track) return DiscTimeText(t.sectorCount);
    }
    return {};
}

std::string PlayItemNames::TrackFile(unsigned track) const {
    for (const ImageTrack& t : image_.tracks) {
        if (t.number != track) continue;
        for (const InspectedEntry& entry : image_.entries) {
            if (entry.record.flags == FileFlags::Directory) continue;
            if (entry.record.extent >= t.startSector && entry.record.extent < t.EndSector()) return entry.path;
        }
    }
    return {};
}

std::string PlayItemNames::SegmentFile(unsigned index) const {
    if (firstSegmentSector_ < 0) return {};
    const int64_t sector = firstSegmentSector_ + int64_t(index) * kSectorsPerSegment;
    for (const InspectedEntry& entry : image_.entries) {
        if (entry.record.flags == FileFlags::Directory) continue;
        const int64_t start = entry.record.extent;
        const int64_t sectors = std::max<int64_t>(1, (int64_t(entry.record.dataLength) + 2047) / 2048);
        if (sector >= start && sector < start + sectors) return entry.path;
    }
    return {};
}

std::string PlayItemNames::EntryPlace(unsigned number) const {
    if (number < 1 || number > entries_.size()) return {};
    const auto [track, sector] = entries_[number - 1];
    for (const ImageTrack& t : image_.tracks) {
        if (t.number != track || sector < int64_t(t.startSector)) continue;
        return Format("track %u +%lld sectors", track, (long long)(sector - int64_t(t.startSector)));
    }
    return Format("track %u", track);
}

std::string PlayItemNames::Describe(uint16_t playItem) const {
    std::string detail;
    if (playItem >= 2 && playItem < kFirstEntryPlayItem) {
        detail = TrackFile(playItem);
        const std::string time = TrackTime(playItem);
        if (!time.empty()) detail += (detail.empty() ? "" : ", ") + time;
    } else if (playItem >= kFirstEntryPlayItem && playItem < 600) {
        detail = EntryPlace(playItem - kFirstEntryPlayItem + 1);
    } else if (playItem >= kFirstSegmentPlayItem && playItem <= kLastSegmentPlayItem) {
        detail = SegmentFile(playItem - kFirstSegmentPlayItem);
    }
    const std::string item = DescribePlayItem(playItem);
    return detail.empty() ? item : item + " (" + detail + ")";
}

std::string DiscTimeText(uint64_t sectors) {
    const uint64_t seconds = sectors / kFramesPerSecond;
    return Format("%llu:%02llu", (unsigned long long)(seconds / 60), (unsigned long long)(seconds % 60));
}

std::string WaitText(uint8_t wait) {
    if (wait == 0) return "none";
    if (wait == kWaitForever) return "forever";
    const unsigned seconds = wait <= 60 ? wait : 60 + (wait - 60u) * 10;
    return Format("%u s", seconds);
}

std::string DiscKindText(const DecodedImage& image) {
    if (!image.info || !image.info->error.empty()) return "unknown";
    const auto info = InfoFileRecord::Decode(image.info->bytes);
    if (!info) return "unknown";
    const std::string id = PrintableField(info->systemId);
    if (id == "VIDEO_CD") return "Video CD 3.0";
    if (id == "HQ-VCD") return "CVD";
    if (id == "SUPERVCD") return image.scanData ? "SUPER-VCD" : "SVCD";
    return "unknown (" + id + ")";
}

// ---- The navigator

PlaybackNavigator::PlaybackNavigator(const PlaybackModel& model, const PlayItemNames& names)
    : model_(model), names_(names) {}

std::string PlaybackNavigator::Describe() const {
    const PlaybackList* list = model_.Find(current_);
    if (!list) return Format("list %d: not on the disc\n", current_);
    std::string out = Format("list %d, %s", list->number, list->KindName());
    if (current_ == 1) out += " (start)";
    if (list->kind == PlaybackListKind::Broken) return out + ": " + list->error + "\n";
    out += ": " + names_.Describe(list->playItem);
    if (list->kind == PlaybackListKind::PlayList && list->playTime) {
        out += Format(", %u.%u s of it", list->playTime / 15u, (list->playTime % 15u) * 10 / 15);
    }
    if (list->kind == PlaybackListKind::EndList) return out + Format(", stop %u: the disc stops\n", list->stopNumber);
    out += ", wait " + WaitText(list->wait) + "\n";
    for (size_t i = 0; i < list->choices.size(); ++i) {
        const int to = list->choices[i];
        out += Format("  %u -> %s\n", unsigned(list->baseNumber + i),
                      to == kNoLink ? "nothing" : to == kBrokenLink ? "no list (broken link)" : Format("list %d", to).c_str());
    }
    std::string keys;
    for (const PlaybackLink& link : list->links) {
        if (link.target == kNoLink) continue;
        keys += Format("%s%s -> %s", keys.empty() ? "" : ", ", link.name,
                       link.target == kBrokenLink ? "no list" : Format("list %d", link.target).c_str());
    }
    return out + (keys.empty() ? "  no other keys lead anywhere\n" : "  " + keys + "\n");
}

bool PlaybackNavigator::Press(const std::string& rawKey, std::string& message) {
    const PlaybackList* list = model_.Find(current_);
    std::string key = Upper(rawKey);
    if (key == "PREV") key = "PREVIOUS";
    if (key == "RET") key = "RETURN";
    if (!list || list->kind == PlaybackListKind::Broken) {
        message = Format("list %d cannot be read; nothing leads on", current_);
        return false;
    }
    if (list->kind == PlaybackListKind::EndList) {
        message = Format("list %d is an end list: the disc has stopped", current_);
        return false;
    }
    int target = kNoLink;
    std::string what;
    if (!key.empty() && std::all_of(key.begin(), key.end(), [](unsigned char c) { return std::isdigit(c); })) {
        const long number = key.size() > 3 ? -1 : std::stol(key);
        what = "choice " + key;
        if (number >= long(list->baseNumber) && number < long(list->baseNumber + list->choices.size())) {
            target = list->choices[size_t(number - list->baseNumber)];
        }
    } else if (key == "TIMEOUT" && list->kind == PlaybackListKind::PlayList) {
        // The play item ends and its wait runs out: the player goes on as NEXT.
        what = "NEXT link (at the end of play)";
        target = list->Link("NEXT");
    } else if (key == "PREVIOUS" || key == "NEXT" || key == "RETURN" || key == "DEFAULT" || key == "TIMEOUT") {
        what = key + " link";
        target = list->Link(key);
    } else {
        message = "unknown key \"" + rawKey + "\" (numbers, next, previous, return, default, timeout)";
        return false;
    }
    if (target == kNoLink) {
        message = Format("list %d has no %s; staying at list %d", current_, what.c_str(), current_);
        return false;
    }
    if (target == kBrokenLink || !model_.Find(target)) {
        message = Format("the %s of list %d leads to no list; staying at list %d", what.c_str(), current_,
                         current_);
        return false;
    }
    current_ = target;
    return true;
}

}  // namespace qorvcd
