#pragma once

// Colour difference as the eye sees it: sRGB (D65 white) to CIELAB, and the
// CIEDE2000 difference of two CIELAB colours with kL = kC = kH = 1. Each comes
// for one colour and, for many, as a batch over arrays that the compiler works
// on several at a time (four doubles where the processor has AVX2).

#include <cstddef>

namespace Ciede2000 {

struct Lab
{
    double L = 0;
    double a = 0;
    double b = 0;
};

// An sRGB colour whose channels run from 0 to 1 (gamma-encoded, as stored).
Lab FromSrgb(double red, double green, double blue);

// The same from linear-light channels (0 to 1), for callers that keep a
// table of the decoding.
Lab FromLinear(double red, double green, double blue);

// The sRGB decoding of one channel value from 0 to 1.
double Linear(double encoded);

double Difference(const Lab &one, const Lab &two);

// The formula step by step as published, hue angles and all: the yardstick
// the faster forms are held to.
double TextbookDifference(const Lab &one, const Lab &two);

// The difference of two colours given in linear light, the first taken as
// the reference: the same as Difference(FromLinear(one), FromLinear(two)),
// in one call the compiler can see through.
double DifferenceOfLinear(double red1, double green1, double blue1, double red2, double green2, double blue2);

// Colours side by side, one array a coordinate.
struct LabColumns
{
    const double *L = nullptr;
    const double *a = nullptr;
    const double *b = nullptr;
};

// FromLinear for `count` colours whose linear-light channels (0 to 1) are
// red[i], green[i], blue[i]; their CIELAB goes to L[i], a[i], b[i]. No two
// of the arrays overlap.
void FromLinear(const double *red, const double *green, const double *blue, std::size_t count, double *L, double *a,
                double *b);

// Difference(one[i], two[i]) for `count` pairs into differences[i], within
// 1e-8 of the single form.
void Differences(LabColumns one, LabColumns two, std::size_t count, double *differences);

} // namespace Ciede2000
