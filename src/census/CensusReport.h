#pragma once

// The census of one picture: its size and colours and, given a sheet, how
// far it is from it and, when asked, what happened to it on the way. The
// sheet is found, measured and diagnosed by the capture pipeline, and
// everything after the finding concerns the sheet's area only.

#include "census/CapturePipeline.h"
#include "census/ErrorMeasures.h"
#include "facts/Facts.h"
#include "picture/PictureReader.h"
#include "platform/PictureFile.h"

#include <QImage>
#include <QRect>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

namespace CensusReport {

using Placement = CapturePipeline::Placement;
using Candidate = CapturePipeline::Candidate;

struct Request
{
    // The sheet to compare with (RGB32); null: only count, unless
    // `anyOf` names the sheets to find the picture's among.
    QImage sheet;
    std::vector<Candidate> anyOf;
    // Where the sheet lies, when the user says so.
    std::optional<Placement> at;
    // The sheet already found where it lies (the view's): no search.
    std::optional<CapturePipeline::Found> found;
    // Diagnose the capture too.
    bool diagnose = false;
    // Where to write the picture of the differences, and in which format;
    // empty: nowhere.
    QString diffFile;
    PictureFile::Format diffFormat = PictureFile::Format::Png;
    // How many of the sheet's colours the picture lacks to list.
    int missingListed = 0;
    // How many of the places with the largest CIEDE2000 difference to list.
    int worstListed = 0;
};

enum class Outcome { Matches, Differs, Failed };

struct Result
{
    // What the census found, and the same as `name: value` lines.
    Facts facts;
    QStringList lines;
    // Matches: the picture is the sheet (or was only counted).
    Outcome outcome = Outcome::Matches;
    // The error, one sentence naming the file, when the census failed.
    QString error;
    // When the picture was compared: the picture, the sheet it was compared
    // with, the sheet's area in it (reaching beyond the picture for a sheet
    // cropped off), its scale and the measures, for a caller that goes on to
    // look closer (diagnose).
    QImage picture;
    QImage sheet;
    QRect sheetArea;
    int scale = 1;
    ErrorMeasures measures;
    // Where and how the sheet was found.
    CapturePipeline::Found found;
    // When asked for and the sheet was found: what happened to it.
    std::optional<Diagnosis::Result> diagnosis;
};

// Reads `fileName` ("-": standard input) and takes its census.
Result Run(const QString &fileName, const Request &request);
// The census of a picture already read (a frame of a recording, the picture
// a view shows); `shownName` names it in the error messages.
Result Run(const PictureReader::Picture &picture, const QString &shownName, const Request &request);

} // namespace CensusReport
