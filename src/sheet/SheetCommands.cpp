#include "sheet/SheetCommands.h"

#include "sheet/ColourSet.h"
#include "sheet/PictureReader.h"
#include "sheet/SheetArguments.h"
#include "sheet/SheetFile.h"
#include "sheet/SheetHost.h"

#include "generation/SheetGenerator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace SheetCommands {

namespace {

using namespace SheetArguments;

QString tr(const char *text)
{
    return QCoreApplication::translate("SheetCommands", text);
}

void printLine(std::FILE *stream, const QString &line)
{
    const QByteArray bytes = line.toLocal8Bit() + '\n';
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stream);
}

// One line on stderr, whatever the reason held.
int fail(const QString &message)
{
    QString line = message;
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    printLine(stderr, QCoreApplication::applicationName() + QLatin1String(": ") + line);
    return Failed;
}

int failUsage(const QString &message)
{
    return fail(message + tr(" See '%1 --help'.").arg(QCoreApplication::applicationName()));
}

int failUnknownMode(const QString &text)
{
    return fail(tr("Unknown mode '%1': give %2.").arg(text, ModeChoices()));
}

int failNoMemory(const SheetHost &host)
{
    return fail(tr("There is not enough memory for the %1x%2 sheet.")
                    .arg(host.unavailableWidth())
                    .arg(host.unavailableHeight()));
}

QString sizeText(int width, int height)
{
    return QStringLiteral("%1x%2").arg(width).arg(height);
}

// Counts the colours of a picture of 32-bit pixels, the colour in the low 24 bits.
void collect(const QImage &picture, ColourSet &colours)
{
    for (int y = 0; y < picture.height(); ++y)
        colours.insertAll(reinterpret_cast<const std::uint32_t *>(picture.constScanLine(y)),
                          std::size_t(picture.width()));
}

void collect(const Canvas &canvas, ColourSet &colours)
{
    colours.insertAll(canvas.bits(), std::size_t(canvas.width()) * std::size_t(canvas.height()));
}

// Pixels of either picture with no equal pixel at the same place in the
// other: the places both have whose colours differ, and the places only one
// has when the sizes differ.
qint64 differingPixels(const QImage &picture, const Canvas &sheet)
{
    const int width = std::min(picture.width(), sheet.width());
    const int height = std::min(picture.height(), sheet.height());
    qint64 differing = qint64(picture.width()) * picture.height() + qint64(sheet.width()) * sheet.height()
                       - 2 * qint64(width) * height;
    for (int y = 0; y < height; ++y) {
        const auto *found = reinterpret_cast<const std::uint32_t *>(picture.constScanLine(y));
        const std::uint32_t *expected = sheet.bits() + std::size_t(y) * std::size_t(sheet.width());
        for (int x = 0; x < width; ++x)
            differing += ((found[x] ^ expected[x]) & 0xFFFFFFu) != 0;
    }
    return differing;
}

// --- the commands -----------------------------------------------------------

int make(const QStringList &arguments, const QCommandLineParser &parser, const QCommandLineOption &formatOption)
{
    if (arguments.size() != 2)
        return failUsage(tr("make needs a MODE and a FILE."));
    const std::optional<int> mode = ParseMode(arguments[0]);
    if (!mode)
        return failUnknownMode(arguments[0]);
    const QString fileName = arguments[1];
    if (fileName.isEmpty())
        return failUsage(tr("The file name is empty."));

    std::optional<Format> format;
    if (parser.isSet(formatOption)) {
        format = ParseFormat(parser.value(formatOption));
        if (!format)
            return fail(tr("Unknown format '%1': give bmp or png.").arg(parser.value(formatOption)));
    } else if (fileName == QLatin1String("-")) {
        format = Format::Bmp;
    } else {
        format = FormatOfName(fileName);
        if (!format)
            return fail(tr("Cannot tell the format from the name %1: end it in .bmp or .png, or give --format.")
                            .arg(QDir::toNativeSeparators(fileName)));
    }

    SheetHost host;
    if (!host.Draw(*mode))
        return failNoMemory(host);
    QString error;
    if (!SheetFile::WritePicture(host.image(), fileName, *format, error))
        return fail(error);
    return Done;
}

