#include "lut/HaldClut.h"

#include "Texts.h"

#include <QCoreApplication>

namespace HaldClut {

namespace {

TINTWELL_TR_CONTEXT("HaldClut");

QString notHald(int width, int height)
{
    return tr("A HaldCLUT is a square of L\u00b3 pixels a side for a level L from %1 to %2 "
              "(8x8, 27x27, ... 4096x4096), not %3x%4.")
        .arg(SmallestLevel)
        .arg(LargestLevel)
        .arg(width)
        .arg(height);
}

} // namespace

int LevelOfSide(int side)
{
    for (int level = SmallestLevel; level <= LargestLevel; ++level) {
        if (level * level * level == side)
            return level;
    }
    return 0;
}

bool FromPicture(const QImage &picture, LutTable &table, QString &reason)
{
    const int level = picture.width() == picture.height() ? LevelOfSide(picture.width()) : 0;
    if (level == 0) {
        reason = notHald(picture.width(), picture.height());
        return false;
    }
    const bool deep = picture.depth() > 32 || picture.format() == QImage::Format_Grayscale16;
    const QImage pixels = picture.convertToFormat(deep ? QImage::Format_RGBX64 : QImage::Format_RGB32);
    if (pixels.isNull()) {
        reason = tr("There is not enough memory for the HaldCLUT.");
        return false;
    }
    const int size = level * level;
    const int side = pixels.width();
    table = LutTable();
    for (LutAxis &axis : table.axes)
        axis = LutAxis::Even(size);
    table.nodes.resize(std::size_t(size) * size * size * 3);
    float *node = table.nodes.data();
    for (int y = 0; y < side; ++y) {
        if (deep) {
            const auto *p = reinterpret_cast<const quint16 *>(pixels.constScanLine(y));
            for (int x = 0; x < side; ++x, p += 4) {
                *node++ = float(p[0]) / 65535.0f;
                *node++ = float(p[1]) / 65535.0f;
                *node++ = float(p[2]) / 65535.0f;
            }
        } else {
            const auto *p = reinterpret_cast<const QRgb *>(pixels.constScanLine(y));
            for (int x = 0; x < side; ++x) {
                *node++ = float(qRed(p[x])) / 255.0f;
                *node++ = float(qGreen(p[x])) / 255.0f;
                *node++ = float(qBlue(p[x])) / 255.0f;
            }
        }
    }
    return true;
}

QImage ToPicture(const LutTable &table)
{
    const int size = table.axes[0].size();
    int level = 1;
    while (level * level < size)
        ++level;
    const int side = level * level * level;
    const bool deep = level < LargestLevel;
    QImage picture(side, side, deep ? QImage::Format_RGBX64 : QImage::Format_RGB32);
    if (picture.isNull())
        return picture;
    const float *node = table.nodes.data();
    for (int y = 0; y < side; ++y) {
        if (deep) {
            auto *p = reinterpret_cast<quint16 *>(picture.scanLine(y));
            for (int x = 0; x < side; ++x, node += 3) {
                *p++ = quint16(LutMath::Quantise(node[0], 65535));
                *p++ = quint16(LutMath::Quantise(node[1], 65535));
                *p++ = quint16(LutMath::Quantise(node[2], 65535));
                *p++ = 65535;
            }
        } else {
            auto *p = reinterpret_cast<QRgb *>(picture.scanLine(y));
            for (int x = 0; x < side; ++x, node += 3)
                p[x] = qRgb(LutMath::Quantise(node[0], 255), LutMath::Quantise(node[1], 255),
                            LutMath::Quantise(node[2], 255));
        }
    }
    return picture;
}

} // namespace HaldClut
