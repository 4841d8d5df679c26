#pragma once

// Nelder and Mead's simplex search for the least of a function of a few
// numbers: what fits a tone curve's white, peak and knee to a capture. No
// derivatives, so the curves' kinks and tables do not trouble it.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

namespace Minimise {

struct Found
{
    std::vector<double> at;
    double value = 0;
};

// From `start`, first steps of `step` along each axis, at most `rounds`
// evaluations.
template <typename F>
Found NelderMead(F &&f, std::vector<double> start, const std::vector<double> &step, int rounds = 400)
{
    const std::size_t n = start.size();
    if (n == 0)
        return {start, f(start)};
    std::vector<std::vector<double>> points(n + 1, start);
    std::vector<double> values(n + 1);
    for (std::size_t i = 0; i < n; ++i)
        points[i + 1][i] += step[i];
    for (std::size_t i = 0; i <= n; ++i)
        values[i] = f(points[i]);
    int used = int(n + 1);
    std::vector<std::size_t> order(n + 1);
    while (used < rounds) {
        for (std::size_t i = 0; i <= n; ++i)
            order[i] = i;
        std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return values[a] < values[b]; });
        const std::size_t best = order[0], worst = order[n], second = order[n - 1];
        // Done when the simplex has shrunk and its values agree: equal values
        // alone may be a flat stretch (a bound, a clipped curve).
        double size = 0;
        for (std::size_t i = 0; i <= n; ++i)
            for (std::size_t k = 0; k < n; ++k)
                size = std::max(size, std::abs(points[i][k] - points[best][k]));
        if (size < 1e-5 && std::abs(values[worst] - values[best]) <= 1e-9 * (std::abs(values[best]) + 1e-30))
            break;
        std::vector<double> centre(n, 0.0);
        for (std::size_t i = 0; i <= n; ++i)
            if (i != worst)
                for (std::size_t k = 0; k < n; ++k)
                    centre[k] += points[i][k] / double(n);
        const auto along = [&](double t) {
            std::vector<double> p(n);
            for (std::size_t k = 0; k < n; ++k)
                p[k] = centre[k] + t * (points[worst][k] - centre[k]);
            return p;
        };
        std::vector<double> reflected = along(-1);
        const double r = f(reflected);
        ++used;
        if (r < values[best]) {
            std::vector<double> expanded = along(-2);
            const double e = f(expanded);
            ++used;
            if (e < r) {
                points[worst] = expanded;
                values[worst] = e;
            } else {
                points[worst] = reflected;
                values[worst] = r;
            }
        } else if (r < values[second]) {
            points[worst] = reflected;
            values[worst] = r;
        } else {
            std::vector<double> contracted = along(r < values[worst] ? -0.5 : 0.5);
            const double c = f(contracted);
            ++used;
            if (c < std::min(r, values[worst])) {
                points[worst] = contracted;
                values[worst] = c;
            } else {
                for (std::size_t i = 0; i <= n; ++i) {
                    if (i == best)
                        continue;
                    for (std::size_t k = 0; k < n; ++k)
                        points[i][k] = points[best][k] + 0.5 * (points[i][k] - points[best][k]);
                    values[i] = f(points[i]);
                    ++used;
                }
            }
        }
    }
    const std::size_t best = std::size_t(std::min_element(values.begin(), values.end()) - values.begin());
    return {points[best], values[best]};
}

} // namespace Minimise
