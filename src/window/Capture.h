#pragma once

// A capture opened in the view: a picture (a screenshot, a frame of a
// recording), where the sheet lies in it, found as the census finds it, the
// sheet of its mode drawn in memory, and what comparing the two gives: the
// picture of the differences and for every channel how each level of the
// sheet came back in the tiles' interiors. What takes long (the diagnosis
// with its verdict and the capture through its fix, then the census) is a
// task for another thread, whose results come back in that order.
//
// The sheet's area of the capture is shown "aligned": sheet-sized, one
// capture pixel per sheet pixel (the middle pixel of each block at a scale).

#include "census/CapturePipeline.h"
#include "census/CensusReport.h"
#include "census/VideoCensus.h"
#include "generation/Sheets.h"
#include "picture/PictureReader.h"
#include "video/StoredData.h"
#include "video/VideoFrames.h"

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

template<typename T>
class QPromise;

// How one channel's levels came back, in the tiles' interiors: the pixels
// at a tile's edge, where chroma subsampling and scaling blur mix in the
// neighbouring tile, are left out.
struct ToneCurve
{
    static constexpr int Levels = 256;
    // A capture pixel counts when it lies this many capture pixels or more
    // inside its tile (and the sheet).
    static constexpr int EdgeLeftOut = 4;
    // counts[sheetLevel * Levels + capturedLevel]: how many capture pixels
    // showing a sheet pixel of that level have that level.
    std::vector<std::uint32_t> counts = std::vector<std::uint32_t>(Levels * Levels, 0);
    // Whether the sheet holds the level, and how many capture pixels inside
    // the tiles show it.
    std::array<bool, Levels> held {};
    std::array<std::uint32_t, Levels> samples {};
    // The mean captured level of each sheet level; none where no pixel of
    // the level lies inside a tile.
    std::array<std::optional<double>, Levels> mean;
    // What the steps a diagnosis found make of each sheet level (the mean
    // over the sheet put through them); empty without a diagnosis.
    std::array<std::optional<double>, Levels> fitted;
};

// What a diagnosis says at a glance.
struct Verdict
{
    enum class Kind {
        Right,       // no step between the sheet and the capture, only noise if anything
        FaultNamed,  // steps named that explain the capture
        Unexplained, // even the steps found leave the capture far from the sheet
    };
    Kind kind = Kind::Right;
    // The steps, as the diagnosis prints them ("range: limited read as full").
    QStringList steps;
    bool exact = false;
    // Mean dE2000 of the capture against the sheet, and against the sheet
    // put through the steps.
    double before = 0;
    double after = 0;
};

// What takes long to find out about a capture. The diagnosis comes first
// (`complete` false), then everything with the census.
struct CaptureResults
{
    bool complete = false;
    QStringList census;
    QStringList diagnosis;
    std::optional<Verdict> verdict;
    // The capture's sheet area through the table diagnose --fix writes.
    QImage fixed;
    std::array<std::array<std::optional<double>, ToneCurve::Levels>, 3> fitted;
    // A recording's census over its frames: each frame measured, the worst.
    std::vector<VideoCensus::FrameMeasure> frames;
    std::int64_t worstFrame = -1;
};

class Capture
{
public:
    // Reads `fileName`, finds the sheet and compares it pixel by pixel;
    // none when it cannot be read, with `reason` saying why. A recording's
    // frames are shown as `player` shows them.
    static std::unique_ptr<Capture> Open(const QString &fileName, QString &reason,
                                         VideoFrames::Player player = VideoFrames::Player::Default);
    // A recording's first frame that holds a sheet, among its first
    // FramesSearched frames.
    static std::unique_ptr<Capture> OpenRecording(const QString &fileName, QString &reason,
                                                  VideoFrames::Player player = VideoFrames::Player::Default);
    static constexpr int FramesSearched = 300;
    // What another frame of a recording is opened from: the recording, its
    // sheet and the place it was found, what the file stores.
    struct FrameSource
    {
        QString fileName;
        Mode mode = Mode::Colours729;
        QImage sheet;
        QPoint offset;
        int scale = 1;
        QSize frameSize;
        VideoFrames::StreamInfo stream;
        std::optional<StoredData::Reading> stored;
        QStringList streamLines;
        VideoFrames::Player player = VideoFrames::Player::Default;
    };
    // None for a picture, or a capture holding no sheet.
    std::optional<FrameSource> frameSource() const;
    // Frame `frame` of the recording, compared at the place the sheet was
    // found: a task for another thread (it reads every frame before it),
    // which `cancelled` stops. None when there is no such frame, with
    // `reason`.
    static std::unique_ptr<Capture> OpenFrame(const FrameSource &source, std::int64_t frame, QString &reason,
                                              const std::function<bool()> &cancelled = {});
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

