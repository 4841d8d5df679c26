#include "colour/ToneMapping.h"

#include "colour/TransferFunctions.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace ToneMapping {

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

// The scales libplacebo's curves work in: light relative to 203 cd/m²
// (norm), its square root, cd/m², PQ.
enum class Scale { Norm, Sqrt, Nits, Pq };

Scale scaleOf(Curve curve)
{
    switch (curve) {
    case Curve::Bt2390:
    case Curve::Spline:
    case Curve::Linear: return Scale::Pq;
    case Curve::Bt2446a: return Scale::Nits;
    default: return Scale::Norm;
    }
}

double rescale(Scale from, Scale to, double x)
{
    if (from == to || x == 0)
        return x;
    switch (from) {
    case Scale::Pq: x = TransferFunctions::PqToNits(x) / PlaceboWhite; break;
    case Scale::Nits: x /= PlaceboWhite; break;
    case Scale::Sqrt: x *= x; break;
    case Scale::Norm: break;
    }
    switch (to) {
    case Scale::Norm: return x;
    case Scale::Sqrt: return std::sqrt(std::max(x, 0.0));
    case Scale::Nits: return x * PlaceboWhite;
    case Scale::Pq: return TransferFunctions::NitsToPq(x * PlaceboWhite);
    }
    return x;
}

double hable(double x)
{
    constexpr double A = 0.15, B = 0.50, C = 0.10, D = 0.20, E = 0.02, F = 0.30;
    return (x * (A * x + C * B) + D * E) / (x * (A * x + B) + D * F) - E / F;
}

double bt1886Eotf(double x, double min, double max)
{
    const double lb = std::pow(min, 1 / 2.4), lw = std::pow(max, 1 / 2.4);
    return std::pow(std::max((lw - lb) * x + lb, 0.0), 2.4);
}

double bt1886Oetf(double x, double min, double max)
{
    const double lb = std::pow(min, 1 / 2.4), lw = std::pow(max, 1 / 2.4);
    return (std::pow(std::max(x, 0.0), 1 / 2.4) - lb) / (lw - lb);
}

// One of libplacebo's curves on `x` in its own scale, the ranges in it too.
struct Range
{
    double inMin, inMax, outMin, outMax;
};

double placeboMap(Curve curve, double param, const Range &r, double x)
{
    const auto rescaleIn = [&](double v) { return (v - r.inMin) / (r.inMax - r.inMin); };
    const auto rescaled = [&](double v) { return (v - r.inMin) / (r.outMax - r.outMin); };
    const auto rescaleOut = [&](double v) { return v * (r.outMax - r.outMin) + r.outMin; };
    switch (curve) {
    case Curve::Clip: return x;
    case Curve::Bt2390: {
        const double minLum = rescaleIn(r.outMin), maxLum = rescaleIn(r.outMax);
        const double ks = (1 + param) * maxLum - param;
        const double bp = minLum > 0 ? std::min(1 / minLum, 4.0) : 4;
        const double gainInv = 1 + minLum / maxLum * std::pow(1 - maxLum, bp);
        const double gain = maxLum < 1 ? 1 / gainInv : 1;
        x = rescaleIn(x);
        if (ks < 1 && x >= ks) {
            const double tb = (x - ks) / (1 - ks), tb2 = tb * tb, tb3 = tb2 * tb;
            x = (2 * tb3 - 3 * tb2 + 1) * ks + (tb3 - 2 * tb2 + tb) * (1 - ks) + (-2 * tb3 + 3 * tb2) * maxLum;
        }
        if (x < 1) {
            x += minLum * std::pow(1 - x, bp);
            x = gain * (x - minLum) + minLum;
        }
        return x * (r.inMax - r.inMin) + r.inMin;
    }
    case Curve::Bt2446a: {
        const double phdr = 1 + 32 * std::pow(r.inMax / 10000, 1 / 2.4);
        const double psdr = 1 + 32 * std::pow(r.outMax / 10000, 1 / 2.4);
        x = std::pow(std::max(rescaleIn(x), 0.0), 1 / 2.4);
        x = std::log(1 + (phdr - 1) * x) / std::log(phdr);
        if (x <= 0.7399)
            x = 1.0770 * x;
        else if (x < 0.9909)
            x = (-1.1510 * x + 2.7811) * x - 0.6302;
        else
            x = 0.5 * x + 0.5;
        x = (std::pow(psdr, x) - 1) / (psdr - 1);
        return bt1886Eotf(x, r.outMin, r.outMax);
    }
    case Curve::Spline: {
        const double pivot = param;
        const double inMin = r.inMin - pivot, inMax = r.inMax - pivot;
        const double outMin = r.outMin - pivot, outMax = r.outMax - pivot;
        const double pa = (outMin - inMin) / (inMin * inMin);
        const double t = 2 * inMax * inMax;
        const double qa = (inMax - outMax) / (inMax * t);
        const double qb = -3 * (inMax - outMax) / t;
        x -= pivot;
        x = x > 0 ? ((qa * x + qb) * x + 1) * x : (pa * x + 1) * x;
        return x + pivot;
    }
    case Curve::Reinhard: {
        const double peak = rescaled(r.inMax), offset = (1 - param) / param, scale = (peak + offset) / peak;
        x = rescaled(x);
        return rescaleOut(x / (x + offset) * scale);
    }
    case Curve::Mobius: {
        const double peak = rescaled(r.inMax), j = param;
        const double a = -j * j * (peak - 1) / (j * j - 2 * j + peak);
        const double b = (j * j - 2 * j * peak + peak) / std::max(1e-6, peak - 1);
        const double scale = (b * b + 2 * b * j + j * j) / (b - a);
        x = rescaled(x);
        return rescaleOut(x <= j ? x : scale * (x + a) / (x + b));
    }
    case Curve::Hable: {
        const double peak = r.inMax / r.outMax, scale = 1 / hable(peak);
        x = bt1886Oetf(x, r.inMin, r.inMax);
        x = bt1886Eotf(x, 0, peak);
        x = scale * hable(x);
        x = bt1886Oetf(x, 0, 1);
        return bt1886Eotf(x, r.outMin, r.outMax);
    }
    case Curve::Gamma: {
        const double peak = rescaled(r.inMax), cutoff = param;
        const double gamma = std::log(cutoff) / std::log(cutoff / peak);
        x = rescaled(x);
        return rescaleOut(x > cutoff ? std::pow(x / peak, gamma) : x);
    }
    case Curve::Linear: return rescaleOut(rescaleIn(x) * param);
    }
    return x;
}

} // namespace

