#include "diagnosis/ToneFit.h"

#include <algorithm>
#include <cmath>

namespace ToneFit {

namespace {

// `lower` is 0.5 for a writer that truncates where it should round.
double powerLaw(int level, double gamma, double lower)
{
    return level <= 0 ? 0.0 : std::max(255.0 * std::pow(level / 255.0, gamma) - lower, 0.0);
}

} // namespace

double Bins::within() const
{
    double total = 0;
    for (std::size_t i = 0; i < 256; ++i)
        if (count[i] > 0)
            total += squares[i] - sum[i] * sum[i] / count[i];
    return std::max(total, 0.0);
}

double CurveError(const Bins &bins, double gamma, int first, int last, double lower)
{
    double error = 0;
    for (int i = first; i <= last; ++i)
        if (bins.count[std::size_t(i)] > 0) {
            const double d = bins.mean(i) - powerLaw(i, gamma, lower);
            error += bins.count[std::size_t(i)] * d * d;
        }
    return error;
}

// The power law through the bins from `first` to `last` with the least
// squared error, by golden section on log gamma.
double FitGamma(const Bins &bins, int first, int last, double lower)
{
    double a = std::log(0.2), b = std::log(5.0);
    const double ratio = (std::sqrt(5.0) - 1) / 2;
    double c = b - ratio * (b - a), d = a + ratio * (b - a);
    double fc = CurveError(bins, std::exp(c), first, last, lower),
           fd = CurveError(bins, std::exp(d), first, last, lower);
    for (int i = 0; i < 40; ++i) {
        if (fc < fd) {
            b = d;
            d = c;
            fd = fc;
            c = b - ratio * (b - a);
            fc = CurveError(bins, std::exp(c), first, last, lower);
        } else {
            a = c;
            c = d;
            fc = fd;
            d = a + ratio * (b - a);
            fd = CurveError(bins, std::exp(d), first, last, lower);
        }
    }
    return std::exp((a + b) / 2);
}

ChannelFit FitChannel(const Bins &bins)
{
    ChannelFit fit;
    int first = 0, last = 255;
    while (first < 255 && bins.count[std::size_t(first)] == 0)
        ++first;
    while (last > 0 && bins.count[std::size_t(last)] == 0)
        --last;
    for (int i = 0; i < 256; ++i)
        fit.curve[std::size_t(i)] = float(i);
    if (first >= last)
        return fit;

    // Runs of levels that all came out as the outermost one.
    int below = first, above = last;
    for (int i = first + 1; i <= last; ++i) {
        if (bins.count[std::size_t(i)] == 0)
            continue;
        if (std::abs(bins.mean(i) - bins.mean(first)) > 0.5)
            break;
        below = i;
    }
    for (int i = last - 1; i >= below; --i) {
        if (bins.count[std::size_t(i)] == 0)
            continue;
        if (std::abs(bins.mean(i) - bins.mean(last)) > 0.5)
            break;
        above = i;
    }
    const bool inner = above - below > 8;
    const int from = inner ? below + 1 : first, to = inner ? above - 1 : last;
    // A power law rounded, or truncated as some writers do.
    double lower = 0;
    fit.gamma = FitGamma(bins, from, to);
    const double truncated = FitGamma(bins, from, to, 0.5);
    if (CurveError(bins, truncated, from, to, 0.5) < CurveError(bins, fit.gamma, from, to)) {
        fit.gamma = truncated;
        lower = 0.5;
    }
    if (std::abs(fit.gamma - 1) < GammaTolerance)
        fit.gamma = 1;

    double count = 0;
    for (int i = from; i <= to; ++i)
        count += bins.count[std::size_t(i)];
    const double rms = std::sqrt(CurveError(bins, fit.gamma, from, to, lower) / std::max(count, 1.0));
    const double noise = std::sqrt(bins.within() / std::max(count, 1.0));
    const bool table = rms > 2.0 && rms > 2 * noise + 1;

    const double low = bins.mean(first), high = bins.mean(last);
    if (table) {
        // The means themselves, straight lines across levels no bin holds.
        int previous = -1;
        for (int i = first; i <= last; ++i) {
            if (bins.count[std::size_t(i)] == 0)
                continue;
            const double value = bins.mean(i);
            if (previous < 0) {
                for (int j = 0; j <= i; ++j)
                    fit.curve[std::size_t(j)] = float(value);
            } else {
                const double start = fit.curve[std::size_t(previous)];
                for (int j = previous + 1; j <= i; ++j)
                    fit.curve[std::size_t(j)] = float(start + (value - start) * (j - previous) / (i - previous));
            }
            previous = i;
        }
        for (int j = previous + 1; j < 256; ++j)
            fit.curve[std::size_t(j)] = fit.curve[std::size_t(previous)];
        fit.table = true;
        return fit;
    }
    for (int i = 0; i < 256; ++i)
        fit.curve[std::size_t(i)] = float(fit.gamma == 1 ? i : powerLaw(i, fit.gamma, lower));
    // Clipping: the run ends where the curve alone would not have joined them.
    if (below > first && std::abs(powerLaw(below, fit.gamma, lower) - low) > 1.5) {
        fit.clippedBelow = below;
        for (int i = 0; i <= below; ++i)
            fit.curve[std::size_t(i)] = float(low);
    }
    if (above < last && std::abs(powerLaw(above, fit.gamma, lower) - high) > 1.5) {
        fit.clippedAbove = above;
        for (int i = above; i < 256; ++i)
            fit.curve[std::size_t(i)] = float(high);
    }
    return fit;
}

double OnCurve(const std::array<float, 256> &curve, double level)
{
    const double x = std::clamp(level, 0.0, 255.0);
    const int i = std::min(int(x), 254);
    const double f = x - i;
    return double(curve[std::size_t(i)]) * (1.0 - f) + double(curve[std::size_t(i) + 1]) * f;
}

} // namespace ToneFit
