#pragma once

// What a picture file says its numbers mean, found in the file itself: the
// ICC profile embedded in a PNG (iCCP), a JPEG (APP2 ICC_PROFILE segments),
// a TIFF (tag 34675) or a WebP (ICCP chunk), and a PNG's cICP (the video
// code points of ITU-T H.273) and sRGB chunks. The bytes come from a
// stranger: every length is checked against the file before it is read, a
// profile larger than MostBytes is refused, and a damaged one is refused
// with the reason, never half read.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

class QIODevice;

namespace EmbeddedProfile {

// The largest ICC profile taken: a few kilobytes is usual, a profile with
// look-up tables up to a megabyte or two.
inline constexpr qsizetype MostBytes = 4 * 1024 * 1024;

// H.273's code points, as PNG's cICP chunk holds them.
struct Cicp
{
    std::uint8_t primaries = 0;
    std::uint8_t transfer = 0;
    std::uint8_t matrix = 0;
    bool fullRange = true;
};

struct Embedded
{
    QByteArray icc;            // the ICC profile's bytes; empty: none
    std::optional<Cicp> cicp;  // PNG's cICP chunk
    bool srgbChunk = false;    // PNG's sRGB chunk: the numbers are sRGB
    QString refused;           // why a profile the file holds was not taken

    bool any() const { return !icc.isEmpty() || cicp || srgbChunk || !refused.isEmpty(); }
};

// Looks for a profile in the file on `device` (which must be able to seek;
// it is left where it was) of `format`, Qt's name for it ("png", "jpeg",
// "tiff", "webp"); nothing for other formats.
Embedded Find(QIODevice &device, const QByteArray &format);

} // namespace EmbeddedProfile
