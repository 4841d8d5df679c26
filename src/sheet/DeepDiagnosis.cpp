#include "sheet/DeepDiagnosis.h"

#include "hdr/HdrDiagnosis.h"
#include "sheet/CommandContext.h"

#include <QCoreApplication>
#include <QJsonObject>

namespace DeepDiagnosis {

int Run(CommandContext &context, const QString &fileName, const PictureReader::Picture &picture,
        const DeepCapture::Placement &placement)
{
    (void)fileName;
    const HdrDiagnosis::Result result = HdrDiagnosis::Diagnose(picture.image, placement);
    const Facts facts = result.facts();
    if (context.isSet(QStringLiteral("json"))) {
        context.printJson(facts.json());
    } else {
        context.print(QStringLiteral("mode: deep"));
        for (const QString &line : facts.lines())
            context.print(line);
    }
    return No;
}

} // namespace DeepDiagnosis
