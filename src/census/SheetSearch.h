#pragma once

// Finding a sheet inside a picture (a screenshot, a frame of a recording):
// the place of its top-left pixel and the integer scale (1 to 4, nearest
// neighbour) at which it is shown; or which of several sheets the picture
// shows, all of them searched in one pass over the picture.
//
// Every placement is first tried on a few sheet pixels: smooth places (away
// from tile edges, so that a lossy codec leaves them nearly as they were)
// whose colours are the rarest in the picture. One pass over the picture
// looks each pixel's colour up in a table saying which sheet, at which
// scale, could have one of its first two quick pixels there; only those
// placements are tried further, so almost none is. The few placements that
// pass are ranked by their squared error over many sheet pixels (all of them
// for a sheet of up to 65536), brightness weighing more than colour, moved
// downhill to the best neighbour, and finally to the neighbour with the
// smallest mean difference over every pixel of the area.
//
// A picture within a few pixels of a sheet's size whose 1:1 comparison is
// implausible (cropped a few pixels off) is searched for the sheet shifted
// by up to MaxShift pixels, partly outside the picture.

#include <QImage>

#include <vector>

namespace SheetSearch {

inline constexpr int MaxScale = 4;
inline constexpr int MaxShift = 16;

struct Placement
{
    // The sheet's top-left pixel in the picture; negative (or the sheet
    // reaching past the picture's right or bottom) for a shifted sheet.
    int x = 0;
    int y = 0;
    int scale = 1;
    // The mean channel difference over every picture pixel of the sheet's
    // area, in 8-bit levels.
    double error = 0;
    // False when no placement came close: the fields then describe the one
    // that came closest.
    bool plausible = false;
};

struct Match
{
    // Which of the sheets searched for; -1 when none could lie in the picture.
    int sheet = -1;
    Placement placement;
};

// A placement whose brightness differs from the sheet's by more than this
// on average over the ranking pixels (in 8-bit levels) is not taken for it.
inline constexpr double PlausibleError = 20.0;

// Searches `picture` (RGB32 or ARGB32) for each of `sheets` (RGB32,
// square) that fits in it at a scale, or is within MaxShift pixels of its
// size. Of the plausible placements the one with the smallest error wins
// (of equal ones, the larger area); when none is plausible, the closest.
Match FindAny(const QImage &picture, const std::vector<QImage> &sheets);

// Which of `sheets` lies at the given place best: the one with the smallest
// error among those that fit there inside the picture.
Match FindAt(const QImage &picture, const std::vector<QImage> &sheets, int x, int y, int scale);

// The same for one sheet.
Placement Find(const QImage &picture, const QImage &sheet);

} // namespace SheetSearch
