// `qorvcd navigate IMAGE [--keys "1 next return ..."]`: follows the disc's
// menus as a player's remote control does, from the start list. Each key
// prints the list it leads to, with its play item and choices; a key that
// leads nowhere says so and the player stays. Without --keys the keys come
// from stdin, one line at a time (several keys to a line are fine).
// Exit status 0; 1 when the image cannot be read or has no menus (a key
// that leads nowhere is no error: a player ignores it too).
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>

#include "cli/commands.h"
#include "imagetools/playback_model.h"

namespace qorvcd::cli {

namespace {

void PrintKeyHelp() {
    std::printf("keys: a number chooses, next, previous (prev), return (ret), default, timeout; quit ends\n");
}

// Splits "1 next, return" into its keys.
std::vector<std::string> Keys(const std::string& text) {
    std::string spaced = text;
    for (char& c : spaced) {
        if (c == ',' || c == ';') c = ' ';
    }
    std::istringstream in(spaced);
    std::vector<std::string> keys;
    for (std::string key; in >> key;) keys.push_back(key);
    return keys;
}

// Presses `key`; false when the walk should end.
bool Press(PlaybackNavigator& navigator, const std::string& key) {
    if (key == "quit" || key == "q" || key == "exit") return false;
    if (key == "help" || key == "?") {
        PrintKeyHelp();
        return true;
    }
    std::printf("> %s\n", key.c_str());
    std::string message;
    if (navigator.Press(key, message)) std::fputs(navigator.Describe().c_str(), stdout);
    else std::printf("  %s\n", message.c_str());
    return true;
}

}  // namespace

int RunNavigate(const NavigateOptions& options) {
    DecodedImage image;
    std::string error;
    if (!DecodeImage(options.image, image, error)) {
        std::fprintf(stderr, "qorvcd navigate: %s\n", error.c_str());
        return 1;
    }
    const PlaybackModel model = BuildPlaybackModel(image);
    if (!model.error.empty()) {
        std::fprintf(stderr, "qorvcd navigate: %s: the play-back control cannot be read: %s\n",
                     options.image.c_str(), model.error.c_str());
        return 1;
    }
    if (model.lists.empty()) {
        std::fprintf(stderr, "qorvcd navigate: %s has no menus or play lists: a player plays its tracks in order\n",
                     options.image.c_str());
        return 1;
    }
    const PlayItemNames names(image);
    PlaybackNavigator navigator(model, names);
    std::fputs(navigator.Describe().c_str(), stdout);
    if (options.keysGiven) {
        for (const std::string& key : Keys(options.keys)) {
            if (!Press(navigator, key)) break;
        }
        return 0;
    }
    const bool terminal = isatty(STDIN_FILENO);
    if (terminal) PrintKeyHelp();
    for (;;) {
        if (terminal) {
            std::printf("key> ");
            std::fflush(stdout);
        }
        std::string line;
        if (!std::getline(std::cin, line)) break;
        bool going = true;
        for (const std::string& key : Keys(line)) {
            if (!(going = Press(navigator, key))) break;
        }
        std::fflush(stdout);
        if (!going) break;
    }
    if (terminal) std::printf("\n");
    return 0;
}

}  // namespace qorvcd::cli
