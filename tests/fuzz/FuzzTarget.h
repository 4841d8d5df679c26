#pragma once

// What every fuzz target shares: Qt's application object, made once before
// the first input, and a check that stops the run on a broken promise (a
// reader that says it failed without a reason, a picture of a format it
// never returns), so that libFuzzer keeps the input like any crash.

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

namespace FuzzTarget {

// The picture allocation limit here, in MB, unless QT_IMAGEIO_MAXALLOC says
// otherwise. The checks are the same as at the program's 1024 MB, but a
// picture at the limit is decoded in a moment, and an allocation far beyond
// it (the runs' -malloc_limit_mb) is a fault, not a slow input.
inline constexpr const char *PictureLimitMB = "64";

inline void Start()
{
    ::setenv("QT_IMAGEIO_MAXALLOC", PictureLimitMB, 0);
    static int argc = 1;
    static char name[] = "tintwell-fuzz";
    static char *argv[] = {name, nullptr};
    // Kept to the end: Qt's plugins and translations stay loaded between inputs.
    new QCoreApplication(argc, argv);
}

inline void Require(bool holds, const char *promise)
{
    if (!holds) {
        std::fprintf(stderr, "Broken promise: %s\n", promise);
        std::abort();
    }
}

} // namespace FuzzTarget