std::string_view Name(Curve curve)
{
    switch (curve) {
    case Curve::Clip: return "clip";
    case Curve::Linear: return "linear";
    case Curve::Gamma: return "gamma";
    case Curve::Reinhard: return "reinhard";
    case Curve::Hable: return "hable";
    case Curve::Mobius: return "mobius";
    case Curve::Bt2390: return "bt.2390";
    case Curve::Spline: return "spline";
    case Curve::Bt2446a: return "bt.2446a";
    }
    return {};
}

std::string_view ParamName(Curve curve, Flavour flavour)
{
    switch (curve) {
    case Curve::Mobius: return "knee";
    case Curve::Bt2390: return "knee offset";
    case Curve::Spline: return "pivot";
    case Curve::Reinhard: return "contrast";
    case Curve::Gamma: return flavour != Flavour::Libplacebo ? "exponent" : "knee";
    case Curve::Linear: return "gain";
    default: return {};
    }
}

bool Has(Flavour flavour, Curve curve)
{
    switch (flavour) {
    case Flavour::Libplacebo: return true;
    case Flavour::Mpv: return curve != Curve::Spline && curve != Curve::Bt2446a;
    case Flavour::Ffmpeg: break;
    }
    return curve != Curve::Bt2390 && curve != Curve::Spline && curve != Curve::Bt2446a;
}

double DefaultParam(Curve curve, Flavour flavour)
{
    const bool ffmpeg = flavour != Flavour::Libplacebo;
    switch (curve) {
    case Curve::Clip: return ffmpeg ? 1 : NaN;
    case Curve::Linear: return 1;
    case Curve::Gamma: return ffmpeg ? 1.8 : 0.5;
    case Curve::Reinhard: return 0.5;
    case Curve::Mobius: return 0.3;
    case Curve::Bt2390: return 1;
    case Curve::Spline: return 0.3;
    default: return NaN;
    }
}

double LeastParam(Curve curve, Flavour flavour)
{
    switch (curve) {
    case Curve::Linear: return 0.001;
    case Curve::Gamma: return flavour != Flavour::Libplacebo ? 0.1 : 0.001;
    case Curve::Reinhard: return 0.001;
    case Curve::Mobius: return 0;
    case Curve::Bt2390: return 0.5;
    case Curve::Spline: return 0.15;
    default: return NaN;
    }
}

double MostParam(Curve curve, Flavour flavour)
{
    switch (curve) {
    case Curve::Linear: return 10;
    case Curve::Gamma: return flavour != Flavour::Libplacebo ? 10 : 1;
    case Curve::Reinhard: return 0.99;
    case Curve::Mobius: return 0.99;
    case Curve::Bt2390: return 2;
    case Curve::Spline: return 0.5;
    default: return NaN;
    }
}

