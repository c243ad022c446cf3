#include "content/psd_records.h"

#include <cstring>

#include "content/lot.h"
#include "core/inspect_visitor.h"
#include "platform/bytes.h"

namespace qorvcd {

namespace {

bool CheckSize(size_t have, size_t need, const char* what, std::string* why) {
    if (have >= need) return true;
    if (why) *why = std::string(what) + " needs " + std::to_string(need) + " bytes, " +
            std::to_string(have) + " left";
    return false;
}

bool CheckType(uint8_t found, PbcListType expected, const char* what, std::string* why) {
    if (found == uint8_t(expected)) return true;
    if (why) *why = std::string(what) + " has type byte " + std::to_string(found);
    return false;
}

}  // namespace

size_t SelectionListSize(size_t selectionCount) {
    const size_t size = kSelectionFixedSize + 2 * selectionCount;
    return (size + kPsdAlignment - 1) / kPsdAlignment * kPsdAlignment;
}

std::vector<uint8_t> PlayListRecord::Encode() const {
    std::vector<uint8_t> bytes(kPlayListSize, 0);
    uint8_t* out = bytes.data();
    out[kPlayListTypeOffset] = uint8_t(PbcListType::PlayList);
    out[kPlayListItemCountOffset] = itemCount;
    PutBe16(out + kPlayListIdOffset, listId);
    PutBe16(out + kPlayListPreviousOffset, previous);
    PutBe16(out + kPlayListNextOffset, next);
    PutBe16(out + kPlayListReturnOffset, returnTo);
    PutBe16(out + kPlayListPlayTimeOffset, playTime);
    out[kPlayListWaitOffset] = wait;
    out[kPlayListAutoWaitOffset] = autoWait;
    PutBe16(out + kPlayListPlayItemOffset, playItem);
    return bytes;
}

std::optional<PlayListRecord> PlayListRecord::Decode(std::span<const uint8_t> bytes, std::string* why) {
    const uint8_t* data = bytes.data();
    if (!CheckSize(bytes.size(), kPlayListSize, "play list", why) ||
        !CheckType(data[kPlayListTypeOffset], PbcListType::PlayList, "play list", why))
        return std::nullopt;
    PlayListRecord r;
    auto& [itemCount, listId, previous, next, returnTo, playTime, wait, autoWait, playItem] = r;
    itemCount = data[kPlayListItemCountOffset];
    listId = GetBe16(data + kPlayListIdOffset);
    previous = GetBe16(data + kPlayListPreviousOffset);
    next = GetBe16(data + kPlayListNextOffset);
    returnTo = GetBe16(data + kPlayListReturnOffset);
    playTime = GetBe16(data + kPlayListPlayTimeOffset);
    wait = data[kPlayListWaitOffset];
    autoWait = data[kPlayListAutoWaitOffset];
    playItem = GetBe16(data + kPlayListPlayItemOffset);
    return r;
}

std::vector<uint8_t> SelectionRecord::Encode() const {
    std::vector<uint8_t> bytes(Size(), 0);
    uint8_t* out = bytes.data();
    out[kSelectionTypeOffset] = uint8_t(PbcListType::Selection);
    out[kSelectionReservedOffset] = 0;  // reserved
    out[kSelectionCountOffset] = uint8_t(targets.size());
    out[kSelectionBaseOffset] = baseNumber;
    PutBe16(out + kSelectionIdOffset, listId);
    PutBe16(out + kSelectionPreviousOffset, previous);
    PutBe16(out + kSelectionNextOffset, next);
    PutBe16(out + kSelectionReturnOffset, returnTo);
    PutBe16(out + kSelectionDefaultOffset, defaultList);
    PutBe16(out + kSelectionTimeoutOffset, timeout);
    out[kSelectionWaitOffset] = wait;
    out[kSelectionLoopOffset] = loop;
    PutBe16(out + kSelectionPlayItemOffset, playItem);
    for (size_t i = 0; i < targets.size(); ++i)
        PutBe16(out + kSelectionTargetsOffset + 2 * i, targets[i]);
    return bytes;
}

std::optional<SelectionRecord> SelectionRecord::Decode(std::span<const uint8_t> bytes, std::string* why) {
    const uint8_t* data = bytes.data();
    const size_t size = bytes.size();
    if (!CheckSize(size, kSelectionFixedSize, "selection list", why) ||
        !CheckType(data[kSelectionTypeOffset], PbcListType::Selection, "selection list", why))
        return std::nullopt;
    const size_t count = data[kSelectionCountOffset];
    if (!CheckSize(size, SelectionListSize(count), "selection list", why)) return std::nullopt;
    SelectionRecord r;
    auto& [baseNumber, listId, previous, next, returnTo, defaultList, timeout, wait, loop, playItem, targets] = r;
    baseNumber = data[kSelectionBaseOffset];
    listId = GetBe16(data + kSelectionIdOffset);
    previous = GetBe16(data + kSelectionPreviousOffset);
    next = GetBe16(data + kSelectionNextOffset);
    returnTo = GetBe16(data + kSelectionReturnOffset);
    defaultList = GetBe16(data + kSelectionDefaultOffset);
    timeout = GetBe16(data + kSelectionTimeoutOffset);
    wait = data[kSelectionWaitOffset];
    loop = data[kSelectionLoopOffset];
    playItem = GetBe16(data + kSelectionPlayItemOffset);
    targets.assign(count, 0);
    for (size_t i = 0; i < count; ++i) targets[i] = GetBe16(data + kSelectionTargetsOffset + 2 * i);
    return r;
}

std::vector<uint8_t> EndListRecord::Encode() const {
    std::vector<uint8_t> bytes(kEndListSize, 0);  // bytes 4-7 reserved
    uint8_t* out = bytes.data();
    out[kEndListTypeOffset] = uint8_t(PbcListType::EndList);
    out[kEndListStopNumberOffset] = stopNumber;
    PutBe16(out + kEndListPlayItemOffset, playItem);
    return bytes;
}

std::optional<EndListRecord> EndListRecord::Decode(std::span<const uint8_t> bytes, std::string* why) {
    const uint8_t* data = bytes.data();
    if (!CheckSize(bytes.size(), kEndListSize, "end list", why) ||
        !CheckType(data[kEndListTypeOffset], PbcListType::EndList, "end list", why))
        return std::nullopt;
    EndListRecord r;
    r.stopNumber = data[kEndListStopNumberOffset];
    r.playItem = GetBe16(data + kEndListPlayItemOffset);
    return r;
}

bool DecodePlaybackControl(const uint8_t* lot, size_t lotSize, const uint8_t* psd, size_t psdSize,
                           std::vector<PsdListView>& lists, std::string& error) {
    lists.clear();
    const std::optional<LotRecord> table = LotRecord::Decode(std::span(lot, lotSize), &error);
    if (!table) return false;
    const std::vector<uint16_t>& offsets8 = table->offsets8;
    for (size_t i = 0; i < offsets8.size(); ++i) {
        PsdListView view;
        view.listId = uint16_t(i + 1);
        view.offset = uint32_t(offsets8[i]) * kPsdAlignment;
        if (view.offset >= psdSize) {
            view.error = "offset " + std::to_string(view.offset) + " lies beyond the PSD (" +
                         std::to_string(psdSize) + " bytes)";
            lists.push_back(std::move(view));
            continue;
        }
        const std::span<const uint8_t> at(psd + view.offset, psdSize - view.offset);
        view.typeCode = at[0];
        switch (PbcListType(view.typeCode)) {
            case PbcListType::PlayList:
                if (auto r = PlayListRecord::Decode(at, &view.error)) view.playList = *r;
                break;
            case PbcListType::Selection:
                if (auto r = SelectionRecord::Decode(at, &view.error)) view.selection = std::move(*r);
                break;
            case PbcListType::EndList:
                if (auto r = EndListRecord::Decode(at, &view.error)) view.endList = *r;
                break;
            default:
                view.error = "unknown descriptor type " + std::to_string(view.typeCode);
                break;
        }
        lists.push_back(std::move(view));
    }
    return true;
}

std::string DescribePlayItem(uint16_t playItem) {
    // Play-item number ranges of the Video CD standard.
    if (playItem < 2) return "none";
    if (playItem < 100) return "track " + std::to_string(playItem);
    if (playItem < 600) return "entry " + std::to_string(playItem - 99);
    if (playItem >= 1000 && playItem <= 2979) return "segment " + std::to_string(playItem);
    return "reserved " + std::to_string(playItem);
}

namespace {

void InspectLink(InspectVisitor& v, std::string_view name, uint16_t offset8, const PsdLinkText& linkText) {
    v.Text(name, offset8 == kNoListOffset ? std::string("none") : linkText(offset8));
}

}  // namespace

void PlayListRecord::Inspect(InspectVisitor& v, const PsdLinkText& linkText) const {
    v.Text("type", "play list");
    v.Number("items", itemCount);
    v.Text("playItem", DescribePlayItem(playItem));
    InspectLink(v, "previous", previous, linkText);
    InspectLink(v, "next", next, linkText);
    InspectLink(v, "return", returnTo, linkText);
    v.Number("playTime", playTime);
    v.Number("wait", wait);
    v.Number("autoWait", autoWait);
}

void SelectionRecord::Inspect(InspectVisitor& v, const PsdLinkText& linkText) const {
    v.Text("type", "selection");
    v.Text("playItem", DescribePlayItem(playItem));
    v.Number("baseNumber", baseNumber);
    InspectLink(v, "previous", previous, linkText);
    InspectLink(v, "next", next, linkText);
    InspectLink(v, "return", returnTo, linkText);
    InspectLink(v, "default", defaultList, linkText);
    InspectLink(v, "timeout", timeout, linkText);
    v.Number("wait", wait);
    v.Number("loop", loop);
    v.BeginList("selections");
    for (size_t i = 0; i < targets.size(); ++i) {
        v.BeginObject("");
        v.Number("number", int64_t(baseNumber) + int64_t(i));
        InspectLink(v, "goes to", targets[i], linkText);
        v.EndObject();
    }
    v.EndList();
}

void EndListRecord::Inspect(InspectVisitor& v) const {
    v.Text("type", "end list");
    v.Number("stopNumber", stopNumber);
    v.Text("playItem", DescribePlayItem(playItem));
}

}  // namespace qorvcd
