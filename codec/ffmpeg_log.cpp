#include "codec/ffmpeg_log_p.h"

#include <mutex>

extern "C" {
#include <libavutil/log.h>
}

namespace qorvcd::codec {

void SilenceFfmpegLog() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

}  // namespace qorvcd::codec
