#pragma once

// What happened to the deep sheet on its way into a capture (a picture of 8
// or 16 bits a channel, or a recording's frame): the chain (HdrChain) that
// turns the sheet into what the capture holds, fitted cell by cell. The
// greys tell the capture's transfer, the tone curve with its source peak
// and knee and the SDR white; the colours tell how the curve meets them,
// the target's primaries and what became of colours outside them; the
// values the capture takes tell its bits and any dither. The sheet put
// through the chain found is measured against the capture in ΔE_ITP.

#include "facts/Facts.h"
#include "hdr/DeepCapture.h"
#include "hdr/HdrChain.h"
#include "lut/ColourLut.h"

#include <QImage>
#include <QString>

#include <optional>

namespace HdrDiagnosis {

// What the capture's file says it holds: PNG's cICP chunk or a
// recording's stream tags, as ITU-T H.273 code points; none when it says
// nothing (viewers then take sRGB).
struct Tagged
{
    QString where; // "cICP", "stream"
    int transfer = 0;
    int primaries = 0;
};

struct Result
{
    DeepCapture::Placement placement;
    HdrChain::Chain chain;
    bool exact = false; // the capture is the sheet, every cell
    int depth = 8;      // the capture's bits a channel
    int bits = 8;  // the bits it keeps
    bool dither = false;
    // Mean ΔE_ITP of the capture against the sheet put through the chain,
    // and against the sheet's own SDR rendering (light up to its white,
    // BT.709, clipped).
    double meanItp = 0;
    double meanItpReference = 0;
    double greyError = 0; // RMS of the greys against the chain, in 8-bit levels
    double fitError = 0;  // the same of greys and colours together
    // What the file says it holds, when the caller read it; an empty
    // `where`: the file says nothing.
    std::optional<Tagged> tagged;

    // One fact a thing found, in the order the chain acts.
    Facts facts() const;
    // A table of `points` a channel from the capture's colours to the sheet's
    // SDR rendering; where the capture is PQ, a curve before it spreads the
    // table's nodes over the light an SDR rendering can show.
    ColourLut fix(int points = 65) const;
};

// The chain that makes the deep sheet found at `placement` into `capture`;
// `tagged`, what the capture's file says of itself, when known: it decides
// between chains its numbers cannot tell apart (PQ numbers in an SDR file
// are the grey picture, in a PQ file an HDR capture).
Result Diagnose(const QImage &capture, const DeepCapture::Placement &placement,
                const std::optional<Tagged> &tagged = std::nullopt);
// The same from cells already read (a recording's stored samples, decoded).
Result Diagnose(const DeepCapture::Cells &cells, const DeepCapture::Placement &placement,
                const std::optional<Tagged> &tagged = std::nullopt);

// How well `chain`, its white, peak and knee fitted again, explains `cells`
// (RMS in 8-bit levels, greys and colours): which of a recording's readings
// of its samples the chain a diagnosis found fits best.
double Refit(const HdrChain::Chain &chain, const DeepCapture::Cells &cells);

// The sheet's SDR rendering of a signal: its light divided by its SDR
// white, in BT.709 clipped to 0 to 1, as sRGB numbers.
HdrChain::Rgb ReferenceRendering(const DeepSheet::Recipe &recipe, const HdrChain::Rgb &signal);

} // namespace HdrDiagnosis
