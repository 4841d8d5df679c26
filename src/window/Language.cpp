#include "window/Language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <memory>

namespace Language {

namespace {

// Where the build puts the program's translations among its resources.
const QString ProgramTranslations = QStringLiteral(":/i18n");

std::unique_ptr<QTranslator> &programTranslator()
{
    static std::unique_ptr<QTranslator> translator;
    return translator;
}

std::unique_ptr<QTranslator> &qtTranslator()
{
    static std::unique_ptr<QTranslator> translator;
    return translator;
}

void replace(std::unique_ptr<QTranslator> &installed, std::unique_ptr<QTranslator> translator)
{
    if (installed)
        QCoreApplication::removeTranslator(installed.get());
    installed = std::move(translator);
    if (installed)
        QCoreApplication::installTranslator(installed.get());
}

} // namespace

void Install(const QLocale &locale)
{
    // The user's languages in order of preference; where none has a
    // translation, English.
    auto program = std::make_unique<QTranslator>();
    if (!program->load(locale, QStringLiteral("tintwell"), QStringLiteral("_"), ProgramTranslations)
        && !program->load(QStringLiteral("tintwell_en"), ProgramTranslations))
        program.reset();
    replace(programTranslator(), std::move(program));

    auto qt = std::make_unique<QTranslator>();
    if (!qt->load(locale, QStringLiteral("qt"), QStringLiteral("_"),
                  QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        qt.reset();
    replace(qtTranslator(), std::move(qt));
}

} // namespace Language
