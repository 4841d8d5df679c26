#pragma once

// The sets of primaries pictures and video are made for, and the conversions
// between them. Each set is its published chromaticities (red, green, blue
// and white, CIE 1931 x, y); the matrix from linear RGB to CIE XYZ follows
// from them (SMPTE RP 177's normalised primary matrix), and a conversion from
// one set to another is one matrix on linear light, with a chromatic
// adaptation (Bradford) where the whites differ. What falls outside the
// target's gamut is clipped per channel, or compressed: desaturated towards
// its own luminance until it fits, as mpv does by default.
//
// Plain C++: numbers from 0 to 1 in, numbers from 0 to 1 out.

#include <array>
#include <optional>
#include <string_view>

namespace Primaries {

enum class Set {
    Bt601_625, // EBU Tech 3213 (BT.470 B/G, BT.601 625 lines)
    Bt601_525, // SMPTE C (SMPTE 170M, BT.601 525 lines)
    Bt709,     // BT.709 and sRGB
    DisplayP3, // DCI-P3 primaries with the D65 white
    Bt2020,    // BT.2020 and BT.2100
    AdobeRgb,  // Adobe RGB (1998)
};

inline constexpr std::array<Set, 6> Sets = {Set::Bt601_625, Set::Bt601_525, Set::Bt709,
                                            Set::DisplayP3, Set::Bt2020,    Set::AdobeRgb};

struct Xy
{
    double x = 0;
    double y = 0;
};

using Vector3 = std::array<double, 3>;
// Rows: out[r] = sum over c of m[r][c] * in[c].
using Matrix3 = std::array<Vector3, 3>;

// The curves that take a set's numbers to linear light and back. Each is
// odd-symmetric below 0, so that a colour outside a gamut keeps its sign.
enum class Transfer {
    Linear,
    Srgb,    // IEC 61966-2-1 (sRGB and Display P3)
    Bt709,   // the BT.709 / BT.601 / BT.2020 camera curve (OETF)
    Gamma22, // a pure power of 2.2
    Gamma24, // a pure power of 2.4 (BT.1886 on a display with a black of 0)
    AdobeRgb // a pure power of 563/256 (about 2.2)
};

struct Definition
{
    Set set;
    // As the diagnosis names it: "BT.601-625", "Display P3".
    std::string_view name;
    // As FFmpeg tags it ("bt470bg", "smpte170m", "bt709", "smpte432",
    // "bt2020"); empty where FFmpeg has no tag for it.
    std::string_view ffmpegName;
    Xy red, green, blue, white;
    // The curve its numbers are usually encoded with.
    Transfer transfer;
};

const Definition &Of(Set set);
// A set by its name or one of its other common names ("bt601-625", "ebu",
// "pal", "smpte-c", "srgb", "p3", "adobe", "bt2020", FFmpeg's tag
// names), in any case. Nothing for a name it does not know.
std::optional<Set> Named(std::string_view name);

// The white point's XYZ with Y = 1.
Vector3 WhiteXyz(const Xy &white);
// Linear RGB (white = 1, 1, 1) to XYZ of the same white, from chromaticities.
Matrix3 RgbToXyz(const Xy &red, const Xy &green, const Xy &blue, const Xy &white);
Matrix3 RgbToXyz(Set set);
Matrix3 XyzToRgb(Set set);
// XYZ seen under the white `from` to XYZ seen under `to` (Bradford).
Matrix3 Adaptation(const Xy &from, const Xy &to);
// Linear RGB of `from` to linear RGB of `to`, the whites adapted.
Matrix3 Conversion(Set from, Set to);

Matrix3 Multiply(const Matrix3 &a, const Matrix3 &b);
Matrix3 Inverse(const Matrix3 &m);
Vector3 Apply(const Matrix3 &m, const Vector3 &v);

double ToLinear(Transfer transfer, double value);
double FromLinear(Transfer transfer, double value);
// The same through tables on 0 to 1 (within 1e-4 of the formulas, a fortieth
// of an 8-bit level, nearest black; beyond
// 0 to 1, the formulas): what a conversion of many colours uses.
double ToLinearFast(Transfer transfer, double value);
double FromLinearFast(Transfer transfer, double value);

enum class GamutHandling { Clip, Compress };

// "clipped", "compressed"
std::string_view HandlingName(GamutHandling handling);

// Whether a linear colour lies within 0 to 1 on every channel, give or take
// `tolerance`.
bool InGamut(const Vector3 &linear, double tolerance = 1e-9);
// A linear colour brought within 0 to 1: each channel clipped, or the colour
// desaturated towards its luminance (`luminance` the weights of R, G, B: the
// target's Y row) just as far as it has to go, then clipped (a luminance
// above 1 or below 0 cannot be kept).
Vector3 IntoGamut(const Vector3 &linear, GamutHandling handling, const Vector3 &luminance);

// Numbers of one set, encoded with `from`'s curve, as they come out when
// converted to another set and encoded with `to`'s curve: what a colour-
// managed player or browser does. Linear light in between.
class Converter
{
public:
    Converter(Set from, Set to, GamutHandling handling, Transfer fromCurve, Transfer toCurve);
    // Each set's own curve.
    Converter(Set from, Set to, GamutHandling handling);

    // Through the curves' tables (within 1e-4).
    Vector3 operator()(const Vector3 &encoded) const;
    // Linear light in, linear light out (before the gamut is handled).
    Vector3 linear(const Vector3 &linear) const { return Apply(matrix_, linear); }

    const Matrix3 &matrix() const { return matrix_; }

private:
    Matrix3 matrix_;
    Vector3 luminance_;
    GamutHandling handling_;
    Transfer fromCurve_;
    Transfer toCurve_;
};

} // namespace Primaries
