// Helpers shared by the test executables: scoped temporary folders, whole-file
// reads and writes, running outside tools, and a cache of generated media.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qorvcd::test {

// A fresh folder removed with everything in it when the object dies.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }  // ends with '/'
    std::string operator/(const std::string& name) const { return path_ + name; }

private:
    std::string path_;
};

std::vector<uint8_t> ReadBytes(const std::string& path);
std::string ReadText(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
void WriteText(const std::string& path, const std::string& text);
bool FileExists(const std::string& path);

struct CommandResult {
    int exitCode = -1;
    std::string output;  // stdout and stderr together
};
// Runs a shell command line and collects its output. A sanitizer's report in
// the output fails the current test, even one that expects the command to
// fail: in a sanitized build the programs a test runs are checked too.
CommandResult RunCommand(const std::string& commandLine);
// True when `output` holds a report of the address, leak, undefined-behaviour
// or thread checker.
bool HasSanitizerReport(const std::string& output);
// True when a program is on PATH (tests that need ffmpeg, cd-info ... skip without it).
bool HaveProgram(const std::string& name);

// The folder of cached generated media (created on first use).
std::string MediaDir();
// Returns MediaDir()/name, making it first with `command` when missing. The
// command writes to the path given by "{out}" in it; the file is moved into
// place only when the command succeeds, so concurrent tests never see half a
// file. Fails the current test when the command fails.
std::string EnsureMedia(const std::string& name, const std::string& command);

// The built command-line program.
std::string CliPath();
std::string SourceDir();

}  // namespace qorvcd::test
