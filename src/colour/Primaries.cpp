#include "colour/Primaries.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <string>

namespace Primaries {

namespace {

constexpr Xy D65 {0.3127, 0.3290};

// The published chromaticities: EBU Tech 3213, SMPTE 170M, BT.709 (and IEC
// 61966-2-1), SMPTE EG 432-1 with the D65 white, BT.2020, Adobe RGB (1998).
constexpr std::array<Definition, 6> Definitions = {{
    {Set::Bt601_625, "BT.601-625", "bt470bg", {0.64, 0.33}, {0.29, 0.60}, {0.15, 0.06}, D65, Transfer::Bt709},
    {Set::Bt601_525, "BT.601-525", "smpte170m", {0.630, 0.340}, {0.310, 0.595}, {0.155, 0.070}, D65, Transfer::Bt709},
    {Set::Bt709, "BT.709", "bt709", {0.64, 0.33}, {0.30, 0.60}, {0.15, 0.06}, D65, Transfer::Srgb},
    {Set::DisplayP3, "Display P3", "smpte432", {0.680, 0.320}, {0.265, 0.690}, {0.150, 0.060}, D65, Transfer::Srgb},
    {Set::Bt2020, "BT.2020", "bt2020", {0.708, 0.292}, {0.170, 0.797}, {0.131, 0.046}, D65, Transfer::Bt709},
    {Set::AdobeRgb, "Adobe RGB", "", {0.64, 0.33}, {0.21, 0.71}, {0.15, 0.06}, D65, Transfer::AdobeRgb},
}};

struct Alias
{
    std::string_view name;
    Set set;
};

// Lower case, with spaces, dots, dashes and underscores dropped.
constexpr std::array<Alias, 22> Aliases = {{
    {"bt601625", Set::Bt601_625}, {"bt470bg", Set::Bt601_625},   {"ebu", Set::Bt601_625},
    {"pal", Set::Bt601_625},      {"bt601525", Set::Bt601_525},
    {"smpte170m", Set::Bt601_525}, {"smpte240m", Set::Bt601_525}, {"smptec", Set::Bt601_525},
    {"bt709", Set::Bt709},         {"srgb", Set::Bt709},
    {"rec709", Set::Bt709},       {"displayp3", Set::DisplayP3}, {"p3", Set::DisplayP3},
    {"p3d65", Set::DisplayP3},    {"smpte432", Set::DisplayP3},  {"bt2020", Set::Bt2020},
    {"rec2020", Set::Bt2020},     {"bt2100", Set::Bt2020},       {"adobergb", Set::AdobeRgb},
    {"adobe", Set::AdobeRgb},     {"adobergb1998", Set::AdobeRgb}, {"a98rgb", Set::AdobeRgb},
}};

std::string folded(std::string_view name)
{
    std::string out;
    for (const char c : name)
        if (c != ' ' && c != '.' && c != '-' && c != '_')
            out += char(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

Vector3 xyzOf(const Xy &c)
{
    return {c.x / c.y, 1.0, (1.0 - c.x - c.y) / c.y};
}

// The BT.709 camera curve's constants, to double precision (BT.2020 gives
// them to more digits than BT.709's 1.099 and 0.018; the two agree within 1e-4).
constexpr double Alpha709 = 1.09929682680944;
constexpr double Beta709 = 0.018053968510807;

double positiveToLinear(Transfer transfer, double v)
{
    switch (transfer) {
    case Transfer::Linear: return v;
    case Transfer::Srgb: return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    case Transfer::Bt709: return v < 4.5 * Beta709 ? v / 4.5 : std::pow((v + Alpha709 - 1.0) / Alpha709, 1.0 / 0.45);
    case Transfer::Gamma22: return std::pow(v, 2.2);
    case Transfer::Gamma24: return std::pow(v, 2.4);
    case Transfer::AdobeRgb: return std::pow(v, 563.0 / 256.0);
    }
    return v;
}

double positiveFromLinear(Transfer transfer, double v)
{
    switch (transfer) {
    case Transfer::Linear: return v;
    case Transfer::Srgb: return v <= 0.0031308 ? v * 12.92 : 1.055 * std::pow(v, 1.0 / 2.4) - 0.055;
    case Transfer::Bt709: return v < Beta709 ? v * 4.5 : Alpha709 * std::pow(v, 0.45) - (Alpha709 - 1.0);
    case Transfer::Gamma22: return std::pow(v, 1.0 / 2.2);
    case Transfer::Gamma24: return std::pow(v, 1.0 / 2.4);
    case Transfer::AdobeRgb: return std::pow(v, 256.0 / 563.0);
    }
    return v;
}

// A curve between 0 and 1 as a table, straight between its points. The
// table from linear light is kept over the square root of its input, where
// the curves' steep start near black is nearly straight.
struct CurveTables
{
    static constexpr int Points = 4096;
    std::array<double, Points + 1> toLinear {};
    std::array<double, Points + 1> fromLinearOverRoot {};

    explicit CurveTables(Transfer transfer)
    {
        for (int i = 0; i <= Points; ++i) {
            const double v = double(i) / Points;
            toLinear[std::size_t(i)] = positiveToLinear(transfer, v);
            fromLinearOverRoot[std::size_t(i)] = positiveFromLinear(transfer, v * v);
        }
    }

    static double along(const std::array<double, Points + 1> &table, double at)
    {
        const double scaled = at * Points;
        const int i = std::min(int(scaled), Points - 1);
        const double part = scaled - i;
        return table[std::size_t(i)] + part * (table[std::size_t(i) + 1] - table[std::size_t(i)]);
    }
};

const CurveTables &tablesOf(Transfer transfer)
{
    static const std::array<CurveTables, 6> tables = {CurveTables(Transfer::Linear), CurveTables(Transfer::Srgb),
                                                      CurveTables(Transfer::Bt709), CurveTables(Transfer::Gamma22),
                                                      CurveTables(Transfer::Gamma24), CurveTables(Transfer::AdobeRgb)};
    return tables[std::size_t(transfer)];
}

} // namespace

const Definition &Of(Set set)
{
    return Definitions[std::size_t(set)];
}

std::optional<Set> Named(std::string_view name)
{
    const std::string key = folded(name);
    for (const Alias &alias : Aliases)
        if (alias.name == key)
            return alias.set;
    return std::nullopt;
}

Vector3 WhiteXyz(const Xy &white)
{
    return xyzOf(white);
}

Matrix3 Multiply(const Matrix3 &a, const Matrix3 &b)
{
    Matrix3 p {};
    for (std::size_t r = 0; r < 3; ++r)
        for (std::size_t c = 0; c < 3; ++c)
            p[r][c] = a[r][0] * b[0][c] + a[r][1] * b[1][c] + a[r][2] * b[2][c];
    return p;
}

Matrix3 Inverse(const Matrix3 &a)
{
    const double det = a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1])
                       - a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0])
                       + a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
    Matrix3 b {};
    b[0][0] = (a[1][1] * a[2][2] - a[1][2] * a[2][1]) / det;
    b[0][1] = (a[0][2] * a[2][1] - a[0][1] * a[2][2]) / det;
    b[0][2] = (a[0][1] * a[1][2] - a[0][2] * a[1][1]) / det;
    b[1][0] = (a[1][2] * a[2][0] - a[1][0] * a[2][2]) / det;
    b[1][1] = (a[0][0] * a[2][2] - a[0][2] * a[2][0]) / det;
    b[1][2] = (a[0][2] * a[1][0] - a[0][0] * a[1][2]) / det;
    b[2][0] = (a[1][0] * a[2][1] - a[1][1] * a[2][0]) / det;
    b[2][1] = (a[0][1] * a[2][0] - a[0][0] * a[2][1]) / det;
    b[2][2] = (a[0][0] * a[1][1] - a[0][1] * a[1][0]) / det;
    return b;
}

