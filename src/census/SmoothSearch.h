#pragma once

// The sheet smoothly resampled (bilinear, bicubic, Lanczos; a recorder's
// 1920 -> 1280, a browser's zoom) by a factor from 0.5 to 4: where it lies
// and at what scale. The search's one pass records where the picture holds
// the colours of a few tile middles (hits); here hits of two different
// middles that lie as far apart as the middles do, at some scale and in the
// same direction, propose a placement; the proposals are checked on the
// middle of every tile, ranked on the tiles' insides and fitted to the
// picture's tile edges (TileEdges).

#include "census/SearchPixels.h"
#include "census/SheetSearch.h"

#include <QPoint>
#include <QPointF>

#include <optional>
#include <vector>

class QImage;
struct SheetGrid;

namespace SmoothSearch {

// How near a hit's colour must come to its middle's. Tighter than the
// whole-scale search's quick pixels: a hit stands for a place, and its
// colour says how near the place it lies.
inline constexpr SearchPixels::Tolerance HitTolerance {24, 32};
// The middles recorded for one sheet in one order.
inline constexpr std::size_t Triggers = 4;
// Hits beyond this many of one middle make it useless: it is not rare.
inline constexpr std::size_t MostHits = 1 << 14;

// How far inside its tile (in sheet pixels) a place must lie for a sheet
// resampled by `scale` to hold it as the sheet's own ramps: the reach of
// the widest common filter (Lanczos, 3 lobes, stretched when the sheet is
// made smaller) and half a pixel of chroma or codec blur beyond it.
double Margin(double scale);

// The middle of every tile of `sheet`, its colour in `order`.
std::vector<SearchPixels::Sample> Middles(const QImage &sheet, const SheetGrid &grid,
                                          const SheetSearch::ChannelOrder &order);

// What the pass recorded for one sheet in one order.
struct Hits
{
    SheetSearch::ChannelOrder order;
    std::vector<SearchPixels::Sample> middles;
    std::vector<std::size_t> chosen; // the middles recorded
    std::vector<std::vector<QPoint>> at; // where, for each chosen middle
};

// The best smooth placement of `sheet` the hits (of one order each) lead
// to, in the order that suits it best; none when no two hits agree on one.
// Its `error` is the mean channel difference over the tiles' insides
// against the sheet resampled.
std::optional<SheetSearch::Placement> Place(const QImage &picture, const QImage &sheet, const SheetGrid &grid,
                                            const std::vector<const Hits *> &orders);

// The sheet in `order` resampled by `scale`, its corner at `corner`,
// measured as Place() measures its proposals (none when too few of its
// tiles' insides lie in the picture).
std::optional<SheetSearch::Placement> At(const QImage &picture, const QImage &sheet, const SheetGrid &grid,
                                         const SheetSearch::ChannelOrder &order, double scale, QPointF corner);

} // namespace SmoothSearch