int census(const QStringList &arguments, const QCommandLineParser &parser, const QCommandLineOption &modeOption)
{
    if (arguments.size() != 1)
        return failUsage(tr("census needs one FILE."));
    std::optional<int> mode;
    if (parser.isSet(modeOption)) {
        mode = ParseMode(parser.value(modeOption));
        if (!mode)
            return failUnknownMode(parser.value(modeOption));
    }

    const QString fileName = arguments[0];
    QImage picture;
    QString reason;
    if (!PictureReader::ReadPicture(fileName, picture, reason)) {
        const QString name = fileName == QLatin1String("-") ? tr("standard input") : QDir::toNativeSeparators(fileName);
        return fail(tr("Could not read the picture %1: %2").arg(name, reason));
    }

    ColourSet found;
    collect(picture, found);
    printLine(stdout, QStringLiteral("size: %1").arg(sizeText(picture.width(), picture.height())));
    printLine(stdout, QStringLiteral("pixels: %1").arg(qint64(picture.width()) * picture.height()));
    printLine(stdout, QStringLiteral("distinct: %1").arg(found.count()));
    if (!mode)
        return Done;

    SheetHost host;
    if (!host.Draw(*mode))
        return failNoMemory(host);
    ColourSet expected;
    collect(host.canvas(), expected);
    const qint64 differing = differingPixels(picture, host.canvas());
    printLine(stdout, QStringLiteral("differing pixels: %1").arg(differing));
    printLine(stdout, QStringLiteral("missing colours: %1").arg(expected.countMissingFrom(found)));
    printLine(stdout, QStringLiteral("extra colours: %1").arg(found.countMissingFrom(expected)));
    return differing == 0 ? Done : No;
}

int locate(const QStringList &arguments)
{
    if (arguments.size() != 2)
        return failUsage(tr("locate needs a MODE and a COLOUR."));
    const std::optional<int> mode = ParseMode(arguments[0]);
    if (!mode)
        return failUnknownMode(arguments[0]);
    const std::optional<QRgb> colour = ParseColour(arguments[1]);
    if (!colour)
        return fail(tr("Malformed colour '%1': give six hexadecimal digits RRGGBB, such as 90FF20 or #90ff20.")
                        .arg(arguments[1]));

    SheetHost host;
    if (!host.Draw(*mode))
        return failNoMemory(host);
    const Canvas &sheet = host.canvas();
    const std::uint32_t wanted = *colour & 0xFFFFFFu;
    int places = 0;
    for (int y = 0; y < sheet.height(); ++y) {
        const std::uint32_t *row = sheet.bits() + std::size_t(y) * std::size_t(sheet.width());
        for (int x = 0; x < sheet.width(); ++x) {
            if ((row[x] & 0xFFFFFFu) == wanted) {
                printLine(stdout, QStringLiteral("%1 %2").arg(x).arg(y));
                ++places;
            }
        }
    }
    if (places == 0) {
        printLine(stderr, QCoreApplication::applicationName() + QLatin1String(": ")
                              + tr("The %1 sheet does not hold the colour %2.")
                                    .arg(ModeName(*mode), QStringLiteral("%1").arg(wanted, 6, 16, QLatin1Char('0')).toUpper()));
        return No;
    }
    return Done;
}

int modes(const QStringList &arguments)
{
    if (!arguments.isEmpty())
        return failUsage(tr("modes takes no arguments."));
    for (int mode = 0; mode < Sheets::Count; ++mode) {
        SheetHost host;
        if (!host.Draw(mode))
            return failNoMemory(host);
        ColourSet colours;
        collect(host.canvas(), colours);
        const CanvasArea tile = host.firstTile();
        printLine(stdout, QStringLiteral("%1 %2 %3 %4 %5")
                              .arg(mode)
                              .arg(ModeName(mode), sizeText(host.canvas().width(), host.canvas().height()),
                                   sizeText(tile.width, tile.height))
                              .arg(colours.count()));
    }
    return Done;
}

// --- the command line -------------------------------------------------------

enum class Command { None, Make, Census, Locate, Modes };

Command commandNamed(const QString &name)
{
    if (name == QLatin1String("make"))
        return Command::Make;
    if (name == QLatin1String("census"))
        return Command::Census;
    if (name == QLatin1String("locate"))
        return Command::Locate;
    if (name == QLatin1String("modes"))
        return Command::Modes;
    return Command::None;
}

QString allocationLimitNote()
{
    const int limit = PictureReader::AllocationLimit();
    if (limit <= 0)
        return tr("Pictures are read with Qt's allocation limit switched off (QT_IMAGEIO_MAXALLOC=0).");
    return tr("Pictures are read within Qt's allocation limit of %1 MB for the decoded picture (4 bytes a pixel:\n"
              "about %2 million pixels); a file whose header claims more is refused before it is decoded.\n"
              "The environment variable QT_IMAGEIO_MAXALLOC sets another limit in MB.")
        .arg(limit)
        .arg(qint64(limit) * 1024 * 1024 / 4 / 1'000'000);
}

QString overview()
{
    return tr("Tintwell's colour sheets without a window: the same sheets the window draws, made, checked and\n"
              "searched from the command line. No display is needed.\n"
              "\n"
              "Commands:\n"
              "  make MODE FILE             Write the complete sheet of MODE to FILE: .bmp gives the bytes the\n"
              "                             window's Save writes, .png a 24-bit RGB PNG; - is standard output.\n"
              "  census FILE [--mode MODE]  Count a picture's pixels and distinct colours; with --mode, compare\n"
              "                             it with the sheet of MODE.\n"
              "  locate MODE COLOUR         Print every place X Y of COLOUR (RRGGBB) in the sheet of MODE.\n"
              "  modes                      List the modes: index, name, size, tile size, distinct colours.\n"
              "\n"
              "MODE: %1; 256kilo is taken for 256killo.\n"
              "\n"
              "Exit status: 0 done; 1 a negative answer (census --mode: the picture is not the sheet; locate:\n"
              "the sheet does not hold the colour); 2 an error, told in one line on standard error.\n"
              "\n"
              "%2\n"
              "\n"
              "'%3 COMMAND --help' describes one command.")
        .arg(ModeChoices(), allocationLimitNote(), QCoreApplication::applicationName());
}

