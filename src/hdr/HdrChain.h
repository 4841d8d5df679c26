#pragma once

// What happens to the deep sheet between its file and a capture of it, as
// one chain: the sheet's signal decoded to light (or misread as SDR), tone
// mapped to a target white (or not), brought into the target's primaries
// with out-of-gamut colours handled, encoded with the capture's transfer,
// cut to its bits. The two ways programs do it are modelled from their
// code: FFmpeg's zscale and tonemap filters (light relative to zscale's
// npl, the curve on the brightest channel, FFmpeg's desaturation of
// overbright colours, the primaries converted before the curve) and
// libplacebo (FFmpeg's libplacebo filter, mpv's gpu-next: light relative
// to 203 cd/m², the curve through its table on each channel, the
// luminance, or a mix of both, crosstalk, the target's black, the gamut
// handled after the curve).
//
// Plain C++: one colour at a time.

#include "colour/ToneMapping.h"
#include "colour/TransferFunctions.h"
#include "generation/DeepSheet.h"

#include <array>
#include <limits>
#include <optional>
#include <string_view>

namespace HdrChain {

using Rgb = std::array<double, 3>;

// How the chain read the sheet's numbers: as the sheet says (PQ, HLG, or
// BT.1886 for SDR), or an HDR signal taken for SDR and shown as it is.
enum class Decoding { AsMade, AsSdr };

// What the tone curve is applied to.
enum class Application { PerChannel, Brightest, Luminance, Hybrid };
std::string_view ApplicationName(Application application);

enum class Target { Bt709, DisplayP3, Bt2020 };
std::string_view TargetName(Target target);

// What becomes of colours outside the target's primaries: clipped per
// channel, the whole picture darkened until the gamut fits, or each colour
// desaturated towards its luminance until it fits (libplacebo's modes).
enum class Gamut { Clip, Darken, Desaturate };
std::string_view GamutName(Gamut gamut);

struct Chain
{
    DeepSheet::Recipe recipe;

    Decoding decoding = Decoding::AsMade;
    // How an HLG display applies its OOTF, and its peak.
    TransferFunctions::HlgOotfMode hlgOotf = TransferFunctions::HlgOotfMode::Luminance;
    double hlgPeak = TransferFunctions::HlgNominalPeak;

    // No curve: light divided by the white, beyond 1 clipped.
    ToneMapping::Flavour flavour = ToneMapping::Flavour::Ffmpeg;
    std::optional<ToneMapping::Curve> curve;
    double param = std::numeric_limits<double>::quiet_NaN(); // NaN: the program's default
    // The light (cd/m²) the chain takes for its reference white: zscale's npl
    // for FFmpeg, 203 for libplacebo.
    double white = 100;
    // The source's range as its metadata says (libplacebo takes a black of
    // 0.005 cd/m² for HDR that says none).
    double sourcePeak = TransferFunctions::PqPeak;
    double sourceBlack = 0.005;
    Application application = Application::Brightest;
    // FFmpeg's desat: overbright colours (luma above it, relative to the
    // white) are mixed towards their luma; 0 does none. The weights of R, G
    // and B in that luma: FFmpeg 5.1 takes the frame's matrix coefficients
    // but applies red's to green and green's to red, and for RGB frames
    // adds the three up.
    double desaturation = 0;
    std::array<double, 3> desaturationWeights = {0.6780, 0.2627, 0.0593};
    double crosstalk = 0.04; // libplacebo's

    Target primaries = Target::Bt709;
    Gamut gamut = Gamut::Clip;

    TransferFunctions::Curve transfer = TransferFunctions::Curve::Bt1886;
    // The target's black relative to its white (libplacebo's SDR target: a
    // contrast of 1000:1), and for PQ and HLG captures the light of its
    // white in cd/m².
    double targetBlack = 0;
    double targetWhite = 203;
    // What the numbers are multiplied by at the end: FFmpeg's swscale cuts
    // 16 bits to 8 by dropping the low byte, which makes 65535 * v / 256 of
    // v, not 255 * v.
    double outputGain = 1;

    // The sheet's signal (0 to 1 a channel) as the capture holds it, before
    // it is cut to any number of bits (Simulation does it faster for many).
    Rgb apply(const Rgb &signal) const;
    // The sheet's signal as light (BT.2020, cd/m²) as the chain decodes it.
    Rgb light(const Rgb &signal) const;
    // A capture's value back to light (linear, the target's primaries,
    // cd/m²): the transfer undone.
    Rgb captureLight(const Rgb &value) const;
};

// A chain made ready to put many colours through: its curve's table and
// its matrices built once.
class Simulation
{
public:
    // `tableEntries`: a libplacebo curve's table rougher than the
    // renderer's, for a quick first search.
    explicit Simulation(const Chain &chain, int tableEntries = ToneMapping::PlaceboCurve::Entries);

    // The sheet's signal as the capture holds it.
    Rgb operator()(const Rgb &signal) const { return fromLight(chain_.light(signal)); }
    // Light as the chain decoded it (BT.2020, cd/m²) as the capture holds it.
    Rgb fromLight(const Rgb &nits) const;
    // The same for a grey of `nits`, which every step keeps grey: one
    // channel's work.
    double grey(double nits) const;
    const Chain &chain() const { return chain_; }

private:
    // Linear light relative to the target's white as one of the capture's
    // numbers, for the transfers that work channel by channel.
    double encodeChannel(double x) const;
    Rgb encode(const Rgb &x) const;

    Chain chain_;
    std::optional<ToneMapping::PlaceboCurve> curve_;
    double bt1886Scale_ = 1; // BT.1886 on the target's black and white
    double bt1886Lift_ = 0;
    double param_ = 0;       // FFmpeg's curve parameter, its default filled in
    double darkening_ = 1;   // libplacebo's darken mode: what every colour is divided by
};

} // namespace HdrChain
