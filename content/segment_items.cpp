#include "content/segment_items.h"

#include <algorithm>

#include "codec/encode_pipeline.h"
#include "codec/picture_facts.h"
#include "codec/still_format.h"
#include "content/content_ids.h"
#include "content/spicontx.h"
#include "content/video_conversion.h"
#include "content/track_list.h"
#include "platform/bytes.h"
#include "platform/file.h"
#include "platform/log_list.h"
#include "platform/paths.h"
#include "script/script_reader.h"

namespace qorvcd {

namespace {

// Bitmap file header (14 bytes) and information header (40 bytes).
constexpr size_t kBitmapHeadersSize = 54;
constexpr size_t kBitmapMagicOffset = 0;   // "BM"
constexpr size_t kBitmapWidthOffset = 18;  // little-endian, in the information header

// Extensions of the still formats FFmpeg reads that a SEGMENT block converts.
constexpr std::string_view kPictureExtensions[] = {
    ".BMP", ".PNG", ".JPG", ".JPEG", ".JPE", ".JFIF", ".GIF", ".TIF", ".TIFF", ".WEBP", ".TGA", ".PCX",
    ".PPM", ".PGM", ".PBM", ".PNM", ".PAM", ".SGI", ".RGB", ".XBM", ".XWD", ".DPX", ".EXR", ".JP2",
    ".J2K", ".QOI", ".PSD", ".HDR", ".SUN", ".RAS",
};

// The video standard of the disc: its first track whose standard is known.
std::optional<codec::VideoStandard> StandardOfTracks(const TrackList* tracks) {
    if (!tracks) return std::nullopt;
    for (const TrackEntry& track : tracks->Entries()) {
        if (track.videoStandard == int32_t(VideoStandard::Pal)) return codec::VideoStandard::Pal;
        if (track.videoStandard == int32_t(VideoStandard::Ntsc)) return codec::VideoStandard::Ntsc;
    }
    return std::nullopt;
}

}  // namespace

bool IsPictureFileName(std::string_view name) {
    const std::string ext = ToUpper(SplitPath(std::string(name)).ext);
    return std::find(std::begin(kPictureExtensions), std::end(kPictureExtensions), ext) !=
           std::end(kPictureExtensions);
}

uint32_t SegmentCountOf(uint64_t fileSize) {
    const uint64_t sectors = fileSize / kSectorModeUnitSize;
    return uint32_t((sectors + kSectorsPerSegment - 1) / kSectorsPerSegment);
}

int PictureModeFor(DiscKind kind, int32_t bitmapWidth) {
    switch (kind) {
        case DiscKind::Vcd30:
            return bitmapWidth == 352 ? kPictureModeNormal : kPictureModeHigh;
        case DiscKind::Cvd:
            return kPictureModeNormal;
        case DiscKind::Svcd:
        case DiscKind::SuperVcd:
            break;
    }
    return bitmapWidth == 480 ? kPictureModeNormal : kPictureModeHigh;
}

void SegmentList::Insert(SegmentItem item) {
    auto at =
        std::upper_bound(items_.begin(), items_.end(), item.id,
                         [](const std::string& id, const SegmentItem& s) { return id < s.id; });
    items_.insert(at, std::move(item));
}

const SegmentItem* SegmentList::Find(std::string_view id) const {
    for (const SegmentItem& item : items_)
        if (item.id == id) return &item;
    return nullptr;
}

void SegmentList::RemoveConvertedFile(SegmentItem& item) {
    if (item.origin != SegmentOrigin::Converted) return;
    File::Remove(item.fileName);
    item.origin = SegmentOrigin::AuthorFile;
}

void SegmentList::Clear() {
    for (SegmentItem& item : items_) RemoveConvertedFile(item);
    items_.clear();
}

namespace {

// The build's progress window, remembering a Cancel taken through it: the
// still pipeline answers -1 both for a Cancel and for a failure (a full work
// disk, say), and only a Cancel may end the build as one.
class CancelWatch : public Progress {
  public:
    explicit CancelWatch(Progress& window) : window_(window) {}
    bool Open() override { return window_.Open(); }
    void DestroyWindow() override { window_.DestroyWindow(); }
    int SetProgress(int position) override { return window_.SetProgress(position); }
    bool TakeCancelRequest() override {
        const bool requested = window_.TakeCancelRequest();
        cancelled_ = cancelled_ || requested;
        return requested;
    }
    void SetMessage(const std::string& text) override { window_.SetMessage(text); }
    bool Cancelled() const { return cancelled_; }

