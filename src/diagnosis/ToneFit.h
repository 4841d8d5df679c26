#pragma once

// A channel's tone curve, fitted on the capture's values gathered by the
// level the steps before the curve give: levels as an image editor sets
// them, a black point and a white point with the levels between stretched
// over 0 to 255 and a power law out = in^gamma on what is between (rounded,
// or truncated as some writers do); where none fits, the means themselves
// as a table. The levels beyond the black and white points come out alike:
// clipped.

#include <algorithm>
#include <array>

namespace ToneFit {

// Capture values gathered by level (0 to 255).
struct Bins
{
    std::array<double, 256> count {};
    std::array<double, 256> sum {};
    std::array<double, 256> squares {};

    void add(double level, double captured)
    {
        const auto i = std::size_t(std::clamp(int(level + 0.5), 0, 255)); // levels are never negative
        count[i] += 1;
        sum[i] += captured;
        squares[i] += captured * captured;
    }
    double mean(int i) const { return sum[std::size_t(i)] / count[std::size_t(i)]; }
    // The squared error no curve through the bins' means can remove.
    double within() const;
};

// A power law this close to 1 is no tone curve.
inline constexpr double GammaTolerance = 0.03;

// The power law through the bins from `first` to `last` with the least
// squared error, and that error; `lower` is 0.5 for a writer that truncates.
double FitGamma(const Bins &bins, int first, int last, double lower = 0);
double CurveError(const Bins &bins, double gamma, int first, int last, double lower = 0);

struct ChannelFit
{
    bool table = false; // no power law fits: `curve` holds the means
    double gamma = 1;
    // The input levels stretched over 0 to 255.
    double black = 0;
    double white = 255;
    // The curve, clipping included: the output level for each input level.
    std::array<float, 256> curve {};
    int clippedBelow = 0;
    int clippedAbove = 255;
    // The squared error the levels leave against the bins' means (a table's
    // too: what the best levels leave).
    double error = 0;
};

// `table`: whether a table may stand where no levels fit.
ChannelFit FitChannel(const Bins &bins, bool table = true);

// The curve at a fractional level, straight between its entries.
double OnCurve(const std::array<float, 256> &curve, double level);

} // namespace ToneFit
