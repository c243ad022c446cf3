#include "script/script_reader.h"

#include <algorithm>
#include <cstring>

namespace qorvcd {

static_assert(ScriptReader::kMaxScriptSize < (1ull << 32), "line starts are kept in 32 bits");

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

bool ScriptReader::OpenScript(const std::string& path) {
    CloseScript();
    token_[0] = '\0';
    tokenStart_ = UINT64_MAX;
    rejectLine_ = 0;
    displayName_ = path;
    path_ = path;
    open_ = LoadText(path);
    IndexLines();
    return open_;
}

// The whole file at once: the reader then never goes back to the disk, and a
// script that changes while the build runs cannot change under it.
bool ScriptReader::LoadText(const std::string& path) {
    openError_.clear();
    text_.clear();
    File file;
    if (!file.Open(path, FileMode::Read)) {
        openError_ = file.Error();
        return false;
    }
    const uint64_t length = file.Length();
    if (length > kMaxScriptSize) {
        openError_ = Format("%s holds %llu bytes; a script holds at most %llu", path.c_str(),
                            static_cast<unsigned long long>(length), static_cast<unsigned long long>(kMaxScriptSize));
        return false;
    }
    text_.resize(size_t(length));
    const size_t got = file.Read(text_.data(), text_.size());
    fileBytesRead_ += got;
    text_.resize(got);  // a file that shrank since it was measured reads as what it holds
    if (!file.Ok()) {
        openError_ = file.Error();
        text_.clear();
        return false;
    }
    return true;
}

// One pass over the text finds where every line starts, so the line of a
// token is a search by its byte offset.
void ScriptReader::IndexLines() {
    lineStarts_.clear();
    bool afterCr = false;
    for (size_t i = 0; i < text_.size(); ++i) {
        const char c = text_[i];
        if (afterCr && c != '\n') lineStarts_.push_back(uint32_t(i));
        afterCr = c == '\r';
        if (c == '\n') lineStarts_.push_back(uint32_t(i + 1));
    }
    if (afterCr) lineStarts_.push_back(uint32_t(text_.size()));
}

int ScriptReader::LineAt(uint64_t offset) const {
    if (offset == UINT64_MAX) return 0;
    return 1 + int(std::upper_bound(lineStarts_.begin(), lineStarts_.end(), offset) - lineStarts_.begin());
}

void ScriptReader::CloseScript() {
    open_ = false;
    text_.clear();
    text_.shrink_to_fit();
    position_ = 0;
    sections_.reset();
}

int ScriptReader::FindSection(const char* name) {
    if (!open_ || name == nullptr) return 0;
    // Section names are bracketed; any other name takes the plain search.
    if (name[0] != '[') return SearchFromStart(name);
    const SectionIndex& index = Sections();
    const auto found = index.firstHeader.find(name);
    if (found == index.firstHeader.end() && !index.complete) return SearchFromStart(name);
    return Finish(found != index.firstHeader.end() ? found->second : index.end, found != index.firstHeader.end());
}

// The search itself: from the start of the file, token by token, up to a
// token equal to `name`, "ENDFILE" or the end of the file.
int ScriptReader::SearchFromStart(const char* name) {
    position_ = 0;
    NextTokenUpper();
    for (;;) {
        if (std::strcmp(token_, name) == 0) return 1;
        if (std::strcmp(token_, "ENDFILE") == 0) return 0;
        if (AtEnd()) return 0;
        NextTokenUpper();
    }
}

ScriptReader::SearchStop ScriptReader::StopHere(uint64_t order) const {
    return SearchStop{order, tokenStart_, position_, token_};
}

// Runs the search once for every bracketed token at the same time: it notes
// where each is first met and where the search would give up.
const ScriptReader::SectionIndex& ScriptReader::Sections() {
    if (sections_) return *sections_;
    auto index = std::make_unique<SectionIndex>();
    // The pass reads words no search may have reached yet: what it notes of
    // them must not show before a search passes them.
    const std::string rejectReason = rejectReason_;
    const int rejectLine = rejectLine_;
    noted_ = &index->rejects;
    // A read rejects at most one word; it is noted with the read's number.
    const auto read = [&](uint64_t order) {
        const size_t noted = index->rejects.size();
        NextTokenUpper();
        if (index->rejects.size() > noted) index->rejects.back().order = order;
    };
    position_ = 0;
    read(0);
    for (uint64_t order = 0;; ++order) {
        if (token_[0] == '[' && !index->firstHeader.contains(token_)) {
            if (index->firstHeader.size() < kMaxIndexedHeaders) index->firstHeader.emplace(token_, StopHere(order));
            else index->complete = false;
        }
        if (std::strcmp(token_, "ENDFILE") == 0 || AtEnd()) {
            index->end = StopHere(order);
            break;
        }
        read(order + 1);
    }
    noted_ = nullptr;
    rejectReason_ = rejectReason;
    rejectLine_ = rejectLine;
    sections_ = std::move(index);
    return *sections_;
}

// Leaves the reader as the search from the start would: the rejected words
// it passed reported again, the position and token where it stopped.
int ScriptReader::Finish(const SearchStop& stop, bool found) {
    for (const PassedReject& reject : sections_->rejects) {
        if (reject.order > stop.order) break;
        rejectReason_ = reject.reason;
        rejectLine_ = reject.line;
        if (showMessage_) showMessage_(kTooBigMessage);
    }
    position_ = stop.position;
    tokenStart_ = stop.tokenStart;
    std::memcpy(token_, stop.token.c_str(), stop.token.size() + 1);
    return found ? 1 : 0;
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
    if (!open_) return token_;
    for (;;) {
        const uint64_t start = position_;
        if (start >= text_.size()) return token_;  // end of file
        // Each token looks at most one chunk ahead; a chunk shorter than that
        // holds the rest of the file.
        const size_t count = size_t(std::min<uint64_t>(kChunkSize, text_.size() - start));
        const bool atEndOfFile = count < kChunkSize;
        const Scan scan = ScanChunk(text_.data() + start, count, atEndOfFile, start);
        position_ = nextPosition_;
        bytesScanned_ += nextPosition_ - start + 1;
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
                           static_cast<unsigned long long>(start), path_.c_str(), kMaxTokenLength);
    if (noted_) noted_->push_back(PassedReject{0, rejectReason_, rejectLine_});
    else if (showMessage_) showMessage_(kTooBigMessage);
    return Scan::Reject;
}

}  // namespace qorvcd
