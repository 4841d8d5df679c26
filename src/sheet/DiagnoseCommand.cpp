#include "sheet/DiagnoseCommand.h"

#include "census/CensusReport.h"
#include "census/Diagnosis.h"
#include "lut/CubeFile.h"
#include "sheet/CensusCommand.h"
#include "sheet/CommandContext.h"
#include "sheet/SheetArguments.h"
#include "sheet/SheetHost.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QImage>

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

    if (!context.isSet(modeOption))
        return context.failUsage(tr("diagnose needs --mode MODE: the sheet the capture shows."));
    const std::optional<Mode> mode = SheetArguments::ParseMode(context.value(modeOption));
    if (!mode)
        return context.failUnknownMode(context.value(modeOption));
    SheetHost host;
    if (!host.Draw(Sheets::Index(*mode)))
        return context.failNoMemory(host.unavailableWidth(), host.unavailableHeight());
    request.sheet = host.image();

    const CensusReport::Result census = CensusReport::Run(fileName, request);
    const QSize sheetSize = request.sheet.size();
    if (census.outcome != CensusReport::Outcome::Failed && !census.picture.isNull()
        && census.area.size() != sheetSize * census.scale)
        return context.fail(tr("%1 is %2x%3, smaller than the sheet (%4x%5): diagnose needs all of it.")
                                .arg(CommandContext::Shown(fileName))
                                .arg(census.area.width())
                                .arg(census.area.height())
                                .arg(sheetSize.width() * census.scale)
                                .arg(sheetSize.height() * census.scale));
    for (const QString &line : census.lines)
        context.print(line);
    if (census.outcome == CensusReport::Outcome::Failed)
        return context.fail(census.error);
    if (census.picture.isNull())
        return No; // the sheet was not found: the census said so

    try {
        QImage capture = census.picture.copy(census.area);
        if (census.scale != 1)
            capture = capture.scaled(sheetSize, Qt::IgnoreAspectRatio, Qt::FastTransformation);
        if (capture.isNull())
            throw std::bad_alloc();
        const Diagnosis::Result diagnosis = Diagnosis::Diagnose(request.sheet, capture, census.scale == 1 ? &census.measures : nullptr);
        const QString landmarks = diagnosis.landmarkLine();
        if (!landmarks.isEmpty())
            context.print(landmarks);
        for (const QString &line : diagnosis.stepLines())
            context.print(line);

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
