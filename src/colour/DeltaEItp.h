#pragma once

// ΔE_ITP (ITU-R BT.2124): the difference between two colours of light as
// HDR is judged, where CIEDE2000 stops at diffuse white. Colours go through
// BT.2100's ICtCp (linear BT.2020 light in cd/m² to LMS, PQ, then the ICtCp
// matrix); T is half of Ct, P is Cp, and
//   ΔE_ITP = 720 * sqrt(ΔI² + ΔT² + ΔP²),
// scaled so that 1 is about a just-noticeable difference.

#include <array>

namespace DeltaEItp {

struct Ictcp
{
    double i = 0;
    double ct = 0;
    double cp = 0;
};

// Linear BT.2020 RGB in cd/m² to ICtCp (PQ-based).
Ictcp FromBt2020Nits(const std::array<double, 3> &nits);

double Between(const Ictcp &one, const Ictcp &two);

inline double Between(const std::array<double, 3> &oneNits, const std::array<double, 3> &twoNits)
{
    return Between(FromBt2020Nits(oneNits), FromBt2020Nits(twoNits));
}

} // namespace DeltaEItp
