/* C interface of the authoring library, for hosts in other languages. */
#ifndef QORVCD_C_H
#define QORVCD_C_H

#ifdef __cplusplus
extern "C" {
#endif

typedef void (*qorvcd_log_fn)(void* user, const char* line);
/* percent is 0..100 (it wraps for long steps); message is the current action. */
typedef void (*qorvcd_progress_fn)(void* user, int percent, const char* message);

typedef struct qorvcd_build_options {
    const char* image_path;   /* disc image to create */
    const char* script_path;  /* authoring script */
    int fallback_vcd30;       /* 0: SVCD when the script names no MODE; 1: Video CD 3.0 */
    const char* work_dir;     /* system folder for work files, or NULL */
    const char* settings_dir; /* folder of the *.CFG settings files, or NULL */
    qorvcd_log_fn log;        /* every log line as it comes, or NULL */
    qorvcd_progress_fn progress; /* or NULL */
    void* user;               /* passed back to the callbacks */
    /* Set non-zero to cancel, from any thread, with an atomic store
       (__atomic_store_n(cancel, 1, __ATOMIC_RELEASE)); the build takes and
       clears it atomically at every progress step. */
    volatile int* cancel;
} qorvcd_build_options;

/* Builds one image; returns the build's result code (0 success). */
int qorvcd_build(const qorvcd_build_options* options);

/* Flags of qorvcd_build_flags. */
#define QORVCD_BUILD_STANDARD 0x1u /* the Video CD 2.0 / SVCD conventions of independent readers */
/* Also NAME.bin and NAME.cue beside the image NAME.img, from the same pass. */
#define QORVCD_BUILD_BIN_CUE 0x2u
/* Only the BIN and the cue sheet: image_path names NAME.cue; no image is made. */
#define QORVCD_BUILD_BIN_CUE_ONLY 0x4u

/* qorvcd_build with flags (QORVCD_BUILD_*); a flag this library does not know
   fails the call with 2000 before anything is read or written. */
int qorvcd_build_flags(const qorvcd_build_options* options, unsigned flags);

#ifdef __cplusplus
}
#endif

#endif
