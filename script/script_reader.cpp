#include "script/script_reader.h"

#include <algorithm>
#include <cstring>

namespace qorvcd {
namespace {

constexpr char kQuote = '"';
constexpr char kEquals = '=';
constexpr char kCommentStart = ';';

bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

// Bytes that lie between tokens. CR and LF both end a line, so files with
// CR LF, bare LF or bare CR line ends all read as lines. A NUL byte is
// treated as a blank so that it can never look like the end of the file.
bool IsSeparator(char c) { return c == ' ' || c == '\t' || IsLineEnd(c) || c == '\0'; }

// A word ends before a separator or an equals sign (which is a token of its own).
bool EndsWord(char c) { return IsSeparator(c) || c == kEquals; }

char ToUpperAscii(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }

}  // namespace

ScriptReader::ScriptReader(MessageHandler showMessage) : showMessage_(std::move(showMessage)) {}

// A larger file is no script (a disc image or a video named by mistake).
constexpr uint64_t kMaxScriptSize = 16 << 20;

bool ScriptReader::Text::Open(const std::string& path, std::string* error) {
    Close();
    path_ = path;
    position_ = 0;
    File file;
    if (!file.Open(path, FileMode::Read)) {
        *error = file.Error();
        return false;
    }
    const uint64_t length = file.Length();
    if (length > kMaxScriptSize) {
        *error = Format("%s is no script: %llu bytes, more than %llu", path.c_str(),
                        static_cast<unsigned long long>(length), static_cast<unsigned long long>(kMaxScriptSize));
        return false;
    }
    bytes_.resize(size_t(length));
    bytes_.resize(file.Read(bytes_.data(), bytes_.size()));
    if (!file.Ok() || !file.Close()) {
        *error = file.Error();
        bytes_.clear();
        return false;
    }
    open_ = true;
    return true;
}

size_t ScriptReader::Text::Read(char* out, size_t size) {
    const size_t count = size_t(std::min<uint64_t>(size, bytes_.size() - position_));
    std::memcpy(out, bytes_.data() + position_, count);
    position_ += count;
    return count;
}

bool ScriptReader::OpenScript(const std::string& path) {
    CloseScript();
    token_[0] = '\0';
    tokenStart_ = UINT64_MAX;
    rejectLine_ = 0;
    displayName_ = path;
    openError_.clear();
    lineStarts_.clear();
    if (!file_.Open(path, &openError_)) return false;
    IndexLines();
    return true;
}

// One pass over the text finds where every line starts, so the line of a
// token is a search by its byte offset.
void ScriptReader::IndexLines() {
    const std::vector<uint8_t>& bytes = file_.Bytes();
    bool afterCr = false;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const char c = char(bytes[i]);
        if (afterCr && c != '\n') lineStarts_.push_back(i);
        afterCr = c == '\r';
        if (c == '\n') lineStarts_.push_back(i + 1);
    }
    if (afterCr) lineStarts_.push_back(bytes.size());
}

int ScriptReader::LineAt(uint64_t offset) const {
    if (offset == UINT64_MAX) return 0;
    return 1 + int(std::upper_bound(lineStarts_.begin(), lineStarts_.end(), offset) - lineStarts_.begin());
}

void ScriptReader::CloseScript() {
    if (file_.IsOpen()) file_.Close();
}

bool ScriptReader::AtEnd() {
    if (!file_.IsOpen()) return true;
    return file_.Position() >= file_.Length();
}

int ScriptReader::FindSection(const char* name) {
    if (!file_.IsOpen() || name == nullptr) return 0;
    file_.Seek(0);
    NextTokenUpper();
    for (;;) {
        if (std::strcmp(token_, name) == 0) return 1;
        if (std::strcmp(token_, "ENDFILE") == 0) return 0;
        if (AtEnd()) return 0;
        NextTokenUpper();
    }
}

const char* ScriptReader::NextTokenUpper() {
    const char* token = NextToken();
    if (token == nullptr) return nullptr;
    for (char* c = token_; *c != '\0'; ++c) *c = ToUpperAscii(*c);
    return token_;
}

