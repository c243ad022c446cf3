#include "script/disc_settings.h"

#include <cstring>

#include "core/build_context.h"
#include "platform/paths.h"
#include "script/script_reader.h"

namespace qorvcd {
namespace {

constexpr size_t kEntryIdSize = 8;

bool StartsSection(const char* token) { return token[0] == '['; }
bool IsEndOfList(const char* token) { return std::strcmp(token, "ENDFILE") == 0; }

// A null token (rejected), the end of the file or the next header ends a section.
bool EndsSection(const char* token) {
    return token == nullptr || token[0] == '\0' || StartsSection(token);
}

int DiscModeOf(const char* value) {
    if (std::strcmp(value, "SUPERVCD") == 0) return 3;
    if (std::strcmp(value, "SVCD") == 0) return 1;
    if (std::strcmp(value, "CVD") == 0) return 2;
    return -1;
}

int FindDiscMode(ScriptReader& reader) {
    if (!reader.FindSection("[VCD]")) return -1;
    for (;;) {
        const char* token = reader.NextTokenUpper();
        if (EndsSection(token)) return -1;
        if (std::strcmp(token, "MODE") != 0) continue;
        reader.NextTokenUpper();  // the "="
        const char* value = reader.NextTokenUpper();
        if (EndsSection(value)) return -1;
        const int mode = DiscModeOf(value);
        if (mode > 0) return mode;
    }
}

void CopyEntryId(const char* value, const BuildContext& ctx, char (&entryId)[8]) {
    const size_t length = std::strlen(value);
    if (length == 0) {
        ctx.LogLine("ENTRYID is empty; the ENTRIES identifier stays unchanged");
        return;
    }
    if (length > kEntryIdSize) {
        ctx.LogLine(Format("ENTRYID %s is longer than %zu characters; its first %zu are used",
                           value, kEntryIdSize, kEntryIdSize));
    }
    for (size_t i = 0; i < kEntryIdSize; ++i) entryId[i] = i < length ? value[i] : ' ';
}

}  // namespace

int ReadDiscMode(const std::string& scriptPath, const MessageHandler& showMessage, std::string* openError) {
    ScriptReader reader(showMessage);
    if (!reader.OpenScript(scriptPath)) {
        if (openError) *openError = reader.OpenError();
        return -1;
    }
    const int mode = FindDiscMode(reader);
    reader.CloseScript();
    return mode;
}

bool ReadEntryIdentifier(const std::string& settingsPath, const BuildContext& ctx,
                         char (&entryId)[8]) {
    ScriptReader reader([&ctx](const std::string& text) { ctx.ShowMessage(text); });
    if (!reader.OpenScript(settingsPath)) {
        ctx.LogLine(Format("Can't open %s", settingsPath.c_str()));
        if (ctx.log) ctx.log->Repaint();
        // A settings file that is there but cannot be read is no missing one.
        if (!PathExists(settingsPath)) return true;
        ctx.LogLine("Error: " + reader.OpenError());
        return false;
    }
    // Without the section there is nothing to read: tokens after an ENDFILE
    // elsewhere in the file must not be taken for it.
    if (!reader.FindSection("[VCD20]")) return true;
    for (;;) {
        const char* token = reader.NextTokenUpper();
        if (EndsSection(token) || IsEndOfList(token)) return true;
        if (std::strcmp(token, "ENTRYID") != 0) continue;
        reader.NextTokenUpper();  // the "="
        const char* value = reader.NextTokenUpper();
        if (EndsSection(value) || IsEndOfList(value)) return true;
        CopyEntryId(value, ctx, entryId);
    }
}

}  // namespace qorvcd
