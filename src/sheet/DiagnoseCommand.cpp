#include "sheet/DiagnoseCommand.h"

#include "census/CensusReport.h"
#include "lut/CubeFile.h"
#include "sheet/CensusCommand.h"
#include "sheet/CommandContext.h"
#include "sheet/RecordingDiagnosis.h"
#include "sheet/SheetArguments.h"
#include "sheet/SheetCache.h"

#include "video/VideoLibrary.h"
#include "Texts.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonObject>

namespace DiagnoseCommand {

namespace {

TINTWELL_TR_CONTEXT("SheetCommands");

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

    request.diagnose = true;
    const CensusReport::Result census = CensusReport::Run(fileName, request);
    if (census.outcome == CensusReport::Outcome::Failed)
        return context.fail(census.error);
    const Facts found = census.diagnosis ? census.diagnosis->facts() : Facts();
    if (json) {
        QJsonObject document = census.facts.json();
        const QJsonObject more = found.json();
        for (auto i = more.begin(); i != more.end(); ++i)
            document.insert(i.key(), i.value());
        context.printJson(document);
    } else {
        for (const QString &line : census.lines + found.lines())
            context.print(line);
    }
    if (!census.diagnosis)
        return No; // the census says the sheet was not found

    if (context.isSet(fixOption)) {
        const LutTable table = census.diagnosis->fix(FixPoints);
        const QString title = tr("undoes what happened to %1").arg(QFileInfo(fileName).fileName());
        const auto write = [&](QIODevice &device, QString &reason) {
            return CubeFile::Write(table, title, device, reason);
        };
        QString error;
        if (!context.writeOut(fixFile, false, write, error))
            return context.fail(error);
    }
    return census.outcome == CensusReport::Outcome::Matches && census.diagnosis->exact ? Done : No;
}

} // namespace DiagnoseCommand
