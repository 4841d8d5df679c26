#include "colour/Ciede2000.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
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

} // namespace

double TextbookDifference(const Lab &one, const Lab &two)
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
    // vectors, without their angles: 2 sqrt(C1 C2) sin(dh / 2) is sqrt(C1 C2)
    // times the distance between the two unit vectors (the chord of the arc
    // between them), with the sign of their cross product, and the mean hue (along the shorter arc) is the direction of the sum
    // of the two unit vectors. A grey, opposite hues and hues that cancel
    // out take the formula's own path.
    const double cross = a1 * two.b - one.b * a2;
    if (chromaProduct == 0 || cross == 0)
        return TextbookDifference(one, two);
    const double x1 = a1 / c1p, y1 = one.b / c1p;
    const double x2 = a2 / c2p, y2 = two.b / c2p;
    const double sumX = x1 + x2;
    const double sumY = y1 + y2;
    const double sumSquare = sumX * sumX + sumY * sumY;
    if (sumSquare < 1e-18)
        return TextbookDifference(one, two);
    const double chord = (x1 - x2) * (x1 - x2) + (y1 - y2) * (y1 - y2);
    const double dH = std::copysign(std::sqrt(chromaProduct * chord), cross);
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

// The batch forms: the same formulas as the single ones, for one colour or
// pair at a time but without a branch or a call to the maths library, so that
// the compiler runs each loop on several at once. Each loop is built twice on
// x86-64, for processors with AVX2 and FMA and for any other; the loader
// takes the one the processor runs.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define TINTWELL_VECTOR_CLONES [[gnu::target_clones("arch=x86-64-v3", "default")]]
#else
#define TINTWELL_VECTOR_CLONES
#endif
// The steps of a loop body, inlined into each build of the loop.
#define TINTWELL_INLINE [[gnu::always_inline]] inline

