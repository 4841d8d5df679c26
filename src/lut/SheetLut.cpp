#include "lut/SheetLut.h"
#include "picture/PictureDepth.h"
#include "Texts.h"

#include <QCoreApplication>

#include <cstdlib>

#include <sys/mman.h>

namespace {

TINTWELL_TR_CONTEXT("SheetLut");

// Where "16million" holds the colour (r, g, b): red along the tile's
// columns, green down its rows, blue the tile (16 tiles down each column).
struct Place
{
    int x;
    int y;
};

inline Place PlaceIn16Million(int r, int g, int b)
{
    return {256 * (b >> 4) + r, 256 * (b & 15) + g};
}

// The edited "16million" sheet as the table's nodes, read where they lie.
struct EightBitSheet
{
    const uchar *bits;
    qsizetype stride;

    LUT_INLINE LutRgb at(int r, int g, int b) const
    {
        const Place place = PlaceIn16Million(r, g, b);
        const QRgb pixel = reinterpret_cast<const QRgb *>(bits + place.y * stride)[place.x];
        constexpr float Scale = 1.0f / 255.0f;
        return {float(qRed(pixel)) * Scale, float(qGreen(pixel)) * Scale, float(qBlue(pixel)) * Scale};
    }
};

struct SixteenBitSheet
{
    const uchar *bits;
    qsizetype stride;

    LUT_INLINE LutRgb at(int r, int g, int b) const
    {
        const Place place = PlaceIn16Million(r, g, b);
        const quint16 *pixel = reinterpret_cast<const quint16 *>(bits + place.y * stride) + 4 * place.x;
        constexpr float Scale = 1.0f / 65535.0f;
        return {float(pixel[0]) * Scale, float(pixel[1]) * Scale, float(pixel[2]) * Scale};
    }
};

// The edited "16million" sheet in the order of its colours' interleaved
// bits: colours close to each other in every channel lie close together
// in memory. A large picture's pixels then find their edited colours in
// the cache, where in the sheet a step of one green level is a step of a
// row (16 KB); worth it from a few million pixels on.
constexpr std::int64_t ByColourFrom = std::int64_t(1) << 22;

struct ByColour
{
    // Spread[v]: the eight bits of v moved to bits 0, 3, 6, ... 21.
    static constexpr std::array<quint32, 256> Spread = [] {
        std::array<quint32, 256> table {};
        for (quint32 value = 0; value < 256; ++value)
            for (quint32 bit = 0; bit < 8; ++bit)
                table[value] |= ((value >> bit) & 1u) << (3 * bit);
        return table;
    }();

    static quint32 IndexOf(QRgb colour)
    {
        return Spread[qRed(colour)] | Spread[qGreen(colour)] << 1 | Spread[qBlue(colour)] << 2;
    }

    // The channel whose bits lie at `shift`, 3 + shift, ... of `index`.
    static int Gather(quint32 index, int shift)
    {
        int value = 0;
        for (int bit = 0; bit < 8; ++bit)
            value |= int((index >> (3 * bit + shift)) & 1u) << bit;
        return value;
    }

    static constexpr std::size_t Bytes = std::size_t(1) << 26;

    // Memory for the table in 2 MB pages where the system has them, every
    // page touched; null when there is none.
    static void *Take()
    {
        constexpr std::size_t HugePage = std::size_t(2) << 20;
        auto *memory = static_cast<uchar *>(std::aligned_alloc(HugePage, Bytes));
        if (!memory)
            return nullptr;
#ifdef MADV_HUGEPAGE
        ::madvise(memory, Bytes, MADV_HUGEPAGE);
#endif
        for (std::size_t page = 0; page < Bytes; page += 4096)
            memory[page] = 0;
        return memory;
    }

