#include "content/psd_records.h"

#include <cstring>

#include "content/lot.h"
#include "platform/bytes.h"

namespace qorvcd {

namespace {

bool CheckSize(size_t have, size_t need, const char* what, std::string& error) {
    if (have >= need) return true;
    error = std::string(what) + " needs " + std::to_string(need) + " bytes, " +
            std::to_string(have) + " left";
    return false;
}

bool CheckType(uint8_t found, PbcListType expected, const char* what, std::string& error) {
    if (found == uint8_t(expected)) return true;
    error = std::string(what) + " has type byte " + std::to_string(found);
    return false;
}

}  // namespace

size_t SelectionListSize(size_t selectionCount) {
    const size_t size = kSelectionFixedSize + 2 * selectionCount;
    return (size + kPsdAlignment - 1) / kPsdAlignment * kPsdAlignment;
}

void PlayListRecord::Encode(uint8_t* out) const {
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
}

bool PlayListRecord::Decode(const uint8_t* data, size_t size, std::string& error) {
    if (!CheckSize(size, kPlayListSize, "play list", error) ||
        !CheckType(data[kPlayListTypeOffset], PbcListType::PlayList, "play list", error))
        return false;
    itemCount = data[kPlayListItemCountOffset];
    listId = GetBe16(data + kPlayListIdOffset);
    previous = GetBe16(data + kPlayListPreviousOffset);
    next = GetBe16(data + kPlayListNextOffset);
    returnTo = GetBe16(data + kPlayListReturnOffset);
    playTime = GetBe16(data + kPlayListPlayTimeOffset);
    wait = data[kPlayListWaitOffset];
    autoWait = data[kPlayListAutoWaitOffset];
    playItem = GetBe16(data + kPlayListPlayItemOffset);
    return true;
}

void SelectionRecord::Encode(uint8_t* out) const {
    std::memset(out, 0, Size());
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
}

bool SelectionRecord::Decode(const uint8_t* data, size_t size, std::string& error) {
    if (!CheckSize(size, kSelectionFixedSize, "selection list", error) ||
        !CheckType(data[kSelectionTypeOffset], PbcListType::Selection, "selection list", error))
        return false;
    const size_t count = data[kSelectionCountOffset];
    if (!CheckSize(size, SelectionListSize(count), "selection list", error)) return false;
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
    return true;
}

void EndListRecord::Encode(uint8_t* out) const {
    std::memset(out, 0, kEndListSize);  // bytes 4-7 reserved
    out[kEndListTypeOffset] = uint8_t(PbcListType::EndList);
    out[kEndListStopNumberOffset] = stopNumber;
    PutBe16(out + kEndListPlayItemOffset, playItem);
}

bool EndListRecord::Decode(const uint8_t* data, size_t size, std::string& error) {
    if (!CheckSize(size, kEndListSize, "end list", error) ||
        !CheckType(data[kEndListTypeOffset], PbcListType::EndList, "end list", error))
        return false;
    stopNumber = data[kEndListStopNumberOffset];
    playItem = GetBe16(data + kEndListPlayItemOffset);
    return true;
}

bool DecodePlaybackControl(const uint8_t* lot, size_t lotSize, const uint8_t* psd, size_t psdSize,
                           std::vector<PsdListView>& lists, std::string& error) {
    lists.clear();
    std::vector<uint16_t> offsets8;
    if (!DecodeLot(lot, lotSize, offsets8, error)) return false;
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
        const uint8_t* at = psd + view.offset;
        const size_t left = psdSize - view.offset;
        view.typeCode = at[0];
        switch (PbcListType(view.typeCode)) {
            case PbcListType::PlayList:
                view.playList.Decode(at, left, view.error);
                break;
            case PbcListType::Selection:
                view.selection.Decode(at, left, view.error);
                break;
            case PbcListType::EndList:
                view.endList.Decode(at, left, view.error);
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

}  // namespace qorvcd