  private:
    Progress& window_;
    bool cancelled_ = false;
};

// Converts a picture as EncodeStillPicture does; `cancelled` tells a Cancel
// from a failure.
int ConvertStill(const BuildContext& ctx, const std::string& bitmap, const std::string& target,
                 int pictureMode, std::optional<codec::VideoStandard> standard, bool& cancelled) {
    cancelled = false;
    if (!ctx.progress) return EncodeStillPicture(ctx, bitmap, target, pictureMode, standard);
    CancelWatch watch(*ctx.progress);
    BuildContext watched = ctx;
    watched.progress = &watch;
    const int converted = EncodeStillPicture(watched, bitmap, target, pictureMode, standard);
    cancelled = watch.Cancelled();
    return converted;
}

// Reads one SEGMENT block for one build. Every error logs its line and sets
// the result; reading stops at the first one.
class SegmentBlockReader {
  public:
    SegmentBlockReader(ScriptReader& script, const BuildContext& ctx, SegmentList& segments,
                       std::optional<codec::VideoStandard> discStandard)
        : script_(script), ctx_(ctx), segments_(segments), discStandard_(discStandard) {}

    void Read();
    void Number();
    // kOk, or the code of the first error.
    int Result() const { return result_; }

  private:
    std::string_view Next() { return TokenText(script_.NextTokenUpper()); }
    bool Fail(const std::string& line) {
        ctx_.LogError(line);
        result_ = kStepFailed;
        return false;
    }
    // The system's reason goes before the line that names the failure.
    bool FailWithReason(const File& file, const std::string& line) {
        ctx_.LogLine("Error: " + file.Error());
        return Fail(line);
    }
    // Reads "id = file [AUDIO n VIDEO n [OGT n]]"; `token` holds the ID and
    // comes back holding the token after the entry.
    bool ReadEntry(std::string_view& token);
    bool TakeFile(std::string_view name, SegmentItem& item);
    bool ConvertPicture(std::string_view name, SegmentItem& item);
    std::string ConvertedPathFor(const std::string& baseName) const;
    bool ReadCodes(SegmentItem& item, std::string_view& token);
    bool MeasureFile(SegmentItem& item);

