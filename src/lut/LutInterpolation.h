#pragma once

// The arithmetic of a colour look-up table, shared by every kind of table
// (a .cube file's lattice, a HaldCLUT, an edited sheet read in place): where
// an input value falls on a channel's grid of levels, the three ways to
// interpolate between the nodes around it. Plain C++; a table hands in its nodes through
// an accessor `at(red, green, blue)` that returns a LutRgb.

#include "picture/RowBands.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

struct LutRgb
{
    float r = 0;
    float g = 0;
    float b = 0;
};

enum class Interpolation { Tetrahedral, Trilinear, Nearest };

// Where an input lies on a grid: between level `index` and `index + 1`, at
// `fraction` of the way (below 0 or above 1 when it lies beyond the grid and
// the grid extrapolates).
struct LutCell
{
    int index = 0;
    float fraction = 0;
};

// One channel's grid: the input values of its levels, ascending, at least two.
// Inputs beyond the outermost levels are either held at them (a .cube file's
// domain) or extrapolated linearly from the two outermost levels (a sheet,
// whose levels may stop short of 0 or 1).
struct LutAxis
{
    std::vector<double> levels;
    bool extrapolate = false;

    // `count` evenly spaced levels from `low` to `high`.
    static LutAxis Even(int count, double low = 0.0, double high = 1.0)
    {
        LutAxis axis;
        axis.levels.resize(std::size_t(count));
        for (int i = 0; i < count; ++i)
            axis.levels[std::size_t(i)] = i == count - 1 ? high : low + (high - low) * i / (count - 1);
        return axis;
    }

    int size() const { return int(levels.size()); }

    LutCell locate(double input) const
    {
        const int last = size() - 1;
        int index;
        if (!(input > levels.front())) { // NaN too
            index = 0;
            if (!extrapolate)
                return {0, 0.0f};
        } else if (input >= levels.back()) {
            index = last - 1;
            if (!extrapolate)
                return {index, 1.0f};
        } else {
            index = int(std::upper_bound(levels.begin(), levels.end(), input) - levels.begin()) - 1;
        }
        const double low = levels[std::size_t(index)];
        const double high = levels[std::size_t(index) + 1];
        return {index, float((input - low) / (high - low))};
    }
};

// The per-pixel arithmetic is inlined into each picture loop.
#define LUT_INLINE [[gnu::always_inline]] inline

namespace LutMath {

LUT_INLINE LutRgb mix(const LutRgb &a, float wa, const LutRgb &b, float wb)
{
    return {a.r * wa + b.r * wb, a.g * wa + b.g * wb, a.b * wa + b.b * wb};
}

LUT_INLINE void add(LutRgb &sum, const LutRgb &c, float w)
{
    sum.r += c.r * w;
    sum.g += c.g * w;
    sum.b += c.b * w;
}

// The cube of nodes around (r, g, b) split into six tetrahedra along its
// diagonal; the one holding the point interpolates it (as ffmpeg's and
// OpenColorIO's tetrahedral interpolation do).
template <typename Nodes>
LUT_INLINE LutRgb Tetrahedral(const Nodes &nodes, LutCell r, LutCell g, LutCell b)
{
    const int i = r.index, j = g.index, k = b.index;
    const float fr = r.fraction, fg = g.fraction, fb = b.fraction;
    const LutRgb c000 = nodes.at(i, j, k);
    const LutRgb c111 = nodes.at(i + 1, j + 1, k + 1);
    LutRgb c;
    if (fr > fg) {
        if (fg > fb) {
            c = mix(c000, 1 - fr, c111, fb);
            add(c, nodes.at(i + 1, j, k), fr - fg);
            add(c, nodes.at(i + 1, j + 1, k), fg - fb);
        } else if (fr > fb) {
            c = mix(c000, 1 - fr, c111, fg);
            add(c, nodes.at(i + 1, j, k), fr - fb);
            add(c, nodes.at(i + 1, j, k + 1), fb - fg);
        } else {
            c = mix(c000, 1 - fb, c111, fg);
            add(c, nodes.at(i, j, k + 1), fb - fr);
            add(c, nodes.at(i + 1, j, k + 1), fr - fg);
        }
    } else {
        if (fb > fg) {
            c = mix(c000, 1 - fb, c111, fr);
            add(c, nodes.at(i, j, k + 1), fb - fg);
            add(c, nodes.at(i, j + 1, k + 1), fg - fr);
        } else if (fb > fr) {
            c = mix(c000, 1 - fg, c111, fr);
            add(c, nodes.at(i, j + 1, k), fg - fb);
            add(c, nodes.at(i, j + 1, k + 1), fb - fr);
        } else {
            c = mix(c000, 1 - fg, c111, fb);
            add(c, nodes.at(i, j + 1, k), fg - fr);
            add(c, nodes.at(i + 1, j + 1, k), fr - fb);
        }
    }
    return c;
}

template <typename Nodes>
LUT_INLINE LutRgb Trilinear(const Nodes &nodes, LutCell r, LutCell g, LutCell b)
{
    const int i = r.index, j = g.index, k = b.index;
    const float fr = r.fraction, fg = g.fraction, fb = b.fraction;
    const LutRgb c00 = mix(nodes.at(i, j, k), 1 - fr, nodes.at(i + 1, j, k), fr);
    const LutRgb c10 = mix(nodes.at(i, j + 1, k), 1 - fr, nodes.at(i + 1, j + 1, k), fr);
    const LutRgb c01 = mix(nodes.at(i, j, k + 1), 1 - fr, nodes.at(i + 1, j, k + 1), fr);
    const LutRgb c11 = mix(nodes.at(i, j + 1, k + 1), 1 - fr, nodes.at(i + 1, j + 1, k + 1), fr);
    return mix(mix(c00, 1 - fg, c10, fg), 1 - fb, mix(c01, 1 - fg, c11, fg), fb);
}

// The nearest node; a point beyond the grid takes its outermost node.
LUT_INLINE int NearestIndex(LutCell cell)
{
    return cell.index + (cell.fraction >= 0.5f ? 1 : 0);
}

template <typename Nodes>
LUT_INLINE LutRgb Nearest(const Nodes &nodes, LutCell r, LutCell g, LutCell b)
{
    return nodes.at(NearestIndex(r), NearestIndex(g), NearestIndex(b));
}

template <typename Nodes>
LutRgb Interpolate(Interpolation method, const Nodes &nodes, LutCell r, LutCell g, LutCell b)
{
    switch (method) {
    case Interpolation::Trilinear:
        return Trilinear(nodes, r, g, b);
    case Interpolation::Nearest:
        return Nearest(nodes, r, g, b);
    case Interpolation::Tetrahedral:
        break;
    }
    return Tetrahedral(nodes, r, g, b);
}

// A value of 0..1 as an integer of 0..maximum, rounded to the nearest.
LUT_INLINE int Quantise(float value, int maximum)
{
    const float scaled = value * float(maximum);
    if (!(scaled > 0.0f)) // NaN too
        return 0;
    if (scaled >= float(maximum))
        return maximum;
    return int(scaled + 0.5f);
}

} // namespace LutMath
