#include "content/psd_compiler.h"

#include <algorithm>
#include <optional>

#include "content/lot.h"
#include "content/psd_records.h"
#include "platform/file.h"
#include "platform/log_list.h"

namespace qorvcd {

const char* PsdFileName(DiscKind kind) { return IsSvcdFamily(kind) ? "PSD.SVD" : "PSD.VCD"; }
const char* LotFileName(DiscKind kind) { return IsSvcdFamily(kind) ? "LOT.SVD" : "LOT.VCD"; }

int32_t FindListOffset(const PbcScript& pbc, std::string_view id) {
    for (const SelectionNode& node : pbc.selections)
        if (node.id == id) return node.psdOffset;
    for (const PlayListNode& node : pbc.playLists)
        if (node.id == id) return node.psdOffset;
    return -1;
}

uint16_t FindPlayItem(const SegmentList& segments, const TrackList& tracks, std::string_view id,
                      const BuildContext& ctx) {
    if (const SegmentItem* item = segments.Find(id)) return uint16_t(item->number);
    if (const TrackEntry* track = tracks.Find(id)) return uint16_t(track->number);
    ctx.LogError(Format("Not found ID %.*s", int(id.size()), id.data()));
    return kPlayItemNotFound;
}

namespace {

// The largest offset / 8 a link can hold (0xFFFF means "no list").
constexpr uint32_t kMaxOffset8 = kNoListOffset - 1;
constexpr int32_t kMaxPlayTime = 0xFFFF;

// The statement of the list being resolved, as the place of its problems.
class ListPosition : public ScriptPosition {
  public:
    explicit ListPosition(const BuildContext& ctx)
        : file_(ctx.position ? ctx.position->PositionFile() : ctx.scriptName) {}
    const std::string& PositionFile() const override { return file_; }
    int PositionLine() const override { return line_; }
    void SetLine(int line) { line_ = line; }

  private:
    std::string file_;
    int line_ = 0;
};

class PsdCompiler {
  public:
    PsdCompiler(PbcScript& pbc, TrackList& tracks, const SegmentList& segments,
                const BuildContext& ctx)
        : pbc_(pbc),
          tracks_(tracks),
          segments_(segments),
          ctx_(ctx),
          position_(ctx),
          playRecords_(pbc.playLists.size()),
          endRecords_(pbc.playLists.size()),
          selectionRecords_(pbc.selections.size()) {
        ctx_.position = &position_;
    }
    PsdCompiler(const PsdCompiler&) = delete;
    PsdCompiler& operator=(const PsdCompiler&) = delete;

    PsdImage Compile();

  private:
    // Pass 1: every list gets its place, its list ID and its LOT entry.
    bool PlaceAll();
    bool PlaceStartList();
    bool Place(int32_t& psdOffset, size_t size, uint16_t& listId);
    void PlaceSelection(size_t index);
    void PlacePlayListNode(size_t index);
    // Pass 2: links and items are resolved.
    bool ResolveSelection(size_t index);
    bool ResolvePlayList(size_t index);
    void ResolveEndList(size_t index);
    std::optional<uint16_t> Link(const std::string& target, const char* what);
    uint16_t PlayItem(const std::string& id);
    bool PlaysSegmentWithAudio(const std::string& id) const;
    template <typename Record>
    void Store(const Record& record, int32_t psdOffset) {
        const std::vector<uint8_t> bytes = record.Encode();
        std::copy(bytes.begin(), bytes.end(), image_.psd.begin() + psdOffset);
    }

