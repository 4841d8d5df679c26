#include "window/ToneCurvePlot.h"

#include <QApplication>
#include <QBoxLayout>
#include <QBuffer>
#include <QChart>
#include <QChartView>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QGraphicsPixmapItem>
#include <QLegendMarker>
#include <QLineSeries>
#include <QLocale>
#include <QScatterSeries>
#include <QToolTip>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QSaveFile>
#include <QSvgGenerator>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

constexpr int Levels = ToneCurve::Levels;
constexpr int TopLevel = Levels - 1;
constexpr int TickEvery = 32;
// A plot's least size, logical pixels: the density's cells stay visible.
constexpr QSize LeastPlot(360, 340);
// The window opens with room for three plots side by side.
constexpr QSize OpeningSize(1260, 480);
// Above the chart's background and below its grid, axes and series.
constexpr double DensityZ = 0.5;
// The density's faintest cell, in alpha: a level reached by few pixels
// still shows.
constexpr int FaintestAlpha = 70;

const std::array<QColor, 3> ChannelColours = {QColor(0xD0, 0x10, 0x10), QColor(0x10, 0x90, 0x10),
                                              QColor(0x10, 0x30, 0xD0)};
const QColor FittedColour(Qt::black);
const QColor IdentityColour(0x80, 0x80, 0x80);
// Levels the sheet holds that no pixel inside a tile shows: marks along the
// bottom edge.
const QColor EmptyLevelColour(0x60, 0x60, 0x60);
constexpr double EmptyLevelMarker = 7;

QString channelName(int channel)
{
    const std::array<const char *, 3> names = {QT_TRANSLATE_NOOP("ToneCurvePlot", "Red"),
                                               QT_TRANSLATE_NOOP("ToneCurvePlot", "Green"),
                                               QT_TRANSLATE_NOOP("ToneCurvePlot", "Blue")};
    return QCoreApplication::translate("ToneCurvePlot", names[std::size_t(channel)]);
}

// Each sheet level's column shaded by the share of its pixels that came
// back at each level: a column does not fade because the sheet holds the
// level fewer times.
QImage densityPicture(const ToneCurve &curve, const QColor &tint)
{
    QImage picture(Levels, Levels, QImage::Format_ARGB32);
    picture.fill(Qt::transparent);
    for (int sheetLevel = 0; sheetLevel < Levels; ++sheetLevel) {
        const std::uint32_t *column = curve.counts.data() + std::size_t(sheetLevel) * Levels;
        const std::uint64_t total = std::accumulate(column, column + Levels, std::uint64_t(0));
        if (total == 0)
            continue;
        for (int captured = 0; captured < Levels; ++captured) {
            if (column[captured] == 0)
                continue;
            const double share = std::sqrt(double(column[captured]) / double(total));
            QColor cell = tint;
            cell.setAlpha(FaintestAlpha + int(std::lround(share * (255 - FaintestAlpha))));
            picture.setPixelColor(sheetLevel, TopLevel - captured, cell);
        }
    }
    return picture;
}

// "3840" or "3712–3968": how many samples the levels that have any have.
QString samplesText(const ToneCurve &curve)
{
    std::uint32_t least = 0, most = 0;
    for (int level = 0; level < Levels; ++level) {
        const std::uint32_t count = curve.samples[std::size_t(level)];
        if (count == 0)
            continue;
        least = least == 0 ? count : std::min(least, count);
        most = std::max(most, count);
    }
    const QLocale locale;
    return least == most ? locale.toString(least)
                         : QStringLiteral("%1–%2").arg(locale.toString(least), locale.toString(most));
}

bool hasFit(const ToneCurve &curve)
{
    return std::any_of(curve.fitted.begin(), curve.fitted.end(), [](const auto &level) { return level.has_value(); });
}

QValueAxis *levelAxis(const QString &title)
{
    auto *axis = new QValueAxis;
    axis->setRange(0, TopLevel);
    axis->setTickType(QValueAxis::TicksDynamic);
    axis->setTickAnchor(0);
    axis->setTickInterval(TickEvery);
    axis->setMinorTickCount(1);
    axis->setLabelFormat(QStringLiteral("%d"));
    axis->setTitleText(title);
    return axis;
}

} // namespace

