// The session log: the list of lines a build appends for its host.
// A listener sees every line as it is added (the CLI prints it, tests record it).
#pragma once

#include <cstdarg>
#include <functional>
#include <string>
#include <vector>

namespace qorvcd {

class LogList {
public:
    using Listener = std::function<void(const std::string& line)>;

    void SetListener(Listener listener) { listener_ = std::move(listener); }

    void Reset() { lines_.clear(); selected_ = -1; }
    void Add(const std::string& line);
    int Count() const { return int(lines_.size()); }
    void SelectLast() { selected_ = Count() - 1; }
    int Selected() const { return selected_; }
    // The host repaints at once; for a stream listener there is nothing to do.
    void Repaint() {}

    const std::vector<std::string>& Lines() const { return lines_; }
    std::string Last() const { return lines_.empty() ? std::string() : lines_.back(); }

private:
    std::vector<std::string> lines_;
    int selected_ = -1;
    Listener listener_;
};

// printf-style formatting into a std::string (the log lines and messages
// are printf formats).
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string FormatV(const char* format, va_list args);

// The host's message box: the CLI prints to stderr, tests capture.
using MessageHandler = std::function<void(const std::string& text)>;

}  // namespace qorvcd
