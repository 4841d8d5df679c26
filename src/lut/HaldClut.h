#pragma once

// HaldCLUT pictures: a 3D table of L² levels a channel laid out as an
// L³ x L³ picture, node after node along the rows, red changing fastest,
// then green, then blue (the layout of ImageMagick's hald: and ffmpeg's
// haldclut). The levels are even from 0 to 1.

#include "lut/ColourLut.h"

#include <QString>


namespace HaldClut {

inline constexpr int SmallestLevel = 2;
inline constexpr int LargestLevel = 16;

// The level L of a HaldCLUT `side` pixels wide and high; 0 when none is.
int LevelOfSide(int side);

// Reads the table a HaldCLUT picture holds (8 or 16 bits a channel). On
// failure returns false and sets `reason`.
bool FromPicture(const QImage &picture, LutTable &table, QString &reason);

// The HaldCLUT picture of `table`, whose axes have L² levels: 16 bits a
// channel (RGBX64) below level 16, where 8 bits would move an identity by a
// level in places; 8 bits (RGB32) at level 16, whose nodes are the 256 8-bit
// levels. A null picture when there is no memory.
QImage ToPicture(const LutTable &table);

} // namespace HaldClut
