#include "imagetools/inspect.h"

#include <set>

#include "imagetools/conventions.h"
#include "platform/log_list.h"
#include "platform/paths.h"

namespace qorvcd {

namespace {

// ---- Decoding the ISO 9660 side

// All folders together are read within this many bytes: records of a crafted
// image could otherwise send the walk over the same large extent again and
// again under different start sectors.
constexpr uint64_t kMaxInspectedTreeBytes = 64u << 20;

std::string EntryName(const std::string& identifier) {
    const size_t semicolon = identifier.find(';');
    std::string name = semicolon == std::string::npos ? identifier : identifier.substr(0, semicolon);
    if (!name.empty() && name.back() == '.') name.pop_back();  // "NAME." of a file without extension
    return name;
}

class TreeDecoder {
public:
    TreeDecoder(ImageReader& reader, DecodedImage& out) : reader_(reader), out_(out) {}

    void Run() {
        uint8_t sector[kForm1DataSize];
        std::string why;
        if (!reader_.ReadUserData2048(kPrimaryVolumeDescriptorSector, sector)) {
            return Error("volume descriptor: " + reader_.Error());
        }
        auto volume = PrimaryVolumeDescriptor::Decode(sector, &why);
        if (!volume) return Error("primary volume descriptor at sector 16: " + why);
        out_.volume = volume;
        ReadPathTable(*volume);
        if (!volume->root) return Error("primary volume descriptor has no root record");
        ReadDirectory("", volume->root->extent, volume->root->dataLength, 1);
    }

private:
    void Error(const std::string& text) { out_.errors.push_back(text); }

    void ReadPathTable(const PrimaryVolumeDescriptor& volume) {
        std::vector<uint8_t> bytes;
        if (!reader_.ReadExtent(volume.typeLPathTable, volume.pathTableSize, bytes, kMaxInspectedDirectoryBytes)) {
            return Error("path table: " + reader_.Error());
        }
        std::string why;
        std::optional<PathTable> table = PathTable::Decode(bytes, ByteOrder::Little, &why);
        if (!table) return Error("path table at sector " + std::to_string(volume.typeLPathTable) + ": " + why);
        out_.pathTable = std::move(table->records);
    }

    void ReadDirectory(const std::string& path, uint32_t extent, uint32_t length, unsigned depth) {
        if (depth > kMaxInspectedDepth) return Error(Format("%s: folders nested deeper than %u levels",
                                                            path.c_str(), kMaxInspectedDepth));
        if (!visited_.insert(extent).second) return Error(Format("%s: directory at sector %u seen twice",
                                                                 path.c_str(), extent));
        if (length > kMaxInspectedTreeBytes - treeBytes_) {
            return Error(Format("%s: folders hold more than %llu bytes in all",
                                path.empty() ? "/" : path.c_str(),
                                (unsigned long long)kMaxInspectedTreeBytes));
        }
        treeBytes_ += length;
        std::vector<uint8_t> bytes;
        if (!reader_.ReadExtent(extent, length, bytes, kMaxInspectedDirectoryBytes)) {
            return Error("directory " + (path.empty() ? std::string("/") : path) + ": " + reader_.Error());
        }
        std::vector<InspectedEntry> folders;
        for (size_t sectorStart = 0; sectorStart < bytes.size(); sectorStart += kForm1DataSize) {
            const size_t sectorEnd = std::min(bytes.size(), sectorStart + kForm1DataSize);
            size_t at = sectorStart;
            while (at < sectorEnd && bytes[at] != 0) {
                std::string why;
                auto record = DirectoryRecord::Decode(std::span(bytes.data() + at, sectorEnd - at), &why);
                if (!record) {
                    Error(Format("directory %s, byte %zu: %s", path.empty() ? "/" : path.c_str(), at, why.c_str()));
                    break;
                }
                at += bytes[at];
                const std::string& id = record->identifier;
                if (id.size() == 1 && (id[0] == char(kSelfIdentifier) || id[0] == char(kParentIdentifier))) continue;
                if (out_.entries.size() >= kMaxInspectedEntries) {
                    return Error(Format("more than %zu files and folders", kMaxInspectedEntries));
                }
                InspectedEntry entry{path + "/" + EntryName(id), *record};
                out_.entries.push_back(entry);
                if (record->flags == FileFlags::Directory) folders.push_back(entry);
            }
        }
        for (const InspectedEntry& folder : folders) {
            ReadDirectory(folder.path, folder.record.extent, folder.record.dataLength, depth + 1);
        }
    }