ToneCurvePlot::ToneCurvePlot(QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("ToneCurvePlot"));
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    for (int channel = 0; channel < 3; ++channel) {
        buildPlot(channel);
        layout->addWidget(plots_[std::size_t(channel)].view);
    }
    resize(OpeningSize);
}

void ToneCurvePlot::buildPlot(int channel)
{
    Plot &plot = plots_[std::size_t(channel)];
    plot.chart = new QChart;
    plot.chart->setTitle(channelName(channel));
    plot.chart->legend()->setAlignment(Qt::AlignBottom);
    auto *across = levelAxis(tr("sheet level"));
    auto *up = levelAxis(tr("captured level"));
    plot.chart->addAxis(across, Qt::AlignBottom);
    plot.chart->addAxis(up, Qt::AlignLeft);

    plot.view = new QChartView(plot.chart, this);
    plot.view->setObjectName(QStringLiteral("ToneCurve%1").arg(channel));
    plot.view->setRenderHint(QPainter::Antialiasing);
    plot.view->setMinimumSize(LeastPlot);
    plot.view->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(plot.view, &QWidget::customContextMenuRequested, this,
            [this, channel](QPoint at) { showMenu(channel, at); });

    plot.density = new QGraphicsPixmapItem(plot.chart);
    plot.density->setZValue(DensityZ);
    plot.density->setTransformationMode(Qt::FastTransformation);
    connect(plot.chart, &QChart::plotAreaChanged, this, [this, channel] { placeDensity(channel); });
}

void ToneCurvePlot::showCurves(const std::array<ToneCurve, 3> &curves, const QString &title)
{
    curves_ = curves;
    setWindowTitle(tr("Tintwell — %1 — tone curves").arg(title));
    for (int channel = 0; channel < 3; ++channel) {
        Plot &plot = plots_[std::size_t(channel)];
        const ToneCurve &curve = curves_[std::size_t(channel)];
        plot.chart->removeAllSeries();
        const QColor tint = ChannelColours[std::size_t(channel)];
        plot.density->setPixmap(QPixmap::fromImage(densityPicture(curve, tint)));

        auto *identity = new QLineSeries;
        identity->setName(tr("identity"));
        identity->setPen(QPen(IdentityColour, 1));
        identity->append(0, 0);
        identity->append(TopLevel, TopLevel);

        auto *mean = new QLineSeries;
        mean->setName(tr("mean inside the tiles (%1 samples a level)").arg(samplesText(curve)));
        mean->setPen(QPen(tint.darker(130), 2));
        for (int level = 0; level < Levels; ++level)
            if (curve.mean[std::size_t(level)])
                mean->append(level, *curve.mean[std::size_t(level)]);
        connect(mean, &QXYSeries::hovered, this, [this, channel](const QPointF &point, bool entered) {
            showLevel(channel, int(std::lround(point.x())), entered);
        });

        std::vector<QXYSeries *> lines = {identity, mean};
        // The levels the sheet holds only at tiles' edges: no mean for them.
        auto *empty = new QScatterSeries;
        empty->setName(tr("held only at tile edges: no samples"));
        empty->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
        empty->setMarkerSize(EmptyLevelMarker);
        empty->setColor(EmptyLevelColour);
        empty->setBorderColor(EmptyLevelColour);
        for (int level = 0; level < Levels; ++level)
            if (curve.held[std::size_t(level)] && curve.samples[std::size_t(level)] == 0)
                empty->append(level, 0);
        if (empty->count() > 0)
            lines.push_back(empty);
        else
            delete empty;
        if (hasFit(curve)) {
            auto *fitted = new QLineSeries;
            fitted->setName(tr("fitted"));
            fitted->setPen(QPen(FittedColour, 1.5, Qt::DashLine));
            for (int level = 0; level < Levels; ++level)
                if (curve.fitted[std::size_t(level)])
                    fitted->append(level, *curve.fitted[std::size_t(level)]);
            lines.push_back(fitted);
        }
        for (QXYSeries *line : lines) {
            plot.chart->addSeries(line);
            for (QAbstractAxis *axis : plot.chart->axes())
                line->attachAxis(axis);
        }
        placeDensity(channel);
    }
}

