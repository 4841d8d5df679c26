#include "colour/DeltaEItp.h"

#include "colour/TransferFunctions.h"

#include <cmath>

namespace DeltaEItp {

Ictcp FromBt2020Nits(const std::array<double, 3> &nits)
{
    // BT.2100 Table 6, in its own integers over 4096.
    const auto row = [&](double r, double g, double b) {
        return TransferFunctions::NitsToPq((r * nits[0] + g * nits[1] + b * nits[2]) / 4096);
    };
    const double l = row(1688, 2146, 262);
    const double m = row(683, 2951, 462);
    const double s = row(99, 309, 3688);
    return {0.5 * l + 0.5 * m, (6610 * l - 13613 * m + 7003 * s) / 4096, (17933 * l - 17390 * m - 543 * s) / 4096};
}

double Between(const Ictcp &one, const Ictcp &two)
{
    const double di = one.i - two.i;
    const double dt = 0.5 * (one.ct - two.ct);
    const double dp = one.cp - two.cp;
    return 720 * std::sqrt(di * di + dt * dt + dp * dp);
}

} // namespace DeltaEItp
