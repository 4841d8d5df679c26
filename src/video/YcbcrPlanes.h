#pragma once

// A sheet as the Y'CbCr samples a test disc stores: each R'G'B' pixel
// encoded with the chosen matrix and range to the chosen depth, rounded to
// the nearest code; where chroma is shared, it is sited as MPEG sites it
// (across: on the left pixel of each pair, filtered 1-2-1; down: between the
// two rows, their mean).

#include "video/VideoFrames.h"

#include <cstdint>
#include <vector>

namespace YcbcrPlanes {

struct Planes
{
    int width = 0;
    int height = 0;
    int chromaWidth = 0;
    int chromaHeight = 0;
    // Codes from 0 to 2^bits - 1, rows one after another.
    std::vector<std::uint16_t> y;
    std::vector<std::uint16_t> cb;
    std::vector<std::uint16_t> cr;
};

// `sheet` is RGB32; the recipe's tags play no part.
Planes Make(const QImage &sheet, const VideoFrames::YcbcrRecipe &recipe);

} // namespace YcbcrPlanes
