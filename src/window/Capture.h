#pragma once

// A capture opened in the view: a picture (a screenshot, a frame of a
// recording), where the sheet lies in it, found as the census finds it, the
// sheet of its mode drawn in memory, and what comparing the two gives: the
// census lines, the picture of the differences, and for every channel how
// each level of the sheet came back (a 256 x 256 count and the mean per
// level). Everything the view shows of a capture is made here once, when it
// is opened; the view then only blits.
//
// The sheet's area of the capture is shown "aligned": sheet-sized, one
// capture pixel per sheet pixel (the middle pixel of each block at a scale).

#include "generation/Sheets.h"
#include "census/CensusReport.h"
#include "video/VideoFrames.h"
#include "picture/PictureReader.h"

#include <QImage>
#include <QPoint>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

// How one channel's levels came back.
struct ToneCurve
{
    static constexpr int Levels = 256;
    // counts[sheetLevel * Levels + capturedLevel]: how many capture pixels
    // showing a sheet pixel of that level have that level.
    std::vector<std::uint32_t> counts = std::vector<std::uint32_t>(Levels * Levels, 0);
    // The mean captured level of each sheet level; none where the sheet
    // does not hold the level.
    std::array<std::optional<double>, Levels> mean;
    // What the steps a diagnosis found make of each sheet level (the mean
    // over the sheet put through them); empty without a diagnosis.
    std::array<std::optional<double>, Levels> fitted;
};

// What takes long to find out about a capture: its census and diagnosis as
// the commands print them, and the diagnosis's fitted curves.
struct CaptureResults
{
    QStringList census;
    QStringList diagnosis;
    std::array<std::array<std::optional<double>, ToneCurve::Levels>, 3> fitted;
};

class Capture
{
public:
    // Reads `fileName`, finds the sheet and compares it pixel by pixel;
    // none when it cannot be read, with `reason` saying why. The census and
    // the diagnosis are left to examination().
    // A recording's frames are shown as `player` shows them.
    static std::unique_ptr<Capture> Open(const QString &fileName, QString &reason,
                                         VideoFrames::Player player = VideoFrames::Player::Default);
    // A recording's first frame that holds a sheet, among its first
    // FramesSearched frames.
    static std::unique_ptr<Capture> OpenRecording(const QString &fileName, QString &reason,
                                                  VideoFrames::Player player = VideoFrames::Player::Default);
    static constexpr int FramesSearched = 300;
    // The same for a picture already read; `fileName` names it.
    static std::unique_ptr<Capture> Measure(const PictureReader::Picture &picture, const QString &fileName,
                                            QString &reason);

    Capture(const Capture &) = delete;
    Capture &operator=(const Capture &) = delete;

    const QString &fileName() const { return fileName_; }
    // The file's name without its folder, for titles.
    QString shownName() const;

    // The sheet's mode; none when the picture holds no sheet.
    std::optional<Mode> mode() const { return mode_; }
    QPoint offset() const { return offset_; }
    int scale() const { return scale_; }

    // Sheet-sized pictures, one pixel per sheet pixel: the sheet, the
    // capture's pixels there, and the differences in grey. Without a sheet,
    // `captured` is the whole picture and the others are null.
    const QImage &sheet() const { return sheet_; }
    const QImage &captured() const { return captured_; }
    const QImage &difference() const { return difference_; }
    // What one grey level of the difference stands for, as census --diff says it.
    const QString &differenceScale() const { return differenceScale_; }

    // What the search answered when no sheet was found.
    const QString &searchAnswer() const { return searchAnswer_; }
    // How a recording's frames are shown, as census's shown: line says it;
    // empty for a picture.
    const QString &shown() const { return shown_; }
    // The census and the diagnosis, which take a second or more for a large
    // sheet: a task for another thread that shares nothing with this
    // object, and where its results go.
    std::function<CaptureResults()> examination() const;
    void takeResults(const CaptureResults &results);
    bool examined() const { return examined_; }

    // The census of the capture, as the command prints it.
    const QStringList &censusLines() const { return censusLines_; }
    // The diagnosis of the capture, as the command prints it; empty when
    // there is none.
    const QStringList &diagnosisLines() const { return diagnosisLines_; }
    const std::array<ToneCurve, 3> &curves() const { return curves_; }

    // The CIEDE2000 difference of the captured pixel from the sheet's at a
    // sheet pixel (the sheet's as the reference).
    double de2000At(QPoint pixel) const;

private:
    // The sheets that could lie in a picture of `size`, drawn once for all
    // the frames of a recording.
    struct Candidates
    {
        QSize size;
        std::vector<QImage> drawn;
        std::vector<CensusReport::Candidate> named;
    };
    static Candidates CandidatesFor(QSize size);
    static std::unique_ptr<Capture> Measure(const PictureReader::Picture &picture, const QString &fileName,
                                            const Candidates &candidates, QString &reason);

    Capture() = default;
    void alignCaptured();
    void compare();

    QString fileName_;
    PictureReader::Picture read_;
    QImage picture_;
    std::optional<Mode> mode_;
    QPoint offset_;
    int scale_ = 1;
    QImage sheet_;
    QImage captured_;
    QImage difference_;
    QString differenceScale_;
    QString searchAnswer_;
    QString shown_;
    QStringList censusLines_;
    QStringList diagnosisLines_;
    std::array<ToneCurve, 3> curves_;
    // The sheets the census is taken over: the one found, or every one
    // searched for when none was.
    std::vector<CensusReport::Candidate> candidates_;
    bool examined_ = false;
};
