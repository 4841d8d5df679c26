// The .cube reader: any bytes give a table or an error naming a line, never
// a fault; and a table read is applied to pictures as apply does, with each
// interpolation, whatever numbers its file held.

#include "FuzzTarget.h"
#include "lut/CubeFile.h"

#include <cmath>
#include <cstddef>
#include <cstdint>

namespace {

// Every 8-bit colour on a coarse grid and a 16-bit picture of a few colours:
// the corners, the middle, and the levels next to the ends.
QImage picture8()
{
    QImage picture(9, 9 * 9, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, qRgb(x * 255 / 8, (y % 9) * 255 / 8, (y / 9) * 255 / 8));
    return picture;
}

QImage picture16()
{
    static constexpr quint16 Levels[] = {0, 1, 32767, 32768, 65534, 65535};
    QImage picture(6, 6, QImage::Format_RGBX64);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x)
            picture.setPixelColor(x, y, QColor::fromRgba64(Levels[x], Levels[y], Levels[(x + y) % 6]));
    return picture;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzTarget::Start();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    ColourLut lut;
    CubeFile::ReadError error;
    if (!CubeFile::Read(bytes, lut, error)) {
        FuzzTarget::Require(error.line >= 1 && !error.what.isEmpty(), "an error names its line and says what");
        return 0;
    }

    FuzzTarget::Require(lut.curves || lut.table, "a table read holds a curve or a 3D table");
    if (lut.table) {
        const std::size_t n = std::size_t(lut.table->axes[0].size());
        FuzzTarget::Require(n >= 2 && n <= std::size_t(CubeFile::Largest3dSize)
                                && lut.table->nodes.size() == 3 * n * n * n,
                            "a 3D table holds size^3 nodes");
    }
    if (lut.curves) {
        for (const std::vector<float> &values : lut.curves->values)
            FuzzTarget::Require(values.size() == std::size_t(lut.curves->axes[0].size()),
                                "a curve holds a value at each level");
    }

    static const QImage eightBits = picture8();
    static const QImage sixteenBits = picture16();
    for (const Interpolation method : {Interpolation::Tetrahedral, Interpolation::Trilinear, Interpolation::Nearest}) {
        QImage picture = eightBits;
        FuzzTarget::Require(lut.apply(picture, method), "a small 8-bit picture is graded");
        lut.map({-1.0f, 0.5f, 2.0f}, method);
        lut.map({std::nanf(""), INFINITY, -INFINITY}, method);
    }
    // One interpolation at 16 bits, chosen by the input: its 65,536 levels a channel take a while.
    QImage picture = sixteenBits;
    FuzzTarget::Require(lut.apply(picture, Interpolation(size % 3)), "a small 16-bit picture is graded");
    FuzzTarget::Require(picture.format() == QImage::Format_RGBX64, "a 16-bit picture stays 16-bit");
    return 0;
}
