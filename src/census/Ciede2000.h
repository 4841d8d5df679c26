#pragma once

// Colour difference as the eye sees it: sRGB (D65 white) to CIELAB, and the
// CIEDE2000 difference of two CIELAB colours with kL = kC = kH = 1.

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

// The difference of two colours given in linear light, the first taken as
// the reference: the same as Difference(FromLinear(one), FromLinear(two)),
// in one call the compiler can see through.
double DifferenceOfLinear(double red1, double green1, double blue1, double red2, double green2, double blue2);

} // namespace Ciede2000