Vector3 Apply(const Matrix3 &m, const Vector3 &v)
{
    return {m[0][0] * v[0] + m[0][1] * v[1] + m[0][2] * v[2], m[1][0] * v[0] + m[1][1] * v[1] + m[1][2] * v[2],
            m[2][0] * v[0] + m[2][1] * v[1] + m[2][2] * v[2]};
}

Matrix3 RgbToXyz(const Xy &red, const Xy &green, const Xy &blue, const Xy &white)
{
    // The primaries' XYZ (Y = 1) as columns, each scaled so that the three
    // at full add up to the white.
    const Vector3 r = xyzOf(red), g = xyzOf(green), b = xyzOf(blue);
    const Matrix3 columns = {{{r[0], g[0], b[0]}, {r[1], g[1], b[1]}, {r[2], g[2], b[2]}}};
    const Vector3 scale = Apply(Inverse(columns), xyzOf(white));
    Matrix3 m {};
    for (std::size_t row = 0; row < 3; ++row)
        for (std::size_t c = 0; c < 3; ++c)
            m[row][c] = columns[row][c] * scale[c];
    return m;
}

Matrix3 RgbToXyz(Set set)
{
    const Definition &d = Of(set);
    return RgbToXyz(d.red, d.green, d.blue, d.white);
}

