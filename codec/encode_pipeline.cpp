#include "codec/encode_pipeline.h"

#include <array>
#include <vector>

#include "codec/still_codec.h"
#include "mpeg/packet_reader.h"
#include "platform/file.h"
#include "platform/paths.h"

namespace qorvcd {

namespace {

// The encoder and the multiplexer take each argument in a buffer of this
// size, so a path holds at most kArgumentSize - 1 characters.
constexpr size_t kArgumentSize = 256;

// Argument strings for the codec, each in its own fixed buffer.
class ArgumentVector {
public:
    // False when the text does not fit its buffer.
    bool Add(const std::string& text) {
        if (text.size() >= kArgumentSize) return false;
        buffers_.emplace_back();
        text.copy(buffers_.back().data(), text.size());
        buffers_.back()[text.size()] = '\0';
        return true;
    }
    int Count() const { return int(buffers_.size()); }
    char** Vector() {
        pointers_.clear();
        for (auto& b : buffers_) pointers_.push_back(b.data());
        pointers_.push_back(nullptr);
        return pointers_.data();
    }

private:
    std::vector<std::array<char, kArgumentSize>> buffers_;
    std::vector<char*> pointers_;
};

void ShowLastAndRepaint(const BuildContext& ctx) {
    ctx.LogShowLast();
    if (ctx.log) ctx.log->Repaint();
}

bool CancelPending(const BuildContext& ctx) { return ctx.progress && ctx.progress->TakeCancelRequest(); }

// Fills `args`, logging the first argument that is too long for its buffer.
bool FillArguments(const BuildContext& ctx, ArgumentVector& args, std::initializer_list<std::string> texts) {
    for (const std::string& text : texts) {
        if (!args.Add(text)) {
            ctx.LogLine(Format("Path %s is longer than %zu characters", text.c_str(), kArgumentSize - 1));
            return false;
        }
    }
    return true;
}

int RunEncoder(const BuildContext& ctx, codec::StillCodec& codec, const std::string& bitmapPath,
               const std::string& streamPath) {
    ArgumentVector args;
    const char* mpeg1 = ctx.kind == DiscKind::Vcd30 ? "1" : "0";
    if (!FillArguments(ctx, args, {"mpeg2encode", bitmapPath, streamPath, mpeg1})) return kStillFailedOrCancelled;
    const int result = codec.EncodeMain(args.Count(), args.Vector());
    if (result != kOk) ctx.LogLine(Format("Can't encode %s: %s", bitmapPath.c_str(), codec.LastError().c_str()));
    return result;
}

int RunMultiplexer(const BuildContext& ctx, codec::StillCodec& codec, const std::string& programPath,
                   const std::string& streamPath, int pictureMode) {
    ArgumentVector args;
    if (!FillArguments(ctx, args, {"mux.exe", "-o", programPath, streamPath, "0.00"})) return kStillFailedOrCancelled;
    int result = kOk;
    if (ctx.kind == DiscKind::Vcd30) {
        result = codec.MuxMpg1(args.Count(), args.Vector(), pictureMode, 0);
    } else {
        // A CVD still's first sector is replaced by a blank unit afterwards,
        // so the multiplexer reserves it.
        if (ctx.kind == DiscKind::Cvd) args.Add("1");
        result = codec.Mux(args.Count(), args.Vector(), pictureMode, 0, 0);
    }
    if (result != kOk)
        ctx.LogLine(Format("Can't multiplex %s: %s", streamPath.c_str(), codec.LastError().c_str()));
    return result;
}

bool BlankFirstUnit(const BuildContext& ctx, const std::string& targetPath) {
    File target;
    const bool ok = target.Open(targetPath, FileMode::ReadWrite) && target.Seek(0) &&
                    WriteEmptyForm2Unit(target) && target.Close();
    if (!ok) ctx.LogLine(Format("Can't write file %s: %s", targetPath.c_str(), target.Error().c_str()));
    return ok;
}

bool ConvertToTarget(const BuildContext& ctx, const std::string& programPath, const std::string& targetPath) {
    const MessageHandler show = [&ctx](const std::string& text) { ctx.ShowMessage(text); };
    std::string error;
    if (!PackProgramStream(programPath, targetPath, ctx.kind, show, &error)) {
        ctx.LogLine(Format("Can't convert %s to sector mode: %s", programPath.c_str(), error.c_str()));
        return false;
    }
    if (ctx.kind == DiscKind::Cvd && !BlankFirstUnit(ctx, targetPath)) {
        File::Remove(targetPath);
        return false;
    }
    return true;
}

}  // namespace

int EncodeStillPicture(const BuildContext& ctx, const std::string& bitmapPath, const std::string& targetPath,
                       int pictureMode, std::optional<codec::VideoStandard> standard) {
    ShowLastAndRepaint(ctx);
    const std::string base = SplitPath(bitmapPath).name;
    const std::string streamPath = ctx.workFolder + base + ".VBS";
    const std::string programPath = ctx.workFolder + base + ".PS";

    const std::string encoding =
        Format("Encoding %s,", bitmapPath.c_str()) + (pictureMode == kPictureModeNormal ? " Normal" : " High");
    ctx.LogLine(encoding);
    if (ctx.progress) ctx.progress->SetMessage(encoding);

    codec::StillCodec codec({ctx.kind, pictureMode, standard});
    ctx.LogLine("Passing 1, encoding...");
    ShowLastAndRepaint(ctx);
    if (RunEncoder(ctx, codec, bitmapPath, streamPath) != kOk) {
        File::Remove(streamPath);
        return kStillFailedOrCancelled;
    }
    if (CancelPending(ctx)) {
        File::Remove(streamPath);
        return kStillFailedOrCancelled;
    }

    ctx.LogLine("Passing 2, muxing...");
    ctx.LogShowLast();
    const int muxResult = RunMultiplexer(ctx, codec, programPath, streamPath, pictureMode);
    File::Remove(streamPath);
    if (muxResult != kOk) {
        File::Remove(programPath);
        return muxResult;
    }
    if (CancelPending(ctx)) {
        File::Remove(programPath);
        return kStillFailedOrCancelled;
    }

    ctx.LogLine("Passing 3, coverting to sector mode...");
    ShowLastAndRepaint(ctx);
    const bool converted = ConvertToTarget(ctx, programPath, targetPath);
    File::Remove(programPath);
    if (!converted) return kStillFailedOrCancelled;
    if (CancelPending(ctx)) {
        File::Remove(targetPath);
        return kStillFailedOrCancelled;
    }
    return kOk;
}

}  // namespace qorvcd
