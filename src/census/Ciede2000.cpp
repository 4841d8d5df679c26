#include "census/Ciede2000.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>

namespace Ciede2000 {

namespace {

constexpr double Degrees = 180.0 / std::numbers::pi;
constexpr double Radians = std::numbers::pi / 180.0;

// The D65 white of sRGB, the sum of each row of the matrix below.
constexpr double WhiteX = 0.4124564 + 0.3575761 + 0.1804375;
constexpr double WhiteY = 0.2126729 + 0.7151522 + 0.0721750;
constexpr double WhiteZ = 0.0193339 + 0.1191920 + 0.9503041;

constexpr double Epsilon = 216.0 / 24389.0; // (6/29)^3
constexpr double Kappa = 24389.0 / 27.0;

// The cube root of t from Epsilon up: a table read between its points
// (within 3e-5), then one Halley step (which triples the correct digits), a
// third of the time std::cbrt takes. Beyond the table (brighter than white),
// std::cbrt.
constexpr int CubeRootPoints = 4096;
constexpr double CubeRootEnd = 1.125;

const std::array<double, CubeRootPoints + 2> CubeRoots = [] {
    std::array<double, CubeRootPoints + 2> roots {};
    for (int i = 0; i < CubeRootPoints + 2; ++i)
        roots[std::size_t(i)] = std::cbrt(double(i) * CubeRootEnd / CubeRootPoints);
    return roots;
}();

double cubeRoot(double t)
{
    if (!(t < CubeRootEnd))
        return std::cbrt(t);
    const double position = t * (CubeRootPoints / CubeRootEnd);
    const int i = int(position);
    const auto &roots = CubeRoots;
    double y = roots[std::size_t(i)] + (position - i) * (roots[std::size_t(i) + 1] - roots[std::size_t(i)]);
    const double y3 = y * y * y;
    y *= (y3 + 2.0 * t) / (2.0 * y3 + t);
    return y;
}

double f(double t)
{
    return t > Epsilon ? cubeRoot(t) : (Kappa * t + 16.0) / 116.0;
}

// 25^7, for the chroma weights.
constexpr double Pow25To7 = 6103515625.0;

double pow7(double v)
{
    const double v2 = v * v;
    const double v3 = v2 * v;
    return v3 * v3 * v;
}

// The hue angle in degrees, 0 to 360; 0 for a grey.
double hue(double b, double aPrime)
{
    if (b == 0 && aPrime == 0)
        return 0;
    const double h = std::atan2(b, aPrime) * Degrees;
    return h < 0 ? h + 360.0 : h;
}

// The two colours' a axes stretched by the chroma weight G, and their
// chromas C' after it.
struct Primed
{
    double a1;
    double a2;
    double c1;
    double c2;
};

Primed primed(const Lab &one, const Lab &two)
{
    const double c1 = std::sqrt(one.a * one.a + one.b * one.b);
    const double c2 = std::sqrt(two.a * two.a + two.b * two.b);
    const double cMean7 = pow7((c1 + c2) / 2.0);
    const double g = 0.5 * (1.0 - std::sqrt(cMean7 / (cMean7 + Pow25To7)));
    const double a1 = (1.0 + g) * one.a;
    const double a2 = (1.0 + g) * two.a;
    return {a1, a2, std::sqrt(a1 * a1 + one.b * one.b), std::sqrt(a2 * a2 + two.b * two.b)};
}

// The lightness, chroma and hue differences weighted and combined, given the
// hue difference dH, the mean hue's T and its rotation angle in degrees.
double weighted(const Lab &one, const Lab &two, const Primed &p, double dH, double t, double dTheta)
{
    const double dL = two.L - one.L;
    const double dC = p.c2 - p.c1;
    const double lMean = (one.L + two.L) / 2.0;
    const double cpMean = (p.c1 + p.c2) / 2.0;
    const double cpMean7 = pow7(cpMean);
    const double rC = 2.0 * std::sqrt(cpMean7 / (cpMean7 + Pow25To7));
    const double lOffset = (lMean - 50.0) * (lMean - 50.0);
    const double sL = 1.0 + 0.015 * lOffset / std::sqrt(20.0 + lOffset);
    const double sC = 1.0 + 0.045 * cpMean;
    const double sH = 1.0 + 0.015 * cpMean * t;
    const double rT = dTheta == 0 ? 0.0 : -std::sin(2.0 * dTheta * Radians) * rC;

    const double l = dL / sL;
    const double c = dC / sC;
    const double h = dH / sH;
    return std::sqrt(l * l + c * c + h * h + rT * c * h);
}

double referenceDifference(const Lab &one, const Lab &two)
{
    const Primed p = primed(one, two);
    const double h1 = hue(one.b, p.a1);
    const double h2 = hue(two.b, p.a2);

    const double chromaProduct = p.c1 * p.c2;
    double dh = 0;
    if (chromaProduct != 0) {
        dh = h2 - h1;
        if (dh > 180.0)
            dh -= 360.0;
        else if (dh < -180.0)
            dh += 360.0;
    }
    const double dH = 2.0 * std::sqrt(chromaProduct) * std::sin(dh * Radians / 2.0);

    double hMean = h1 + h2;
    if (chromaProduct != 0) {
        if (std::abs(h1 - h2) <= 180.0)
            hMean /= 2.0;
        else
            hMean = hMean < 360.0 ? (hMean + 360.0) / 2.0 : (hMean - 360.0) / 2.0;
    }

    const double t = 1.0 - 0.17 * std::cos((hMean - 30.0) * Radians) + 0.24 * std::cos(2.0 * hMean * Radians)
                     + 0.32 * std::cos((3.0 * hMean + 6.0) * Radians) - 0.20 * std::cos((4.0 * hMean - 63.0) * Radians);
    const double dTheta = 30.0 * std::exp(-((hMean - 275.0) / 25.0) * ((hMean - 275.0) / 25.0));
    return weighted(one, two, p, dH, t, dTheta);
}

} // namespace

double Linear(double encoded)
{
    return encoded <= 0.04045 ? encoded / 12.92 : std::pow((encoded + 0.055) / 1.055, 2.4);
}

Lab FromLinear(double red, double green, double blue)
{
    const double x = 0.4124564 * red + 0.3575761 * green + 0.1804375 * blue;
    const double y = 0.2126729 * red + 0.7151522 * green + 0.0721750 * blue;
    const double z = 0.0193339 * red + 0.1191920 * green + 0.9503041 * blue;
    const double fx = f(x * (1.0 / WhiteX));
    const double fy = f(y * (1.0 / WhiteY));
    const double fz = f(z * (1.0 / WhiteZ));
    return {116.0 * fy - 16.0, 500.0 * (fx - fy), 200.0 * (fy - fz)};
}

Lab FromSrgb(double red, double green, double blue)
{
    return FromLinear(Linear(red), Linear(green), Linear(blue));
}

double Difference(const Lab &one, const Lab &two)
{
    const Primed p = primed(one, two);
    const double a1 = p.a1;
    const double a2 = p.a2;
    const double c1p = p.c1;
    const double c2p = p.c2;
    const double chromaProduct = c1p * c2p;

    // The hue difference and the mean hue from the two hue directions as
    // vectors, without their angles: 2 sqrt(C1 C2) sin(dh / 2) has the
    // square 2 (C1 C2 - a1 a2 - b1 b2) and the sign of the cross product,
    // and the mean hue (along the shorter arc) is the direction of the sum
    // of the two unit vectors. A grey, opposite hues and hues that cancel
    // out take the formula's own path.
    const double cross = a1 * two.b - one.b * a2;
    if (chromaProduct == 0 || cross == 0)
        return referenceDifference(one, two);
    const double inverse1 = 1.0 / c1p;
    const double inverse2 = 1.0 / c2p;
    const double sumX = a1 * inverse1 + a2 * inverse2;
    const double sumY = one.b * inverse1 + two.b * inverse2;
    const double sumSquare = sumX * sumX + sumY * sumY;
    if (sumSquare < 1e-18)
        return referenceDifference(one, two);
    const double dH = std::copysign(std::sqrt(std::max(0.0, 2.0 * (chromaProduct - a1 * a2 - one.b * two.b))), cross);
    const double inverseLength = 1.0 / std::sqrt(sumSquare);
    const double cosH = sumX * inverseLength;
    const double sinH = sumY * inverseLength;
    // The hue rotation term, 30 exp(-((h - 275) / 25)^2) degrees, is below
    // 4e-6 degrees more than 100 degrees from 275 (cos < -0.17): taken as 0
    // there, where its share of the difference is below one part in 10^7.
    static const double cos275 = std::cos(275.0 * Radians), sin275 = std::sin(275.0 * Radians);
    double dTheta = 0;
    if (cosH * cos275 + sinH * sin275 > -0.17) {
        double hMean = std::atan2(sinH, cosH) * Degrees;
        if (hMean < 0)
            hMean += 360.0;
        dTheta = 30.0 * std::exp(-((hMean - 275.0) / 25.0) * ((hMean - 275.0) / 25.0));
    }

    // cos(h - 30), cos 2h, cos(3h + 6), cos(4h - 63) from cos h and sin h.
    const double cos2 = 2.0 * cosH * cosH - 1.0;
    const double sin2 = 2.0 * sinH * cosH;
    const double cos3 = cos2 * cosH - sin2 * sinH;
    const double sin3 = sin2 * cosH + cos2 * sinH;
    const double cos4 = 2.0 * cos2 * cos2 - 1.0;
    const double sin4 = 2.0 * sin2 * cos2;
    static const double cos30 = std::cos(30.0 * Radians), sin30 = std::sin(30.0 * Radians);
    static const double cos6 = std::cos(6.0 * Radians), sin6 = std::sin(6.0 * Radians);
    static const double cos63 = std::cos(63.0 * Radians), sin63 = std::sin(63.0 * Radians);
    const double t = 1.0 - 0.17 * (cosH * cos30 + sinH * sin30) + 0.24 * cos2 + 0.32 * (cos3 * cos6 - sin3 * sin6)
                     - 0.20 * (cos4 * cos63 + sin4 * sin63);

    return weighted(one, two, p, dH, t, dTheta);
}

double DifferenceOfLinear(double red1, double green1, double blue1, double red2, double green2, double blue2)
{
    return Difference(FromLinear(red1, green1, blue1), FromLinear(red2, green2, blue2));
}

} // namespace Ciede2000
