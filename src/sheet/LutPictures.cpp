#include "sheet/LutPictures.h"

#include "lut/HaldClut.h"
#include "lut/LutGuess.h"
#include "picture/PictureReader.h"
#include "sheet/CommandContext.h"
#include "sheet/SheetArguments.h"
#include "Texts.h"

#include <QCoreApplication>

namespace LutPictures {

namespace {

TINTWELL_TR_CONTEXT("LutPictures");

// Why the edited sheet cannot be the sheet of `mode`; empty when its size is that sheet's.
QString wrongSize(const QString &shown, const QImage &picture, Mode mode)
{
    const Sheet &sheet = Sheets::Of(mode);
    if (picture.width() == sheet.size && picture.height() == sheet.size)
        return {};
    const QString size = QStringLiteral("%1x%2").arg(picture.width()).arg(picture.height());
    if (const std::optional<Mode> other = Sheets::OfSize(picture.width(), picture.height()))
        return tr("%1 is %2: the %3 sheet's size, not the %4 sheet's (%5x%5); give --mode %3.")
            .arg(shown, size, SheetArguments::ModeName(*other), SheetArguments::ModeName(mode))
            .arg(sheet.size);
    return tr("%1 is %2, the size of no sheet: it looks resized (the %3 sheet is %4x%4); edit the sheet at its "
              "own size.")
        .arg(shown, size, SheetArguments::ModeName(mode))
        .arg(sheet.size);
}

bool readPicture(const QString &fileName, const QString &what, PictureReader::Picture &picture, QStringList &notes,
                 QString &error)
{
    QString reason;
    if (!PictureReader::ReadPicture(fileName, picture, reason)) {
        error = tr("Could not read the %1 %2: %3").arg(what, CommandContext::Shown(fileName), reason);
        return false;
    }
    if (picture.lossy)
        notes << tr("%1 was saved with lossy compression: the result cannot be exact; save the %2 as PNG or TIFF.")
                     .arg(CommandContext::Shown(fileName), what);
    return true;
}

bool loadSheet(const QString &fileName, const QImage &picture, Mode mode, SheetLut &sheet, QString &error)
{
    error = wrongSize(CommandContext::Shown(fileName), picture, mode);
    if (!error.isEmpty())
        return false;
    QString reason;
    if (sheet.load(picture, mode, reason))
        return true;
    error = tr("Could not read the edited sheet %1: %2").arg(CommandContext::Shown(fileName), reason);
    return false;
}

} // namespace

bool ReadEditedSheet(const QString &fileName, Mode mode, SheetLut &sheet, QStringList &notes, QString &error)
{
    PictureReader::Picture picture;
    return readPicture(fileName, tr("edited sheet"), picture, notes, error)
           && loadSheet(fileName, picture.image, mode, sheet, error);
}

bool Read(const QString &fileName, Told told, AnyLut &lut, QStringList &notes, QString &error)
{
    if (told.mode) {
        SheetLut sheet;
        if (!ReadEditedSheet(fileName, *told.mode, sheet, notes, error))
            return false;
        lut = std::move(sheet);
        return true;
    }

    PictureReader::Picture picture;
    if (!readPicture(fileName, told.hald ? tr("HaldCLUT") : tr("LUT picture"), picture, notes, error))
        return false;
    const QImage &image = picture.image;
    const QString shown = CommandContext::Shown(fileName);
    if (!told.hald) {
        // A sheet's size says a sheet, unless it is a HaldCLUT's too: then
        // the nearer of the two unedited forms.
        const LutGuess::Candidates candidates = LutGuess::ForSize(image.width(), image.height());
        const QString size = QStringLiteral("%1x%2").arg(image.width()).arg(image.height());
        std::optional<Mode> mode = candidates.sheet;
        if (mode && candidates.haldLevel > 0) {
            if (LutGuess::FromSheet(image, *mode) <= LutGuess::FromHald(image, candidates.haldLevel)) {
                notes << tr("%1 is %2: taken as an edited %3 sheet; --mode or --format hald says which.")
                             .arg(shown, size, SheetArguments::ModeName(*mode));
            } else {
                notes << tr("%1 is %2: taken as a HaldCLUT of level %3; --mode or --format hald says which.")
                             .arg(shown, size)
                             .arg(candidates.haldLevel);
                mode.reset();
            }
        } else if (mode) {
            notes << tr("%1 is %2, the %3 sheet's size: taken as an edited %3 sheet; --mode says so.")
                         .arg(shown, size, SheetArguments::ModeName(*mode));
        }
        if (mode) {
            SheetLut sheet;
            if (!loadSheet(fileName, image, *mode, sheet, error))
                return false;
            lut = std::move(sheet);
            return true;
        }
    }

    ColourLut hald;
    hald.table.emplace();
    QString reason;
    if (!HaldClut::FromPicture(image, *hald.table, reason)) {
        error = tr("Could not read the HaldCLUT %1: %2").arg(shown, reason);
        if (!told.hald)
            error += tr(" Nor is it any sheet's size: an edited sheet of that size looks resized.");
        return false;
    }
    lut = std::move(hald);
    return true;
}

} // namespace LutPictures
