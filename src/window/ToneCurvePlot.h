#pragma once

// The tone curves of a capture as plots, one per channel: the sheet's level
// across, the captured level up, from the pixels inside the sheet's tiles
// (at a tile's edge chroma subsampling and scaling blur mix in the next
// tile). Behind the plot area a 256 x 256 density picture says how those
// pixels of each sheet level spread over the captured levels (millions of
// points, which a chart cannot hold as items); over it the mean per level
// and a diagnosis's fitted curve as lines, and the identity as a thin
// diagonal. The legend says how many samples a level has, marks along the
// bottom the levels held only at tiles' edges, and a level's tooltip its
// count. A plot's context menu saves it as PNG or
// SVG, or copies the values the lines are drawn from.

#include "window/Capture.h"

#include <QWidget>

#include <array>

class QChart;
class QChartView;
class QGraphicsPixmapItem;

class ToneCurvePlot : public QWidget
{
    Q_OBJECT

public:
    explicit ToneCurvePlot(QWidget *parent = nullptr);

    // Draws `curves`; `title` names the capture.
    void showCurves(const std::array<ToneCurve, 3> &curves, const QString &title);

    QChartView *chartView(int channel) const { return plots_[std::size_t(channel)].view; }
    // Every level the sheet holds in some channel, with the mean captured
    // level per channel and how many samples it is the mean of (and the
    // fitted one, when there is a fit), as tab-separated lines under a
    // heading.
    QString valuesText() const;
    // Writes one channel's plot as PNG or SVG, after the name's ending.
    bool save(int channel, const QString &fileName, QString &error) const;

private:
    struct Plot
    {
        QChartView *view = nullptr;
        QChart *chart = nullptr;
        QGraphicsPixmapItem *density = nullptr;
    };

    void buildPlot(int channel);
    void placeDensity(int channel);
    void showMenu(int channel, QPoint at);
    // A tooltip with a level's mean, samples and fit.
    void showLevel(int channel, int level, bool entered);
    void saveWithDialog(int channel);

    std::array<Plot, 3> plots_;
    std::array<ToneCurve, 3> curves_;
};
