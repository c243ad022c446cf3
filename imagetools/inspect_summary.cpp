// The short views of a decoded image: the summary `inspect` prints by default
// and the menu graph of `inspect --graph`. Both read the play-back control
// through the PlaybackModel, as `navigate` does.
#include <set>

#include "content/psd_records.h"
#include "imagetools/conventions.h"
#include "imagetools/playback_model.h"
#include "infofiles/info_record.h"
#include "platform/log_list.h"

namespace qorvcd {

namespace {

// Past these counts a listing ends with "... and N more"; the full view and
// the graph keep everything.
constexpr size_t kMaxSummaryEntries = 12;
constexpr size_t kMaxSummaryLists = 30;
constexpr size_t kMaxSummaryWarnings = 12;

std::string SizeText(uint64_t bytes) {
    if (bytes >= 10ull << 20) return Format("%llu MB", (unsigned long long)(bytes >> 20));
    if (bytes >= 1ull << 20) return Format("%.1f MB", double(bytes) / double(1 << 20));
    return Format("%llu KB", (unsigned long long)((bytes + 1023) / 1024));
}

std::string TargetText(int target) {
    if (target == kNoLink) return "nothing";
    if (target == kBrokenLink) return "no list";
    return Format("list %d", target);
}

uint64_t FileSize(const DecodedImage& image, const std::string& path) {
    for (const InspectedEntry& entry : image.entries) {
        if (entry.path == path) return entry.record.dataLength;
    }
    return 0;
}

void SummariseTracks(const DecodedImage& image, const PlayItemNames& names, std::string& out) {
    out += Format("Tracks: %zu\n", image.tracks.size());
    for (const ImageTrack& track : image.tracks) {
        if (track.number == 1) {
            out += Format("  track 1   data   %u sectors: file system and control files\n", track.sectorCount);
            continue;
        }
        const std::string file = names.TrackFile(track.number);
        const uint64_t bytes = file.empty() ? uint64_t(track.sectorCount) * 2324 : FileSize(image, file);
        out += Format("  track %-3u video  %s  %s%s%s\n", track.number, names.TrackTime(track.number).c_str(),
                      SizeText(bytes).c_str(), file.empty() ? "" : "  ", file.c_str());
    }
}

void SummariseSegments(const DecodedImage& image, const PlayItemNames& names, std::string& out) {
    if (!image.info || !image.info->error.empty()) return;
    const auto info = InfoFileRecord::Decode(image.info->bytes);
    if (!info || info->segmentCount == 0) return;
    // One line per segment item: an item's later segments carry the
    // continued bit.
    std::vector<std::pair<unsigned, unsigned>> items;  // first segment, segment count
    for (unsigned i = 0; i < info->segmentCount; ++i) {
        const bool continued = i < info->segmentContent.size() && (info->segmentContent[i] & kContinuedSegmentBit);
        if (continued && !items.empty()) ++items.back().second;
        else items.emplace_back(i, 1);
    }
    out += Format("Segments: %u in %zu items\n", unsigned(info->segmentCount), items.size());
    for (size_t k = 0; k < items.size() && k < kMaxSummaryEntries; ++k) {
        const auto [first, count] = items[k];
        const std::string file = names.SegmentFile(first);
        out += Format("  segment %u  %u segment%s%s%s\n", 1000 + first, count, count == 1 ? "" : "s",
                      file.empty() ? "" : "  ", file.c_str());
    }
    if (items.size() > kMaxSummaryEntries) out += Format("  ... and %zu more\n", items.size() - kMaxSummaryEntries);
}

void SummariseEntries(const PlayItemNames& names, std::string& out) {
    const unsigned count = names.EntryCount();
    if (count == 0) return;
    out += Format("Entry points: %u\n", count);
    for (unsigned n = 1; n <= count && n <= kMaxSummaryEntries; ++n) {
        out += Format("  entry %-3u %s\n", n, names.EntryPlace(n).c_str());
    }
    if (count > kMaxSummaryEntries) out += Format("  ... and %u more\n", unsigned(count - kMaxSummaryEntries));
}

std::string ListLine(const PlaybackList& list, const PlayItemNames& names) {
    std::string line = Format("  list %-3d %s", list.number, list.KindName());
    if (list.kind == PlaybackListKind::Broken) return line + ": " + list.error + "\n";
    line += ": " + names.Describe(list.playItem);
    if (list.kind == PlaybackListKind::EndList) return line + Format(", stop %u\n", list.stopNumber);
    line += ", wait " + WaitText(list.wait);
    for (const PlaybackLink& link : list.links) {
        if (link.target != kNoLink) line += Format("; %s %s", link.name, TargetText(link.target).c_str());
    }
    line += "\n";
    if (!list.choices.empty()) {
        std::string choices;
        for (size_t i = 0; i < list.choices.size(); ++i) {
            choices += Format("%s%u -> %s", i ? ", " : "", unsigned(list.baseNumber + i),
                              TargetText(list.choices[i]).c_str());
        }
        line += "      choices: " + choices + "\n";
    }
    return line;
}

void SummariseMenus(const PlaybackModel& model, const PlayItemNames& names, std::string& out,
                    std::vector<std::string>& warnings) {
    if (!model.present) {
        out += "Menus: none (no play-back control)\n";
        return;
    }
    if (!model.error.empty()) {
        out += "Menus: unreadable\n";
        warnings.push_back("play-back control: " + model.error);
        return;
    }
    out += Format("Menus: %zu lists, starting at list 1\n", model.lists.size());
    for (size_t i = 0; i < model.lists.size() && i < kMaxSummaryLists; ++i) {
        out += ListLine(model.lists[i], names);
    }
    if (model.lists.size() > kMaxSummaryLists) {
        out += Format("  ... and %zu more (see --full or --graph)\n", model.lists.size() - kMaxSummaryLists);
    }
    for (const PlaybackList& list : model.lists) {
        if (!list.error.empty()) warnings.push_back(Format("list %d: %s", list.number, list.error.c_str()));
        bool broken = false;
        for (const PlaybackLink& link : list.links) broken = broken || link.target == kBrokenLink;
        for (int target : list.choices) broken = broken || target == kBrokenLink;
        if (broken) warnings.push_back(Format("list %d: a link leads to no list", list.number));
    }
    const std::vector<int> unreachable = model.Unreachable();
    if (!unreachable.empty()) {
        std::string numbers;
        for (int n : unreachable) numbers += (numbers.empty() ? "" : ", ") + std::to_string(n);
        warnings.push_back("no link from the start list reaches list " + numbers);
    }
}

// One line for the verdict, then one per convention the disc departs from.
void SummariseConventions(const DecodedImage& image, std::string& out) {
    const std::vector<ConventionFinding> findings = CheckConventions(image);
    if (findings.empty()) return;
    const std::string verdict = ConventionsVerdict(findings);
    out += "Conventions: " + verdict + (verdict == "standard" ? "" : " (a build with --standard follows the standard)") + "\n";
    for (const ConventionFinding& f : findings) {
        if (!f.follows) out += "  own format: " + f.name + ": " + f.detail + "\n";
    }
}

}  // namespace

std::string InspectSummary(const DecodedImage& image) {
    const PlayItemNames names(image);
    const PlaybackModel model = BuildPlaybackModel(image);
    std::string out = Format("%s: %s image, %s\n", image.imagePath.c_str(), DiscKindText(image).c_str(),
                             SizeText(image.imageLength).c_str());
    if (image.info && image.info->error.empty()) {
        if (const auto info = InfoFileRecord::Decode(image.info->bytes)) {
            const std::string album = PrintableField(info->albumId);
            out += Format("Album: %s, disc %u of %u, format version %u\n",
                          album.empty() ? "(none)" : ("\"" + album + "\"").c_str(), unsigned(info->volume),
                          unsigned(info->volumeCount), unsigned(info->version));
        }
    }
    if (image.volume) out += "Volume: " + PrintableField(image.volume->volumeId) + "\n";
    SummariseTracks(image, names, out);
    SummariseSegments(image, names, out);
    SummariseEntries(names, out);
    std::vector<std::string> warnings = image.warnings;
    warnings.insert(warnings.end(), image.errors.begin(), image.errors.end());
    SummariseMenus(model, names, out, warnings);
    SummariseConventions(image, out);
    const std::optional<InspectedFile>* files[] = {&image.info, &image.entriesFile, &image.tracksFile,
                                                   &image.search, &image.scanData};
    for (const auto* file : files) {
        if (*file && !(*file)->error.empty()) warnings.push_back((*file)->path + ": " + (*file)->error);
    }
    if (warnings.empty()) {
        out += "Warnings: none\n";
    } else {
        out += Format("Warnings: %zu\n", warnings.size());
        for (size_t i = 0; i < warnings.size() && i < kMaxSummaryWarnings; ++i) out += "  " + warnings[i] + "\n";
        if (warnings.size() > kMaxSummaryWarnings) {
            out += Format("  ... and %zu more\n", warnings.size() - kMaxSummaryWarnings);
        }
    }
    return out;
}

// ---- The menu graph

namespace {

std::string DotString(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        if (static_cast<unsigned char>(c) < 0x20) c = ' ';
        out += c;
    }
    return out + "\"";
}

}  // namespace