    // A recording's frame shown (from 0); -1 for a picture.
    std::int64_t frame() const { return frame_; }
    bool isRecording() const { return frame_ >= 0; }
    // A recording's video:, tagged:, stored: and shown: lines.
    const QStringList &streamLines() const { return streamLines_; }

    // Sheet-sized pictures, one pixel per sheet pixel: the sheet, the
    // capture's pixels there, and the differences in grey. Without a sheet,
    // `captured` is the whole picture and the others are null.
    const QImage &sheet() const { return sheet_; }
    const QImage &captured() const { return captured_; }
    const QImage &difference() const { return difference_; }
    // The captured pixels through the fix the diagnosis found; null until
    // it is in.
    const QImage &fixed() const { return fixed_; }
    // What one grey level of the difference stands for, as census --diff says it.
    const QString &differenceScale() const { return differenceScale_; }

    // What the search answered when no sheet was found.
    const QString &searchAnswer() const { return searchAnswer_; }
    // How a recording's frames are shown, as census's shown: line says it;
    // empty for a picture.
    const QString &shown() const { return shown_; }
    // The diagnosis, then (with `census`) the census of the capture: a task
    // for another thread that shares nothing with this object, reporting
    // its results as they come.
    std::function<void(QPromise<CaptureResults> &)> examination(bool census = true) const;
    void takeResults(const CaptureResults &results);
    // The diagnosis is in; the census too.
    bool diagnosed() const { return verdict_.has_value(); }
    bool examined() const { return examined_; }

    // The census of the capture, as the command prints it.
    const QStringList &censusLines() const { return censusLines_; }
    // A recording's frames measured by the census, and the worst of them.
    const std::vector<VideoCensus::FrameMeasure> &frames() const { return frames_; }
    std::int64_t worstFrame() const { return worstFrame_; }
    // Another frame of the same recording: its census is this one's.
    void takeCensus(const Capture &other);
    // The diagnosis of the capture, as the command prints it; empty when
    // there is none.
    const QStringList &diagnosisLines() const { return diagnosisLines_; }
    const std::optional<Verdict> &verdict() const { return verdict_; }
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
    // The capture of `picture` with the sheet `found` in it (the pipeline's
    // answer, or the place already known).
    static std::unique_ptr<Capture> Place(const PictureReader::Picture &picture, QImage opaque, const QString &fileName,
                                          const CapturePipeline::Found &found, QString &reason);
    void readStream(VideoFrames::Reader &reader);

    Capture() = default;
    void alignCaptured();
    void compare();

    QString fileName_;
    PictureReader::Picture read_;
    QImage picture_;
    std::optional<Mode> mode_;
    // Where the pipeline found the sheet, as the census takes it again.
    CapturePipeline::Found found_;
    QPoint offset_;
    int scale_ = 1;
    QImage sheet_;
    QImage captured_;
    QImage difference_;
    QImage fixed_;
    QString differenceScale_;
    QString searchAnswer_;
    QString shown_;
    VideoFrames::Player player_ = VideoFrames::Player::Default;
    QStringList censusLines_;
    QStringList diagnosisLines_;
    std::optional<Verdict> verdict_;
    std::array<ToneCurve, 3> curves_;
    // The sheets the census is taken over: the one found, or every one
    // searched for when none was.
    std::vector<CensusReport::Candidate> candidates_;
    bool examined_ = false;

    // A recording: the frame shown, its stream, what its samples store, the
    // frames its census measured.
    std::int64_t frame_ = -1;
    std::vector<VideoCensus::FrameMeasure> frames_;
    std::int64_t worstFrame_ = -1;
    VideoFrames::StreamInfo stream_;
    std::optional<StoredData::Reading> stored_;
    QStringList streamLines_;
};
