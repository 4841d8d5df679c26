#pragma once

// The .cube look-up table file (Adobe's and Resolve's): keywords, then the
// table's data lines of three numbers, red changing fastest.
//
// The reader is strict and does not depend on the locale: numbers are read
// in the C form only ("0.5", "-1e-3"; never "0,5"), every keyword may stand
// once, the data must match the sizes exactly, and anything else is an error
// naming the line (counted from 1). It reads LUT_3D_SIZE (2 to 256),
// LUT_1D_SIZE (a curve per channel; followed by a 3D table when both are
// given, as Resolve writes them), TITLE, DOMAIN_MIN and DOMAIN_MAX (the input
// range: an input is mapped from it onto the table and held at its ends, as
// OpenColorIO does) and Resolve's LUT_1D_INPUT_RANGE / LUT_3D_INPUT_RANGE.
// Blank lines and lines starting with '#' are skipped; CR LF endings are read.
//
// The writer writes what every reader agrees on: TITLE, LUT_3D_SIZE (and
// LUT_1D_SIZE before it for a shaper), the data in the C form, LF endings,
// no DOMAIN lines.

#include "lut/ColourLut.h"

#include <QByteArray>
#include <QString>

class QIODevice;

namespace CubeFile {

// The largest 3D and 1D sizes read: the 3D table then takes 200 MB.
inline constexpr int Largest3dSize = 256;
inline constexpr int Largest1dSize = 65536;

struct ReadError
{
    int line = 0; // counted from 1
    QString what;
};

// Reads a whole .cube file's bytes into `lut`. On failure returns false and
// fills `error`; nothing is allocated beyond what the bytes can hold.
bool Read(const QByteArray &bytes, ColourLut &lut, ReadError &error);

// The largest .cube file read, in bytes: LUT_3D_SIZE 256 written generously.
inline constexpr qint64 LargestFile = qint64(1) << 30;

// Reads the .cube file `fileName`. On failure returns false and sets `error`
// to one sentence: "FILE: line N: what is wrong: 'the line'", or the reason
// the file could not be read.
bool ReadFile(const QString &fileName, ColourLut &lut, QString &error);

// Writes `table` (its axes even from 0 to 1, the same size on all three) as a
// .cube file titled `title`. On failure returns false and sets `reason`.
bool Write(const LutTable &table, const QString &title, QIODevice &device, QString &reason);
// The same for a table with a curve per channel before it (a shaper), as
// Resolve writes them: LUT_1D_SIZE and LUT_3D_SIZE, the curves' data, the
// table's. Every axis runs from 0 to 1.
bool Write(const ColourLut &lut, const QString &title, QIODevice &device, QString &reason);

} // namespace CubeFile
