#include "window/ButtonPicture.h"

#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QPoint>
#include <QString>

#include <vector>

namespace ButtonPicture {

QIcon Load(const QString &path)
{
    QImage picture = QImage(path).convertToFormat(QImage::Format_ARGB32);
    if (picture.isNull())
        return {};

    // Flood fill from the corners through pixels of the corner colour: the
    // background goes, the same grey inside the picture stays.
    const QRgb background = picture.pixel(0, 0);
    std::vector<QPoint> pending = {{0, 0},
                                   {picture.width() - 1, 0},
                                   {0, picture.height() - 1},
                                   {picture.width() - 1, picture.height() - 1}};
    while (!pending.empty()) {
        const QPoint p = pending.back();
        pending.pop_back();
        if (!picture.rect().contains(p) || picture.pixel(p) != background)
            continue;
        picture.setPixel(p, qRgba(0, 0, 0, 0));
        pending.insert(pending.end(), {p + QPoint(1, 0), p - QPoint(1, 0), p + QPoint(0, 1), p - QPoint(0, 1)});
    }
    return QIcon(QPixmap::fromImage(picture));
}

} // namespace ButtonPicture
