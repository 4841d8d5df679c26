#include "sheet/DiagnoseCommand.h"

#include "census/CensusReport.h"
#include "census/Diagnosis.h"
#include "lut/CubeFile.h"
#include "sheet/CensusCommand.h"
#include "sheet/CommandContext.h"
#include "sheet/RecordingDiagnosis.h"
#include "sheet/SheetArguments.h"
#include "sheet/SheetCache.h"

#include "generation/Sheets.h"

#include "video/VideoLibrary.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonObject>

#include <new>

namespace DiagnoseCommand {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("SheetCommands", text);
}

} // namespace

int Run(CommandContext &context)
{
    const QString fileName = context.arguments().constFirst();
    const QString modeOption = QStringLiteral("mode");
    const QString atOption = QStringLiteral("at");
    const QString fixOption = QStringLiteral("fix");
    const bool json = context.isSet(QStringLiteral("json"));

    CensusReport::Request request;
    if (context.isSet(atOption)) {
        request.at = CensusCommand::ParsePlacement(context.value(atOption));
        if (!request.at)
            return context.failUsage(tr("Malformed place '%1': give X,Y or X,Y,SCALE (whole numbers, SCALE from 1).")
                                         .arg(context.value(atOption)));
    }
    const QString fixFile = context.value(fixOption);
    if (context.isSet(fixOption) && (fixFile.isEmpty() || fixFile == QLatin1String("-")))
        return context.failUsage(tr("--fix needs a file name (standard output carries the diagnosis)."));

    SheetCache sheets;
    const QString modeText = context.isSet(modeOption) ? context.value(modeOption) : QStringLiteral("auto");
    const bool anySheet = modeText.compare(QLatin1String("auto"), Qt::CaseInsensitive) == 0;
    if (anySheet) {
        request.anyOf = sheets.candidates();
    } else {
        const std::optional<Mode> mode = SheetArguments::ParseMode(modeText);
        if (!mode)
            return context.failUnknownMode(modeText);
        request.sheet = sheets.image(*mode);
        if (request.sheet.isNull())
            return context.fail(
                tr("There is not enough memory for the %1 sheet.").arg(SheetArguments::ModeName(*mode)));
    }

    // A recording: its census, then what its samples store against its tags.
    if (VideoLibrary::IsRecording(fileName))
        return RecordingDiagnosis::Run(context, fileName, {request.sheet, request.anyOf, request.at, json, fixFile});

    CensusReport::Result census = CensusReport::Run(fileName, request);
    QString foundMode; // when found by its size, the census named none
    // A picture of a sheet's exact size is that sheet where it lies, even when
    // its colours changed beyond what the search recognises (its channels in
    // another order, a strong curve) and it finds nothing, or a shifted place.
    const QJsonArray size = census.facts.json().value(QStringLiteral("size")).toArray();
    const QSize pictureSize =
        census.picture.isNull() ? QSize(size.at(0).toInt(), size.at(1).toInt()) : census.picture.size();
    const bool partly = !census.picture.isNull() && !census.picture.rect().contains(census.sheetArea);
    const std::optional<Mode> sameSize = Sheets::OfSize(pictureSize.width(), pictureSize.height());
    if (!request.at && fileName != QLatin1String("-") && census.outcome != CensusReport::Outcome::Failed
        && (census.picture.isNull() || partly) && sameSize && (anySheet || request.sheet.size() == pictureSize)) {
        request.anyOf.clear();
        request.sheet = sheets.image(*sameSize);
        request.at = CensusReport::Placement {0, 0, 1};
        census = CensusReport::Run(fileName, request);
        if (anySheet)
            foundMode = SheetArguments::ModeName(*sameSize);
    }
    const bool compared = census.outcome != CensusReport::Outcome::Failed && !census.picture.isNull();
    if (compared && !census.picture.rect().contains(census.sheetArea))
        return context.fail(tr("Only part of the sheet is in %1 (%2x%3 of %4x%5 at %6,%7): diagnose needs all of it.")
                                .arg(CommandContext::Shown(fileName))
                                .arg(census.sheetArea.intersected(census.picture.rect()).width())
                                .arg(census.sheetArea.intersected(census.picture.rect()).height())
                                .arg(census.sheetArea.width())
                                .arg(census.sheetArea.height())
                                .arg(census.sheetArea.x())
                                .arg(census.sheetArea.y()));
    const auto report = [&](const Facts &found) {
        if (json) {
            QJsonObject document = census.facts.json();
            if (!foundMode.isEmpty())
                document.insert(QStringLiteral("mode"), foundMode);
            const QJsonObject more = found.json();
            for (auto i = more.begin(); i != more.end(); ++i)
                document.insert(i.key(), i.value());
            context.printJson(document);
            return;
        }
        if (!foundMode.isEmpty())
            context.print(QStringLiteral("mode: %1").arg(foundMode));
        for (const QString &line : census.lines + found.lines())
            context.print(line);
    };
    if (census.outcome == CensusReport::Outcome::Failed)
        return context.fail(census.error);
    if (!compared) {
        report({}); // the census says the sheet was not found
        return No;
    }

    try {
        const QSize sheetSize = census.sheet.size();
        QImage capture = census.picture.copy(census.sheetArea);
        if (census.scale != 1)
            capture = capture.scaled(sheetSize, Qt::IgnoreAspectRatio, Qt::FastTransformation);
        if (capture.isNull())
            throw std::bad_alloc();
        const Diagnosis::Result diagnosis =
            Diagnosis::Diagnose(census.sheet, capture, census.scale == 1 ? &census.measures : nullptr);
        report(diagnosis.facts());

        if (context.isSet(fixOption)) {
            const LutTable table = diagnosis.fix(FixPoints);
            const QString title = tr("undoes what happened to %1").arg(QFileInfo(fileName).fileName());
            const auto write = [&](QIODevice &device, QString &reason) {
                return CubeFile::Write(table, title, device, reason);
            };
            QString error;
            if (!context.writeOut(fixFile, false, write, error))
                return context.fail(error);
        }
        return diagnosis.exact ? Done : No;
    } catch (const std::bad_alloc &) {
        return context.fail(tr("There is not enough memory to diagnose %1.").arg(CommandContext::Shown(fileName)));
    }
}

} // namespace DiagnoseCommand
