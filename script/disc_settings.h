// Disc-level settings read before anything else: the kind of disc named by
// the authoring script's [VCD] MODE, and the ENTRIES identifier that a
// settings file may give under [VCD20] ENTRYID.
#pragma once

#include <string>

#include "platform/log_list.h"

namespace qorvcd {

struct BuildContext;

// The disc kind number named by MODE in the script's [VCD] section: 1 for
// "SVCD", 2 for "CVD", 3 for "SUPERVCD"; -1 when the script cannot be read
// or names none (the caller then applies its fallback kind). A MODE value
// not in that list is passed over, so a later MODE line can still decide.
// `openError`, when given, receives why the script could not be read.
int ReadDiscMode(const std::string& scriptPath, const MessageHandler& showMessage,
                 std::string* openError = nullptr);

// Replaces `entryId` with the ENTRYID value of the settings file's [VCD20]
// section, upper-cased. A value shorter than 8 characters is padded with
// blanks; a longer one keeps its first 8 (with a log line). Without the file,
// the section or the key, `entryId` stays as it was ("Can't open %s" is
// logged for a missing file). False when the file cannot be read.
bool ReadEntryIdentifier(const std::string& settingsPath, const BuildContext& ctx,
                         char (&entryId)[8]);

}  // namespace qorvcd
