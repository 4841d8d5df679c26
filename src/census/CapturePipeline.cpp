#include "census/CapturePipeline.h"

#include "lut/ColourLut.h"
#include "picture/PictureDepth.h"
#include "Texts.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstring>
#include <new>

namespace CapturePipeline {

namespace {

TINTWELL_TR_CONTEXT("CapturePipeline");

QString sizeText(QSize size)
{
    return QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
}

Found failed(const QString &error)
{
    Found found;
    found.outcome = Outcome::Failed;
    found.error = error;
    return found;
}

Found placed(const QImage &picture, const QString &name, const QImage &sheet, Placement place)
{
    Found found;
    found.outcome = Outcome::Found;
    found.name = name;
    found.sheet = sheet;
    found.place = place;
    found.area = QRect(place.x, place.y, sheet.width() * place.scale, sheet.height() * place.scale);
    found.counted = found.area.intersected(picture.rect());
    return found;
}

// A picture of a sheet's exact size that the search did not recognise (its
// colours changed beyond what the search tells) is that sheet where it lies.
std::optional<Found> bySize(const QImage &picture, const Wanted &wanted)
{
    if (wanted.at || picture.width() != picture.height())
        return std::nullopt;
    if (!wanted.sheet.isNull()) {
        if (wanted.sheet.size() != picture.size())
            return std::nullopt;
        Found found = placed(picture, QString(), wanted.sheet, {});
        found.bySize = true;
        return found;
    }
    for (const Candidate &candidate : wanted.anyOf)
        if (candidate.side == picture.width()) {
            const QImage sheet = candidate.draw();
            if (sheet.isNull())
                return failed(tr("There is not enough memory for the %1 sheet.").arg(candidate.name));
            Found found = placed(picture, candidate.name, sheet, {});
            found.bySize = true;
            return found;
        }
    return std::nullopt;
}

Found notFound(const QImage &picture, const Wanted &wanted, std::optional<SheetSearch::Placement> closest,
               const QString &closestName)
{
    if (std::optional<Found> found = bySize(picture, wanted))
        return *found;
    Found found;
    found.closest = closest;
    found.closestName = closestName;
    return found;
}

Found findAny(const QImage &picture, const Wanted &wanted, const QString &shownName)
{
    // Every sheet that could lie in the picture, searched together.
    std::vector<QImage> drawn;
    std::vector<std::size_t> drawnFrom;
    const int reach = wanted.at ? 0 : SheetSearch::MaxShift;
    for (std::size_t i = 0; i < wanted.anyOf.size(); ++i) {
        const Candidate &candidate = wanted.anyOf[i];
        if (candidate.side > picture.width() + reach || candidate.side > picture.height() + reach)
            continue;
        drawn.push_back(candidate.draw());
        drawnFrom.push_back(i);
        if (drawn.back().isNull())
            return failed(tr("There is not enough memory for the %1 sheet.").arg(candidate.name));
    }
    const Placement *at = wanted.at ? &*wanted.at : nullptr;
    const SheetSearch::Match match = at ? SheetSearch::FindAt(picture, drawn, at->x, at->y, at->scale)
                                        : SheetSearch::FindAny(picture, drawn);
    if (match.sheet < 0) {
        if (at)
            return failed(tr("No sheet fits at %1,%2 at scale %3 in the %4 picture %5.")
                              .arg(at->x)
                              .arg(at->y)
                              .arg(at->scale)
                              .arg(sizeText(picture.size()), shownName));
        return notFound(picture, wanted, std::nullopt, QString());
    }
    const QString &name = wanted.anyOf[drawnFrom[std::size_t(match.sheet)]].name;
    if (!match.placement.plausible && !at)
        return notFound(picture, wanted, match.placement, name);
    return placed(picture, name, drawn[std::size_t(match.sheet)],
                  {match.placement.x, match.placement.y, match.placement.scale});
}

Found findSheet(const QImage &picture, const Wanted &wanted, const QString &shownName)
{
    const QImage &sheet = wanted.sheet;
    const int size = sheet.width();
    if (wanted.at) {
        Found found = placed(picture, QString(), sheet, *wanted.at);
        if (!picture.rect().contains(found.area))
            return failed(tr("The sheet at %1,%2 at scale %3 (%4) does not fit in the %5 picture %6.")
                              .arg(found.area.x())
                              .arg(found.area.y())
                              .arg(wanted.at->scale)
                              .arg(sizeText(found.area.size()), sizeText(picture.size()), shownName));
        return found;
    }
    const bool larger = picture.width() >= size && picture.height() >= size && picture.size() != sheet.size();
    const bool nearSize = std::abs(picture.width() - size) <= SheetSearch::MaxShift
                          && std::abs(picture.height() - size) <= SheetSearch::MaxShift;
    if (larger || nearSize) {
        const SheetSearch::Placement search = SheetSearch::Find(picture, sheet);
        if (search.plausible)
            return placed(picture, QString(), sheet, {search.x, search.y, search.scale});
        if (larger)
            return notFound(picture, wanted, search, QString());
    }
    // Else compared as it is: whatever only one of them has differs.
    Found found = placed(picture, QString(), sheet, {});
    found.counted = picture.rect();
    return found;
}

} // namespace

Found Find(const QImage &picture, const Wanted &wanted, const QString &shownName)
{
    if (wanted.sheet.isNull() && wanted.anyOf.empty())
        return {};
    return wanted.sheet.isNull() ? findAny(picture, wanted, shownName) : findSheet(picture, wanted, shownName);
}

Found At(const QImage &picture, const QImage &sheet, const QString &name, Placement place)
{
    return placed(picture, name, sheet, place);
}

Measured Overlap(const Found &found)
{
    // The part of the sheet the counted area shows; a picture smaller than
    // the sheet, or a sheet partly outside the picture, differs at every
    // place only one of them has.
    Measured measured;
    measured.overlap = found.counted.intersected(found.area);
    const QRect sheetPart =
        found.place.scale == 1 ? measured.overlap.translated(-found.area.topLeft()) : found.sheet.rect();
    measured.compared = sheetPart == found.sheet.rect() ? found.sheet : found.sheet.copy(sheetPart);
    measured.onlyOne = std::int64_t(found.area.width()) * found.area.height()
                       + std::int64_t(found.counted.width()) * found.counted.height()
                       - 2 * std::int64_t(measured.overlap.width()) * measured.overlap.height();
    return measured;
}

Measured Measure(const QImage &picture, const Found &found, std::vector<std::uint16_t> *worst)
{
    Measured measured = Overlap(found);
    measured.measures =
        ErrorMeasures::Measure(picture, measured.overlap.topLeft(), found.place.scale, measured.compared, worst);
    return measured;
}

Aligned Align(const QImage &picture, const Found &found)
{
    const int scale = found.place.scale;
    // The sheet pixels whose block lies in the picture.
    const QRect inside(found.area.topLeft(), found.area.size());
    const QRect within = inside.intersected(picture.rect());
    const QRect sheetPart(QPoint((within.left() - found.area.left() + scale - 1) / scale,
                                 (within.top() - found.area.top() + scale - 1) / scale),
                          QPoint((within.right() + 1 - found.area.left()) / scale - 1,
                                 (within.bottom() + 1 - found.area.top()) / scale - 1));
    Aligned aligned;
    aligned.sheet = sheetPart == found.sheet.rect() ? found.sheet : found.sheet.copy(sheetPart);
    if (scale == 1) {
        aligned.capture = picture.copy(sheetPart.translated(found.area.topLeft()));
    } else {
        aligned.capture = QImage(sheetPart.size(), picture.format());
        if (!aligned.capture.isNull()) {
            const int bytes = picture.depth() / 8;
            const int middle = scale / 2;
            for (int y = 0; y < sheetPart.height(); ++y) {
                const uchar *from = picture.constScanLine(found.area.top() + (sheetPart.top() + y) * scale + middle);
                uchar *to = aligned.capture.scanLine(y);
                for (int x = 0; x < sheetPart.width(); ++x)
                    std::memcpy(to + std::size_t(x) * std::size_t(bytes),
                                from + std::size_t(found.area.left() + (sheetPart.left() + x) * scale + middle)
                                           * std::size_t(bytes),
                                std::size_t(bytes));
            }
        }
    }
    if (aligned.capture.isNull() || aligned.sheet.isNull())
        throw std::bad_alloc();
    return aligned;
}

Diagnosis::Result Diagnose(const QImage &picture, const Found &found, const Measured *measured)
{
    const Aligned aligned = Align(picture, found);
    const auto residualOf = [](const ErrorMeasures &m) {
        return Diagnosis::Residual {m.meanDe2000, m.psnr(), m.differingPixels == 0};
    };
    const bool whole = measured && found.place.scale == 1 && measured->overlap == found.area
                       && measured->compared.size() == aligned.sheet.size();
    const ErrorMeasures before =
        whole ? measured->measures : ErrorMeasures::Measure(aligned.capture, QPoint(0, 0), 1, aligned.sheet);
    return Diagnosis::Diagnose(aligned.sheet, aligned.capture, residualOf(before), [&](const QImage &simulated) {
        return residualOf(ErrorMeasures::Measure(aligned.capture, QPoint(0, 0), 1, simulated));
    });
}

ErrorMeasures MeasureFixed(const QImage &picture, const Found &found, const LutTable &table)
{
    Aligned aligned = Align(picture, found);
    ColourLut lut;
    lut.table = table;
    if (!lut.apply(aligned.capture, Interpolation::Tetrahedral))
        throw std::bad_alloc();
    return ErrorMeasures::Measure(aligned.capture, QPoint(0, 0), 1, aligned.sheet);
}

} // namespace CapturePipeline
