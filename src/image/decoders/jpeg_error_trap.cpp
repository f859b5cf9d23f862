#include "image/decoders/jpeg_error_trap.h"

void TrapErrorExit(j_common_ptr cinfo) {
    JpegErrorTrap* trap = reinterpret_cast<JpegErrorTrap*>(cinfo->err);
    longjmp(trap->jumpBuffer, 1);
}

namespace {

// Warnings (a file cut short) are the show's business, not the terminal's.
void KeepQuiet(j_common_ptr) {}

}  // namespace

jpeg_error_mgr* InitErrorTrap(JpegErrorTrap* trap) {
    jpeg_error_mgr* err = jpeg_std_error(&trap->pub);
    err->error_exit = TrapErrorExit;
    err->output_message = KeepQuiet;
    return err;
}
