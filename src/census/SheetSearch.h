#pragma once

// Finding a sheet inside a picture (a screenshot, a frame of a recording):
// the place of its top-left pixel, the scale at which it is shown and the
// order its channels came back in; or which of several sheets the picture
// shows, all of them searched in one pass over the picture.
//
// Every placement is first tried on a few sheet pixels: smooth places (away
// from tile edges, so that a lossy codec leaves them nearly as they were)
// whose colours are the rarest in the picture, in each of the six channel
// orders. One pass over the picture looks each pixel's colour up in a table
// saying which sheet, in which order, could have one of its first two quick
// pixels there (tried then at every whole scale from 1 to 4), or one of the
// colours at the middle of its tiles (kept as hits for the smooth search);
// only those placements are tried further, so almost none is. The few that
// pass are ranked by how much of the picture's colours a curve per channel
// of the sheet's colours leaves unexplained, so that a capture whose colours
// changed is ranked by its tiles rather than by how near its colours stayed;
// the best is then moved, within a few pixels, to where the sheet's tile
// edges meet the picture's sharpest steps: a lossy codec and a tone curve
// shift colours, never edges.
//
// When no whole scale is plausible (or a scale of 2 to 4 shows blurred tile
// edges), the picture is searched for the sheet smoothly resampled by any
// factor from 0.5 to 4: two hits of different tile middles give a scale and
// a place, checked on the middles of every tile and then fitted to the tile
// edges found in the picture (a straight line through their positions).
//
// A picture within a few pixels of a sheet's size whose 1:1 comparison is
// implausible (cropped a few pixels off) is searched for the sheet shifted
// by up to MaxShift pixels, partly outside the picture.

#include <QImage>
#include <QPointF>
#include <QRect>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace SheetSearch {

inline constexpr int MaxScale = 4;
inline constexpr int MaxShift = 16;
// The factors a smoothly resampled sheet is searched at.
inline constexpr double SmallestSmoothScale = 0.5;
inline constexpr double LargestSmoothScale = 4.0;

// Capture channel c (red, green, blue) holds sheet channel order[c]: {2, 1, 0}
// is a capture in BGR order.
using ChannelOrder = std::array<int, 3>;
inline constexpr ChannelOrder SameOrder {0, 1, 2};
// Every order, the sheet's own first.
inline constexpr std::array<ChannelOrder, 6> ChannelOrders {
    {{0, 1, 2}, {2, 1, 0}, {1, 0, 2}, {0, 2, 1}, {1, 2, 0}, {2, 0, 1}}};

// A sheet colour (0xRRGGBB) as a capture in `order` holds it.
std::uint32_t InOrder(std::uint32_t rgb, const ChannelOrder &order);
// "RGB", "BGR", ...: which sheet channel each capture channel holds.
QString OrderName(const ChannelOrder &order);

struct Placement
{
    // The sheet's top-left pixel in the picture; negative (or the sheet
    // reaching past the picture's right or bottom) for a shifted sheet.
    // Of a smooth placement, the picture pixel holding the sheet's corner.
    int x = 0;
    int y = 0;
    // A whole scale, nearest neighbour (1 for a smooth placement).
    int scale = 1;
    // The mean channel difference over every picture pixel of the sheet's
    // area (of a smooth placement: over the tiles' insides against the sheet
    // resampled), in 8-bit levels, against the sheet in `order`.
    double error = 0;
    // False when no placement came close: the fields then describe the one
    // that came closest.
    bool plausible = false;
    ChannelOrder order = SameOrder;
    // The share of the capture's colours inside the tiles that a smooth
    // curve per channel of the sheet's (in `order`) leaves unexplained:
    // near 0 for the sheet whatever its tone curve or range, higher for
    // another sheet however near its colours come. And the share any curve
    // at all leaves: a codec's noise, which another sheet that tells the
    // same levels apart (1million made half as large, 256killo in another
    // order) leaves as small; what a smooth curve leaves beyond it, it
    // does not.
    double unexplained = 1;
    double noise = 1;
    // Smoothly resampled: picture pixels a sheet pixel, and where the
    // sheet's top-left corner lies in the picture (picture pixel X covers
    // X to X + 1): sheet position u lies at corner + smoothScale * u.
    bool smooth = false;
    double smoothScale = 1;
    QPointF corner;

    // The picture pixels the sheet of `side` pixels covers (of a smooth
    // placement, every pixel it touches).
    QRect area(int side) const;
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

// Whether a picture of `size` may hold a sheet of `side` pixels: 1:1,
// shifted partly outside, or smoothly made smaller.
bool MayHold(QSize size, int side);

// Searches `picture` (RGB32 or ARGB32) for each of `sheets` (RGB32,
// square) that fits in it at a scale, or is within MaxShift pixels of its
// size, in every channel order. Of the plausible placements the one with
// the smallest error wins (of equal ones, the larger area); when none is
// plausible, the closest.
Match FindAny(const QImage &picture, const std::vector<QImage> &sheets);

// Which of `sheets` lies at the given place best, and in which channel
// order: the one with the smallest error among those that fit there inside
// the picture.
Match FindAt(const QImage &picture, const std::vector<QImage> &sheets, int x, int y, int scale);

// The same for one sheet.
Placement Find(const QImage &picture, const QImage &sheet);

} // namespace SheetSearch
