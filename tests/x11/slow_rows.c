/* Preloaded into the saver by the end-to-end tests: every request for decoded rows waits first,
   so that a decode lasts seconds on any machine and input can arrive while it runs. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <string.h>
#include <time.h>
#include <jpeglib.h>

typedef JDIMENSION (*ReadScanlines)(j_decompress_ptr, JSAMPARRAY, JDIMENSION);

JDIMENSION jpeg_read_scanlines(j_decompress_ptr cinfo, JSAMPARRAY rows, JDIMENSION count) {
    static ReadScanlines real = NULL;
    if (real == NULL) {
        void* found = dlsym(RTLD_NEXT, "jpeg_read_scanlines");
        memcpy(&real, &found, sizeof real);
    }
    struct timespec pause = {0, 100 * 1000 * 1000};
    nanosleep(&pause, NULL);
    return real(cinfo, rows, count);
}