    ScriptReader& script_;
    const BuildContext& ctx_;
    SegmentList& segments_;
    std::optional<codec::VideoStandard> discStandard_;  // the tracks' standard, when known
    VideoConversions videos_;
    int result_ = kOk;
};

void SegmentBlockReader::Read() {
    std::string_view token = Next();
    while (token != "ENDSEGMENT") {
        if (!ReadEntry(token)) return;
    }
}

bool SegmentBlockReader::ReadEntry(std::string_view& token) {
    const std::string id(token);
    if (id.substr(0, 3) != "SEG") return Fail(Format("ID_Name= %s", id.c_str()));
    if (!CheckScriptId(id, "Segment item", ctx_)) {
        result_ = kStepFailed;
        return false;
    }
    if (TokenText(script_.NextToken()) != "=") return Fail("Not found '=' sign");
    const std::string name(Next());
    SegmentItem item;
    item.id = id;
    item.scriptName = name;
    item.line = script_.TokenLine();
    if (!TakeFile(name, item)) return false;
    bool ok = MeasureFile(item);
    if (ok && ctx_.kind == DiscKind::Vcd30)
        token = Next();
    else if (ok)
        ok = ReadCodes(item, token);
    // Linked even after an error, so the clean-up deletes a converted file.
    segments_.Insert(std::move(item));
    return ok;
}

bool SegmentBlockReader::TakeFile(std::string_view name, SegmentItem& item) {
    const PathParts parts = SplitPath(std::string(name));
    if (IsPictureFileName(parts.name + parts.ext)) return ConvertPicture(name, item);
    const std::string path = ctx_.ResolveScriptPath(std::string(name));
    File file;
    if (!file.Open(path, FileMode::Read))
        return FailWithReason(file, Format("Can't open file %s", std::string(name).c_str()));
    file.Close();
    // An ordinary video clip becomes a sector-mode file first, in the tracks' norm.
    std::optional<VideoStandard> norm;
    if (discStandard_) norm = *discStandard_ == codec::VideoStandard::Pal ? VideoStandard::Pal : VideoStandard::Ntsc;
    std::string use;
    if (const int converted = videos_.FileFor(ctx_, std::string(name), path, norm, use); converted != kOk) {
        result_ = converted;
        return false;
    }
    item.fileName = use;
    item.origin = use == path ? SegmentOrigin::AuthorFile : SegmentOrigin::Converted;
    return true;
}

std::string SegmentBlockReader::ConvertedPathFor(const std::string& baseName) const {
    // Two bitmaps of the same name in different folders must not share one
    // converted file.
    std::string candidate = ctx_.workFolder + baseName + ".MPS";
    for (int n = 2; std::any_of(segments_.Items().begin(), segments_.Items().end(),
                                [&](const SegmentItem& s) { return s.fileName == candidate; });
         ++n)
        candidate = ctx_.workFolder + baseName + "_" + std::to_string(n) + ".MPS";
    return candidate;
}

bool SegmentBlockReader::ConvertPicture(std::string_view name, SegmentItem& item) {
    const std::string written(name);
    const std::string path = ctx_.ResolveScriptPath(written);
    const bool bitmapName = ToUpper(SplitPath(path).ext) == ".BMP";
    uint8_t headers[kBitmapHeadersSize] = {};
    {
        File picture;
        if (!picture.Open(path, FileMode::Read))
            return FailWithReason(picture, Format("Can't open file %s", written.c_str()));
        if (bitmapName && (!picture.ReadExact(headers, sizeof headers) || headers[kBitmapMagicOffset] != 'B' ||
                           headers[kBitmapMagicOffset + 1] != 'M'))
            return Fail(Format("File %s is not a BMP file", written.c_str()));
    }
    codec::PictureFacts facts;
    std::string reason;
    const bool known = codec::ReadPictureFacts(path, facts, &reason);
    int pictureMode = kPictureModeNormal;
    std::optional<codec::VideoStandard> standard;
    if ((bitmapName && !known) || (known && facts.standardBitmap)) {
        // A bitmap of a standard frame size (or one the encoder will refuse
        // with its reason) takes the bitmap path: its own standard, its mode
        // from its width.
        const int32_t width = bitmapName ? int32_t(GetLe32(headers + kBitmapWidthOffset)) : facts.width;
        pictureMode = PictureModeFor(ctx_.kind, width);
    } else {
        if (!known) return Fail(Format("Can't read picture %s: %s", written.c_str(), reason.c_str()));
        pictureMode = codec::PictureModeForSize(ctx_.kind, facts.width, facts.height);
        standard = discStandard_;
    }
    const std::string target = ConvertedPathFor(SplitPath(path).name);
    bool cancelled = false;
    const int converted = ConvertStill(ctx_, path, target, pictureMode, standard, cancelled);
    if (converted == kStillFailedOrCancelled && cancelled) {
        result_ = kCancelled;
        return false;
    }
    // A failed pass has logged its reason and leaves no file behind: it fails
    // the build here rather than as a missing file later.
    if (converted != kOk) return Fail(Format("Can't convert file %s", written.c_str()));
    item.fileName = target;
    item.origin = SegmentOrigin::Converted;
    return true;
}

bool SegmentBlockReader::MeasureFile(SegmentItem& item) {
    File file;
    const std::string cantRead = Format("Can't read file %s", item.fileName.c_str());
    if (!file.Open(item.fileName, FileMode::Read)) return FailWithReason(file, cantRead);
    item.measuredStamp = file.Identity();
    const uint64_t size = file.Length();
    if (!file.Ok()) return FailWithReason(file, cantRead);
    // An empty file would be an item of no segments sharing its number with the next.
    if (size == 0 || size % kSectorModeUnitSize != 0)
        return Fail(Format("File %s length error %ld", item.fileName.c_str(), long(size)));
    item.segmentCount = SegmentCountOf(size);
    return true;
}

bool SegmentBlockReader::ReadCodes(SegmentItem& item, std::string_view& token) {
    const std::string audio(Next());
    if (audio != "AUDIO") return Fail(Format("Missing AUDIO, %s", audio.c_str()));
    const int audioCode = ScriptInt(Next());
    item.audioCode = ctx_.kind == DiscKind::Cvd ? 0 : audioCode;  // a CVD has no segment audio code
    if (Next() != "VIDEO") {
        ctx_.MessageError("Missing VIDEO");
        result_ = kStepFailed;
        return false;
    }
    item.videoCode = ScriptInt(Next());
    token = Next();
    if (token == "OGT") {
        item.ogtCode = ScriptInt(Next());
        token = Next();
    }
    return true;
}

void SegmentBlockReader::Number() {
    uint32_t running = kFirstSegmentItemNumber;
    for (SegmentItem& item : segments_.Items()) {
        item.number = running;
        running += item.segmentCount;
        if (running > kLastSegmentItemNumber) {
            const std::string why = Format(
                "Error: segment item %s (%s) takes segments %u to %u; a disc holds at most %u segments "
                "(play items %u to %u)",
                item.id.c_str(), item.scriptName.c_str(), item.number - kFirstSegmentItemNumber + 1,
                running - kFirstSegmentItemNumber, kLastSegmentItemNumber - kFirstSegmentItemNumber,
                kFirstSegmentItemNumber, kLastSegmentItemNumber - 1);
            ctx_.Report(Severity::Error, why, item.line);
            ctx_.LogLine("Error ::In SEGMENT over 1998 section!!");
            ctx_.LogLine(why);
            result_ = kStepFailed;
            return;
        }
    }
}

bool WriteSpicontx(const BuildContext& ctx, File& file, const SegmentList& segments) {
    const std::optional<SpicontxRecord> record = BuildSpicontx(segments.Items());
    if (!record) {
        ctx.LogLine(
            Format("Error: %s holds at most %zu segments", kSpicontxFileName, kSpicontxMaxPairs));
        return false;
    }
    const std::vector<uint8_t> image = record->Encode();
    if (!file.Write(image.data(), image.size()) || !file.Close()) {
        ctx.LogLine(Format("Error 10000: Can't create file %s", file.Path().c_str()));
        return false;
    }
    return true;
}

}  // namespace

int ReadSegmentItems(ScriptReader& script, const BuildContext& ctx, SegmentList& segments,
                     const TrackList* tracks) {
    const bool writesSpicontx = IsSvcdFamily(ctx.kind);
    File spicontx;
    if (writesSpicontx) {
        const std::string path = ctx.workFolder + kSpicontxFileName;
        if (!spicontx.Open(path, FileMode::CreateReadWrite)) {
            ctx.LogLine(Format("Error 10000: Can't create file %s", path.c_str()));
            return kStepFailed;
        }
    }
    SegmentBlockReader reader(script, ctx, segments, StandardOfTracks(tracks));
    if (script.FindSection("[PBC]") && TokenText(script.NextTokenUpper()) == "SEGMENT") {
        reader.Read();
        if (reader.Result() == kOk) reader.Number();
    }
    QORVCD_CHECK(reader.Result());
    if (writesSpicontx && !WriteSpicontx(ctx, spicontx, segments)) return kStepFailed;
    return kOk;
}

}  // namespace qorvcd