    ImageReader& reader_;
    DecodedImage& out_;
    std::set<uint32_t> visited_;
    uint64_t treeBytes_ = 0;  // directory bytes read so far
};

// The control files, found by name in whichever control folder the disc has.
std::optional<InspectedFile> ReadNamedFile(ImageReader& reader, const DecodedImage& image,
                                           std::initializer_list<const char*> paths) {
    for (const char* wanted : paths) {
        for (const InspectedEntry& entry : image.entries) {
            if (entry.record.flags == FileFlags::Directory || ToUpper(entry.path) != wanted) continue;
            InspectedFile file{entry.path, {}, {}};
            if (!reader.ReadExtent(entry.record.extent, entry.record.dataLength, file.bytes)) {
                file.error = reader.Error();
            }
            return file;
        }
    }
    return std::nullopt;
}

void ReadControlFiles(ImageReader& reader, DecodedImage& image) {
    image.info = ReadNamedFile(reader, image, {"/VCD/INFO.VCD", "/SVCD/INFO.SVD", "/HQVCD/INFO.VCD"});
    image.entriesFile = ReadNamedFile(reader, image, {"/VCD/ENTRIES.VCD", "/SVCD/ENTRIES.SVD", "/HQVCD/ENTRIES.VCD"});
    image.lot = ReadNamedFile(reader, image, {"/VCD/LOT.VCD", "/SVCD/LOT.SVD", "/HQVCD/LOT.VCD"});
    image.psd = ReadNamedFile(reader, image, {"/VCD/PSD.VCD", "/SVCD/PSD.SVD", "/HQVCD/PSD.VCD"});
    image.tracksFile = ReadNamedFile(reader, image, {"/SVCD/TRACKS.SVD"});
    image.search = ReadNamedFile(reader, image, {"/SVCD/SEARCH.DAT"});
    image.scanData = ReadNamedFile(reader, image, {"/EXT/SCANDATA.DAT"});
}

// ---- Walking the decoded image

void VisitTracks(const DecodedImage& image, InspectVisitor& v) {
    v.BeginList("tracks");
    for (const ImageTrack& track : image.tracks) {
        v.BeginObject("");
        track.Inspect(v);
        v.EndObject();
    }
    v.EndList();
}

void VisitVolume(const PrimaryVolumeDescriptor& pvd, InspectVisitor& v) {
    v.BeginObject("volume");
    pvd.Inspect(v);
    v.EndObject();
}

void VisitTree(const DecodedImage& image, InspectVisitor& v) {
    v.BeginList("pathTable");
    for (size_t i = 0; i < image.pathTable.size(); ++i) {
        v.BeginObject("");
        image.pathTable[i].Inspect(v, i + 1);
        v.EndObject();
    }
    v.EndList();
    v.BeginList("files");
    for (const InspectedEntry& entry : image.entries) {
        v.BeginObject("");
        v.Text("path", entry.path);
        entry.record.Inspect(v);
        v.EndObject();
    }
    v.EndList();
}

using FileVisit = bool (*)(std::span<const uint8_t>, InspectVisitor&);

bool VisitControlFile(const char* name, const std::optional<InspectedFile>& file, FileVisit visit,
                      InspectVisitor& v) {
    if (!file) return true;
    v.BeginObject(name);
    v.Text("path", file->path);
    const bool ok = file->error.empty() ? visit(file->bytes, v) : (v.Text("error", file->error), false);
    v.EndObject();
    return ok;
}

}  // namespace

bool DecodeImage(const std::string& path, DecodedImage& out, std::string& error) {
    out = DecodedImage();
    ImageReader reader;
    if (!reader.Open(path)) {
        error = path + ": " + reader.Error();
        return false;
    }
    out.imagePath = path;
    out.imageLength = reader.ImageLength();
    out.tailOffset = reader.TailOffset();
    out.tracks = reader.Tracks();
    out.warnings = reader.Warnings();
    TreeDecoder(reader, out).Run();
    ReadControlFiles(reader, out);
    return true;
}

bool VisitImage(const DecodedImage& image, InspectVisitor& v) {
    bool ok = image.errors.empty();
    v.BeginObject("");
    v.Text("image", image.imagePath);
    v.Number("bytes", int64_t(image.imageLength));
    v.Number("tailOffset", int64_t(image.tailOffset));
    v.BeginList("warnings");
    for (const std::string& w : image.warnings) v.Text("", w);
    v.EndList();
    VisitTracks(image, v);
    if (image.volume) VisitVolume(*image.volume, v);
    VisitTree(image, v);
    ok = VisitControlFile("info", image.info, VisitInfoFile, v) && ok;
    ok = VisitControlFile("entries", image.entriesFile, VisitEntriesFile, v) && ok;
    if (image.lot && image.psd) {
        v.BeginObject("playbackControl");
        v.Text("lot", image.lot->path);
        v.Text("psd", image.psd->path);
        if (!image.lot->error.empty() || !image.psd->error.empty()) {
            v.Text("error", image.lot->error.empty() ? image.psd->error : image.lot->error);
            ok = false;
        } else {
            ok = VisitPlaybackControl(image.lot->bytes, image.psd->bytes, v) && ok;
        }
        v.EndObject();
    }
    ok = VisitControlFile("tracksFile", image.tracksFile, VisitTracksFile, v) && ok;
    ok = VisitControlFile("search", image.search, VisitSearchFile, v) && ok;
    ok = VisitControlFile("scanData", image.scanData, VisitScanDataFile, v) && ok;
    VisitConventions(CheckConventions(image), v);
    v.BeginList("errors");
    for (const std::string& e : image.errors) v.Text("", e);
    v.EndList();
    v.EndObject();
    return ok;
}

// ---- Printers

namespace {

// Indented "name: value" lines; list elements are marked with "-".
class TextPrinter : public InspectVisitor {
public:
    void BeginObject(std::string_view name) override { Open(name); }
    void EndObject() override { Close(); }
    void BeginList(std::string_view name) override { Open(name); }
    void EndList() override { Close(); }
    void Text(std::string_view name, std::string_view value) override { Line(name, OneLine(value)); }
    void Number(std::string_view name, int64_t value) override { Line(name, std::to_string(value)); }
    void Flag(std::string_view name, bool value) override { Line(name, value ? "yes" : "no"); }
    std::string Take() { return std::move(out_); }

private:
    // Control characters would break the one-value-per-line layout.
    static std::string OneLine(std::string_view value) {
        std::string text(value);
        for (char& c : text) {
            if (static_cast<unsigned char>(c) < 0x20) c = '.';
        }
        return text;
    }