    // Fills `memory` (Bytes of it) from the edited sheet.
    ByColour(const QImage &sheet, void *memory) : edited(static_cast<QRgb *>(memory))
    {
        if (!edited)
            return;
        // Filled in its own order, eight by eight by eight colours at a time.
        const uchar *bits = sheet.constBits();
        const qsizetype stride = sheet.bytesPerLine();
        // Within a block of 8 x 8 x 8 colours the place moves by a number of
        // pixels that the low bits alone give (blue below 8 stays in one
        // column of tiles).
        std::array<qsizetype, 512> Offsets;
        for (quint32 low = 0; low < 512; ++low) {
            const Place place = PlaceIn16Million(Gather(low, 0), Gather(low, 1), Gather(low, 2));
            Offsets[low] = place.y * (stride / qsizetype(sizeof(QRgb))) + place.x;
        }
        constexpr int Blocks = 1 << 15;
        RowBands::ForRowBands(Blocks, std::int64_t(1) << 24, [&](int first, int end) {
            for (int block = first; block < end; ++block) {
                const quint32 base = quint32(block) << 9;
                const int r0 = Gather(base, 0), g0 = Gather(base, 1), b0 = Gather(base, 2);
                const Place corner = PlaceIn16Million(r0, g0, b0);
                const QRgb *from = reinterpret_cast<const QRgb *>(bits + corner.y * stride) + corner.x;
                for (quint32 low = 0; low < 512; ++low)
                    edited[base | low] = from[Offsets[low]];
            }
        });
    }
    QRgb *edited = nullptr;
};


} // namespace

bool SheetLut::load(const QImage &edited, Mode mode, QString &reason)
{
    const Sheet &sheet = Sheets::Of(mode);
    if (edited.width() != sheet.size || edited.height() != sheet.size) {
        reason = tr("The edited %1 sheet is %2x%3 pixels; the sheet is %4x%4.")
                     .arg(QString::fromLatin1(sheet.name.data(), qsizetype(sheet.name.size())))
                     .arg(edited.width())
                     .arg(edited.height())
                     .arg(sheet.size);
        return false;
    }

    constexpr Channel Channels[3] = {Channel::Red, Channel::Green, Channel::Blue};
    std::array<std::array<int, 256>, 3> indexOf {};
    for (int c = 0; c < 3; ++c) {
        const std::vector<int> levels = Sheets::Levels(mode, Channels[c]);
        LutAxis &axis = axes_[std::size_t(c)];
        axis.levels.clear();
        axis.extrapolate = true;
        for (std::size_t i = 0; i < levels.size(); ++i) {
            axis.levels.push_back(levels[i] / 255.0);
            indexOf[std::size_t(c)][std::size_t(levels[i])] = int(i);
        }
    }

    const bool deep = PictureDepth::Deep(LutPicture::WorkingFormat(edited));
    const QImage::Format format = deep ? QImage::Format_RGBX64 : QImage::Format_RGB32;
    const QImage pixels = edited.format() == format ? edited : edited.convertToFormat(format);
    if (pixels.isNull()) {
        reason = tr("There is not enough memory for the edited sheet.");
        return false;
    }

    inPlace_ = mode == Mode::Colours16Million;
    if (inPlace_) {
        edited_ = pixels;
        table_ = LutTable();
        return true;
    }

    // Every place of the sheet adds its edited pixel to its colour's node;
    // a node then holds the mean of them.
    const int nr = axes_[0].size(), ng = axes_[1].size(), nb = axes_[2].size();
    const std::size_t nodes = std::size_t(nr) * ng * nb;
    std::vector<double> sums(nodes * 3, 0.0);
    std::vector<int> counts(nodes, 0);
    const double scale = deep ? 1.0 / 65535.0 : 1.0 / 255.0;
    for (int y = 0; y < sheet.size; ++y) {
        for (int x = 0; x < sheet.size; ++x) {
            const ColorValue colour = Sheets::ColourAt(mode, x, y);
            const std::size_t node = (std::size_t(indexOf[2][std::size_t(BlueOf(colour))]) * ng
                                      + std::size_t(indexOf[1][std::size_t(GreenOf(colour))]))
                                         * nr
                                     + std::size_t(indexOf[0][std::size_t(RedOf(colour))]);
            double *sum = &sums[3 * node];
            if (deep) {
                const quint16 *p = reinterpret_cast<const quint16 *>(pixels.constScanLine(y)) + 4 * x;
                sum[0] += p[0] * scale;
                sum[1] += p[1] * scale;
                sum[2] += p[2] * scale;
            } else {
                const QRgb p = reinterpret_cast<const QRgb *>(pixels.constScanLine(y))[x];
                sum[0] += qRed(p) * scale;
                sum[1] += qGreen(p) * scale;
                sum[2] += qBlue(p) * scale;
            }
            ++counts[node];
        }
    }
    table_.axes = axes_;
    table_.nodes.resize(nodes * 3);
    for (std::size_t node = 0; node < nodes; ++node) {
        const int count = std::max(counts[node], 1);
        for (std::size_t c = 0; c < 3; ++c)
            table_.nodes[3 * node + c] = float(sums[3 * node + c] / count);
    }
    edited_ = QImage();
    return true;
}

