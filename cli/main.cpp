// qorvcd: authors Video CD, SVCD, CVD and SUPER-VCD disc images from a script.
#include <CLI/CLI.hpp>

#include "cli/commands.h"
#include "cli/disc_kind_option.h"

namespace {

const char* kDescription =
    "qorvcd authors Video CD 3.0, Super Video CD, CVD and SUPER-VCD disc images.\n"
    "\n"
    "A build reads an authoring script ([VCD] MODE and album keys, [TRACK] video tracks,\n"
    "[PBC] menus and play lists with a SEGMENT block of stills, [ISO9660] volume keys,\n"
    "[VCD30] application folders) and writes one disc image; `export` turns the image\n"
    "into BIN/CUE for any burning program, `inspect` shows what an image holds.\n"
    "\n"
    "Typical use:\n"
    "  qorvcd make --menu -o out/disc.cue a.mp4 b.mp4 # a whole disc in one command\n"
    "  qorvcd pack movie.mpg MOVIE.MPS --kind svcd   # your MPEG into sector-mode form\n"
    "  qorvcd build disc.txt -o disc.img --bin-cue    # author the disc, with disc.bin/.cue\n"
    "  qorvcd inspect disc.img                        # check what is on it\n";

const char* kStandardHelp =
    "Follow the Video CD 2.0 / SVCD conventions that independent readers and players expect, where this "
    "format departs from them by default (README: \"Standard discs\")";

void AddDiscKindOption(CLI::App* command, std::string& kind) {
    command->add_option("--kind", kind, "Disc kind: vcd30, svcd, cvd or supervcd")
        ->check(CLI::IsMember(qorvcd::cli::DiscKindNames(), CLI::ignore_case));
}

}  // namespace

