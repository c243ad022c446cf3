// A C++ host of the installed library: authors the disc of SCRIPT into IMAGE
// through qorvcd::QorSVCD and exits with 0 when the build succeeded.
#include <qorvcd/qorvcd.h>

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: host SCRIPT IMAGE SETTINGS_DIR WORK_DIR\n");
        return 2;
    }
    std::string script = argv[1], image = argv[2];
    qorvcd::BuildHost host;
    host.settingsFolder = argv[3];
    host.systemFolder = argv[4];
    qorvcd::LogList log;
    const int result = qorvcd::QorSVCD(image.data(), script.data(), &log, host);
    std::printf("result %d\n", result);
    return result == 0 ? 0 : 1;
}
