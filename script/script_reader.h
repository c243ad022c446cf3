// The token reader of every script file (the authoring script and the
// disc-kind settings files).
//
// A script is plain 8-bit text divided into sections headed by bracketed
// tokens ("[VCD]"); a section holds keyword, "=" and value tokens. The reader
// knows no keywords: users find a section and pull tokens until the next
// header. The reader's position is its only position, so a user may look up
// sections in any order and as often as it likes.
//
// The file is read into memory once when it is opened, and the sections are
// indexed by one pass the first time one is looked up: however long the
// script and however many lookups, every byte is read from the file once and
// scanned a small, fixed number of times.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
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
    // Largest script the reader takes into memory.
    static constexpr uint64_t kMaxScriptSize = 64ull << 20;
    // Bracketed tokens the section index remembers; a script with more
    // distinct ones has the others looked up by a search from the start.
    static constexpr size_t kMaxIndexedHeaders = 1u << 16;

    // `showMessage` receives the message of a rejected token; it may be empty.
    explicit ScriptReader(MessageHandler showMessage = {});
    ScriptReader(const ScriptReader&) = delete;
    ScriptReader& operator=(const ScriptReader&) = delete;

    // Opens an already resolved path and reads the whole file. No message on
    // failure: the caller reports (OpenError() says why).
    bool OpenScript(const std::string& path);
    void CloseScript();
    bool IsOpen() const { return open_; }
    // Why the last OpenScript failed; empty after a success.
    const std::string& OpenError() const { return openError_; }

    // Searches the whole file, from its start, for a token equal to `name`
    // (given upper-case with its brackets, e.g. "[VCD]"). Returns 1 when found,
    // leaving the position just after it; 0 at "ENDFILE" or the end of the file.
    // A word rejected on the way is reported as the search passes it, every time.
    int FindSection(const char* name);

    // The next token with its case kept. "" means end of file; nullptr means
    // the token was rejected (a word of 256 characters or more, or a quote
    // that does not close). The pointer stays valid until the next read.
    const char* NextToken();
    // NextToken(), upper-cased in place (ASCII letters only).
    const char* NextTokenUpper();

    // True once the position has reached the end of the file (or no file is
    // open).
    bool AtEnd() const { return !open_ || position_ >= text_.size(); }
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

    // What the reader has cost so far: bytes read from files, and bytes its
    // token scanner went over (each token counts what it consumed plus the
    // one byte that ended it).
    uint64_t FileBytesRead() const { return fileBytesRead_; }
    uint64_t BytesScanned() const { return bytesScanned_; }

private:
    enum class Scan { Token, Skip, Reject };

    // Where a search from the start of the file stops, and what it leaves.
    struct SearchStop {
        uint64_t order = 0;  // tokens read before it
        uint64_t tokenStart = UINT64_MAX;
        uint64_t position = 0;
        std::string token;
    };
    struct PassedReject {
        uint64_t order = 0;  // the read that rejected it
        std::string reason;
        int line = 0;
    };
    // One search from the start of the file, done once: the first place of
    // every bracketed token before the search would stop, the stop itself,
    // and the rejected words the search passes.
    struct SectionIndex {
        std::unordered_map<std::string, SearchStop> firstHeader;
        bool complete = true;  // false when some bracketed token was left out
        SearchStop end;
        std::vector<PassedReject> rejects;
    };

    bool LoadText(const std::string& path);
    Scan ScanChunk(const char* chunk, size_t count, bool atEndOfFile, uint64_t start);
    Scan ScanQuoted(const char* chunk, size_t count, uint64_t start);
    Scan ScanWord(const char* chunk, size_t count, bool atEndOfFile, uint64_t start);
    void IndexLines();
    Scan Reject(uint64_t resumeAt, const char* what, uint64_t start);
    int SearchFromStart(const char* name);
    const SectionIndex& Sections();
    SearchStop StopHere(uint64_t order) const;
    int Finish(const SearchStop& stop, bool found);

    MessageHandler showMessage_;
    bool open_ = false;
    std::string path_;
    std::string text_;
    uint64_t position_ = 0;
    std::string openError_;
    // Set while the index is built: rejected words are noted there, not shown.
    std::vector<PassedReject>* noted_ = nullptr;
    std::unique_ptr<SectionIndex> sections_;
    uint64_t fileBytesRead_ = 0;
    uint64_t bytesScanned_ = 0;
    char token_[kTokenCapacity] = {};
    // A comment longer than one chunk goes on being skipped in the next chunk.
    bool inComment_ = false;
    uint64_t nextPosition_ = 0;
    std::string rejectReason_;
    std::vector<uint32_t> lineStarts_;  // byte offset of each line after the first
    uint64_t tokenStart_ = UINT64_MAX;
    int rejectLine_ = 0;
    std::string displayName_;
};

}  // namespace qorvcd
