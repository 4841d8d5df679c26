#include "sheet/ClipRecipe.h"

#include "Texts.h"
#include "colour/Primaries.h"

#include <QCoreApplication>

namespace ClipRecipe {

namespace {

TINTWELL_TR_CONTEXT("SheetCommands");

constexpr char None[] = "none";

struct MatrixName
{
    const char *name;
    VideoFrames::Matrix matrix;
    // The tag that says it, and the primaries and transfer a true tag
    // goes with.
    const char *tag;
    const char *primaries;
    const char *transfer;
};

// BT.601 as NTSC-land's discs and most encoders tag it (SMPTE 170M); a PAL
// disc's EBU primaries are --tag-primaries bt601-625.
constexpr MatrixName Matrices[] = {
    {"bt601", VideoFrames::Matrix::Bt601, "smpte170m", "smpte170m", "smpte170m"},
    {"bt709", VideoFrames::Matrix::Bt709, "bt709", "bt709", "bt709"},
    {"bt2020", VideoFrames::Matrix::Bt2020, "bt2020nc", "bt2020", "bt2020-10"},
};

const MatrixName *matrixNamed(const QString &text)
{
    for (const MatrixName &m : Matrices)
        if (text.compare(QLatin1String(m.name), Qt::CaseInsensitive) == 0)
            return &m;
    return nullptr;
}

std::optional<bool> fullRangeNamed(const QString &text)
{
    if (text.compare(QLatin1String("limited"), Qt::CaseInsensitive) == 0)
        return false;
    if (text.compare(QLatin1String("full"), Qt::CaseInsensitive) == 0)
        return true;
    return std::nullopt;
}

// The transfer tags a clip may carry: our word, FFmpeg's.
struct TransferName
{
    const char *name;
    const char *tag;
};

constexpr TransferName Transfers[] = {
    {"bt709", "bt709"},       {"smpte170m", "smpte170m"}, {"bt2020", "bt2020-10"}, {"srgb", "iec61966-2-1"},
    {"gamma22", "bt470m"},    {"gamma28", "bt470bg"},     {"linear", "linear"},    {"pq", "smpte2084"},
    {"hlg", "arib-std-b67"},
};

bool isNone(const QString &text)
{
    return text.compare(QLatin1String(None), Qt::CaseInsensitive) == 0;
}

} // namespace

bool Given::any() const
{
    return matrix || range || chroma || bits || tagMatrix || tagRange || tagPrimaries || tagTransfer || untagged;
}

std::optional<VideoFrames::YcbcrRecipe> Parse(const Given &given, QString &error)
{
    VideoFrames::YcbcrRecipe recipe;
    const MatrixName *matrix = matrixNamed(given.matrix.value_or(QStringLiteral("bt709")));
    if (!matrix) {
        error = tr("Unknown matrix '%1': give --matrix bt601, bt709 or bt2020.").arg(*given.matrix);
        return std::nullopt;
    }
    recipe.matrix = matrix->matrix;
    if (given.range) {
        const std::optional<bool> full = fullRangeNamed(*given.range);
        if (!full) {
            error = tr("Unknown range '%1': give --range limited or full.").arg(*given.range);
            return std::nullopt;
        }
        recipe.fullRange = *full;
    }
    const QString chroma = given.chroma.value_or(QStringLiteral("420"));
    if (chroma == QLatin1String("444") || chroma == QLatin1String("4:4:4")) {
        recipe.chromaShiftX = recipe.chromaShiftY = 0;
    } else if (chroma == QLatin1String("422") || chroma == QLatin1String("4:2:2")) {
        recipe.chromaShiftX = 1;
        recipe.chromaShiftY = 0;
    } else if (chroma != QLatin1String("420") && chroma != QLatin1String("4:2:0")) {
        error = tr("Unknown chroma format '%1': give --chroma 444, 422 or 420.").arg(chroma);
        return std::nullopt;
    }
    const QString bits = given.bits.value_or(QStringLiteral("8"));
    if (bits != QLatin1String("8") && bits != QLatin1String("10")) {
        error = tr("Unsupported depth '%1': give --bits 8 or 10.").arg(bits);
        return std::nullopt;
    }
    recipe.bits = bits.toInt();

    if (given.untagged && (given.tagMatrix || given.tagRange || given.tagPrimaries || given.tagTransfer)) {
        error = tr("--untagged leaves every tag out; --tag-matrix, --tag-range, --tag-primaries and --tag-transfer "
                   "set one.");
        return std::nullopt;
    }
    if (given.untagged)
        return recipe;
    // True tags, then what the options say instead.
    recipe.range = QLatin1String(recipe.fullRange ? "pc" : "tv");
    recipe.matrixTag = QLatin1String(matrix->tag);
    recipe.primaries = QLatin1String(matrix->primaries);
    recipe.transfer = QLatin1String(matrix->transfer);
    if (given.tagMatrix) {
        const MatrixName *tagged = matrixNamed(*given.tagMatrix);
        if (!tagged && !isNone(*given.tagMatrix)) {
            error = tr("Unknown matrix '%1': give --tag-matrix bt601, bt709, bt2020 or none.").arg(*given.tagMatrix);
            return std::nullopt;
        }
        recipe.matrixTag = tagged ? QLatin1String(tagged->tag) : QString();
    }
    if (given.tagRange) {
        const std::optional<bool> full = fullRangeNamed(*given.tagRange);
        if (!full && !isNone(*given.tagRange)) {
            error = tr("Unknown range '%1': give --tag-range limited, full or none.").arg(*given.tagRange);
            return std::nullopt;
        }
        recipe.range = full ? QLatin1String(*full ? "pc" : "tv") : QString();
    }
    if (given.tagPrimaries) {
        const std::optional<Primaries::Set> set = Primaries::Named(given.tagPrimaries->toStdString());
        const bool tagless = set && Primaries::Of(*set).ffmpegName.empty();
        if ((!set && !isNone(*given.tagPrimaries)) || tagless) {
            error = tr("%1 '%2': give --tag-primaries bt601-625, bt601-525, bt709, p3, bt2020 or none.")
                        .arg(tagless ? tr("Video has no tag for the primaries") : tr("Unknown primaries"),
                             *given.tagPrimaries);
            return std::nullopt;
        }
        recipe.primaries = set ? QString::fromLatin1(Primaries::Of(*set).ffmpegName.data(),
                                                     qsizetype(Primaries::Of(*set).ffmpegName.size()))
                               : QString();
    }
    if (given.tagTransfer) {
        const TransferName *tagged = nullptr;
        for (const TransferName &t : Transfers)
            if (given.tagTransfer->compare(QLatin1String(t.name), Qt::CaseInsensitive) == 0)
                tagged = &t;
        if (!tagged && !isNone(*given.tagTransfer)) {
            error = tr("Unknown transfer '%1': give --tag-transfer bt709, smpte170m, bt2020, srgb, gamma22, gamma28, "
                       "linear, pq, hlg or none.")
                        .arg(*given.tagTransfer);
            return std::nullopt;
        }
        recipe.transfer = tagged ? QLatin1String(tagged->tag) : QString();
    }
    return recipe;
}

QString Refusal(const VideoFrames::YcbcrRecipe &recipe, VideoFrames::ClipFormat format, QSize size)
{
    if (format != VideoFrames::ClipFormat::Mp4)
        return {};
    const bool oddAcross = recipe.chromaShiftX > 0 && size.width() % 2 != 0;
    const bool oddDown = recipe.chromaShiftY > 0 && size.height() % 2 != 0;
    if (oddAcross || oddDown)
        return tr("H.264 keeps %1 only in pictures of even sizes, and the sheet is %2x%3: end the name in .mkv "
                  "(FFV1 keeps any size), or give --chroma 444.")
            .arg(QLatin1String(recipe.chromaShiftY > 0 ? "4:2:0" : "4:2:2"))
            .arg(size.width())
            .arg(size.height());
    // The range flag sits beside the matrix, primaries and transfer in
    // H.264's signal description: written with them, it says limited or full.
    if (recipe.range.isEmpty() && !(recipe.matrixTag.isEmpty() && recipe.primaries.isEmpty() && recipe.transfer.isEmpty()))
        return tr("H.264 cannot leave the range out while it tags the matrix or primaries (its range flag is written "
                  "with them, and says limited): end the name in .mkv, or give --untagged.");
    return {};
}

} // namespace ClipRecipe
