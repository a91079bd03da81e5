// libjpeg's errors as our JPEG reader and writer take them: the library's message, then
// a jump back to the call that set the jump. Only for this folder's JPEG code, which
// links libjpeg; nothing outside graphics/ includes it.
#pragma once

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

struct TJpegError {
    jpeg_error_mgr Pub;
    jmp_buf Jump;
    char Message[JMSG_LENGTH_MAX];
};

// The error_exit of a TJpegError's manager.
void OnJpegError(j_common_ptr cinfo);
