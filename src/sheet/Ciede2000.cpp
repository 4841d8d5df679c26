#include "sheet/Ciede2000.h"

#include <cmath>
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

double f(double t)
{
    return t > Epsilon ? std::cbrt(t) : (Kappa * t + 16.0) / 116.0;
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
    const double fx = f(x / WhiteX);
    const double fy = f(y / WhiteY);
    const double fz = f(z / WhiteZ);
    return {116.0 * fy - 16.0, 500.0 * (fx - fy), 200.0 * (fy - fz)};
}

Lab FromSrgb(double red, double green, double blue)
{
    return FromLinear(Linear(red), Linear(green), Linear(blue));
}

double Difference(const Lab &one, const Lab &two)
{
    const double c1 = std::hypot(one.a, one.b);
    const double c2 = std::hypot(two.a, two.b);
    const double cMean7 = pow7((c1 + c2) / 2.0);
    const double g = 0.5 * (1.0 - std::sqrt(cMean7 / (cMean7 + Pow25To7)));
    const double a1 = (1.0 + g) * one.a;
    const double a2 = (1.0 + g) * two.a;
    const double c1p = std::hypot(a1, one.b);
    const double c2p = std::hypot(a2, two.b);
    const double h1 = hue(one.b, a1);
    const double h2 = hue(two.b, a2);

    const double dL = two.L - one.L;
    const double dC = c2p - c1p;
    const double chromaProduct = c1p * c2p;
    double dh = 0;
    if (chromaProduct != 0) {
        dh = h2 - h1;
        if (dh > 180.0)
            dh -= 360.0;
        else if (dh < -180.0)
            dh += 360.0;
    }
    const double dH = 2.0 * std::sqrt(chromaProduct) * std::sin(dh * Radians / 2.0);

    const double lMean = (one.L + two.L) / 2.0;
    const double cpMean = (c1p + c2p) / 2.0;
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
    const double cpMean7 = pow7(cpMean);
    const double rC = 2.0 * std::sqrt(cpMean7 / (cpMean7 + Pow25To7));
    const double lOffset = (lMean - 50.0) * (lMean - 50.0);
    const double sL = 1.0 + 0.015 * lOffset / std::sqrt(20.0 + lOffset);
    const double sC = 1.0 + 0.045 * cpMean;
    const double sH = 1.0 + 0.015 * cpMean * t;
    const double rT = -std::sin(2.0 * dTheta * Radians) * rC;

    const double l = dL / sL;
    const double c = dC / sC;
    const double h = dH / sH;
    return std::sqrt(l * l + c * c + h * h + rT * c * h);
}

} // namespace Ciede2000