namespace {

// The cube root of t from 0 to 1 (a little beyond does no harm): a first
// guess within 4 % from the bits of the float nearest t (its exponent divided
// by three), then two Halley steps, each of which triples the correct digits
// (to within 1e-13, as cubeRoot()).
TINTWELL_INLINE double cubeRootLane(double t)
{
    const auto bits = std::bit_cast<std::uint32_t>(float(t));
    double y = std::bit_cast<float>(bits / 3u + 709958130u);
#pragma GCC unroll 20
    for (int step = 0; step < 2; ++step) {
        const double y3 = y * y * y;
        y *= (y3 + 2.0 * t) / (2.0 * y3 + t);
    }
    return y;
}

TINTWELL_INLINE double fLane(double t)
{
    const double root = cubeRootLane(t);
    const double line = Kappa / 116.0 * t + 16.0 / 116.0;
    return t > Epsilon ? root : line;
}

// c[0] + c[1] z + c[2] z^2 + ... as four Horner chains in z^4, one for each
// remainder of the power by four: independent of each other, so the
// processor works on them side by side.
template <std::size_t N>
TINTWELL_INLINE double polynomial(double z, const std::array<double, N> &c)
{
    const double z2 = z * z;
    const double z4 = z2 * z2;
    std::array<double, 4> chain {};
#pragma GCC unroll 32
    for (int k = int(N) - 1; k >= 0; --k)
        chain[std::size_t(k % 4)] = chain[std::size_t(k % 4)] * z4 + c[std::size_t(k)];
    return (chain[0] + z * chain[1]) + z2 * (chain[2] + z * chain[3]);
}

// The coefficients of the series of exp x (1 / k!), of sin x / x
// ((-1)^k / (2k + 1)!) and of atan x / x ((-1)^k / (2k + 1)), in x^k for the
// first and x^2k for the others.
enum class Series { Exp, Sin, Atan };

template <std::size_t N>
constexpr std::array<double, N> series(Series kind)
{
    std::array<double, N> c {};
    double factorial = 1;
    for (std::size_t k = 0; k < N; ++k) {
        const double sign = k % 2 ? -1.0 : 1.0;
        if (kind == Series::Exp) {
            factorial *= k == 0 ? 1.0 : double(k);
            c[k] = 1.0 / factorial;
        } else if (kind == Series::Sin) {
            factorial *= k == 0 ? 1.0 : double(2 * k) * double(2 * k + 1);
            c[k] = sign / factorial;
        } else {
            c[k] = sign / double(2 * k + 1);
        }
    }
    return c;
}
constexpr auto ExpSeries = series<12>(Series::Exp);
constexpr auto SinSeries = series<9>(Series::Sin);
constexpr auto AtanSeries = series<17>(Series::Atan);

// exp(-w) for w from 0 to 16: the series of exp(-w / 64), squared six times
// (within 1e-13).
TINTWELL_INLINE double expOfMinusLane(double w)
{
    double e = polynomial(-w / 64.0, ExpSeries);
#pragma GCC unroll 6
    for (int square = 0; square < 6; ++square)
        e *= e;
    return e;
}

// sin x for x from 0 to pi / 3, by its series (within 1e-14).
TINTWELL_INLINE double sinLane(double x)
{
    return x * polynomial(x * x, SinSeries);
}

// The angle, in radians, whose cosine and sine are c and s, for angles within
// 100 degrees of 0: half of it has the tangent t = s / (1 + c), from -1.2 to
// 1.2; beyond tan(pi / 8) atan t is pi / 4 + atan((t - 1) / (t + 1)), which
// leaves the series of atan an argument within tan(pi / 8) (within 1e-13).
TINTWELL_INLINE double angleLane(double c, double s)
{
    const double t = s / (1.0 + std::max(c, -0.5));
    const double magnitude = std::abs(t);
    const bool far = magnitude > 0.41421356237309505;
    const double u = far ? (magnitude - 1.0) / (magnitude + 1.0) : magnitude;
    const double half = (far ? std::numbers::pi / 4 : 0.0) + u * polynomial(u * u, AtanSeries);
    return 2.0 * std::copysign(half, t);
}

// Difference() for one pair, without its turns to the textbook path, in two
// halves with short chains of steps each (so that the processor can work on
// several pairs at once): the lightness, chroma and hue differences weighted,
// and the mean hue as its distance from 275 degrees; then the hue rotation
// term and the sum.
struct Weighted
{
    double l;
    double c;
    double h;
    double rC;
    double cosD;
    double sinD;
};

// The first half; l is NaN where Difference() takes the textbook path
// (greys, hues exactly opposite).
TINTWELL_INLINE Weighted weightedLane(double L1, double a1, double b1, double L2, double a2, double b2)
{
    const double c1 = std::sqrt(a1 * a1 + b1 * b1);
    const double c2 = std::sqrt(a2 * a2 + b2 * b2);
    const double cMean7 = pow7((c1 + c2) / 2.0);
    const double g = 0.5 * (1.0 - std::sqrt(cMean7 / (cMean7 + Pow25To7)));
    const double a1p = (1.0 + g) * a1;
    const double a2p = (1.0 + g) * a2;
    const double c1p = std::sqrt(a1p * a1p + b1 * b1);
    const double c2p = std::sqrt(a2p * a2p + b2 * b2);
    const double chromaProduct = c1p * c2p;

    // The hue difference and mean hue from the hue directions as vectors (see Difference()).
    const double cross = a1p * b2 - b1 * a2p;
    const double inverse = 1.0 / chromaProduct;
    const double x1 = a1p * c2p * inverse, y1 = b1 * c2p * inverse;
    const double x2 = a2p * c1p * inverse, y2 = b2 * c1p * inverse;
    const double sumX = x1 + x2;
    const double sumY = y1 + y2;
    const double sumSquare = sumX * sumX + sumY * sumY;
    const double chord = (x1 - x2) * (x1 - x2) + (y1 - y2) * (y1 - y2);
    const double dH = std::copysign(std::sqrt(chromaProduct * chord), cross);
    const double inverseLength = 1.0 / std::sqrt(sumSquare);
    const double cosH = sumX * inverseLength;
    const double sinH = sumY * inverseLength;

    // The mean hue's distance from 275 degrees, counted as the textbook
    // counts it (from a mean hue of 0 to 360): no rotation from 85 degrees
    // past 275 on, nor (as in Difference()) beyond 100 degrees before it.
    constexpr double Cos275 = 0.087155742747658174, Sin275 = -0.99619469809174555;
    const double cosD = cosH * Cos275 + sinH * Sin275;
    const double sinD = sinH * Cos275 - cosH * Sin275;

    // cos(h - 30), cos 2h, cos(3h + 6), cos(4h - 63) from cos h and sin h.
    constexpr double Cos30 = 0.86602540378443865, Sin30 = 0.5;
    constexpr double Cos6 = 0.99452189536827329, Sin6 = 0.10452846326765347;
    constexpr double Cos63 = 0.45399049973954680, Sin63 = 0.89100652418836786;
    const double cos2 = 2.0 * cosH * cosH - 1.0;
    const double sin2 = 2.0 * sinH * cosH;
    const double cos3 = cos2 * cosH - sin2 * sinH;
    const double sin3 = sin2 * cosH + cos2 * sinH;
    const double cos4 = 2.0 * cos2 * cos2 - 1.0;
    const double sin4 = 2.0 * sin2 * cos2;
    const double t = 1.0 - 0.17 * (cosH * Cos30 + sinH * Sin30) + 0.24 * cos2 + 0.32 * (cos3 * Cos6 - sin3 * Sin6)
                     - 0.20 * (cos4 * Cos63 + sin4 * Sin63);

    // The weighted sum, as weighted() has it.
    const double dL = L2 - L1;
    const double dC = c2p - c1p;
    const double lMean = (L1 + L2) / 2.0;
    const double cpMean = (c1p + c2p) / 2.0;
    const double cpMean7 = pow7(cpMean);
    const double rC = 2.0 * std::sqrt(cpMean7 / (cpMean7 + Pow25To7));
    const double lOffset = (lMean - 50.0) * (lMean - 50.0);
    const double sL = 1.0 + 0.015 * lOffset / std::sqrt(20.0 + lOffset);
    const double sC = 1.0 + 0.045 * cpMean;
    const double sH = 1.0 + 0.015 * cpMean * t;
    const double inverseWeights = 1.0 / (sL * sC * sH);
    const double l = dL * (sC * sH) * inverseWeights;
    const double c = dC * (sL * sH) * inverseWeights;
    const double h = dH * (sL * sC) * inverseWeights;

    const bool textbook = (chromaProduct == 0) | (sumSquare < 1e-18);
    return {textbook ? std::numeric_limits<double>::quiet_NaN() : l, c, h, rC, cosD, sinD};
}

// The second half.
TINTWELL_INLINE double rotatedLane(const Weighted &w)
{
    const double distance = angleLane(w.cosD, w.sinD) * Degrees;
    const double rotation = 30.0 * expOfMinusLane((distance / 25.0) * (distance / 25.0));
    const bool rotated = (w.cosD > -0.17) & (distance < 85.0);
    const double dTheta = rotated ? rotation : 0.0;
    const double rT = -sinLane(2.0 * dTheta * Radians) * w.rC;
    return std::sqrt(w.l * w.l + w.c * w.c + w.h * w.h + rT * w.c * w.h);
}

} // namespace

