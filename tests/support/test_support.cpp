#include "tests/support/test_support.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace qorvcd::test {

TempDir::TempDir() {
    std::string tmpl = (fs::temp_directory_path() / "qorvcd-test-XXXXXX").string();
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
    path_ = std::string(buf.data()) + "/";
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

bool FileExists(const std::string& path) { return fs::exists(path); }

CommandResult RunCommand(const std::string& commandLine) {
    CommandResult result;
    FILE* pipe = popen((commandLine + " 2>&1").c_str(), "r");
    if (!pipe) return result;
    std::array<char, 4096> chunk;
    size_t n;
    while ((n = fread(chunk.data(), 1, chunk.size(), pipe)) > 0) result.output.append(chunk.data(), n);
    const int status = pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (HasSanitizerReport(result.output))
        ADD_FAILURE() << "a sanitizer reported a fault in: " << commandLine << "\n" << result.output;
    return result;
}

bool HasSanitizerReport(const std::string& output) {
    for (const char* mark : {": runtime error: ", "==ERROR: AddressSanitizer", "==ERROR: LeakSanitizer",
                             "WARNING: ThreadSanitizer"})
        if (output.find(mark) != std::string::npos) return true;
    return false;
}

bool HaveProgram(const std::string& name) {
    return RunCommand("command -v " + name + " >/dev/null").exitCode == 0;
}

std::string MediaDir() {
    const std::string dir = QORVCD_TEST_MEDIA_DIR;
    fs::create_directories(dir);
    return dir + "/";
}

std::string EnsureMedia(const std::string& name, const std::string& command) {
    const std::string target = MediaDir() + name;
    if (fs::exists(target)) return target;
    const std::string partial = target + ".part" + std::to_string(getpid());
    std::string line = command;
    for (size_t at; (at = line.find("{out}")) != std::string::npos;) line.replace(at, 5, "'" + partial + "'");
    const CommandResult r = RunCommand(line);
    if (r.exitCode != 0 || !fs::exists(partial)) {
        ADD_FAILURE() << "could not make test media " << name << ":\n" << line << "\n" << r.output;
        fs::remove(partial);
        return target;
    }
    fs::rename(partial, target);
    return target;
}

std::string CliPath() { return QORVCD_CLI_PATH; }
std::string SourceDir() { return QORVCD_SOURCE_DIR; }

}  // namespace qorvcd::test
