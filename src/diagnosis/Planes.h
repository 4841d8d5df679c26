#pragma once

// What the diagnosis steps work on: a picture as three planes of floats with
// a tag saying what they hold, and one colour on its way through the steps.
// A step declares the domain it takes and the one it gives; the chain brings
// the values to each step in its domain.

#include <array>
#include <cstddef>
#include <vector>

enum class Domain {
    Signal, // R'G'B' as pictures store them, 0 to 1
    Ycbcr,  // Y'CbCr codes divided by 255
};

struct Planes
{
    int width = 0;
    int height = 0;
    Domain domain = Domain::Signal;
    std::array<std::vector<float>, 3> plane;

    Planes() = default;
    Planes(int w, int h, Domain d)
        : width(w)
        , height(h)
        , domain(d)
    {
        for (auto &p : plane)
            p.resize(std::size_t(w) * std::size_t(h));
    }
    std::size_t size() const { return plane[0].size(); }
};

// One colour on its way through the steps, channels from 0 to 1 in the
// domain of the step it reaches, and about it (`around`) the colour as a
// lower chroma resolution blurs it (the colour itself where nothing blurs).
// A step that acts on each colour alone acts on both.
struct Swatch
{
    std::array<double, 3> value {};
    std::array<double, 3> around {};

    static Swatch Of(const std::array<double, 3> &v) { return {v, v}; }
};