    void Indent() { out_.append(size_t(depth_ > 0 ? depth_ - 1 : 0) * 2, ' '); }
    void Open(std::string_view name) {
        if (depth_ > 0) {
            Indent();
            out_ += name.empty() ? std::string("-") : std::string(name) + ":";
            out_ += '\n';
        }
        ++depth_;
    }
    void Close() { --depth_; }
    void Line(std::string_view name, const std::string& value) {
        Indent();
        out_ += name.empty() ? "- " + value : std::string(name) + ": " + value;
        out_ += '\n';
    }

    std::string out_;
    int depth_ = 0;
};

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20 || c >= 0x7F) out += Format("\\u%04x", c);
                else out += char(c);
        }
    }
    return out + "\"";
}

class JsonPrinter : public InspectVisitor {
public:
    void BeginObject(std::string_view name) override { Open(name, '{'); }
    void EndObject() override { Close('}'); }
    void BeginList(std::string_view name) override { Open(name, '['); }
    void EndList() override { Close(']'); }
    void Text(std::string_view name, std::string_view value) override { Value(name, JsonString(value)); }
    void Number(std::string_view name, int64_t value) override { Value(name, std::to_string(value)); }
    void Flag(std::string_view name, bool value) override { Value(name, value ? "true" : "false"); }
    std::string Take() { return std::move(out_) + "\n"; }

private:
    void Prefix(std::string_view name) {
        if (!first_.empty()) {
            if (!first_.back()) out_ += ',';
            first_.back() = false;
            out_ += '\n';
            out_.append(first_.size() * 2, ' ');
        }
        if (!name.empty()) out_ += JsonString(name) + ": ";
    }
    void Open(std::string_view name, char bracket) {
        Prefix(name);
        out_ += bracket;
        first_.push_back(true);
    }
    void Close(char bracket) {
        const bool empty = first_.back();
        first_.pop_back();
        if (!empty) {
            out_ += '\n';
            out_.append(first_.size() * 2, ' ');
        }
        out_ += bracket;
    }
    void Value(std::string_view name, const std::string& value) {
        Prefix(name);
        out_ += value;
    }

    std::string out_;
    std::vector<bool> first_;  // per open bracket: nothing written in it yet
};

}  // namespace

std::string PrintInspectText(const InspectWalk& walk, bool* ok) {
    TextPrinter printer;
    const bool decoded = walk(printer);
    if (ok) *ok = decoded;
    return printer.Take();
}

std::string PrintInspectJson(const InspectWalk& walk, bool* ok) {
    JsonPrinter printer;
    const bool decoded = walk(printer);
    if (ok) *ok = decoded;
    return printer.Take();
}

std::string InspectText(const DecodedImage& image, bool* ok) {
    return PrintInspectText([&](InspectVisitor& v) { return VisitImage(image, v); }, ok);
}

std::string InspectJson(const DecodedImage& image, bool* ok) {
    return PrintInspectJson([&](InspectVisitor& v) { return VisitImage(image, v); }, ok);
}

}  // namespace qorvcd
