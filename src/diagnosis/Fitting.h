#pragma once

// What the steps are fitted on: the sheet and the capture (the sheet's area,
// at the sheet's size), and samples of the sheet's smooth places, where a
// lossy path and a lower chroma resolution leave the colour as the steps
// made it. A step asks for the samples as the steps before it leave them,
// for the levels each channel takes, and for what a tone curve at the end of
// the chain leaves unexplained.

#include "colour/Ciede2000.h"
#include "diagnosis/Chain.h"
#include "diagnosis/LevelCut.h"
#include "diagnosis/ToneFit.h"

#include <QImage>
#include <QPoint>

#include <array>
#include <vector>

struct Sample
{
    std::array<double, 3> sheet;    // 0 to 1, the sheet's channels
    std::array<double, 3> captured; // 0 to 255, the capture's channels
    QPoint place;
    // The sheet about the place as the chroma resolution found blurs it.
    std::array<double, 3> around;
};

class Fitting
{
public:
    // `sheet` and `capture` are RGB32 of the same size.
    Fitting(const QImage &sheet, const QImage &capture, Chain &chain);

    const QImage &sheet() const { return sheet_; }
    const QImage &capture() const { return capture_; }
    Chain &chain() { return chain_; }
    std::vector<Sample> &samples() { return samples_; }

    // A sample as the steps before the one at `index` leave it, and every sample.
    Swatch through(const Sample &sample, std::size_t index) const;
    std::vector<Swatch> throughAll(std::size_t index, std::size_t most = 0) const;

    // The values each channel takes in the capture and in the sheet.
    const std::array<LevelCut::LevelSet, 3> &captureLevels();
    const std::array<LevelCut::LevelSet, 3> &sheetLevels();

    // The captured colour (0 to 255) with the steps from the one at `index`
    // on undone, the last first: what left the step before.
    Swatch undone(const std::array<double, 3> &captured, std::size_t index) const;

    // The samples through the steps before the curve that explains the rest
    // (the tone curve), gathered by level for each capture channel: what it
    // is fitted on.
    // `most` samples spread over all of them, when given, make a quicker judge.
    std::array<ToneFit::Bins, 3> curveBins(std::size_t most = 0) const;
    // That curve fitted again, after a step before it changed.
    void fitCurve();
    // Whether the curve may be a table where no levels fit: not while a
    // step is judged by what the chain leaves without it, since a table
    // explains anything a step does to each channel alone.
    bool tablesAllowed() const { return tablesAllowed_; }
    void allowTables(bool allowed) { tablesAllowed_ = allowed; }
    // Whether no power law per channel explains what the steps before the
    // curve leave: the curve would be a table.
    bool curveNeedsTable() const;

    // How far the samples put through the chain are from what the capture
    // holds there: their mean CIEDE2000.
    double residual();

    // Asks for the steps fitted before the caller to be fitted again, once:
    // what it found changes what they are fitted on.
    void again() { again_ = true; }
    bool takeAgain()
    {
        const bool asked = again_;
        again_ = false;
        return asked;
    }

private:
    const QImage &sheet_;
    const QImage &capture_;
    Chain &chain_;
    std::vector<Sample> samples_;
    bool levelsRead_ = false;
    std::array<LevelCut::LevelSet, 3> captureLevels_;
    std::array<LevelCut::LevelSet, 3> sheetLevels_;
    std::vector<Ciede2000::Lab> capturedLab_;
    bool again_ = false;
    bool tablesAllowed_ = true;
};
