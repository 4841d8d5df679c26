#pragma once

// What a caller knows of the way a sheet took, in place of what fitting the
// steps to a capture would find: a recording's samples say how they were
// coded, and its tags how a player decodes them. A chain made from it
// (Chain(const Known &)) simulates and undoes just that.

#include "colour/Ycbcr.h"

#include <optional>

struct Known
{
    // Y'CbCr coded with one matrix and range, decoded with another.
    struct YcbcrPath
    {
        Ycbcr::Matrix coded = Ycbcr::Matrix::Bt709;
        Ycbcr::Range codedRange = Ycbcr::Range::Full;
        Ycbcr::Matrix decoded = Ycbcr::Matrix::Bt709;
        Ycbcr::Range decodedRange = Ycbcr::Range::Full;
    };
    std::optional<YcbcrPath> ycbcr;
    // R'G'B' levels coded in one range and read as the other.
    struct RgbRange
    {
        Ycbcr::Range coded = Ycbcr::Range::Full;
        Ycbcr::Range read = Ycbcr::Range::Full;
    };
    std::optional<RgbRange> rgb;
};