const char* ScriptReader::NextToken() {
    token_[0] = '\0';
    inComment_ = false;
    if (!file_.IsOpen()) return token_;
    for (;;) {
        const uint64_t start = file_.Position();
        char chunk[kChunkSize + 1];
        const size_t count = file_.Read(chunk, kChunkSize);
        chunk[count] = '\0';
        if (count == 0) return token_;  // end of file
        // A short read means the chunk holds the rest of the file.
        const bool atEndOfFile = count < kChunkSize;
        const Scan scan = ScanChunk(chunk, count, atEndOfFile, start);
        file_.Seek(nextPosition_);
        if (scan == Scan::Token) {
            tokenStart_ = start;
            return token_;
        }
        if (scan == Scan::Reject) return nullptr;
    }
}

ScriptReader::Scan ScriptReader::ScanChunk(const char* chunk, size_t count, bool atEndOfFile,
                                           uint64_t start) {
    size_t from = 0;
    if (!inComment_) {
        const char first = chunk[0];
        if (IsSeparator(first)) {
            size_t k = 1;
            while (k < count && IsSeparator(chunk[k])) ++k;
            nextPosition_ = start + k;
            return Scan::Skip;
        }
        if (first == kQuote) return ScanQuoted(chunk, count, start);
        if (first == kEquals) {
            token_[0] = kEquals;
            token_[1] = '\0';
            nextPosition_ = start + 1;
            return Scan::Token;
        }
        if (first != kCommentStart) return ScanWord(chunk, count, atEndOfFile, start);
        inComment_ = true;
        from = 1;
    }
    // A comment runs to the end of its line, over as many chunks as it takes.
    for (size_t i = from; i < count; ++i) {
        if (IsLineEnd(chunk[i])) {
            inComment_ = false;
            nextPosition_ = start + i;
            return Scan::Skip;
        }
    }
    nextPosition_ = start + count;
    return Scan::Skip;
}

ScriptReader::Scan ScriptReader::ScanQuoted(const char* chunk, size_t count, uint64_t start) {
    // The text must close within the chunk and within the token's capacity.
    const size_t limit = count < kMaxTokenLength + 2 ? count : kMaxTokenLength + 2;
    for (size_t i = 1; i < limit; ++i) {
        if (chunk[i] != kQuote) continue;
        const size_t length = i - 1;
        for (size_t k = 0; k < length; ++k) token_[k] = chunk[1 + k] == '\t' ? ' ' : chunk[1 + k];
        token_[length] = '\0';
        nextPosition_ = start + i + 1;
        return Scan::Token;
    }
    return Reject(start + limit, "a quoted text that does not close", start);
}

ScriptReader::Scan ScriptReader::ScanWord(const char* chunk, size_t count, bool atEndOfFile,
                                          uint64_t start) {
    size_t length = 0;
    while (length < count && length < kTokenCapacity && !EndsWord(chunk[length])) ++length;
    const bool delimited = length < count && length <= kMaxTokenLength;
    // A last word that runs to the end of the file is a token as well.
    const bool endsWithFile = length == count && atEndOfFile && length <= kMaxTokenLength;
    if (!delimited && !endsWithFile) return Reject(start + length, "a word of 256 characters or more", start);
    std::memcpy(token_, chunk, length);
    token_[length] = '\0';
    nextPosition_ = start + length;
    return Scan::Token;
}

ScriptReader::Scan ScriptReader::Reject(uint64_t resumeAt, const char* what, uint64_t start) {
    token_[0] = '\0';
    tokenStart_ = start;
    rejectLine_ = LineAt(start);
    nextPosition_ = resumeAt;
    rejectReason_ = Format("%s at byte %llu of %s (a token holds at most %zu characters)", what,
                           static_cast<unsigned long long>(start), file_.Path().c_str(),
                           kMaxTokenLength);
    if (showMessage_) showMessage_(kTooBigMessage);
    return Scan::Reject;
}

}  // namespace qorvcd
