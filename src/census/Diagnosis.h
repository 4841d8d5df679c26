#pragma once

// What happened to a sheet on its way into a capture: the chain of known
// steps that turns the sheet into what the capture holds, in the order they
// act. The discrete steps (channel order, a Y'CbCr path whose range or matrix
// was misread) are chosen by putting the sheet's smooth places through every
// candidate and keeping the simplest one that comes closest, with a power law
// per channel fitted on the way; chroma resolution is told by the sheet's
// sharp tile edges (and the path chosen again knowing it); bits, dither and
// clipping from the values each channel takes. The sheet put through the chain found is then
// measured against the capture: what it leaves is noise.

#include "census/ErrorMeasures.h"
#include "census/Facts.h"
#include "census/YcbcrPath.h"
#include "lut/ColourLut.h"

#include <QImage>
#include <QRgb>
#include <QString>

#include <array>
#include <vector>

namespace Diagnosis {

// A capture that the steps found leave further from it than this mean
// dE2000 is unexplained.
inline constexpr double UnexplainedDe2000 = 3.0;

enum class RangeFault { None, LimitedAsFull, FullAsLimited };
enum class Chroma { Full, Sub422, Sub420, Sub411 };
enum class Tone { None, Gamma, Table };

struct Landmark
{
    QString name;  // "black", "white", "red", "green", "blue", "grey 50 %"
    QRgb sheet;    // the colour the sheet holds
    QRgb captured; // the mean of the capture where the sheet holds it
};

struct Result
{
    // Capture channel c holds sheet channel order[c].
    std::array<int, 3> order {0, 1, 2};
    RangeFault range = RangeFault::None;
    int rangePasses = 1; // 2: the same misreading applied twice
    YcbcrPath::Matrix encoded = YcbcrPath::Matrix::Bt709;
    YcbcrPath::Matrix decoded = YcbcrPath::Matrix::Bt709;
    Chroma chroma = Chroma::Full;
    std::array<int, 3> bits {8, 8, 8};
    // How each channel's kept levels lie on 0 to 255: 0 rounded, 1 truncated,
    // 2 the top bits repeated below, 3 only shifted.
    std::array<int, 3> spread {0, 0, 0};
    // Noise added before the cut; the sheet put through the steps then
    // leaves the cut out, since the dither keeps the level on average.
    bool dither = false;
    Tone tone = Tone::None;
    std::array<double, 3> gamma {1, 1, 1};
    // The tone curve per channel, clipping included: the output level (0 to
    // 255) for each input level the steps before it give.
    std::array<std::array<float, 256>, 3> curves {};
    std::array<int, 3> clippedBelow {0, 0, 0};
    std::array<int, 3> clippedAbove {255, 255, 255};

    std::vector<Landmark> landmarks;

    bool exact = false;     // the capture is the sheet
    bool explained = false; // the capture is the sheet put through the steps
    double psnr = 0;        // of the capture against the sheet put through the steps (dB)
    double meanDe2000 = 0;  // of the capture against the sheet
    double meanDe2000After = 0;
    // True when even the steps found leave the capture far from the sheet.
    bool unexplained = false;

    bool matrixFault() const { return encoded != decoded; }
    bool clipped() const;
    // The landmarks, then one fact per step found, in the order the steps
    // act, then the noise and the figure after the steps (not the census's
    // own): as `name: value` lines or as JSON, the tone curve with its table.
    Facts facts() const;

    // The sheet (RGB32) put through every step found.
    QImage simulate(const QImage &sheet) const;
    // A table of `points` a channel that undoes the invertible steps found
    // (order, range, matrix, tone curve).
    LutTable fix(int points = 65) const;
};

// `sheet` is RGB32; `capture` is its area in the capture at the sheet's size,
// 8 or 16 bits a channel. `before`: the capture's measures against the sheet,
// when the caller has them already.
Result Diagnose(const QImage &sheet, const QImage &capture, const ErrorMeasures *before = nullptr);

} // namespace Diagnosis
