#pragma once

// What happened to a sheet on its way into a capture: the chain of known
// steps (Chain) that turns the sheet into what the capture holds, each
// fitted to the capture, and what is left: noise. The caller measures (the
// census does): it gives how far the capture is from the sheet, and how to
// measure it against the sheet put through the steps found.

#include "diagnosis/Chain.h"
#include "facts/Facts.h"
#include "lut/ColourLut.h"

#include <QImage>
#include <QRgb>
#include <QString>

#include <functional>
#include <vector>

namespace Diagnosis {

// A capture that the steps found leave further from it than this mean
// dE2000 is unexplained: more than a lossy codec's noise (H.264 at its
// default quality leaves about 1).
inline constexpr double UnexplainedDe2000 = 2.0;

struct Landmark
{
    QString name;  // "black", "white", "red", "green", "blue", "grey 50 %"
    QRgb sheet;    // the colour the sheet holds
    QRgb captured; // the mean of the capture where the sheet holds it
};

// How far a picture of the sheet's size is from the capture.
struct Residual
{
    double meanDe2000 = 0;
    double psnr = 0;
    bool exact = false; // not one pixel differs
};

// Measures a picture of the sheet's size (RGB32) against the capture.
using Measure = std::function<Residual(const QImage &)>;

struct Result
{
    Chain chain;
    std::vector<Landmark> landmarks;

    bool exact = false;     // the capture is the sheet
    bool explained = false; // the capture is the sheet put through the steps
    double psnr = 0;        // of the capture against the sheet put through the steps (dB)
    double meanDe2000 = 0;  // of the capture against the sheet
    double meanDe2000After = 0;
    // True when even the steps found leave the capture far from the sheet:
    // further than a codec's noise.
    bool unexplained = false;

    // Whether a fault was named (anything but chroma kept at a lower
    // resolution), or the capture is unexplained: its path is not right.
    bool faulty() const;

    // The landmarks, then one fact per step found, in the order the steps
    // act, then the noise and the figure after the steps (not the census's
    // own): as `name: value` lines or as JSON, the tone curve with its table.
    Facts facts() const;

    // The sheet (RGB32) put through every step found.
    QImage simulate(const QImage &sheet) const { return chain.simulate(sheet); }
    // A table of `points` a channel that undoes the invertible steps found
    // (order, range, matrix, tone curve).
    LutTable fix(int points = 65) const { return chain.fix(points); }
};

// `sheet` is RGB32; `capture` is its area in the capture at the sheet's size,
// 8 or 16 bits a channel; `before` how far it is from the sheet, `measure`
// how to measure it against the sheet put through the steps.
Result Diagnose(const QImage &sheet, const QImage &capture, const Residual &before, const Measure &measure);

} // namespace Diagnosis
