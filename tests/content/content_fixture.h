// A build context, a script reader on a script written for the test, and the
// log lines and message boxes a content step produced.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "mpeg/packet_reader.h"
#include "platform/log_list.h"
#include "platform/paths.h"
#include "script/script_reader.h"
#include "session/build_context.h"
#include "tests/support/test_support.h"

namespace qorvcd::test {

class ContentFixture {
  public:
    explicit ContentFixture(DiscKind kind = DiscKind::Svcd)
        : reader([this](const std::string& m) { messages.push_back(m); }) {
        ctx.log = &log;
        ctx.showMessage = [this](const std::string& m) { messages.push_back(m); };
        ctx.kind = kind;
        ctx.scriptFolder = dir.Path();
        ctx.workFolder = dir / "work/";
        MakeDirectory(ctx.workFolder);
    }

    // Writes the script with CR LF line ends (lines given with '\n') and opens it.
    void OpenScript(const std::string& text) {
        std::string crlf;
        for (char c : text) {
            if (c == '\n') crlf += '\r';
            crlf += c;
        }
        WriteText(dir / "script.txt", crlf);
        ASSERT_TRUE(reader.OpenScript(dir / "script.txt"));
    }

    bool Logged(const std::string& line) const {
        return std::find(log.Lines().begin(), log.Lines().end(), line) != log.Lines().end();
    }
    bool LoggedContaining(const std::string& part) const {
        return std::any_of(log.Lines().begin(), log.Lines().end(),
                           [&](const std::string& l) { return l.find(part) != std::string::npos; });
    }
    bool Shown(const std::string& message) const {
        return std::find(messages.begin(), messages.end(), message) != messages.end();
    }
    std::string AllOutput() const {
        std::string all;
        for (const auto& l : log.Lines()) all += "log: " + l + "\n";
        for (const auto& m : messages) all += "box: " + m + "\n";
        return all;
    }

    TempDir dir;
    LogList log;
    std::vector<std::string> messages;
    BuildContext ctx;
    ScriptReader reader;
};

// A real multiplexed stream made by ffmpeg (cached), packed into a
// sector-mode file at `target`.
inline void MakeSectorModeFile(const std::string& mediaName, const std::string& ffmpegArgs,
                               const std::string& target, DiscKind kind) {
    const std::string stream =
        EnsureMedia(mediaName, "ffmpeg -y -loglevel error " + ffmpegArgs + " {out}");
    std::string error;
    ASSERT_TRUE(PackProgramStream(stream, target, kind, {}, &error)) << error;
}

// 2 s of PAL SVCD with one stereo audio stream.
inline const char* kPalSvcdArgs =
    "-f lavfi -i testsrc=size=480x576:rate=25 -f lavfi -i sine=frequency=440:sample_rate=44100 "
    "-t 2 -target pal-svcd -ac 2";
// The same picture with two stereo audio streams.
inline const char* kPalSvcdTwoAudioArgs =
    "-f lavfi -i testsrc=size=480x576:rate=25 -f lavfi -i sine=frequency=440:sample_rate=44100 "
    "-map 0:v -map 1:a -map 1:a -t 2 -target pal-svcd -ac 2";
// NTSC SVCD (29.97 frames per second) with one mono audio stream.
inline const char* kNtscSvcdMonoArgs =
    "-f lavfi -i testsrc=size=480x480:rate=30000/1001 -f lavfi -i "
    "sine=frequency=440:sample_rate=44100 "
    "-t 2 -target ntsc-svcd -ac 1";
// 1 s of PAL Video CD.
inline const char* kPalVcdArgs =
    "-f lavfi -i testsrc=size=352x288:rate=25 -f lavfi -i sine=frequency=440:sample_rate=44100 "
    "-t 1 -target pal-vcd";

}  // namespace qorvcd::test
