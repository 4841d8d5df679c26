// The HaldCLUT reader as lut and apply read a HaldCLUT: the picture reader,
// then the table from its pixels. Any bytes give a table or a reason, never
// a fault; a table read grades a picture.

#include "FuzzTarget.h"
#include "lut/HaldClut.h"
#include "picture/PictureReader.h"

#include <QBuffer>

#include <cmath>
#include <cstddef>
#include <cstdint>

namespace {

void checkTable(const LutTable &table)
{
    const std::size_t n = std::size_t(table.axes[0].size());
    const int level = int(std::lround(std::sqrt(double(n))));
    FuzzTarget::Require(level >= HaldClut::SmallestLevel && level <= HaldClut::LargestLevel
                            && std::size_t(level * level) == n,
                        "a HaldCLUT's table has L^2 levels a channel");
    FuzzTarget::Require(table.nodes.size() == 3 * n * n * n, "a HaldCLUT's table holds a node for each pixel");

    QImage picture(16, 16, QImage::Format_RGB32);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            picture.setPixel(x, y, qRgb(x * 17, y * 17, (x ^ y) * 17));
    LutPicture::ApplyTable(picture, table.axes, table, Interpolation::Tetrahedral);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzTarget::Start();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    PictureReader::Picture picture;
    QString reason;
    if (!PictureReader::ReadPicture(buffer, picture, reason))
        return 0;
    LutTable table;
    if (HaldClut::FromPicture(picture.image, table, reason))
        checkTable(table);
    else
        FuzzTarget::Require(!reason.isEmpty(), "a picture that is no HaldCLUT comes with a reason");
    return 0;
}
