#include "sheet/DeepDiagnosis.h"

#include "hdr/HdrDiagnosis.h"
#include "lut/CubeFile.h"
#include "picture/HdrMetadata.h"
#include "sheet/CommandContext.h"
#include "sheet/DiagnoseCommand.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>

namespace DeepDiagnosis {

int Run(CommandContext &context, const QString &fileName, const PictureReader::Picture &picture,
        const DeepCapture::Placement &placement)
{
    // A PNG file's own word on its colours: its cICP chunk, or nothing.
    std::optional<HdrDiagnosis::Tagged> tagged;
    QFile file(fileName);
    if (fileName != QLatin1String("-") && file.open(QIODevice::ReadOnly)) {
        const QByteArray head = file.read(1 << 20);
        const HdrMetadata::Tags tags =
            HdrMetadata::ReadPng(reinterpret_cast<const std::uint8_t *>(head.constData()), std::size_t(head.size()));
        if (tags.problems.empty() || tags.cicp) {
            tagged = HdrDiagnosis::Tagged {};
            if (tags.cicp)
                tagged = HdrDiagnosis::Tagged {QStringLiteral("cICP"), tags.cicp->transfer, tags.cicp->primaries};
        }
    }
    HdrDiagnosis::Result result = HdrDiagnosis::Diagnose(picture.image, placement, tagged);
    const Facts facts = result.facts();
    if (context.isSet(QStringLiteral("json"))) {
        context.printJson(facts.json());
    } else {
        context.print(QStringLiteral("mode: deep"));
        for (const QString &line : facts.lines())
            context.print(line);
    }
    if (const std::optional<QString> fixFile = context.option("fix")) {
        const ColourLut lut = result.fix(DiagnoseCommand::FixPoints);
        const QString title = QCoreApplication::translate("SheetCommands", "takes %1 to the deep sheet's SDR rendering")
                                  .arg(QFileInfo(fileName).fileName());
        QString error;
        const auto write = [&](QIODevice &device, QString &reason) {
            return CubeFile::Write(lut, title, device, reason);
        };
        if (!context.writeOut(*fixFile, false, write, error))
            return context.fail(error);
    }
    return result.exact ? Done : No;
}

} // namespace DeepDiagnosis