template <typename Visit>
void SheetLut::withNodes(const Visit &visit) const
{
    if (!inPlace_)
        visit(table_);
    else if (edited_.format() == QImage::Format_RGBX64)
        visit(SixteenBitSheet {edited_.constBits(), edited_.bytesPerLine()});
    else
        visit(EightBitSheet {edited_.constBits(), edited_.bytesPerLine()});
}

LutTable SheetLut::resample(int size) const
{
    LutTable result;
    for (LutAxis &axis : result.axes)
        axis = LutAxis::Even(size);
    result.nodes.resize(std::size_t(size) * size * size * 3);
    std::array<std::vector<LutCell>, 3> cells;
    for (std::size_t c = 0; c < 3; ++c) {
        for (double level : result.axes[c].levels)
            cells[c].push_back(axes_[c].locate(level));
    }
    withNodes([&](const auto &nodes) {
        RowBands::ForRowBands(size, std::int64_t(size) * size * size * 16, [&](int first, int end) {
            for (int b = first; b < end; ++b) {
                float *out = result.nodes.data() + 3 * std::size_t(b) * size * size;
                for (int g = 0; g < size; ++g) {
                    for (int r = 0; r < size; ++r, out += 3) {
                        const LutRgb c = LutMath::Trilinear(nodes, cells[0][std::size_t(r)],
                                                            cells[1][std::size_t(g)], cells[2][std::size_t(b)]);
                        out[0] = c.r;
                        out[1] = c.g;
                        out[2] = c.b;
                    }
                }
            }
        });
    });
    return result;
}

SheetLut::Scratch SheetLut::ScratchFor(const QImage &picture, Mode mode)
{
    Scratch scratch;
    const bool eightBit = LutPicture::WorkingFormat(picture) == QImage::Format_RGB32
                          || LutPicture::WorkingFormat(picture) == QImage::Format_ARGB32;
    if (mode == Mode::Colours16Million && eightBit
        && std::int64_t(picture.width()) * picture.height() >= ByColourFrom)
        scratch.memory_.reset(ByColour::Take());
    return scratch;
}

bool SheetLut::apply(QImage &picture, Interpolation method, Scratch *scratch) const
{
    const QImage::Format format = LutPicture::WorkingFormat(picture);
    if (picture.format() != format) {
        picture.convertTo(format);
        if (picture.format() != format || picture.isNull())
            return false;
    }
    const bool deepPicture = PictureDepth::Deep(format);
    if (!(inPlace_ && !deepPicture)) {
        withNodes([&](const auto &nodes) { LutPicture::ApplyTable(picture, axes_, nodes, method); });
        return true;
    }

    // An 8-bit picture and "16million": every pixel's colour is a node, and
    // becomes the edited pixel at its place, whatever the interpolation.
    QImage eightBit;
    const QImage *sheet = &edited_;
    if (edited_.format() != QImage::Format_RGB32) {
        eightBit = edited_.convertToFormat(QImage::Format_RGB32);
        if (eightBit.isNull())
            return false;
        sheet = &eightBit;
    }
    const int width = picture.width();
    uchar *bits = picture.bits();
    const qsizetype stride = picture.bytesPerLine();
    const std::int64_t pixels = std::int64_t(width) * picture.height();
    const auto grade = [&](const auto &edit) {
        RowBands::ForRowBands(picture.height(), pixels, [&](int first, int end) {
            for (int y = first; y < end; ++y) {
                auto *p = reinterpret_cast<QRgb *>(bits + y * stride);
                for (int x = 0; x < width; ++x)
                    p[x] = (p[x] & 0xFF000000u) | (edit(p[x]) & 0x00FFFFFFu);
            }
        });
    };

    const uchar *sheetBits = sheet->constBits();
    const qsizetype sheetStride = sheet->bytesPerLine();
    if (pixels < ByColourFrom) {
        grade([&](QRgb in) {
            const Place place = PlaceIn16Million(qRed(in), qGreen(in), qBlue(in));
            return reinterpret_cast<const QRgb *>(sheetBits + place.y * sheetStride)[place.x];
        });
        return true;
    }
    Scratch own;
    if (!scratch || !scratch->memory()) {
        own.memory_.reset(ByColour::Take());
        scratch = &own;
    }
    const ByColour byColour(*sheet, scratch->memory());
    if (!byColour.edited)
        return false;
    grade([&](QRgb in) { return byColour.edited[ByColour::IndexOf(in)]; });
    return true;
}
