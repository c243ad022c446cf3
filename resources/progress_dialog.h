// The progress window's template: its caption, controls and initial texts.
// A host draws the window its own way (a terminal bar, a test double) but
// shows these texts.
#pragma once

namespace qorvcd::resources {

inline constexpr unsigned kProgressDialogId = 212;
inline constexpr unsigned kProgressCaptionId = 213;
inline constexpr const char* kProgressCaption = "Disc image creating...";

inline constexpr unsigned kCancelButtonId = 2;      // "Cancel"
inline constexpr unsigned kMessageLineId = 2102;    // what is being done
inline constexpr unsigned kProgressBarId = 2103;    // "Progress1"
inline constexpr unsigned kPercentTextId = 2104;    // " 0 %" until the first update
inline constexpr const char* kInitialPercentText = " 0 %";

}  // namespace qorvcd::resources
