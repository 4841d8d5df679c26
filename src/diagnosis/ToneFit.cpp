#include "diagnosis/ToneFit.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

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

namespace {

// Levels as an editor sets them: the input levels from `black` to `white`
// stretched over 0 to 255 through a power law, those beyond clipped.
struct Levels
{
    double black = 0;
    double white = 255;
    double gamma = 1;
    double lower = 0;

    double operator()(double level) const
    {
        const double t = std::clamp((level - black) / (white - black), 0.0, 1.0);
        return t <= 0 ? 0.0 : std::max(255.0 * std::pow(t, gamma) - lower, 0.0);
    }
};

double errorOf(const Bins &bins, const Levels &levels, int first, int last)
{
    double error = 0;
    for (int i = first; i <= last; ++i)
        if (bins.count[std::size_t(i)] > 0) {
            const double d = bins.mean(i) - levels(i);
            error += bins.count[std::size_t(i)] * d * d;
        }
    return error;
}

// The least of `error` over `from` to `to`, by golden section.
template <typename Error>
double golden(double from, double to, int steps, const Error &error)
{
    const double ratio = (std::sqrt(5.0) - 1) / 2;
    double a = from, b = to;
    double c = b - ratio * (b - a), d = a + ratio * (b - a);
    double fc = error(c), fd = error(d);
    for (int i = 0; i < steps; ++i) {
        if (fc < fd) {
            b = d;
            d = c;
            fd = fc;
            c = b - ratio * (b - a);
            fc = error(c);
        } else {
            a = c;
            c = d;
            fc = fd;
            d = a + ratio * (b - a);
            fd = error(d);
        }
    }
    return (a + b) / 2;
}

// The gamma (searched on its logarithm) with the least error, the rest as given.
void fitGamma(const Bins &bins, Levels &levels, int first, int last)
{
    levels.gamma = std::exp(golden(std::log(0.2), std::log(5.0), 40, [&](double logGamma) {
        Levels trial = levels;
        trial.gamma = std::exp(logGamma);
        return errorOf(bins, trial, first, last);
    }));
}

} // namespace

ChannelFit FitChannel(const Bins &bins, bool tableAllowed)
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
    double count = 0;
    for (int i = first; i <= last; ++i)
        count += bins.count[std::size_t(i)];
    const double noise = std::sqrt(bins.within() / std::max(count, 1.0));

    // Runs of levels that all came out as the outermost one, as far as the
    // noise tells.
    const double alike = std::max(0.5, 2 * noise / std::sqrt(std::max(1.0, count / 256)));
    int below = first, above = last;
    for (int i = first + 1; i <= last; ++i) {
        if (bins.count[std::size_t(i)] == 0)
            continue;
        if (std::abs(bins.mean(i) - bins.mean(first)) > alike)
            break;
        below = i;
    }
    for (int i = last - 1; i >= below; --i) {
        if (bins.count[std::size_t(i)] == 0)
            continue;
        if (std::abs(bins.mean(i) - bins.mean(last)) > alike)
            break;
        above = i;
    }
    const auto nextLevel = [&](int from, int step) {
        for (int i = from + step; i >= 0 && i <= 255; i += step)
            if (bins.count[std::size_t(i)] > 0)
                return i;
        return from;
    };

    // A power law alone, then with black and white points, kept only where
    // they explain the levels clearly better: by a tenth of what is left,
    // and by two levels a sample that piled up at an end.
    Levels plain;
    fitGamma(bins, plain, first, last);
    // For a black point, the gamma and white point follow from a straight
    // line through the logarithms (out / 255 = ((in - black) / (white -
    // black))^gamma), weighted as the levels' own errors are.
    const auto withBlack = [&](double black) {
        double sw = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
        for (int i = first; i <= last; ++i) {
            const double n = bins.count[std::size_t(i)];
            if (n == 0 || i <= black)
                continue;
            const double out = bins.mean(i);
            if (out < 1 || out > 254)
                continue;
            const double w = n * out * out, x = std::log(i - black), y = std::log(out / 255);
            sw += w;
            sx += w * x;
            sy += w * y;
            sxx += w * x * x;
            sxy += w * x * y;
        }
        Levels trial = plain;
        trial.black = black;
        const double spread = sw * sxx - sx * sx;
        if (sw <= 0 || spread <= 1e-12)
            return trial;
        trial.gamma = std::clamp((sw * sxy - sx * sy) / spread, 0.2, 5.0);
        const double intercept = (sy - trial.gamma * sx) / sw; // -gamma ln(white - black)
        trial.white = std::clamp(black + std::exp(-intercept / trial.gamma), double(nextLevel(above, -1)), 255.0);
        return trial;
    };
    Levels points = withBlack(golden(0, nextLevel(below, 1), 30, [&](double black) {
        return errorOf(bins, withBlack(black), first, last);
    }));
    fitGamma(bins, points, first, last);
    double piled = 0;
    for (int i = first + 1; i <= below; ++i)
        piled += bins.count[std::size_t(i)];
    for (int i = above; i < last; ++i)
        piled += bins.count[std::size_t(i)];
    const double plainError = errorOf(bins, plain, first, last);
    if (std::getenv("TONE_DEBUG"))
        std::fprintf(stderr, "tone: first %d last %d below %d above %d plain g %.3f e %.0f | points b %.1f w %.1f g %.3f e %.0f | piled %.0f noise %.2f\n", first, last, below, above, plain.gamma, plainError, points.black, points.white, points.gamma, errorOf(bins, points, first, last), piled, noise);
    Levels levels = plainError - errorOf(bins, points, first, last) > std::max(4.0 * piled, 0.1 * plainError)
                        ? points
                        : plain;
    // Rounded, or truncated as some writers do.
    Levels truncated = levels;
    truncated.lower = 0.5;
    fitGamma(bins, truncated, first, last);
    if (errorOf(bins, truncated, first, last) < errorOf(bins, levels, first, last))
        levels = truncated;
    if (std::abs(levels.gamma - 1) < GammaTolerance) {
        levels.gamma = 1;
        levels.lower = 0;
    }

    fit.error = errorOf(bins, levels, first, last);
    const double rms = std::sqrt(fit.error / std::max(count, 1.0));
    const bool table = tableAllowed && rms > 2.0 && rms > 2 * noise + 1;
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
    fit.gamma = levels.gamma;
    fit.black = levels.black;
    fit.white = levels.white;
    for (int i = 0; i < 256; ++i)
        fit.curve[std::size_t(i)] = float(levels(i));
    if (levels.black > 0)
        for (int i = first + 1; i <= 255 && i <= levels.black; ++i)
            if (bins.count[std::size_t(i)] > 0)
                fit.clippedBelow = i;
    if (levels.white < 255)
        for (int i = last - 1; i >= 0 && i >= levels.white; --i)
            if (bins.count[std::size_t(i)] > 0)
                fit.clippedAbove = i;
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
