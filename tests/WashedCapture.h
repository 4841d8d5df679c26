#pragma once

// A washed-out capture of a sheet, as a test's independent producer makes
// it: the sheet from its formulas, padded into a grey picture by ffmpeg and
// given limited-range levels (16 to 235) read as full range, as a player
// sending video levels to a monitor expecting full ones shows it.

#include "SheetFormulas.h"

#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

namespace WashedCapture {

inline QImage sheet(int mode)
{
    const int size = SheetFormulas::CanvasSize[mode];
    QImage picture(size, size, QImage::Format_RGB32);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const ColorValue c = SheetFormulas::Colour(mode, x, y);
            picture.setPixel(x, y, qRgb(RedOf(c), GreenOf(c), BlueOf(c)));
        }
    return picture;
}

// Writes capture.png into `dir`; its name, or an empty one when ffmpeg failed.
inline QString make(const QTemporaryDir &dir, int mode, QSize size, QPoint offset)
{
    const QString sheetFile = dir.filePath(QStringLiteral("sheet.png"));
    const QString capture = dir.filePath(QStringLiteral("capture.png"));
    const QString filters = QStringLiteral("pad=%1:%2:%3:%4:color=gray,colorlevels=romin=16/255:gomin=16/255:"
                                           "bomin=16/255:romax=235/255:gomax=235/255:bomax=235/255,format=rgb24")
                                .arg(size.width())
                                .arg(size.height())
                                .arg(offset.x())
                                .arg(offset.y());
    if (!sheet(mode).save(sheetFile)
        || QProcess::execute(QStringLiteral("ffmpeg"), {"-v", "error", "-y", "-i", sheetFile, "-vf", filters, capture}) != 0)
        return QString();
    return capture;
}

} // namespace WashedCapture