int main(int argc, char** argv) {
    using namespace qorvcd::cli;
    CLI::App app{kDescription, "qorvcd"};
    app.require_subcommand(1);
    app.set_version_flag("--version", "qorvcd 0.1.0");

    BuildOptions build;
    auto* buildCmd = app.add_subcommand("build", "Author one disc image from a script");
    buildCmd->add_option("script", build.script, "Authoring script")->required();
    buildCmd->add_option("-o,--output", build.image,
                         "Disc image to create, or NAME.cue for the BIN and cue sheet alone (no image)")
        ->required();
    buildCmd->add_flag("--vcd30", build.vcd30,
                       "Build Video CD 3.0 when the script names no MODE (default: SVCD)");
    buildCmd->add_flag("--bin-cue", build.binCue, "Also write IMAGE's BIN/CUE beside it, in the same pass");
    buildCmd->add_option("--work-dir", build.workDir,
                         "System folder for the private work folder (default: $QORVCD_WORK_DIR or the temp folder)");
    buildCmd->add_option("--settings-dir", build.settingsDir,
                         "Folder of VCD.CFG, SVCD.CFG, CVD.CFG and SUPERVCD.CFG");
    buildCmd->add_flag("-q,--quiet", build.quiet, "Print only the result line");
    buildCmd->add_option("--capacity", build.capacityMinutes,
                         "Disc capacity in minutes (74, 80, 90 or 99): a larger disc fails before its tracks "
                         "are written (default: a warning over 80)")
        ->check(CLI::IsMember({74, 80, 90, 99}));
    buildCmd->add_flag("--standard", build.standard, kStandardHelp);

    CheckOptions check;
    auto* checkCmd = app.add_subcommand("check", "Report every problem of a script without writing anything");
    checkCmd->add_option("script", check.script, "Authoring script")->required();
    checkCmd->add_flag("--vcd30", check.vcd30, "Check as Video CD 3.0 when the script names no MODE (default: SVCD)");
    checkCmd->add_option("--settings-dir", check.settingsDir, "Folder of VCD.CFG, SVCD.CFG, CVD.CFG and SUPERVCD.CFG");
    checkCmd->add_option("--capacity", check.capacityMinutes, "Disc capacity in minutes: 74, 80, 90 or 99 (default 80)")
        ->check(CLI::IsMember({74, 80, 90, 99}));
    checkCmd->add_flag("--warnings-ok", check.warningsOk, "Exit 0 when there are warnings but no error");
    checkCmd->add_flag("--standard", check.standard, "Check as the build with --standard would build");
    checkCmd->footer(
        "Reads the script, probes every file, compiles the menus and prints every problem\n"
        "as FILE:LINE: error|warning: text, the way compilers do, so editors jump to it.\n"
        "Nothing is written. Exit 0: no error and no warning; 1: problems found.\n"
        "\n"
        "Example:\n"
        "  qorvcd check disc.txt\n"
        "  disc.txt:9: warning: unknown section [PCB] (did you mean [PBC]?); the section is not read");
    buildCmd->footer(
        "The session log is printed as it comes. On a terminal a progress bar shows the\n"
        "current step; Ctrl-C (or SIGTERM, SIGHUP) cancels the build at the next unit of\n"
        "work and removes whatever it had begun: no image, BIN, cue sheet or work folder.\n"
        "The image is written under a temporary name and takes its name only when the\n"
        "build succeeded; an -o that names the script, a track or another input is refused.\n"
        "With -o NAME.cue the build writes NAME.bin and NAME.cue for a burning program and\n"
        "no image at all; --bin-cue writes them beside the image. Either way each sector\n"
        "of the BIN is written as the disc is laid out, in one pass.\n"
        "\n"
        "Example: qorvcd build disc.txt -o disc.cue             (add --vcd30 for a VCD 3.0)\n"
        "         qorvcd build disc.txt -o disc.img --bin-cue\n"
        "\n"
        "The last line gives the result code: 0 success; 1 the track list or the menus\n"
        "could not be read; 200 the image or work folder cannot be made, or an output is\n"
        "refused; 2000 a step failed (the line before \">>> Fail <<<\" says why); 5000 a\n"
        "disc name over 12 characters; 6666 an entry point beyond its track's end;\n"
        "10002 a track file that is not a track; 20000 an SVCD control file missing from\n"
        "the settings; 20010 no [TRACK] section; -1 cancelled; -2000 no free space.\n"
        "Exit status: 0 success, 1 the build failed.\n"
        "\n"
        "A small SVCD script (paths are relative to the script; ';' starts a comment):\n"
        "  [VCD]\n"
        "  MODE = SVCD              ; CVD, SUPERVCD; none: SVCD, or VCD 3.0 with --vcd30\n"
        "  ALBUM = \"MY DISC\"\n"
        "  VERSION = 1.0\n"
        "  VOLUME = 1\n"
        "  ANZVOL = 1\n"
        "  [TRACK]                  ; files made with `qorvcd pack`; IDs AVSEQnn (MUSICnn for VCD 3.0)\n"
        "  MPEGTRACK AVSEQ01 MOVIE.MPS PAL AUDIO 2 TIME 60\n"
        "  [PBC]\n"
        "  SEGMENT                  ; stills and clips: IDs start with SEG; bitmaps are encoded\n"
        "  SEGMENU = MENU.BMP AUDIO 0 VIDEO 20\n"
        "  ENDSEGMENT\n"
        "  SELECTION MAIN PREVIOUS NONE NEXT NONE RETURN NONE DEFAULT PLAY1 TIMEOUT NONE\n"
        "    WAIT 30 LOOP 1 PLAYITEM SEGMENU ITEMS 1 PLAY1 ENDITEMS ENDSELECT\n"
        "  PLAYLIST PLAY1 PREVIOUS MAIN NEXT NONE RETURN MAIN WAIT 0 AUTOWAIT 0 PLAY AVSEQ01 ENDPLAYLIST\n"
        "  [ISO9660]\n"
        "  VOLUME_ID = MY_DISC\n"
        "The built-in demo (demo/demo.txt, run by scripts/demo.sh) is a complete example;\n"
        "docs/SCRIPT.md describes the language and examples/ holds a script per disc kind.");

    MakeOptions make;
    auto* makeCmd = app.add_subcommand("make", "Make a whole disc from videos and pictures in one command");
    makeCmd->add_option("videos", make.videos, "Videos, one track each (any video FFmpeg reads)");
    makeCmd->add_option("-o,--output", make.cue, "Cue sheet OUT/NAME.cue; NAME.bin and the script NAME.txt go beside it")
        ->required();
    makeCmd->add_option("--picture", make.pictures, "Pictures shown as a slideshow after the videos");
    AddDiscKindOption(makeCmd, make.kind);
    makeCmd->add_option("--norm", make.norm, "pal or ntsc (default: from the first video's frame rate)")
        ->check(CLI::IsMember({"pal", "ntsc"}, CLI::ignore_case));
    makeCmd->add_flag("--menu", make.menu, "Draw a menu: the title and one numbered line per video");
    makeCmd->add_option("--title", make.title, "The disc's album name and the menu's title");
    makeCmd->add_option("--chapters", make.chapterMinutes, "An entry point every MINUTES minutes of each video")
        ->check(CLI::PositiveNumber);
    makeCmd->add_flag("--image", make.image, "Keep the disc image NAME.img as well");
    makeCmd->add_flag("--standard", make.standard, kStandardHelp);
    makeCmd->add_option("--work-dir", make.workDir,
                        "System folder for the private work folders (default: $QORVCD_WORK_DIR or the temp folder)");
    makeCmd->add_option("--settings-dir", make.settingsDir, "Folder of VCD.CFG, SVCD.CFG, CVD.CFG and SUPERVCD.CFG");
    makeCmd->add_flag("-q,--quiet", make.quiet, "Print only the result lines");
    makeCmd->footer(
        "Example: an SVCD with a menu of two videos and a slideshow of three pictures:\n"
        "  qorvcd make --menu --title \"HOLIDAY 2024\" -o out/disc.cue beach.mp4 dinner.mp4 \\\n"
        "              --picture sea.jpg boat.png sunset.jpg\n"
        "writes out/disc.bin and out/disc.cue (burn the cue sheet), out/disc.txt (the\n"
        "authoring script it used) and out/disc-menu.bmp (the menu picture it drew).\n"
        "\n"
        "The videos are converted for the disc kind (--kind, default svcd) during the\n"
        "build; the norm comes from --norm or the first video's frame rate. With --menu\n"
        "the number keys play the videos, each video returns to the menu, and the last\n"
        "number shows the pictures; without it the videos play one after another, then\n"
        "the pictures. --chapters 5 adds an entry point every 5 minutes of each video.\n"
        "\n"
        "To change the disc, edit out/disc.txt and build it again:\n"
        "  qorvcd build out/disc.txt -o out/disc.img --bin-cue      (add --vcd30 for vcd30)\n"
        "Nothing is written when an input cannot be read; the message names the file.");

    ExportOptions exportOpts;
    auto* exportCmd = app.add_subcommand("export", "Write a disc image as BIN/CUE");
    exportCmd->add_option("image", exportOpts.image, "Disc image")->required();
    exportCmd->add_option("-o,--output", exportOpts.cue, "Cue sheet NAME.cue (NAME.bin beside it)")->required();
    exportCmd->add_option("--iso", exportOpts.isoPath, "Also write track 1 as a plain ISO 9660 image");
    exportCmd->footer(
        "Example: qorvcd export disc.img -o out/disc.cue --iso out/track1.iso\n"
        "writes out/disc.bin (every sector as a raw 2352-byte sector), out/disc.cue (burn\n"
        "this one) and the file system of track 1 as out/track1.iso.\n"
        "Exit status: 0 success, 1 failure (an unreadable image, a refused or unwritable output).");

    InspectOptions inspect;
    auto* inspectCmd = app.add_subcommand("inspect", "Decode a disc image: tracks, files, control files");
    inspectCmd->add_option("image", inspect.image, "Disc image")->required();
    inspectCmd->add_flag("--full", inspect.full, "Print every decoded field (default: a short summary)");
    inspectCmd->add_flag("--json", inspect.json, "Print every decoded field as JSON")->excludes("--full");
    inspectCmd->add_option("--graph", inspect.graph,
                           "Draw the menus as a Graphviz file (FILE.svg beside it when `dot` is installed)");
    inspectCmd->footer(
        "Examples:\n"
        "  qorvcd inspect disc.img                    # a short summary: tracks, segments, menus\n"
        "  qorvcd inspect disc.img --full             # every decoded field\n"
        "  qorvcd inspect disc.img --graph menus.dot  # the menus as a graph\n"
        "Exit 0 when all is decoded, 1 when the image is unreadable, 2 when a part is damaged.");

    NavigateOptions navigate;
    auto* navigateCmd = app.add_subcommand("navigate", "Walk a disc image's menus as a player does");
    navigateCmd->add_option("image", navigate.image, "Disc image")->required();
    navigateCmd->add_option("--keys", navigate.keys,
                            "Keys to press in turn: numbers, next, previous, return, default, timeout "
                            "(default: read from stdin)");
    navigateCmd->footer(
        "Starts at the disc's first list and prints, at each step, the list, what it plays\n"
        "and the keys it takes: try a menu before burning the disc.\n"
        "\n"
        "Example:\n"
        "  qorvcd navigate disc.img --keys \"1 return 2 next\"");

    PackOptions pack;
    auto* packCmd = app.add_subcommand("pack", "Turn a video into a sector-mode file (transcoded when needed)");
    packCmd->add_option("input", pack.input,
                        "Any video FFmpeg reads; an MPEG program stream that fits the kind is packed as it is")
        ->required();
    packCmd->add_option("output", pack.output, "Sector-mode file to write")->required();
    AddDiscKindOption(packCmd, pack.kind);
    packCmd->add_option("--norm", pack.norm, "pal or ntsc (default: from the source's frame rate)")
        ->check(CLI::IsMember({"pal", "ntsc"}, CLI::ignore_case));
    packCmd->footer(
        "Example: qorvcd pack holiday.mp4 AVSEQ01.MPS --kind svcd --norm pal\n"
        "then name AVSEQ01.MPS on a [TRACK] line (or in a SEGMENT block for a short clip):\n"
        "  MPEGTRACK AVSEQ01 AVSEQ01.MPS PAL AUDIO 2 TIME 60\n"
        "A build converts an .mp4 named in the script by itself; pack does it once, ahead.\n"
        "Exit status: 0 success, 1 the video cannot be read or converted, 2 refused.");

    ProbeOptions probe;
    auto* probeCmd = app.add_subcommand("probe", "Show what a sector-mode MPEG file holds");
    probeCmd->add_option("file", probe.file, "Sector-mode MPEG file")->required();
    probeCmd->footer(
        "Example: qorvcd probe AVSEQ01.MPS\n"
        "shows the norm, picture size, audio streams and playing time the build will\n"
        "measure, and the track summary line; the values a [TRACK] line or .EP side file\n"
        "should state. Exit status: 0 success, 1 not a sector-mode MPEG file.");

    StillOptions still;
    auto* stillCmd = app.add_subcommand("still", "Encode a picture into a sector-mode still picture");
    stillCmd->add_option("input", still.input, "Picture: BMP, PNG, JPEG or any still FFmpeg reads")->required();
    stillCmd->add_option("output", still.output, "Sector-mode file to write")->required();
    AddDiscKindOption(stillCmd, still.kind);
    stillCmd->add_option("--norm", still.norm, "Video standard: pal or ntsc (default: by the picture's height, else PAL)")
        ->check(CLI::IsMember({"pal", "ntsc"}, CLI::ignore_case));
    stillCmd->add_flag("--hires", still.hires, "High-resolution still (as --mode 3)");
    stillCmd->add_option("--mode", still.mode, "Picture mode: 2 normal, 3 high resolution (default: by the picture)")
        ->check(CLI::IsMember({2, 3}));
    stillCmd->footer(
        "A picture of a standard frame size (352x288, 352x240, 480x576, 480x480, 704x576,\n"
        "704x480, 352x576, 352x480) fills the 4:3 screen; any other is taken as square\n"
        "pixels and fitted with black bars, never stretched.\n"
        "\n"
        "Example: qorvcd still menu.png SEGMENU.MPS --kind svcd --norm pal --mode 2\n"
        "then name it in a SEGMENT block: SEGMENU = SEGMENU.MPS AUDIO 0 VIDEO 20\n"
        "(VIDEO 20 a PAL still, 24 a PAL high-resolution still, 4 and 8 for NTSC).\n"
        "Exit status: 0 success, 1 the picture cannot be read or encoded, 2 refused.");

    CLI11_PARSE(app, argc, argv);

    if (*buildCmd) return RunBuild(build);
    if (*checkCmd) return RunCheck(check);
    if (*makeCmd) return RunMake(make);
    if (*exportCmd) return RunExport(exportOpts);
    if (*inspectCmd) return RunInspect(inspect);
    if (*navigateCmd) {
        navigate.keysGiven = navigateCmd->count("--keys") > 0;
        return RunNavigate(navigate);
    }
    if (*packCmd) return RunPack(pack);
    if (*probeCmd) return RunProbe(probe);
    if (*stillCmd) return RunStill(still);
    return 2;
}