struct Options
{
    QCommandLineOption format {QStringLiteral("format"),
                               tr("The picture format, bmp or png (default: FILE's extension; BMP for -)."),
                               QStringLiteral("bmp|png")};
    QCommandLineOption mode {QStringLiteral("mode"), tr("Compare the picture with the sheet of MODE."),
                             QStringLiteral("MODE")};
};

void describe(QCommandLineParser &parser, Command command, const Options &options)
{
    parser.addHelpOption();
    parser.addVersionOption();
    switch (command) {
    case Command::None:
        parser.setApplicationDescription(overview());
        parser.addPositionalArgument(QStringLiteral("command"), tr("make, census, locate or modes."),
                                     QStringLiteral("command [arguments]"));
        break;
    case Command::Make:
        parser.setApplicationDescription(
            tr("Writes the complete sheet of MODE to FILE, through a temporary file: an existing FILE is\n"
               "replaced only by a complete new one, and a failure leaves no partial file."));
        parser.addOption(options.format);
        parser.addPositionalArgument(QStringLiteral("make"), tr("The command."));
        parser.addPositionalArgument(QStringLiteral("MODE"), ModeChoices());
        parser.addPositionalArgument(QStringLiteral("FILE"),
                                     tr("The picture to write, .bmp or .png; - for standard output."));
        break;
    case Command::Census:
        parser.setApplicationDescription(
            tr("Prints size: WxH, pixels: N and distinct: N of the picture in FILE (any format Qt reads,\n"
               "BMP and PNG at least; the alpha channel is ignored). With --mode also differing pixels: N,\n"
               "missing colours: N (colours of the sheet not in the picture) and extra colours: N (colours in\n"
               "the picture not in the sheet), and exits with 0 when the picture is the sheet pixel for\n"
               "pixel, 1 otherwise. A picture of another size differs in every place only one of them has.\n\n")
            + allocationLimitNote());
        parser.addOption(options.mode);
        parser.addPositionalArgument(QStringLiteral("census"), tr("The command."));
        parser.addPositionalArgument(QStringLiteral("FILE"), tr("The picture to count; - for standard input."));
        break;
    case Command::Locate:
        parser.setApplicationDescription(
            tr("Prints every place of COLOUR in the sheet of MODE as X Y, one a line, rows from the top, each\n"
               "row from the left; (0, 0) is the top-left pixel. Exits with 1 when the sheet does not hold\n"
               "the colour."));
        parser.addPositionalArgument(QStringLiteral("locate"), tr("The command."));
        parser.addPositionalArgument(QStringLiteral("MODE"), ModeChoices());
        parser.addPositionalArgument(QStringLiteral("COLOUR"),
                                     tr("RRGGBB in hexadecimal, with or without a leading #, either case."));
        break;
    case Command::Modes:
        parser.setApplicationDescription(
            tr("Prints one line per mode: index, name, size, tile size and number of distinct colours,\n"
               "as the sheets are drawn."));
        parser.addPositionalArgument(QStringLiteral("modes"), tr("The command."));
        break;
    }
}

int runCommand(const QStringList &arguments)
{
    const Options options;

    // First find the command, knowing every command's options; then parse
    // again knowing only the command's own.
    QCommandLineParser any;
    any.addOptions({options.format, options.mode});
    describe(any, Command::None, options);
    if (!any.parse(arguments))
        return failUsage(any.errorText());
    const QStringList words = any.positionalArguments();
    const Command command = words.isEmpty() ? Command::None : commandNamed(words.first());

    QCommandLineParser parser;
    describe(parser, command, options);
    if (!parser.parse(arguments))
        return failUsage(parser.errorText());
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(Done);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();

    const QStringList rest = parser.positionalArguments().mid(1);
    switch (command) {
    case Command::None:
        if (words.isEmpty())
            return failUsage(tr("Give a command: make, census, locate or modes."));
        return failUsage(tr("Unknown command '%1': give make, census, locate or modes.").arg(words.first()));
    case Command::Make:
        return make(rest, parser, options.format);
    case Command::Census:
        return census(rest, parser, options.mode);
    case Command::Locate:
        return locate(rest);
    case Command::Modes:
        return modes(rest);
    }
    return Failed;
}

} // namespace

int Run(const QStringList &arguments)
{
    const int status = runCommand(arguments);
    // A full disk or a closed pipe behind standard output is an error too.
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        return fail(tr("Could not write to standard output: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
    return status;
}

} // namespace SheetCommands
