/* A host of the installed library: authors the disc of SCRIPT into IMAGE
 * with the settings files of SETTINGS_DIR, printing the log, and exits with
 * the build's result code. */
#include <qorvcd/qorvcd_c.h>

#include <stdio.h>

static void print_line(void* user, const char* line) {
    ++*(int*)user;
    printf("log: %s\n", line);
}

int main(int argc, char** argv) {
    if (argc != 5) {
        fprintf(stderr, "usage: host SCRIPT IMAGE SETTINGS_DIR WORK_DIR\n");
        return 2;
    }
    int lines = 0;
    qorvcd_build_options options = {0};
    options.script_path = argv[1];
    options.image_path = argv[2];
    options.settings_dir = argv[3];
    options.work_dir = argv[4];
    options.log = print_line;
    options.user = &lines;
    const int result = qorvcd_build(&options);
    printf("result %d after %d log lines\n", result, lines);
    return result == 0 && lines > 0 ? 0 : 1;
}