void ToneCurvePlot::placeDensity(int channel)
{
    Plot &plot = plots_[std::size_t(channel)];
    const QRectF area = plot.chart->plotArea();
    plot.density->setPos(area.topLeft());
    plot.density->setTransform(QTransform::fromScale(area.width() / Levels, area.height() / Levels));
}

void ToneCurvePlot::showLevel(int channel, int level, bool entered)
{
    if (!entered || level < 0 || level >= Levels) {
        QToolTip::hideText();
        return;
    }
    const ToneCurve &curve = curves_[std::size_t(channel)];
    const std::optional<double> &mean = curve.mean[std::size_t(level)];
    if (!mean)
        return;
    QString text = tr("level %1: mean %2 of %3 samples inside the tiles")
                       .arg(level)
                       .arg(*mean, 0, 'f', 2)
                       .arg(QLocale().toString(curve.samples[std::size_t(level)]));
    if (const std::optional<double> &fitted = curve.fitted[std::size_t(level)])
        text += QLatin1Char('\n') + tr("fitted: %1").arg(*fitted, 0, 'f', 2);
    QToolTip::showText(QCursor::pos(), text, plots_[std::size_t(channel)].view);
}

QString ToneCurvePlot::valuesText() const
{
    QStringList lines;
    QStringList heading = {tr("level")};
    for (int channel = 0; channel < 3; ++channel) {
        heading << tr("%1 mean").arg(channelName(channel)) << tr("%1 samples").arg(channelName(channel));
        if (hasFit(curves_[std::size_t(channel)]))
            heading << tr("%1 fitted").arg(channelName(channel));
    }
    lines << heading.join(QLatin1Char('\t'));
    for (int level = 0; level < Levels; ++level) {
        QStringList row = {QString::number(level)};
        bool held = false;
        for (const ToneCurve &curve : curves_) {
            const std::optional<double> &mean = curve.mean[std::size_t(level)];
            held = held || curve.held[std::size_t(level)];
            row << (mean ? QString::number(*mean, 'f', 2) : QString())
                << (curve.held[std::size_t(level)] ? QString::number(curve.samples[std::size_t(level)]) : QString());
            const std::optional<double> &fitted = curve.fitted[std::size_t(level)];
            if (hasFit(curve))
                row << (fitted ? QString::number(*fitted, 'f', 2) : QString());
        }
        if (held)
            lines << row.join(QLatin1Char('\t'));
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

void ToneCurvePlot::showMenu(int channel, QPoint at)
{
    QMenu menu(this);
    menu.addAction(tr("&Save as PNG or SVG…"), this, [this, channel] { saveWithDialog(channel); });
    menu.addAction(tr("&Copy values"), this,
                   [this] { QGuiApplication::clipboard()->setText(valuesText()); });
    menu.exec(plots_[std::size_t(channel)].view->mapToGlobal(at));
}

void ToneCurvePlot::saveWithDialog(int channel)
{
    QFileDialog dialog(this, tr("Save the plot"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters({tr("PNG picture (*.png)"), tr("SVG drawing (*.svg)")});
    dialog.setDefaultSuffix(QStringLiteral("png"));
    dialog.selectFile(tr("tone-curve-%1.png").arg(channelName(channel).toLower()));
    connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString &filter) {
        dialog.setDefaultSuffix(filter.contains(QLatin1String("svg")) ? QStringLiteral("svg") : QStringLiteral("png"));
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString fileName = dialog.selectedFiles().constFirst();
    QString error;
    if (!save(channel, fileName, error))
        QMessageBox::warning(this, tr("Tintwell"), error);
}

bool ToneCurvePlot::save(int channel, const QString &fileName, QString &error) const
{
    QChartView *view = plots_[std::size_t(channel)].view;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (fileName.endsWith(QLatin1String(".svg"), Qt::CaseInsensitive)) {
        QSvgGenerator svg;
        svg.setOutputDevice(&buffer);
        svg.setSize(view->size());
        svg.setViewBox(QRect(QPoint(0, 0), view->size()));
        svg.setTitle(windowTitle());
        QPainter painter(&svg);
        view->render(&painter);
    } else if (!view->grab().save(&buffer, "PNG")) {
        error = tr("The plot could not be turned into a PNG picture.");
        return false;
    }
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        error = tr("Could not save %1: %2").arg(QDir::toNativeSeparators(fileName), file.errorString());
        return false;
    }
    return true;
}