Matrix3 XyzToRgb(Set set)
{
    return Inverse(RgbToXyz(set));
}

Matrix3 Adaptation(const Xy &from, const Xy &to)
{
    // The Bradford cone responses (Lam 1985), as ICC.1 Annex E gives them.
    constexpr Matrix3 Bradford = {{{0.8951, 0.2664, -0.1614}, {-0.7502, 1.7135, 0.0367}, {0.0389, -0.0685, 1.0296}}};
    const Vector3 source = Apply(Bradford, xyzOf(from));
    const Vector3 target = Apply(Bradford, xyzOf(to));
    Matrix3 scale {};
    for (std::size_t i = 0; i < 3; ++i)
        scale[i][i] = target[i] / source[i];
    return Multiply(Inverse(Bradford), Multiply(scale, Bradford));
}

Matrix3 Conversion(Set from, Set to)
{
    const Definition &source = Of(from);
    const Definition &target = Of(to);
    Matrix3 toXyz = RgbToXyz(from);
    if (source.white.x != target.white.x || source.white.y != target.white.y)
        toXyz = Multiply(Adaptation(source.white, target.white), toXyz);
    return Multiply(XyzToRgb(to), toXyz);
}

double ToLinear(Transfer transfer, double value)
{
    return value < 0 ? -positiveToLinear(transfer, -value) : positiveToLinear(transfer, value);
}

double FromLinear(Transfer transfer, double value)
{
    return value < 0 ? -positiveFromLinear(transfer, -value) : positiveFromLinear(transfer, value);
}

double ToLinearFast(Transfer transfer, double value)
{
    if (!(value >= 0.0 && value <= 1.0))
        return ToLinear(transfer, value);
    return CurveTables::along(tablesOf(transfer).toLinear, value);
}

double FromLinearFast(Transfer transfer, double value)
{
    if (!(value >= 0.0 && value <= 1.0))
        return FromLinear(transfer, value);
    return CurveTables::along(tablesOf(transfer).fromLinearOverRoot, std::sqrt(value));
}

std::string_view HandlingName(GamutHandling handling)
{
    return handling == GamutHandling::Clip ? "clipped" : "compressed";
}

bool InGamut(const Vector3 &linear, double tolerance)
{
    return std::all_of(linear.begin(), linear.end(),
                       [&](double c) { return c >= -tolerance && c <= 1.0 + tolerance; });
}

Vector3 IntoGamut(const Vector3 &linear, GamutHandling handling, const Vector3 &luminance)
{
    Vector3 out = linear;
    if (handling == GamutHandling::Compress && !InGamut(linear, 0)) {
        const double y = std::clamp(luminance[0] * linear[0] + luminance[1] * linear[1] + luminance[2] * linear[2],
                                    0.0, 1.0);
        // The largest share of the colour's difference from its grey that
        // keeps every channel within 0 to 1.
        double keep = 1.0;
        for (const double c : linear) {
            if (c > 1.0)
                keep = std::min(keep, (1.0 - y) / (c - y));
            else if (c < 0.0)
                keep = std::min(keep, y / (y - c));
        }
        keep = std::clamp(keep, 0.0, 1.0);
        for (std::size_t i = 0; i < 3; ++i)
            out[i] = y + keep * (linear[i] - y);
    }
    for (double &c : out)
        c = std::clamp(c, 0.0, 1.0);
    return out;
}

Converter::Converter(Set from, Set to, GamutHandling handling, Transfer fromCurve, Transfer toCurve)
    : matrix_(Conversion(from, to))
    , luminance_(RgbToXyz(to)[1])
    , handling_(handling)
    , fromCurve_(fromCurve)
    , toCurve_(toCurve)
{
}

Converter::Converter(Set from, Set to, GamutHandling handling)
    : Converter(from, to, handling, Of(from).transfer, Of(to).transfer)
{
}

Vector3 Converter::operator()(const Vector3 &encoded) const
{
    Vector3 linear;
    for (std::size_t i = 0; i < 3; ++i)
        linear[i] = ToLinearFast(fromCurve_, encoded[i]);
    Vector3 out = IntoGamut(Apply(matrix_, linear), handling_, luminance_);
    for (double &c : out)
        c = FromLinearFast(toCurve_, c);
    return out;
}

} // namespace Primaries
