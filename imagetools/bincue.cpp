#include "imagetools/bincue.h"

#include <cstring>

#include "platform/bytes.h"
#include "platform/file.h"
#include "platform/log_list.h"
#include "platform/outputs.h"
#include "platform/paths.h"

namespace qorvcd {

namespace {

constexpr uint8_t kSyncPattern[kRawSyncSize] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                                0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};

}  // namespace

void FinishRawSector(uint32_t sector, RunForm form, uint8_t* raw) {
    // A sector carries its subheader twice; the first copy is the one read.
    Subheader::ReadFrom(raw + kRawSubheaderOffset).WriteTo(raw + kRawSubheaderOffset);
    std::memcpy(raw, kSyncPattern, kRawSyncSize);
    PutMsfBcd(raw + kRawHeaderOffset, sector);
    raw[kRawModeOffset] = uint8_t(SectorMode::Mode2);
    if (form == RunForm::Form1) {
        PutLe32(raw + kRawForm1EdcOffset, ComputeEdc(raw + kRawSubheaderOffset, kForm1UnitSize));
        ComputeForm1Ecc(raw);
        return;
    }
    PutLe32(raw + kRawForm2EdcOffset, ComputeEdc(raw + kRawSubheaderOffset, kForm2UnitSize));
}

void BuildRawSectorFromUnit(uint32_t sector, RunForm form, const uint8_t* unit, uint8_t* raw) {
    std::memcpy(raw + kRawSubheaderOffset, unit, UnitSizeOf(form));
    FinishRawSector(sector, form, raw);
}

void BuildEmptyRawSector(uint32_t sector, uint8_t* raw) {
    std::memset(raw, 0, kRawSectorSize);
    kGapSubheader.WriteTo(raw + kRawSubheaderOffset);
    FinishRawSector(sector, RunForm::Form2, raw);
}

void BuildRawSector(uint32_t sector, const SectorContent& content, uint8_t* raw) {
    if (content.state != SectorState::Stored) {
        BuildEmptyRawSector(sector, raw);
        return;
    }
    const size_t dataSize = content.form == RunForm::Form1 ? kForm1DataSize : kForm2DataSize;
    content.subheader.WriteTo(raw + kRawSubheaderOffset);
    std::memcpy(raw + kRawDataOffset, content.data.data(), dataSize);
    FinishRawSector(sector, content.form, raw);
}

std::string CueTime(uint32_t sectors) {
    return Format("%02u:%02u:%02u", sectors / kFramesPerMinute, (sectors % kFramesPerMinute) / kFramesPerSecond,
                  sectors % kFramesPerSecond);
}

std::string MakeCueSheet(const std::string& binName, const std::vector<ImageTrack>& tracks) {
    std::string cue = "FILE \"" + binName + "\" BINARY\r\n";
    for (const ImageTrack& track : tracks) {
        cue += Format("  TRACK %02u MODE2/2352\r\n", track.number);
        if (track.number > 1 && track.startSector >= kDiscAddressOffset) {
            cue += "    INDEX 00 " + CueTime(track.startSector - kDiscAddressOffset) + "\r\n";
        }
        cue += "    INDEX 01 " + CueTime(track.startSector) + "\r\n";
    }
    return cue;
}

std::string BinPathForCue(const std::string& cuePath) {
    const std::string name = FileNameOf(cuePath);
    const size_t dot = name.rfind('.');
    const std::string base = dot == std::string::npos ? cuePath : cuePath.substr(0, cuePath.size() - (name.size() - dot));
    return base + ".bin";
}