    PbcScript& pbc_;
    TrackList& tracks_;
    const SegmentList& segments_;
    BuildContext ctx_;  // its position is the list being resolved
    ListPosition position_;
    PsdImage image_;
    std::vector<uint16_t> lotOffsets_;
    uint16_t nextListId_ = 1;
    bool placeFailed_ = false;
    std::vector<PlayListRecord> playRecords_;
    std::vector<EndListRecord> endRecords_;
    std::vector<SelectionRecord> selectionRecords_;
};

bool PsdCompiler::Place(int32_t& psdOffset, size_t size, uint16_t& listId) {
    const size_t offset = image_.psd.size();
    if (offset / kPsdAlignment > kMaxOffset8 || lotOffsets_.size() >= kLotMaxEntries) {
        if (!placeFailed_)
            ctx_.LogLine(Format("Error: playback control holds at most %zu lists and %u bytes",
                                kLotMaxEntries, unsigned(kMaxOffset8 * kPsdAlignment)));
        placeFailed_ = true;
        return false;
    }
    psdOffset = int32_t(offset);
    image_.psd.resize(offset + size, 0);
    lotOffsets_.push_back(uint16_t(offset / kPsdAlignment));
    // End lists take a list ID too, so the LOT index of every list is its ID.
    listId = nextListId_++;
    return true;
}

void PsdCompiler::PlaceSelection(size_t index) {
    SelectionNode& node = pbc_.selections[index];
    SelectionRecord& record = selectionRecords_[index];
    record.targets.assign(size_t(node.itemCount), 0);
    if (!Place(node.psdOffset, record.Size(), record.listId)) return;
    record.baseNumber = uint8_t(node.baseNumber);
    record.wait = uint8_t(node.wait);
    record.loop = uint8_t(node.loop | node.jump);
    Store(record, node.psdOffset);
}

void PsdCompiler::PlacePlayListNode(size_t index) {
    PlayListNode& node = pbc_.playLists[index];
    if (node.type == PbcListType::EndList) {
        EndListRecord& record = endRecords_[index];
        uint16_t listId = 0;
        if (!Place(node.psdOffset, kEndListSize, listId)) return;
        record.stopNumber = uint8_t(node.stopNumber);
        Store(record, node.psdOffset);
        return;
    }
    PlayListRecord& record = playRecords_[index];
    if (!Place(node.psdOffset, kPlayListSize, record.listId)) return;
    Store(record, node.psdOffset);
}

// The start list goes first: list ID 1 at offset 0.
bool PsdCompiler::PlaceStartList() {
    const std::string& id = pbc_.startListId;
    if (id.empty()) return true;
    for (size_t i = 0; i < pbc_.playLists.size(); ++i) {
        if (pbc_.playLists[i].id != id) continue;
        PlacePlayListNode(i);
        return true;
    }
    for (size_t i = 0; i < pbc_.selections.size(); ++i) {
        if (pbc_.selections[i].id != id) continue;
        PlaceSelection(i);
        return true;
    }
    ctx_.MessageError(Format("Start list: Can't find ID %s", id.c_str()));
    return false;
}

bool PsdCompiler::PlaceAll() {
    if (!PlaceStartList()) return false;
    for (size_t i = 0; i < pbc_.selections.size(); ++i)
        if (pbc_.selections[i].psdOffset < 0) PlaceSelection(i);
    for (size_t i = 0; i < pbc_.playLists.size(); ++i)
        if (pbc_.playLists[i].psdOffset < 0) PlacePlayListNode(i);
    return !placeFailed_;
}

std::optional<uint16_t> PsdCompiler::Link(const std::string& target, const char* what) {
    if (target == kNoneId) return kNoListOffset;
    const int32_t offset = FindListOffset(pbc_, target);
    if (offset < 0) {
        ctx_.MessageError(Format("%s: Can't find ID %s", what, target.c_str()));
        return std::nullopt;
    }
    return uint16_t(offset / int32_t(kPsdAlignment));
}

uint16_t PsdCompiler::PlayItem(const std::string& id) {
    // "NONE" is the standard's play item 0: the list shows nothing.
    if (id == kNoneId) return 0;
    const uint16_t item = FindPlayItem(segments_, tracks_, id, ctx_);
    if (item == kPlayItemNotFound) image_.ok = false;
    return item;
}

bool PsdCompiler::PlaysSegmentWithAudio(const std::string& id) const {
    const SegmentItem* item = segments_.Find(id);
    return item && item->audioCode != 0;
}

bool PsdCompiler::ResolveSelection(size_t index) {
    const SelectionNode& node = pbc_.selections[index];
    SelectionRecord& record = selectionRecords_[index];
    position_.SetLine(node.line);
    const auto previous = Link(node.previousId, "Select Prev");
    const auto next = previous ? Link(node.nextId, "Select Next") : std::nullopt;
    const auto ret = next ? Link(node.returnId, "Select Return") : std::nullopt;
    const auto def = ret ? Link(node.defaultId, "Select Default") : std::nullopt;
    const auto timeout = def ? Link(node.timeoutId, "Select TimeOut") : std::nullopt;
    if (!timeout) return false;
    record.previous = *previous;
    record.next = *next;
    record.returnTo = *ret;
    record.defaultList = *def;
    record.timeout = *timeout;
    // A still with audio cannot wait for its own end before jumping.
    if (PlaysSegmentWithAudio(node.playItemId)) record.loop &= 0x7F;
    record.playItem = PlayItem(node.playItemId);
    for (size_t i = 0; i < node.items.size(); ++i) {
        const auto target = Link(node.items[i].targetId, "Select Item");
        if (!target) return false;
        record.targets[i] = *target;
    }
    Store(record, node.psdOffset);
    return true;
}

bool PsdCompiler::ResolvePlayList(size_t index) {
    const PlayListNode& node = pbc_.playLists[index];
    PlayListRecord& record = playRecords_[index];
    position_.SetLine(node.line);
    const auto previous = Link(node.previousId, "Play Prev");
    const auto next = previous ? Link(node.nextId, "Play Next") : std::nullopt;
    const auto ret = next ? Link(node.returnId, "Play Return") : std::nullopt;
    if (!ret) return false;
    if (node.playTime < 0 || node.playTime > kMaxPlayTime) {
        ctx_.LogError(Format("Error: PLAYLIST %s play time %d is outside 0 to %d", node.id.c_str(),
                            node.playTime, kMaxPlayTime));
        return false;
    }
    record.previous = *previous;
    record.next = *next;
    record.returnTo = *ret;
    record.playTime = uint16_t(node.playTime);
    record.wait = uint8_t(node.wait);
    record.autoWait = uint8_t(node.autoWait);
    if (node.startTime != 0) {
        // The video track writer stores the entry's play-item number here.
        if (!InsertEntryPoint(tracks_, ctx_, node.playItemId, uint32_t(node.psdOffset),
                              node.startTime))
            image_.ok = false;
    } else {
        record.playItem = PlayItem(node.playItemId);
    }
    Store(record, node.psdOffset);
    return true;
}

void PsdCompiler::ResolveEndList(size_t index) {
    const PlayListNode& node = pbc_.playLists[index];
    EndListRecord& record = endRecords_[index];
    position_.SetLine(node.line);
    if (node.playItemId.empty()) return;
    record.playItem = PlayItem(node.playItemId);
    Store(record, node.psdOffset);
}

PsdImage PsdCompiler::Compile() {
    for (SelectionNode& node : pbc_.selections) node.psdOffset = -1;
    for (PlayListNode& node : pbc_.playLists) node.psdOffset = -1;
    bool ok = PlaceAll();
    for (size_t i = 0; ok && i < pbc_.selections.size(); ++i) ok = ResolveSelection(i);
    for (size_t i = 0; ok && i < pbc_.playLists.size(); ++i) {
        if (pbc_.playLists[i].type == PbcListType::EndList)
            ResolveEndList(i);
        else
            ok = ResolvePlayList(i);
    }
    image_.ok = image_.ok && ok;
    image_.lot = LotRecord{lotOffsets_}.Encode();
    image_.lotEntryCount = uint16_t(nextListId_ - 1);
    return std::move(image_);
}

}  // namespace

PsdImage BuildPsd(PbcScript& pbc, TrackList& tracks, const SegmentList& segments,
                  const BuildContext& ctx) {
    return PsdCompiler(pbc, tracks, segments, ctx).Compile();
}

PsdCompileResult CompilePsd(PbcScript& pbc, TrackList& tracks, const SegmentList& segments,
                            const BuildContext& ctx) {
    const PsdImage image = BuildPsd(pbc, tracks, segments, ctx);
    PsdCompileResult result;
    result.ok = image.ok;
    result.psdSize = uint32_t(image.psd.size());
    result.lotEntryCount = image.lotEntryCount;
    result.psdPath = ctx.workFolder + PsdFileName(ctx.kind);
    result.lotPath = ctx.workFolder + LotFileName(ctx.kind);
    for (const auto& [path, bytes] :
         {std::pair{&result.psdPath, &image.psd}, std::pair{&result.lotPath, &image.lot}}) {
        std::string error;
        if (!File::WriteAll(*path, bytes->data(), bytes->size(), &error)) {
            ctx.LogLine(Format("Error 10000: Can't create file %s", path->c_str()));
            result.ok = false;
        }
    }
    return result;
}

}  // namespace qorvcd
