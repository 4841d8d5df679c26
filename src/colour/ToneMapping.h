#pragma once

// Tone-mapping curves as the programs people use apply them, from their
// published code: FFmpeg's tonemap filter (libavfilter/vf_tonemap.c, FFmpeg
// 5.1) and libplacebo 4.208 (src/tone_mapping.c), which FFmpeg's libplacebo
// filter and mpv's gpu-next output use. The families share names but not
// formulas: FFmpeg's work on light relative to a reference white (zscale's
// npl) with the source peak in the same unit; libplacebo's work on light
// relative to its SDR white of 203 cd/m², some in PQ, some in cd/m², and
// reach the curve through a 256-entry table on the square root of light.
//
// Plain C++.

#include <string_view>
#include <vector>

namespace ToneMapping {

enum class Curve {
    Clip,
    Linear,
    Gamma,
    Reinhard,
    Hable,
    Mobius,
    Bt2390,
    Spline,
    Bt2446a,
};

inline constexpr Curve Curves[] = {Curve::Clip,  Curve::Linear, Curve::Gamma,  Curve::Reinhard, Curve::Hable,
                                   Curve::Mobius, Curve::Bt2390, Curve::Spline, Curve::Bt2446a};

// Whose formulas: FFmpeg's tonemap filter, libplacebo's, mpv's vo_gpu
// (0.35: the curves of FFmpeg's filter on light relative to 203 cd/m², and a
// BT.2390 of its own).
enum class Flavour { Ffmpeg, Libplacebo, Mpv };

// "clip", "linear", "gamma", "reinhard", "hable", "mobius", "bt.2390",
// "spline", "bt.2446a": the names both programs take.
std::string_view Name(Curve curve);
// What the curve's one parameter is called ("knee", "contrast", "exponent",
// "pivot", "gain", "knee offset"); empty when it has none.
std::string_view ParamName(Curve curve, Flavour flavour);

// Whether the program has the curve.
bool Has(Flavour flavour, Curve curve);
// The parameter the program takes when none is given (NaN: the curve has
// none), and the range it accepts.
double DefaultParam(Curve curve, Flavour flavour);
double LeastParam(Curve curve, Flavour flavour);
double MostParam(Curve curve, Flavour flavour);

// libplacebo's SDR white: its unit of light.
inline constexpr double PlaceboWhite = 203;

// FFmpeg's tonemap filter on one value `x` (light relative to the reference
// white), the source peak `peak` in the same unit. The filter applies it to
// the brightest channel of each pixel and scales the three by the ratio.
double Ffmpeg(Curve curve, double x, double peak, double param);

// mpv's vo_gpu (0.35) on one channel's `x` (light relative to 203 cd/m²),
// the source peak in the same unit, onto an SDR target: FFmpeg's formulas,
// its linear held at 1, and its BT.2390 in PQ with a knee at 1.5 times the
// target less 0.5 and no black point.
double Mpv(Curve curve, double x, double peak, double param);

// libplacebo's curve from a source range to a target range (light relative
// to 203 cd/m², the black and the peak of each), built as the renderer
// builds it: a table of `Entries` values spaced evenly on the square root of
// the source range, sampled with straight lines between; clip, and a range
// that needs no reduction, as the renderer's fixed functions.
class PlaceboCurve
{
public:
    static constexpr int Entries = 256;

    // `entries` other than the renderer's: a rougher table, quicker to build
    // (for a first search).
    PlaceboCurve(Curve curve, double param, double sourceMin, double sourceMax, double targetMin, double targetMax,
                 int entries = Entries);

    // The target light for source light `x` (both relative to 203 cd/m²),
    // the source first held within its range as the renderer holds each
    // channel.
    double operator()(double x) const;

    double sourceMin() const { return sourceMin_; }
    double sourceMax() const { return sourceMax_; }
    double targetMin() const { return targetMin_; }
    double targetMax() const { return targetMax_; }

private:
    enum class Kind { Clamp, Straight, Table };
    Kind kind_ = Kind::Table;
    double sourceMin_ = 0, sourceMax_ = 1, targetMin_ = 0, targetMax_ = 1;
    double tableMin_ = 0, tableMax_ = 1; // the square roots of the source range
    std::vector<double> table_;
};

} // namespace ToneMapping
