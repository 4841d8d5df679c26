#pragma once

// The results beside the view, verdict first: what the diagnosis found in
// words, on a colour that says at a glance whether the capture is right, a
// fault is named or something is left unexplained, with the mean dE2000
// before and after the steps; for a recording its stream (video, tagged,
// stored, shown) and a slider over its frames that jumps to the worst; then
// the census's and the diagnosis's lines as the commands print them, to
// select and copy. Long lines wrap.

#include "census/VideoCensus.h"

#include <QDockWidget>
#include <QStringList>

#include <cstdint>
#include <vector>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QSlider;
class QTimer;
struct Verdict;

class ResultsDock : public QDockWidget
{
    Q_OBJECT

public:
    explicit ResultsDock(QWidget *parent = nullptr);

    // Nothing open: what to do.
    void showNothing();
    // A line in place of the verdict (the census under way, no sheet found).
    void showMessage(const QString &text);
    void showVerdict(const Verdict &verdict);
    // A recording's stream lines; none for a picture.
    void showStream(const QStringList &lines);
    // The census lines, then the diagnosis lines under a heading.
    void showLines(const QStringList &census, const QStringList &diagnosis);
    // A recording's frames measured, the worst of them and the one shown;
    // none hides the slider.
    void showFrames(const std::vector<VideoCensus::FrameMeasure> &frames, std::int64_t worst, std::int64_t shown);
    // The frame the view shows now (or is opening).
    void setFrameShown(std::int64_t frame);

    // Everything shown, as plain text.
    QString text() const;

signals:
    // The user moved the slider to a frame, or asked for the worst.
    void frameChosen(std::int64_t frame);

private:
    void showFrameText(int index);

    QLabel *verdict_ = nullptr;
    QLabel *stream_ = nullptr;
    QWidget *frameRow_ = nullptr;
    QSlider *slider_ = nullptr;
    QLabel *frameText_ = nullptr;
    QPushButton *worst_ = nullptr;
    QPlainTextEdit *text_ = nullptr;
    QTimer *settle_ = nullptr;
    std::vector<VideoCensus::FrameMeasure> frames_;
    std::int64_t worstFrame_ = -1;
};