TINTWELL_VECTOR_CLONES
void FromLinear(const double *__restrict red, const double *__restrict green, const double *__restrict blue,
                std::size_t count, double *__restrict L, double *__restrict a, double *__restrict b)
{
    for (std::size_t i = 0; i < count; ++i) {
        const double x = 0.4124564 * red[i] + 0.3575761 * green[i] + 0.1804375 * blue[i];
        const double y = 0.2126729 * red[i] + 0.7151522 * green[i] + 0.0721750 * blue[i];
        const double z = 0.0193339 * red[i] + 0.1191920 * green[i] + 0.9503041 * blue[i];
        const double fx = fLane(x * (1.0 / WhiteX));
        const double fy = fLane(y * (1.0 / WhiteY));
        const double fz = fLane(z * (1.0 / WhiteZ));
        L[i] = 116.0 * fy - 16.0;
        a[i] = 500.0 * (fx - fy);
        b[i] = 200.0 * (fy - fz);
    }
}

TINTWELL_VECTOR_CLONES
void Differences(LabColumns one, LabColumns two, std::size_t count, double *differences)
{
    constexpr std::size_t Chunk = 64;
    std::array<double, Chunk> l, c, h, rC, cosD, sinD;
    for (std::size_t first = 0; first < count; first += Chunk) {
        const std::size_t n = std::min(Chunk, count - first);
        const LabColumns p {one.L + first, one.a + first, one.b + first};
        const LabColumns q {two.L + first, two.a + first, two.b + first};
        for (std::size_t i = 0; i < n; ++i) {
            const Weighted w = weightedLane(p.L[i], p.a[i], p.b[i], q.L[i], q.a[i], q.b[i]);
            l[i] = w.l, c[i] = w.c, h[i] = w.h, rC[i] = w.rC, cosD[i] = w.cosD, sinD[i] = w.sinD;
        }
        for (std::size_t i = 0; i < n; ++i)
            differences[first + i] = rotatedLane({l[i], c[i], h[i], rC[i], cosD[i], sinD[i]});
    }
    // The few the fast formula leaves to the textbook.
    for (std::size_t i = 0; i < count; ++i)
        if (std::isnan(differences[i]))
            differences[i] = Difference({one.L[i], one.a[i], one.b[i]}, {two.L[i], two.a[i], two.b[i]});
}

} // namespace Ciede2000