namespace {

// One output of the export: written under a temporary name, closed by
// Finish, renamed into place by Commit, removed when dropped uncommitted.
class ExportOutput {
public:
    explicit ExportOutput(const std::string& path) : path_(path), pending_(path) {}
    bool Open(std::string* error) {
        existedBefore_ = File::Exists(path_);
        if (pending_.Create() && pending_.OpenForWriting(file_)) return true;
        *error = pending_.Error();
        return false;
    }
    File& Stream() { return file_; }
    // Every byte on the disk: done for all outputs before any takes its name.
    bool Finish(std::string* error) {
        if (file_.Ok() && file_.Close()) return true;
        *error = file_.Error();
        return false;
    }
    bool Commit(std::string* error) {
        if (pending_.Keep()) return true;
        *error = pending_.Error();
        return false;
    }
    // Takes back a committed output that was new, when a later one fails:
    // the export leaves all its outputs or none. An output that replaced an
    // older file stays (the old one is gone), and the error says so.
    void Undo(std::string* error) {
        if (!existedBefore_) {
            File::Remove(path_);
            return;
        }
        *error += "; " + path_ + " was already replaced";
    }

private:
    std::string path_;
    PendingOutput pending_;
    File file_;
    bool existedBefore_ = false;
};

// Renames every output into place, in order; a failure takes back the
// outputs renamed before it.
bool CommitAll(const std::vector<ExportOutput*>& outputs, std::string* error) {
    for (ExportOutput* output : outputs) {
        if (!output->Finish(error)) return false;
    }
    for (size_t i = 0; i < outputs.size(); ++i) {
        if (outputs[i]->Commit(error)) continue;
        for (size_t j = 0; j < i; ++j) outputs[j]->Undo(error);
        return false;
    }
    return true;
}

// Polls for a Cancel and reports progress once per this many sectors.
constexpr uint32_t kSectorsPerPoll = 256;

bool Poll(const BinCueRequest& request, uint32_t done, uint32_t total, std::string* error) {
    if (request.progress && total > 0) request.progress(int(uint64_t(done) * 100 / total));
    if (request.cancelRequested && request.cancelRequested()) {
        *error = "cancelled";
        return false;
    }
    return true;
}

bool WriteSectors(ImageReader& reader, const BinCueRequest& request, ExportOutput* bin, ExportOutput* iso,
                  std::string* error) {
    const uint32_t trackOneEnd = reader.Tracks().front().EndSector();
    const uint32_t end = bin ? reader.EndSector() : trackOneEnd;
    SectorContent content;
    RawSector raw;
    for (uint32_t sector = 0; sector < end; ++sector) {
        if (sector % kSectorsPerPoll == 0 && !Poll(request, sector, end, error)) return false;
        if (!reader.ReadSector(sector, content)) {
            *error = reader.Error();
            return false;
        }
        if (bin) {
            BuildRawSector(sector, content, raw.data());
            bin->Stream().Write(raw.data(), raw.size());
        }
        if (iso && sector < trackOneEnd) iso->Stream().Write(content.data.data(), kForm1DataSize);
        if ((bin && !bin->Stream().Ok()) || (iso && !iso->Stream().Ok())) {
            *error = bin && !bin->Stream().Ok() ? bin->Stream().Error() : iso->Stream().Error();
            return false;
        }
    }
    return Poll(request, end, end, error);
}

// Each output must be writable, distinct from the others and not the image.
bool CheckExportOutputs(const BinCueRequest& request, const std::string& binPath, std::string* error) {
    std::vector<NamedFile> outputs;
    if (!request.cuePath.empty()) {
        outputs.push_back({"the BIN", binPath});
        outputs.push_back({"the cue sheet", request.cuePath});
    }
    if (!request.isoPath.empty()) outputs.push_back({"the ISO image", request.isoPath});
    std::vector<NamedFile> taken{{"the disc image", request.imagePath}};
    for (const NamedFile& output : outputs) {
        if (const std::string problem = OutputProblem(output.path); !problem.empty()) {
            *error = output.what + " cannot be written: " + problem;
            return false;
        }
        if (const NamedFile* other = AliasedInput(output.path, taken)) {
            *error = output.what + " " + output.path + " would overwrite " + other->what + " " + other->path;
            return false;
        }
        taken.push_back(output);
    }
    return true;
}

}  // namespace

bool ExportBinCue(const BinCueRequest& request, std::string* error) {
    std::string localError;
    if (!error) error = &localError;
    const bool wantBin = !request.cuePath.empty();
    const bool wantIso = !request.isoPath.empty();
    if (!wantBin && !wantIso) {
        *error = "nothing to write: neither a cue sheet nor an ISO image was named";
        return false;
    }
    const std::string binPath = wantBin ? BinPathForCue(request.cuePath) : std::string();
    if (!CheckExportOutputs(request, binPath, error)) return false;
    ImageReader reader;
    if (!reader.Open(request.imagePath)) {
        *error = request.imagePath + ": " + reader.Error();
        return false;
    }

    ExportOutput bin(binPath);
    ExportOutput cue(request.cuePath);
    ExportOutput iso(request.isoPath);
    if ((wantBin && (!bin.Open(error) || !cue.Open(error))) || (wantIso && !iso.Open(error))) return false;
    if (!WriteSectors(reader, request, wantBin ? &bin : nullptr, wantIso ? &iso : nullptr, error)) return false;
    if (wantBin) {
        const std::string sheet = MakeCueSheet(FileNameOf(binPath), reader.Tracks());
        cue.Stream().Write(sheet.data(), sheet.size());
    }
    // The cue sheet goes last, so that a sheet never names a missing BIN.
    std::vector<ExportOutput*> outputs;
    if (wantIso) outputs.push_back(&iso);
    if (wantBin) outputs.insert(outputs.end(), {&bin, &cue});
    return CommitAll(outputs, error);
}

}  // namespace qorvcd