double Ffmpeg(Curve curve, double x, double peak, double param)
{
    switch (curve) {
    case Curve::Clip: return std::clamp(x * param, 0.0, 1.0);
    case Curve::Linear: return x * param / peak;
    case Curve::Gamma:
        return x > 0.05 ? std::pow(x / peak, 1 / param) : x * std::pow(0.05 / peak, 1 / param) / 0.05;
    case Curve::Hable: return hable(x) / hable(peak);
    case Curve::Reinhard: {
        const double offset = (1 - param) / param;
        return x / (x + offset) * (peak + offset) / peak;
    }
    case Curve::Mobius: {
        const double j = param;
        if (x <= j)
            return x;
        const double a = -j * j * (peak - 1) / (j * j - 2 * j + peak);
        const double b = (j * j - 2 * j * peak + peak) / std::max(peak - 1, 1e-6);
        return (b * b + 2 * b * j + j * j) / (b - a) * (x + a) / (x + b);
    }
    default: return x;
    }
}

double Mpv(Curve curve, double x, double peak, double param)
{
    x = std::min(x, peak);
    switch (curve) {
    case Curve::Linear: return std::min(param / peak, 1.0) * x;
    case Curve::Mobius: return peak > 1 + 1e-6 ? Ffmpeg(curve, x, peak, param) : x;
    case Curve::Hable: return hable(std::max(x, 0.0)) / hable(peak);
    case Curve::Bt2390: {
        // In PQ, relative to the source peak; the target is SDR white.
        const double white = PlaceboWhite;
        const double peakPq = TransferFunctions::NitsToPq(peak * white);
        const double maxLum = TransferFunctions::NitsToPq(white) / peakPq;
        const double ks = 1.5 * maxLum - 0.5;
        double v = TransferFunctions::NitsToPq(std::max(x, 0.0) * white) / peakPq;
        if (v >= ks) {
            const double tb = (v - ks) / (1 - ks), tb2 = tb * tb, tb3 = tb2 * tb;
            v = (2 * tb3 - 3 * tb2 + 1) * ks + (tb3 - 2 * tb2 + tb) * (1 - ks) + (-2 * tb3 + 3 * tb2) * maxLum;
        }
        return TransferFunctions::PqToNits(v * peakPq) / white;
    }
    default: return Ffmpeg(curve, x, peak, param);
    }
}

PlaceboCurve::PlaceboCurve(Curve curve, double param, double sourceMin, double sourceMax, double targetMin,
                           double targetMax, int entries)
{
    // As the renderer prepares its tone mapping: no black of exactly 0, a
    // target no brighter than the source, near values made equal.
    sourceMin = std::max(sourceMin, 1e-7);
    targetMin = std::max(targetMin, 1e-7);
    targetMax = std::min(targetMax, sourceMax);
    if (std::abs(sourceMax - targetMax) < 1e-6)
        targetMax = sourceMax;
    if (std::abs(sourceMin - targetMin) < 1e-6)
        targetMin = sourceMin;
    sourceMin_ = sourceMin;
    sourceMax_ = sourceMax;
    targetMin_ = targetMin;
    targetMax_ = targetMax;
    if (curve == Curve::Clip) {
        kind_ = Kind::Clamp;
        return;
    }
    if (sourceMax == targetMax) {
        kind_ = Kind::Straight;
        return;
    }
    if (!(param > 0) || std::isnan(param))
        param = DefaultParam(curve, Flavour::Libplacebo);
    param = std::clamp(param, LeastParam(curve, Flavour::Libplacebo), MostParam(curve, Flavour::Libplacebo));

    const Scale scale = scaleOf(curve);
    tableMin_ = std::sqrt(sourceMin);
    tableMax_ = std::sqrt(sourceMax);
    const Range range {rescale(Scale::Sqrt, scale, tableMin_), rescale(Scale::Sqrt, scale, tableMax_),
                       rescale(Scale::Norm, scale, targetMin), rescale(Scale::Norm, scale, targetMax)};
    table_.resize(std::size_t(std::max(entries, 2)));
    const int last = int(table_.size()) - 1;
    for (int i = 0; i <= last; ++i) {
        const double at = tableMin_ + (tableMax_ - tableMin_) * i / last;
        double x = placeboMap(curve, param, range, rescale(Scale::Sqrt, scale, at));
        x = std::clamp(x, range.outMin, range.outMax);
        table_[std::size_t(i)] = rescale(scale, Scale::Norm, x);
    }
}

double PlaceboCurve::operator()(double x) const
{
    x = std::clamp(x, sourceMin_, sourceMax_);
    switch (kind_) {
    case Kind::Clamp: return std::clamp(x, targetMin_, targetMax_);
    case Kind::Straight: {
        const double scale = (targetMax_ - targetMin_) / (sourceMax_ - sourceMin_);
        return scale * x + targetMin_ - scale * sourceMin_;
    }
    case Kind::Table: break;
    }
    const int last = int(table_.size()) - 1;
    const double at = std::clamp((std::sqrt(x) - tableMin_) / (tableMax_ - tableMin_), 0.0, 1.0) * last;
    const int i = std::min(int(at), last - 1);
    const double f = at - i;
    return table_[std::size_t(i)] * (1 - f) + table_[std::size_t(i) + 1] * f;
}

} // namespace ToneMapping
