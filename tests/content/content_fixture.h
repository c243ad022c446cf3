// A build context, a script reader on a script written for the test, and what a content step showed.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>

#include "core/build_context.h"
#include "mpeg/packet_reader.h"
#include "platform/log_list.h"
#include "platform/paths.h"
#include "script/script_reader.h"
#include "tests/mpeg/mpeg_media.h"
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
        for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
        WriteText(dir / "script.txt", crlf);
        ASSERT_TRUE(reader.OpenScript(dir / "script.txt"));
    }
    // A logged line containing `part`, or a message box equal to it.
    bool Logged(const std::string& part) const {
        return std::any_of(log.Lines().begin(), log.Lines().end(), [&](auto& l) { return l.find(part) != l.npos; });
    }
    bool Shown(const std::string& m) const { return std::find(messages.begin(), messages.end(), m) != messages.end(); }
    std::string AllOutput() const {
        std::string all;
        for (const auto& l : log.Lines()) all += "log: " + l + "\n";
        for (const auto& m : messages) all += "box: " + m + "\n";
        return all;
    }
    // A real ffmpeg stream (tests/mpeg/mpeg_media.h) packed into `name` in the script folder.
    void Pack(const std::string& stream, const std::string& name) {
        std::string error;
        ASSERT_TRUE(PackProgramStream(stream, dir / name, ctx.kind, {}, &error)) << error;
    }

    TempDir dir;
    LogList log;
    std::vector<std::string> messages;
    BuildContext ctx;
    ScriptReader reader;
};

}  // namespace qorvcd::test
