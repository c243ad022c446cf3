// FFmpeg's own log, kept off the host's terminal.
#pragma once

namespace qorvcd::codec {

// FFmpeg's messages would go to stderr, over the progress bar and between
// the log lines; every caller reports its failures with their reason instead.
// FFmpeg has one log level for the whole process, so it is lowered once,
// before the first FFmpeg call of any thread, and never written again:
// builds running on several threads do not race on it.
void SilenceFfmpegLog();

}  // namespace qorvcd::codec
