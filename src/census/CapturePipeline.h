#pragma once

// One capture of a sheet, from the picture to its diagnosis: the sheet found
// in the picture (among candidates, at the place and scale the search finds
// or the caller knows), the matching sheet drawn, the capture's pixels where
// it lies measured against it, and the diagnosis of what happened on the
// way. The census of pictures and recordings, diagnose and the view all go
// this one way, with one rule for a sheet reaching past the picture's edge
// (what lies inside is measured and diagnosed; a place only one of them has
// differs) and one for a picture of a sheet's exact size in which the search
// finds nothing (it is that sheet, where it lies). Every stage works only on
// what it is given: it may run on any thread.

#include "census/ErrorMeasures.h"
#include "census/SheetSearch.h"
#include "diagnosis/Diagnosis.h"

#include <QImage>
#include <QRect>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace CapturePipeline {

// Where a sheet lies: its top-left pixel and the scale it is shown at.
struct Placement
{
    int x = 0;
    int y = 0;
    int scale = 1;
};

// A sheet the picture may show, drawn only when it could lie in the picture.
struct Candidate
{
    QString name;
    int side = 0;
    // The sheet (RGB32); null when there is not the memory for it.
    std::function<QImage()> draw;
};

// Which sheet to look for, and where when the caller knows.
struct Wanted
{
    // The sheet (RGB32); null: whichever of `anyOf` the picture shows.
    QImage sheet;
    std::vector<Candidate> anyOf;
    // Where the sheet lies, as the user says: no search, and it must fit.
    std::optional<Placement> at;
};

enum class Outcome { Found, NotFound, Failed };

struct Found
{
    Outcome outcome = Outcome::NotFound;
    // The candidate's name; empty for a sheet given.
    QString name;
    QImage sheet;
    Placement place;
    // The sheet's area in the picture, reaching past it for a sheet cropped
    // off, and the part of the picture counted: the area inside the picture,
    // or the whole picture when the sheet is compared with it as it is.
    QRect area;
    QRect counted;
    // Taken for the sheet of the picture's own size, the search having found none.
    bool bySize = false;
    // Not found: the placement that came closest and its sheet's name; none
    // when every sheet is larger than the picture.
    std::optional<SheetSearch::Placement> closest;
    QString closestName;
    // Failed: why, naming the picture.
    QString error;
};

// Finds the sheet in `picture` (RGB32 or ARGB32), or takes it where
// `wanted.at` says; `shownName` names the picture in errors.
Found Find(const QImage &picture, const Wanted &wanted, const QString &shownName);

// A sheet already found (by the view): the same as Find's answer, no search.
Found At(const QImage &picture, const QImage &sheet, const QString &name, Placement place);

// The counted part of `picture` (any depth) measured against the sheet.
struct Measured
{
    ErrorMeasures measures;
    // The part of the picture both have, and the part of the sheet it shows.
    QRect overlap;
    QImage compared;
    // Places only one of them has: every one differs.
    std::int64_t onlyOne = 0;
};
Measured Measure(const QImage &picture, const Found &found, std::vector<std::uint16_t> *worst = nullptr);
// The same parts, not measured (for a caller that measures its own way).
Measured Overlap(const Found &found);

// The sheet's area of `picture` (8 or 16 bits) at the sheet's size, one
// picture pixel a sheet pixel (the middle one of each block at a scale), and
// the part of the sheet it shows: the part inside the picture.
struct Aligned
{
    QImage capture;
    QImage sheet;
};
Aligned Align(const QImage &picture, const Found &found);

// What happened to the sheet on its way into the capture. `measured`: the
// measures of a 1:1 capture, when the caller has them already.
Diagnosis::Result Diagnose(const QImage &picture, const Found &found, const Measured *measured = nullptr);

// The sheet's area of `picture` graded with `table` (a diagnosis's fix),
// measured against the sheet.
ErrorMeasures MeasureFixed(const QImage &picture, const Found &found, const LutTable &table);

} // namespace CapturePipeline
