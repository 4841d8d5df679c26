#pragma once

// An error code of FFmpeg's libraries as the sentence they give for it.

#include <QString>

extern "C" {
#include <libavutil/error.h>
}

inline QString FfmpegErrorText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromUtf8(text);
}
