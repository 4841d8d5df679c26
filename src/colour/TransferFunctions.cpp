#include "colour/TransferFunctions.h"

#include <algorithm>
#include <cmath>

namespace TransferFunctions {

namespace {

// SMPTE ST 2084, as BT.2100 Table 4 gives them.
constexpr double PqM1 = 2610.0 / 16384;
constexpr double PqM2 = 2523.0 / 4096 * 128;
constexpr double PqC1 = 3424.0 / 4096;
constexpr double PqC2 = 2413.0 / 4096 * 32;
constexpr double PqC3 = 2392.0 / 4096 * 32;

// BT.2100 Table 5.
constexpr double HlgA = 0.17883277;
constexpr double HlgB = 1 - 4 * HlgA;
const double HlgC = 0.5 - HlgA * std::log(4 * HlgA);

// BT.2020's luminance, which HLG's OOTF keeps.
constexpr Rgb Bt2020Luma = {0.2627, 0.6780, 0.0593};

double lumaOf(const Rgb &v)
{
    return Bt2020Luma[0] * v[0] + Bt2020Luma[1] * v[1] + Bt2020Luma[2] * v[2];
}

// BT.2100 Table 5: the lift that puts signal 0 at the display's black.
double hlgBeta(double peakNits, double blackNits)
{
    if (!(blackNits > 0) || !(peakNits > 0))
        return 0;
    return std::sqrt(3 * std::pow(blackNits / peakNits, 1 / HlgSystemGamma(peakNits)));
}

} // namespace

std::string_view Name(Curve curve)
{
    switch (curve) {
    case Curve::Pq: return "PQ";
    case Curve::Hlg: return "HLG";
    case Curve::Bt1886: return "BT.1886";
    case Curve::Srgb: return "sRGB";
    case Curve::Gamma22: return "gamma 2.2";
    case Curve::Linear: return "linear";
    }
    return {};
}

std::string_view FfmpegName(Curve curve)
{
    switch (curve) {
    case Curve::Pq: return "smpte2084";
    case Curve::Hlg: return "arib-std-b67";
    case Curve::Bt1886: return "bt709";
    case Curve::Srgb: return "iec61966-2-1";
    case Curve::Gamma22: return "gamma22";
    case Curve::Linear: return "linear";
    }
    return {};
}

double PqToNits(double signal)
{
    if (!(signal > 0))
        return 0;
    const double p = std::pow(std::min(signal, 1.0), 1 / PqM2);
    return PqPeak * std::pow(std::max(p - PqC1, 0.0) / (PqC2 - PqC3 * p), 1 / PqM1);
}

double NitsToPq(double nits)
{
    if (!(nits > 0))
        return 0;
    const double y = std::pow(std::min(nits, PqPeak) / PqPeak, PqM1);
    return std::pow((PqC1 + PqC2 * y) / (1 + PqC3 * y), PqM2);
}

double HlgOetf(double scene)
{
    if (!(scene > 0))
        return 0;
    return scene <= 1.0 / 12 ? std::sqrt(3 * scene) : HlgA * std::log(12 * scene - HlgB) + HlgC;
}

double HlgInverseOetf(double signal)
{
    if (!(signal > 0))
        return 0;
    return signal <= 0.5 ? signal * signal / 3 : (std::exp((signal - HlgC) / HlgA) + HlgB) / 12;
}

double HlgSystemGamma(double peakNits)
{
    return 1.2 + 0.42 * std::log10(peakNits / HlgNominalPeak);
}

Rgb HlgOotf(const Rgb &scene, double peakNits)
{
    const double gamma = HlgSystemGamma(peakNits);
    const double ys = lumaOf(scene);
    const double gain = ys > 0 ? peakNits * std::pow(ys, gamma - 1) : 0;
    return {gain * scene[0], gain * scene[1], gain * scene[2]};
}

Rgb HlgInverseOotf(const Rgb &display, double peakNits)
{
    const double gamma = HlgSystemGamma(peakNits);
    const double yd = lumaOf(display) / peakNits;
    if (!(yd > 0))
        return {0, 0, 0};
    // Ys = Yd^(1 / gamma), so E = Fd / peak * Yd^((1 - gamma) / gamma).
    const double gain = std::pow(yd, (1 - gamma) / gamma) / peakNits;
    return {gain * display[0], gain * display[1], gain * display[2]};
}

Rgb HlgToNits(const Rgb &signal, double peakNits, double blackNits, HlgOotfMode mode)
{
    const double beta = hlgBeta(peakNits, blackNits);
    Rgb scene;
    for (int c = 0; c < 3; ++c)
        scene[std::size_t(c)] = HlgInverseOetf(std::max(0.0, (1 - beta) * signal[std::size_t(c)] + beta));
    if (mode == HlgOotfMode::PerChannel) {
        const double gamma = HlgSystemGamma(peakNits);
        for (double &v : scene)
            v = peakNits * std::pow(v, gamma);
        return scene;
    }
    return HlgOotf(scene, peakNits);
}

Rgb NitsToHlg(const Rgb &nits, double peakNits, double blackNits, HlgOotfMode mode)
{
    const double beta = hlgBeta(peakNits, blackNits);
    const Rgb light = {std::max(nits[0], 0.0), std::max(nits[1], 0.0), std::max(nits[2], 0.0)};
    Rgb scene = light;
    if (mode == HlgOotfMode::PerChannel) {
        const double gamma = HlgSystemGamma(peakNits);
        for (double &v : scene)
            v = std::pow(v / peakNits, 1 / gamma);
    } else {
        scene = HlgInverseOotf(light, peakNits);
    }
    Rgb signal;
    for (int c = 0; c < 3; ++c)
        signal[std::size_t(c)] = (HlgOetf(scene[std::size_t(c)]) - beta) / (1 - beta);
    return signal;
}

double Bt1886ToNits(double signal, double whiteNits, double blackNits)
{
    const double w = std::pow(whiteNits, 1 / 2.4), k = std::pow(std::max(blackNits, 0.0), 1 / 2.4);
    const double a = std::pow(w - k, 2.4), b = k / (w - k);
    return a * std::pow(std::max(signal + b, 0.0), 2.4);
}

double NitsToBt1886(double nits, double whiteNits, double blackNits)
{
    const double w = std::pow(whiteNits, 1 / 2.4), k = std::pow(std::max(blackNits, 0.0), 1 / 2.4);
    const double a = std::pow(w - k, 2.4), b = k / (w - k);
    return std::pow(std::max(nits, 0.0) / a, 1 / 2.4) - b;
}

double SrgbToLinear(double signal)
{
    if (!(signal > 0))
        return 0;
    return signal <= 0.04045 ? signal / 12.92 : std::pow((signal + 0.055) / 1.055, 2.4);
}

double LinearToSrgb(double linear)
{
    if (!(linear > 0))
        return 0;
    return linear <= 0.0031308 ? linear * 12.92 : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
}

Rgb ToNits(Curve curve, const Rgb &signal, double whiteNits)
{
    Rgb out {};
    switch (curve) {
    case Curve::Hlg: return HlgToNits(signal, whiteNits);
    case Curve::Pq:
        for (int c = 0; c < 3; ++c)
            out[std::size_t(c)] = PqToNits(signal[std::size_t(c)]);
        return out;
    default: break;
    }
    for (int c = 0; c < 3; ++c) {
        const double v = signal[std::size_t(c)];
        double linear = 0;
        switch (curve) {
        case Curve::Bt1886: linear = v > 0 ? std::pow(v, 2.4) : 0; break;
        case Curve::Srgb: linear = SrgbToLinear(v); break;
        case Curve::Gamma22: linear = v > 0 ? std::pow(v, 2.2) : 0; break;
        default: linear = std::max(v, 0.0); break;
        }
        out[std::size_t(c)] = linear * whiteNits;
    }
    return out;
}

Rgb FromNits(Curve curve, const Rgb &nits, double whiteNits)
{
    Rgb out {};
    switch (curve) {
    case Curve::Hlg: return NitsToHlg(nits, whiteNits);
    case Curve::Pq:
        for (int c = 0; c < 3; ++c)
            out[std::size_t(c)] = NitsToPq(nits[std::size_t(c)]);
        return out;
    default: break;
    }
    for (int c = 0; c < 3; ++c) {
        const double v = std::max(nits[std::size_t(c)] / whiteNits, 0.0);
        double signal = 0;
        switch (curve) {
        case Curve::Bt1886: signal = std::pow(v, 1 / 2.4); break;
        case Curve::Srgb: signal = LinearToSrgb(v); break;
        case Curve::Gamma22: signal = std::pow(v, 1 / 2.2); break;
        default: signal = v; break;
        }
        out[std::size_t(c)] = signal;
    }
    return out;
}

} // namespace TransferFunctions
