#include "lut/ColourLut.h"
#include "picture/PictureDepth.h"

namespace LutPicture {

QImage::Format WorkingFormat(const QImage &picture)
{
    const bool deep = picture.depth() > 32 || picture.format() == QImage::Format_A2BGR30_Premultiplied
                      || picture.format() == QImage::Format_A2RGB30_Premultiplied
                      || picture.format() == QImage::Format_BGR30 || picture.format() == QImage::Format_RGB30
                      || picture.format() == QImage::Format_Grayscale16;
    if (deep)
        return picture.hasAlphaChannel() ? QImage::Format_RGBA64 : QImage::Format_RGBX64;
    return picture.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32;
}

} // namespace LutPicture

LutRgb ColourLut::map(LutRgb input, Interpolation method) const
{
    double in[3] = {input.r, input.g, input.b};
    if (curves) {
        for (int c = 0; c < 3; ++c)
            in[c] = curves->apply(c, in[c]);
    }
    if (!table)
        return {float(in[0]), float(in[1]), float(in[2])};
    return LutMath::Interpolate(method, *table, table->axes[0].locate(in[0]), table->axes[1].locate(in[1]),
                                table->axes[2].locate(in[2]));
}

bool ColourLut::apply(QImage &picture, Interpolation method) const
{
    const QImage::Format format = LutPicture::WorkingFormat(picture);
    if (picture.format() != format) {
        picture.convertTo(format);
        if (picture.format() != format || picture.isNull())
            return false;
    }
    if (table) {
        LutPicture::ApplyTable(picture, table->axes, *table, method, curves ? &*curves : nullptr);
        return true;
    }
    if (!curves)
        return true;

    // Curves alone: one output value per input value of each channel.
    const bool deep = PictureDepth::Deep(format);
    const int maximum = deep ? 65535 : 255;
    std::array<std::vector<quint16>, 3> out;
    for (int c = 0; c < 3; ++c) {
        out[std::size_t(c)].resize(std::size_t(maximum) + 1);
        for (int v = 0; v <= maximum; ++v)
            out[std::size_t(c)][std::size_t(v)] =
                quint16(LutMath::Quantise(float(curves->apply(c, double(v) / maximum)), maximum));
    }
    const int width = picture.width();
    uchar *bits = picture.bits();
    const qsizetype stride = picture.bytesPerLine();
    RowBands::ForRowBands(picture.height(), std::int64_t(width) * picture.height(), [&](int first, int end) {
        for (int y = first; y < end; ++y) {
            if (deep) {
                auto *p = reinterpret_cast<quint16 *>(bits + y * stride);
                for (int x = 0; x < width; ++x, p += 4) {
                    p[0] = out[0][p[0]];
                    p[1] = out[1][p[1]];
                    p[2] = out[2][p[2]];
                }
            } else {
                auto *p = reinterpret_cast<quint32 *>(bits + y * stride);
                for (int x = 0; x < width; ++x) {
                    const quint32 in = p[x];
                    p[x] = (in & 0xFF000000u) | quint32(out[0][(in >> 16) & 0xFF]) << 16
                           | quint32(out[1][(in >> 8) & 0xFF]) << 8 | quint32(out[2][in & 0xFF]);
                }
            }
        }
    });
    return true;
}
