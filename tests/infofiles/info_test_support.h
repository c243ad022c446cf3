// Small builders shared by the information file tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "content/segment_items.h"
#include "content/track_list.h"
#include "platform/log_list.h"
#include "session/build_context.h"
#include "tests/support/test_support.h"

namespace qorvcd::test {

inline TrackEntry MakeTrack(const std::string& id, uint32_t hundredths, int32_t standard = 1,
                            uint32_t audioInfo = 0, uint32_t ogtInfo = 0) {
    TrackEntry t;
    t.id = id;
    t.duration = hundredths;
    t.videoStandard = standard;
    t.audioInfo = audioInfo;
    t.ogtInfo = ogtInfo;
    return t;
}

inline SegmentItem MakeItem(const std::string& id, uint32_t segments, int32_t audio = 0,
                            int32_t video = 0, int32_t ogt = 0) {
    SegmentItem s;
    s.id = id;
    s.segmentCount = segments;
    s.audioCode = audio;
    s.videoCode = video;
    s.ogtCode = ogt;
    return s;
}

// A build context on a temporary work folder that records log lines and messages.
struct ContextFixture {
    explicit ContextFixture(DiscKind kind) {
        ctx.log = &log;
        ctx.kind = kind;
        ctx.workFolder = dir.Path();
        ctx.showMessage = [this](const std::string& m) { messages.push_back(m); };
    }
    TempDir dir;
    LogList log;
    std::vector<std::string> messages;
    BuildContext ctx;
};

inline std::vector<uint8_t> Slice(const std::vector<uint8_t>& bytes, size_t offset, size_t count) {
    if (offset + count > bytes.size()) return {};
    return std::vector<uint8_t>(bytes.begin() + offset, bytes.begin() + offset + count);
}

inline std::vector<uint8_t> Text(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

}  // namespace qorvcd::test
