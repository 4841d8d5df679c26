#include "hdr/HdrChain.h"

#include "colour/Primaries.h"

#include <algorithm>
#include <cmath>

namespace HdrChain {

namespace {

namespace TF = TransferFunctions;
using ToneMapping::Flavour;

const Primaries::Matrix3 &fromBt2020(Target target)
{
    static const std::array<Primaries::Matrix3, 3> matrices = {
        Primaries::Conversion(Primaries::Set::Bt2020, Primaries::Set::Bt709),
        Primaries::Conversion(Primaries::Set::Bt2020, Primaries::Set::DisplayP3),
        Primaries::Conversion(Primaries::Set::Bt2020, Primaries::Set::Bt2020)};
    return matrices[std::size_t(target)];
}

const Primaries::Vector3 &luminanceOf(Target target)
{
    static const std::array<Primaries::Vector3, 3> rows = {Primaries::RgbToXyz(Primaries::Set::Bt709)[1],
                                                           Primaries::RgbToXyz(Primaries::Set::DisplayP3)[1],
                                                           Primaries::RgbToXyz(Primaries::Set::Bt2020)[1]};
    return rows[std::size_t(target)];
}

double dot(const Primaries::Vector3 &a, const Rgb &b)
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

// FFmpeg 5.1's tonemap filter on one pixel of light relative to the white.
Rgb ffmpegToneMap(const Chain &chain, Rgb x)
{
    const ToneMapping::Curve curve = *chain.curve;
    double param = chain.param;
    if (std::isnan(param))
        param = ToneMapping::DefaultParam(curve, Flavour::Ffmpeg);
    const double peak = chain.sourcePeak / chain.white;
    if (chain.desaturation > 0) {
        const std::array<double, 3> &k = chain.desaturationWeights;
        const double luma = k[0] * x[0] + k[1] * x[1] + k[2] * x[2];
        const double overbright = std::max(luma - chain.desaturation, 1e-6) / std::max(luma, 1e-6);
        for (double &c : x)
            c = c * (1 - overbright) + luma * overbright;
    }
    const double signal = std::max({x[0], x[1], x[2], 1e-6});
    const double scale = ToneMapping::Ffmpeg(curve, signal, peak, param) / signal;
    for (double &c : x)
        c *= scale;
    return x;
}

// mpv 0.35's vo_gpu on one pixel of light relative to 203 cd/m²: each
// channel held at the peak and through the curve, then the brightest
// channel's ratio applied to the colour, mixed towards the channels' own
// curves as it brightens (hybrid); then the primaries converted and what
// falls outside desaturated towards its luminance, or left to be clipped.
Rgb mpvMap(const Chain &chain, double param, Rgb x)
{
    const ToneMapping::Curve curve = *chain.curve;
    const double peak = chain.sourcePeak / chain.white;
    const std::size_t brightest =
        x[1] > x[0] ? (x[2] > x[1] ? 2 : 1) : (x[2] > x[0] ? 2 : 0);
    Rgb sig;
    for (std::size_t c = 0; c < 3; ++c)
        sig[c] = ToneMapping::Mpv(curve, std::min(x[c], peak), peak, param);
    const double original = std::min(x[brightest], peak);
    const double ratio = original > 0 ? sig[brightest] / original : 0;
    switch (chain.application) {
    case Application::PerChannel: x = sig; break;
    case Application::Brightest:
        for (double &c : x)
            c *= ratio;
        break;
    default: {
        double coeff = std::max(sig[brightest] - 0.18, 1e-6) / std::max(sig[brightest], 1.0);
        coeff = 0.9 * std::pow(coeff, 0.2);
        for (std::size_t c = 0; c < 3; ++c)
            x[c] = x[c] * ratio * (1 - coeff) + sig[c] * coeff;
        break;
    }
    }
    return x;
}

Rgb mpvGamut(const Chain &chain, Rgb x)
{
    x = Primaries::Apply(fromBt2020(chain.primaries), x);
    if (chain.primaries == Target::Bt2020 || chain.gamut != Gamut::Desaturate)
        return x;
    const double least = std::min({x[0], x[1], x[2]});
    if (least < 0) {
        const double luma = dot(luminanceOf(chain.primaries), x);
        const double coeff = least / (least - luma);
        for (double &c : x)
            c = c + (luma - c) * coeff;
    }
    const double most = std::max({x[0], x[1], x[2]});
    if (most > 1)
        for (double &c : x)
            c /= most;
    return x;
}

// libplacebo's normalisation of the target's range around its gamut
// handling, and the handling itself.
Rgb placeboGamut(const Chain &chain, Rgb x)
{
    const double lb = chain.targetBlack, lw = 1;
    for (double &c : x)
        c = (c - lb) / (lw - lb);
    const Primaries::Matrix3 &m = fromBt2020(chain.primaries);
    x = Primaries::Apply(m, x);
    if (chain.primaries != Target::Bt2020) {
        switch (chain.gamut) {
        case Gamut::Clip:
            for (double &c : x)
                c = std::clamp(c, 0.0, 1.0);
            break;
        case Gamut::Darken: {
            double most = 1;
            for (std::size_t i = 0; i < 3; ++i)
                most = std::max(most, m[i][i]);
            for (double &c : x)
                c /= most;
            break;
        }
        case Gamut::Desaturate: {
            const double luma = std::clamp(dot(luminanceOf(chain.primaries), x), 0.0, 1.0);
            const double least = std::min({x[0], x[1], x[2]});
            if (least < -1e-6)
                for (double &c : x)
                    c = c + (luma - c) * (-least / (luma - least));
            const double most = std::max({x[0], x[1], x[2]});
            if (most > 1 + 1e-6)
                for (double &c : x)
                    c = c + (luma - c) * ((1 - most) / (luma - most));
            break;
        }
        }
    }
    for (double &c : x)
        c = c * (lw - lb) + lb;
    return x;
}

ToneMapping::PlaceboCurve placeboCurve(const Chain &chain, int entries)
{
    return ToneMapping::PlaceboCurve(*chain.curve, chain.param, chain.sourceBlack / ToneMapping::PlaceboWhite,
                                     chain.sourcePeak / ToneMapping::PlaceboWhite, chain.targetBlack, 1.0, entries);
}

// libplacebo's tone mapping of light relative to 203 cd/m² in BT.2020.
Rgb placeboToneMap(const Chain &chain, const ToneMapping::PlaceboCurve &curve, Rgb x)
{
    const double sourceMax = chain.sourcePeak / ToneMapping::PlaceboWhite;
    const double least = curve.targetMin(), most = curve.targetMax();
    for (double &c : x)
        c = std::clamp(c, curve.sourceMin(), curve.sourceMax());
    const double ctScale = 1 - 3 * chain.crosstalk;
    double ct = chain.crosstalk * (x[0] + x[1] + x[2]);
    for (double &c : x)
        c = ctScale * c + ct;

    Application mode = chain.application;
    switch (mode) {
    case Application::PerChannel:
        for (double &c : x)
            c = curve(c);
        break;
    case Application::Brightest: {
        const double brightest = std::max({x[0], x[1], x[2]});
        const double scale = curve(brightest) / std::max(brightest, least);
        for (double &c : x)
            c *= scale;
        break;
    }
    case Application::Luminance:
    case Application::Hybrid: {
        // XYZ with X and Z taken relative to the white and less Y: zero for
        // greys.
        static const Primaries::Matrix3 toXyz = [] {
            Primaries::Matrix3 m = Primaries::RgbToXyz(Primaries::Set::Bt2020);
            const Primaries::Vector3 white = Primaries::WhiteXyz(Primaries::Of(Primaries::Set::Bt2020).white);
            for (std::size_t i = 0; i < 3; ++i) {
                m[0][i] = m[0][i] / white[0] - m[1][i];
                m[2][i] = m[2][i] / white[2] - m[1][i];
            }
            return m;
        }();
        static const Primaries::Matrix3 fromXyz = Primaries::Inverse(toXyz);
        const double desat = most > sourceMax ? 1.075 : 1.1;
        const double exponent = std::log(desat) / std::log(1000 / ToneMapping::PlaceboWhite);
        Primaries::Vector3 xyz = Primaries::Apply(toXyz, x);
        const double original = std::max(xyz[1], least);
        xyz[1] = curve(xyz[1]);
        const double ratio = xyz[1] / original;
        const double chroma = std::pow(std::max(ratio, 0.0), exponent) * ratio;
        xyz[0] *= chroma;
        xyz[2] *= chroma;
        if (sourceMax > most)
            xyz[1] -= std::max(0.1 * xyz[0], 0.0);
        const Rgb linear = Primaries::Apply(fromXyz, xyz);
        if (mode == Application::Hybrid) {
            Rgb channels = x;
            for (double &c : channels)
                c = curve(c);
            double coeff = std::pow(std::max(xyz[1], 0.0), 2.4);
            coeff = std::max(std::pow(least, 2.4) / coeff, std::pow(most, -2.4) * coeff);
            coeff = std::min(coeff, 1e30);
            for (std::size_t c = 0; c < 3; ++c)
                x[c] = linear[c] + (channels[c] - linear[c]) * coeff;
        } else {
            x = linear;
        }
        break;
    }
    }
    ct = chain.crosstalk * (x[0] + x[1] + x[2]);
    for (double &c : x)
        c = (c - ct) / ctScale;
    return x;
}

} // namespace

std::string_view ApplicationName(Application application)
{
    switch (application) {
    case Application::PerChannel: return "each channel";
    case Application::Brightest: return "brightest channel";
    case Application::Luminance: return "luminance";
    case Application::Hybrid: return "hybrid";
    }
    return {};
}

std::string_view TargetName(Target target)
{
    switch (target) {
    case Target::Bt709: return "BT.709";
    case Target::DisplayP3: return "Display P3";
    case Target::Bt2020: return "BT.2020";
    }
    return {};
}

std::string_view GamutName(Gamut gamut)
{
    switch (gamut) {
    case Gamut::Clip: return "clip";
    case Gamut::Darken: return "darken";
    case Gamut::Desaturate: return "desaturate";
    }
    return {};
}

Rgb Chain::light(const Rgb &signal) const
{
    if (decoding == Decoding::AsSdr)
        return TF::ToNits(TF::Curve::Bt1886, signal, white);
    // libplacebo decodes HLG for a display of the source's own range.
    if (recipe.transfer == DeepSheet::Transfer::Hlg)
        return flavour == Flavour::Libplacebo ? TF::HlgToNits(signal, sourcePeak, sourceBlack, hlgOotf)
                                              : TF::HlgToNits(signal, hlgPeak, 0, hlgOotf);
    return DeepSheet::LightOf(recipe, signal);
}

Rgb Chain::apply(const Rgb &signal) const
{
    return Simulation(*this)(signal);
}

Simulation::Simulation(const Chain &chain, int tableEntries)
    : chain_(chain)
{
    if (chain.flavour == Flavour::Libplacebo && chain.curve)
        curve_ = placeboCurve(chain, tableEntries);
    const double w = 1, k = std::pow(std::max(chain.targetBlack, 0.0), 1 / 2.4);
    bt1886Scale_ = std::pow(w - k, 2.4);
    bt1886Lift_ = k / (w - k);
    if (chain.curve) {
        param_ = chain.param;
        if (std::isnan(param_))
            param_ = ToneMapping::DefaultParam(*chain.curve, chain.flavour);
    }
    if (chain.flavour == Flavour::Libplacebo && chain.gamut == Gamut::Darken && chain.primaries != Target::Bt2020) {
        const Primaries::Matrix3 &m = fromBt2020(chain.primaries);
        for (std::size_t i = 0; i < 3; ++i)
            darkening_ = std::max(darkening_, m[i][i]);
    }
}

double Simulation::encodeChannel(double x) const
{
    x = std::max(x, 0.0);
    double v = 0;
    switch (chain_.transfer) {
    case TF::Curve::Bt1886: v = std::pow(x / bt1886Scale_, 1 / 2.4) - bt1886Lift_; break;
    default:
        // libplacebo takes its black out before the other curves.
        x = std::max((x - chain_.targetBlack) / (1 - chain_.targetBlack), 0.0);
        switch (chain_.transfer) {
        case TF::Curve::Srgb: v = TF::LinearToSrgb(x); break;
        case TF::Curve::Gamma22: v = std::pow(x, 1 / 2.2); break;
        default: v = x; break;
        }
        break;
    }
    return std::clamp(std::clamp(v, 0.0, 1.0) * chain_.outputGain, 0.0, 1.0);
}

Rgb Simulation::encode(const Rgb &x) const
{
    if (chain_.transfer != TF::Curve::Pq && chain_.transfer != TF::Curve::Hlg)
        return {encodeChannel(x[0]), encodeChannel(x[1]), encodeChannel(x[2])};
    Rgb nits;
    for (std::size_t c = 0; c < 3; ++c)
        nits[c] = std::max(x[c], 0.0) * chain_.targetWhite;
    Rgb out = chain_.transfer == TF::Curve::Pq ? TF::FromNits(TF::Curve::Pq, nits, chain_.targetWhite)
                                               : TF::NitsToHlg(nits, chain_.hlgPeak);
    for (double &c : out)
        c = std::clamp(c, 0.0, 1.0);
    return out;
}

double Simulation::grey(double nits) const
{
    const Chain &chain = chain_;
    if (chain.transfer == TF::Curve::Pq || chain.transfer == TF::Curve::Hlg)
        return fromLight({nits, nits, nits})[1];
    double x;
    if (chain.flavour == Flavour::Libplacebo) {
        x = nits / ToneMapping::PlaceboWhite;
        x = curve_ ? (*curve_)(x) : x * ToneMapping::PlaceboWhite / chain.white;
        const double lb = chain.targetBlack;
        if (chain.primaries != Target::Bt2020) {
            x = ((x - lb) / (1 - lb) / darkening_) * (1 - lb) + lb;
            if (chain.gamut != Gamut::Darken)
                x = std::clamp(x, lb, 1.0);
        }
        return encodeChannel(x);
    }
    x = nits / chain.white;
    if (chain.curve && chain.flavour == Flavour::Mpv) {
        const double peak = chain.sourcePeak / chain.white;
        const double held = std::min(x, peak);
        x *= held > 0 ? ToneMapping::Mpv(*chain.curve, held, peak, param_) / held : 0;
        if (chain.primaries != Target::Bt2020 && chain.gamut == Gamut::Desaturate && x > 1)
            x = 1;
        return encodeChannel(x);
    }
    if (chain.curve) {
        if (chain.desaturation > 0) {
            const std::array<double, 3> &k = chain.desaturationWeights;
            const double luma = (k[0] + k[1] + k[2]) * x;
            const double overbright = std::max(luma - chain.desaturation, 1e-6) / std::max(luma, 1e-6);
            x = x * (1 - overbright) + luma * overbright;
        }
        const double signal = std::max(x, 1e-6);
        x *= ToneMapping::Ffmpeg(*chain.curve, signal, chain.sourcePeak / chain.white, param_) / signal;
    }
    return encodeChannel(x);
}

Rgb Simulation::fromLight(const Rgb &nits) const
{
    const Chain &chain = chain_;
    Rgb x;
    if (chain.flavour == Flavour::Mpv) {
        for (std::size_t c = 0; c < 3; ++c)
            x[c] = nits[c] / chain.white;
        if (chain.curve)
            x = mpvMap(chain, param_, x);
        return encode(mpvGamut(chain, x));
    }
    if (chain.flavour == Flavour::Libplacebo) {
        for (std::size_t c = 0; c < 3; ++c)
            x[c] = nits[c] / ToneMapping::PlaceboWhite;
        if (curve_)
            x = placeboToneMap(chain, *curve_, x);
        else
            for (double &c : x)
                c *= ToneMapping::PlaceboWhite / chain.white;
        x = placeboGamut(chain, x);
        return encode(x);
    }
    for (std::size_t c = 0; c < 3; ++c)
        x[c] = nits[c] / chain.white;
    x = Primaries::Apply(fromBt2020(chain.primaries), x);
    if (chain.curve)
        x = ffmpegToneMap(chain, x);
    return encode(x);
}

Rgb Chain::captureLight(const Rgb &value) const
{
    Rgb nits;
    switch (transfer) {
    case TF::Curve::Pq: return TF::ToNits(TF::Curve::Pq, value, targetWhite);
    case TF::Curve::Hlg: return TF::HlgToNits(value, hlgPeak);
    case TF::Curve::Bt1886:
        for (std::size_t c = 0; c < 3; ++c)
            nits[c] = TF::Bt1886ToNits(value[c], targetWhite, targetBlack * targetWhite);
        return nits;
    default: {
        nits = TF::ToNits(transfer, value, 1);
        for (double &c : nits)
            c = (c * (1 - targetBlack) + targetBlack) * targetWhite;
        return nits;
    }
    }
}

} // namespace HdrChain
