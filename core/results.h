// Every result code of the build, in one table. A build step returns kOk or
// the code of its failure (having logged why); the session keeps the code in
// its `result`, and the exported functions return it as a plain int.
//
// Codes are plain ints because that is what the exports return and what the
// steps store. Several meanings share a value; each meaning has its own name,
// so a reader always sees which one a line means.
#pragma once

#include <cstdint>

namespace qorvcd {

// ---------------------------------------------------------------- success

// Success: of the build, of a step, of a probe.
inline constexpr int kOk = 0;

// ---------------------------------------------------------------- value 1

// The session could not read the track list (any failure of that step).
inline constexpr int kTrackListFailed = 1;
// The application scan met a file name that is not 8.3 ("Error 200").
inline constexpr int kAppNameNot83 = 1;
// The playback control script broke the grammar while the info files were written.
inline constexpr int kPbcRejected = 1;

// ---------------------------------------------------------------- value 200

// The image, the tail or the work folder cannot be made, or an output is refused.
inline constexpr int kCannotCreateImage = 200;
// The directory writer met a folder nested deeper than level 8.
inline constexpr int kNestedTooDeep = 200;

// ---------------------------------------------------------------- other failures

// A step failed; the reason is the log line written just before.
inline constexpr int kStepFailed = 2000;
// The directory writer met a name longer than 12 characters.
inline constexpr int kNameTooLong = 5000;
// The probe refused a file of the [TRACK] section ("Error 10002").
inline constexpr int kNotATrack = 10002;
// An SVCD control file is missing from the tree's "SVCD" folder.
inline constexpr int kSvcdFileMissing = 20000;
// The script has no [TRACK] section.
inline constexpr int kNoTrackSection = 20010;

// ---------------------------------------------------------------- value 6666

// Cancel was taken during the application scan (the scan still ran its passes).
inline constexpr int kScanCancelled = 6666;
// An entry point lies beyond the end of its track; the track writer goes on.
inline constexpr int kEntryPointBeyondTrack = 6666;

// ---------------------------------------------------------------- negative codes

// Cancelled by the user: a bitmap conversion, a video track, or before the image took its name.
inline constexpr int kCancelled = -1;
// The tree has no \DATA folder when the application files are appended.
inline constexpr int kAppDataFolderMissing = -1;
// The disc has no room for its video tracks.
inline constexpr int kNoFreeSpace = -2000;
// The still pipeline's encoder or sector-mode pass failed, or the user cancelled it.
inline constexpr int kStillFailedOrCancelled = -1;
// Internal to the layout: the control files passed sector 300; becomes kStepFailed
// without the closing "Error!!!" line.
inline constexpr int kControlAreaOverflow = -30000;

// ---------------------------------------------------------------- MPEG probe status

// The stream record has not been probed yet.
inline constexpr int32_t kProbeNotProbed = -1;
// The probe cannot open the file.
inline constexpr int32_t kProbeCannotOpen = -2;
// The file is not a program stream the probe understands.
inline constexpr int32_t kProbeFormatError = -3;
// Cancel was taken while the probe read the file.
inline constexpr int32_t kProbeCancelled = -2000;
// An audio stream was asked for by an index other than 0 and 1.
inline constexpr int32_t kNoSuchAudioStream = -1;

namespace codec {

// Results of the still encoder's and multiplexer's entry points, as ints; a
// failed multiplexer's code is what EncodeStillPicture returns.
enum class CodecResult : int {
    Ok = 0,               // the output file was written
    BadArguments = 1,     // wrong count or value in the argument vector
    InputUnreadable = 2,  // the input file cannot be opened or read
    InputFormat = 3,      // the input is not what the step takes
    CodecFailure = 4,     // FFmpeg could not decode, scale or encode
    OutputFailure = 5,    // the output file cannot be written
};

}  // namespace codec

}  // namespace qorvcd

// Passes a failure on: returns the result of `expr` from the calling function
// when it is not kOk.
#define QORVCD_CHECK(expr)                                                    \
    do {                                                                      \
        if (const int qorvcd_check_result_ = (expr); qorvcd_check_result_ != ::qorvcd::kOk) \
            return qorvcd_check_result_;                                      \
    } while (0)