std::string PlaybackGraphDot(const DecodedImage& image) {
    const PlayItemNames names(image);
    const PlaybackModel model = BuildPlaybackModel(image);
    std::string out = "digraph playback {\n  rankdir=LR;\n  node [shape=box, fontname=\"Helvetica\"];\n"
                      "  edge [fontname=\"Helvetica\", fontsize=10];\n";
    if (!model.error.empty()) out += "  // the play-back control could not be read: " + model.error + "\n";
    bool broken = false;
    for (const PlaybackList& list : model.lists) {
        std::string label = Format("list %d", list.number) + (list.number == 1 ? " (start)" : "") + "\\n" +
                            list.KindName() + "\\n";
        if (list.kind == PlaybackListKind::Broken) {
            label += list.error;
        } else {
            label += names.Describe(list.playItem);
            if (list.kind == PlaybackListKind::EndList) label += Format("\\nstop %u", list.stopNumber);
            else label += "\\nwait " + WaitText(list.wait);
        }
        std::string attributes;
        if (list.number == 1) attributes += ", peripheries=2, style=bold";
        if (list.kind == PlaybackListKind::Selection) attributes += ", shape=box3d";
        if (list.kind == PlaybackListKind::EndList) attributes += ", shape=octagon";
        // A label holds "\n" escapes, which DotString would double.
        std::string quoted = "\"";
        for (char c : label) {
            if (c == '"') quoted += '\\';
            quoted += c;
        }
        out += Format("  L%d [label=%s%s];\n", list.number, (quoted + "\"").c_str(), attributes.c_str());
    }
    if (!model.lists.empty()) out += "  start [shape=plaintext, label=\"start\"];\n  start -> L1;\n";
    const auto edge = [&](int from, int to, const std::string& label) {
        if (to == kNoLink) return;
        if (to == kBrokenLink) broken = true;
        out += Format("  L%d -> %s [label=%s];\n", from, to == kBrokenLink ? "nowhere" : Format("L%d", to).c_str(),
                      DotString(label).c_str());
    };
    for (const PlaybackList& list : model.lists) {
        for (size_t i = 0; i < list.choices.size(); ++i) {
            edge(list.number, list.choices[i], std::to_string(list.baseNumber + i));
        }
        for (const PlaybackLink& link : list.links) edge(list.number, link.target, link.name);
    }
    if (broken) out += "  nowhere [shape=plaintext, label=\"no list\"];\n";
    return out + "}\n";
}

}  // namespace qorvcd
