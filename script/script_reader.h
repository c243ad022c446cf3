// The token reader of every script file (the authoring script and the
// disc-kind settings files).
//
// A script is plain 8-bit text divided into sections headed by bracketed
// tokens ("[VCD]"); a section holds keyword, "=" and value tokens. The reader
// knows no keywords: users find a section and pull tokens until the next
// header. The file position is the reader's only position, so a user may
// look up sections in any order and as often as it likes.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/diagnostics.h"

#include "platform/file.h"
#include "platform/log_list.h"

namespace qorvcd {

class ScriptReader : public ScriptPosition {
public:
    // A token holds at most this many characters (plus its terminator).
    static constexpr size_t kTokenCapacity = 256;
    static constexpr size_t kMaxTokenLength = kTokenCapacity - 1;
    // Each token read looks at most this many bytes ahead.
    static constexpr size_t kChunkSize = 260;
    // The message shown when a token is rejected.
    static constexpr const char* kTooBigMessage = "TOKEN too bigs";

    // `showMessage` receives the message of a rejected token; it may be empty.
    explicit ScriptReader(MessageHandler showMessage = {});
    ScriptReader(const ScriptReader&) = delete;
    ScriptReader& operator=(const ScriptReader&) = delete;

    // Opens an already resolved path for reading. No message on failure:
    // the caller reports.
    bool OpenScript(const std::string& path);
    // Why the last OpenScript failed (the file cannot be opened or read whole).
    const std::string& OpenError() const { return openError_; }
    void CloseScript();
    bool IsOpen() const { return file_.IsOpen(); }

    // Searches the whole file, from its start, for a token equal to `name`
    // (given upper-case with its brackets, e.g. "[VCD]"). Returns 1 when found,
    // leaving the position just after it; 0 at "ENDFILE" or the end of the file.
    int FindSection(const char* name);

    // The next token with its case kept. "" means end of file; nullptr means
    // the token was rejected (a word of 256 characters or more, or a quote
    // that does not close). The pointer stays valid until the next read.
    const char* NextToken();
    // NextToken(), upper-cased in place (ASCII letters only).
    const char* NextTokenUpper();

    // True once the position has reached the end of the file (or no file is
    // open, or reading it failed).
    bool AtEnd();
    // Why the last rejected token was rejected, with its byte offset; for
    // callers that log more than the message.
    const std::string& RejectReason() const { return rejectReason_; }
    // The line of the last rejected token; 0 when none was rejected.
    int RejectLine() const { return rejectLine_; }

    // The 1-based line of the last token returned (or rejected); 0 before
    // the first. A CR LF pair, a lone CR and a lone LF each end one line.
    int TokenLine() const { return LineAt(tokenStart_); }
    int LineAt(uint64_t offset) const;
    // The name diagnostics give the file (default: the path it was opened by).
    void SetDisplayName(const std::string& name) { displayName_ = name; }
    const std::string& PositionFile() const override { return displayName_; }
    int PositionLine() const override { return TokenLine(); }

private:
    enum class Scan { Token, Skip, Reject };

    Scan ScanChunk(const char* chunk, size_t count, bool atEndOfFile, uint64_t start);
    Scan ScanQuoted(const char* chunk, size_t count, uint64_t start);
    Scan ScanWord(const char* chunk, size_t count, bool atEndOfFile, uint64_t start);
    void IndexLines();
    Scan Reject(uint64_t resumeAt, const char* what, uint64_t start);

    // The script's bytes, read whole when it is opened: a read that fails
    // halfway must not pass for the end of the script, and a script is small.
    class Text {
    public:
        bool Open(const std::string& path, std::string* error);
        void Close() { open_ = false; bytes_.clear(); }
        bool IsOpen() const { return open_; }
        uint64_t Position() const { return position_; }
        uint64_t Length() const { return bytes_.size(); }
        void Seek(uint64_t position) { position_ = std::min<uint64_t>(position, bytes_.size()); }
        size_t Read(char* out, size_t size);
        const std::string& Path() const { return path_; }
        const std::vector<uint8_t>& Bytes() const { return bytes_; }

    private:
        std::vector<uint8_t> bytes_;
        uint64_t position_ = 0;
        std::string path_;
        bool open_ = false;
    };

    MessageHandler showMessage_;
    Text file_;
    char token_[kTokenCapacity] = {};
    // A comment longer than one chunk goes on being skipped in the next chunk.
    bool inComment_ = false;
    uint64_t nextPosition_ = 0;
    std::string rejectReason_;
    std::string openError_;
    std::vector<uint64_t> lineStarts_;  // byte offset of each line after the first
    uint64_t tokenStart_ = UINT64_MAX;
    int rejectLine_ = 0;
    std::string displayName_;
};

}  // namespace qorvcd
