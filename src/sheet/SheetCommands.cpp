#include "sheet/SheetCommands.h"

#include "sheet/CensusReport.h"
#include "sheet/ColourSet.h"
#include "sheet/LutCommands.h"
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
#include <array>
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

void collect(const Canvas &canvas, ColourSet &colours)
{
    colours.insertAll(canvas.bits(), std::size_t(canvas.width()) * std::size_t(canvas.height()));
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

// "X,Y" or "X,Y,SCALE": where the sheet lies in the picture.
std::optional<CensusReport::Placement> parsePlacement(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() < 2 || parts.size() > 3)
        return std::nullopt;
    std::array<int, 3> values {0, 0, 1};
    for (qsizetype i = 0; i < parts.size(); ++i) {
        bool ok = false;
        values[std::size_t(i)] = parts[i].trimmed().toInt(&ok);
        if (!ok || values[std::size_t(i)] < (i == 2 ? 1 : 0))
            return std::nullopt;
    }
    return CensusReport::Placement {values[0], values[1], values[2]};
}

struct CensusOptions
{
    const QCommandLineOption &mode;
    const QCommandLineOption &at;
    const QCommandLineOption &diff;
    int missingListed = 0;
};

int census(const QStringList &files, const QCommandLineParser &parser, const CensusOptions &options)
{
    if (files.isEmpty())
        return failUsage(tr("census needs a FILE."));
    CensusReport::Request request;
    request.missingListed = options.missingListed;
    const bool compare = parser.isSet(options.mode);
    if (!compare && (parser.isSet(options.at) || parser.isSet(options.diff) || options.missingListed > 0))
        return failUsage(tr("--at, --diff and --missing compare with a sheet: give --mode too."));
    if (parser.isSet(options.at)) {
        request.at = parsePlacement(parser.value(options.at));
        if (!request.at)
            return failUsage(tr("Malformed place '%1': give X,Y or X,Y,SCALE (whole numbers, SCALE from 1).")
                                 .arg(parser.value(options.at)));
    }
    if (parser.isSet(options.diff)) {
        request.diffFile = parser.value(options.diff);
        if (files.size() > 1)
            return failUsage(tr("--diff writes one picture: give one FILE with it."));
        if (request.diffFile.isEmpty() || request.diffFile == QLatin1String("-"))
            return failUsage(tr("--diff needs a file name (standard output carries the census)."));
        if (!FormatOfName(request.diffFile))
            return fail(tr("Cannot tell the format from the name %1: end it in .bmp or .png.")
                            .arg(QDir::toNativeSeparators(request.diffFile)));
    }

    SheetHost host;
    if (compare) {
        const std::optional<int> mode = ParseMode(parser.value(options.mode));
        if (!mode)
            return failUnknownMode(parser.value(options.mode));
        if (!host.Draw(*mode))
            return failNoMemory(host);
        request.sheet = host.image();
    }

    int status = Done;
    for (const QString &fileName : files) {
        if (files.size() > 1)
            printLine(stdout, QStringLiteral("file: %1").arg(fileName));
        const CensusReport::Result result = CensusReport::Run(fileName, request);
        for (const QString &line : result.lines)
            printLine(stdout, line);
        if (result.status == Failed)
            fail(result.error);
        status = std::max(status, result.status);
    }
    return status;
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

enum class Command { None, Make, Census, Locate, Modes, Lut, Apply };

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
    if (name == QLatin1String("lut"))
        return Command::Lut;
    if (name == QLatin1String("apply"))
        return Command::Apply;
    return Command::None;
}

QString allocationLimitNote()
{
    const int limit = PictureReader::AllocationLimit();
    if (limit <= 0)
        return tr("Pictures are read with no allocation limit (QT_IMAGEIO_MAXALLOC=0).");
    return tr("Pictures are read within an allocation limit of %1 MB for the decoded picture (about %2 million\n"
              "pixels at 8 bits a channel, %3 million at 16); a file whose header claims more is refused before\n"
              "it is decoded. The environment variable QT_IMAGEIO_MAXALLOC sets another limit in MB, 0 for none.")
        .arg(limit)
        .arg(qint64(limit) * 1024 * 1024 / 4 / 1'000'000)
        .arg(qint64(limit) * 1024 * 1024 / 8 / 1'000'000);
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
              "  lut EDITED --mode MODE     Turn an edited sheet into a look-up table: .cube or HaldCLUT.\n"
              "  apply LUT PICTURE OUT      Grade a picture with a .cube, a HaldCLUT or an edited sheet.\n"
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
    QCommandLineOption at {QStringLiteral("at"),
                           tr("The sheet lies at X,Y of the picture (its top-left pixel), shown at SCALE (default 1): "
                              "no search."),
                           QStringLiteral("X,Y[,SCALE]")};
    QCommandLineOption diff {QStringLiteral("diff"),
                             tr("Write a picture of where the picture differs from the sheet to FILE (.bmp or .png)."),
                             QStringLiteral("FILE")};
    // Read by hand before parsing: its value is optional (--missing or --missing=N).
    QCommandLineOption missing {QStringLiteral("missing"),
                                tr("--missing[=N]: list the first N (default 20) of the sheet's colours the picture "
                                   "lacks, as RRGGBB X Y with the place the sheet holds each.")};
    QCommandLineOption sheetMode {QStringLiteral("mode"), tr("The mode of the edited sheet."), QStringLiteral("MODE")};
    QCommandLineOption output {{QStringLiteral("o"), QStringLiteral("output")},
                               tr("The file to write (default: standard output)."), QStringLiteral("FILE")};
    QCommandLineOption lutSize {QStringLiteral("size"),
                                tr("Points a channel of a .cube (2-256, default 33), level of a HaldCLUT "
                                   "(2-16, default 8)."),
                                QStringLiteral("N")};
    QCommandLineOption lutFormat {QStringLiteral("format"), tr("cube (default) or hald."), QStringLiteral("cube|hald")};
    QCommandLineOption interpolation {QStringLiteral("interpolation"),
                                      tr("tetrahedral (default), trilinear or nearest."), QStringLiteral("METHOD")};
};

constexpr int MissingListedByDefault = 20;

void describe(QCommandLineParser &parser, Command command, const Options &options)
{
    parser.addHelpOption();
    parser.addVersionOption();
    switch (command) {
    case Command::None:
        parser.setApplicationDescription(overview());
        parser.addPositionalArgument(QStringLiteral("command"), tr("make, census, locate, modes, lut or apply."),
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
            tr("Prints size: WxH, pixels: N, distinct: N and depth: 8|16 of the picture in FILE (any format\n"
               "Qt reads: BMP, PNG, JPEG, TIFF, WebP, ...; the alpha channel is ignored; 16-bit PNG and TIFF\n"
               "are read and counted at 16 bits a channel).\n"
               "\n"
               "With --mode it compares the picture with the sheet and adds differing pixels: N, missing\n"
               "colours: N (the sheet's colours not in the picture), extra colours: N (the picture's colours\n"
               "not in the sheet), max channel difference: N (in 8-bit levels; fractional at 16 bits), mean\n"
               "channel difference: X, PSNR: X dB (as ImageMagick's compare -metric PSNR; inf when\n"
               "identical), mean dE2000: X and max dE2000: X (sRGB, D65, CIEDE2000). It exits with 0 when\n"
               "the picture is the sheet pixel for pixel, 1 otherwise. A 16-bit sample matches only at the\n"
               "sheet's level times 257.\n"
               "\n"
               "A picture larger than the sheet (a screenshot) is searched for the sheet, shown 1:1 or at a\n"
               "scale of 2, 3 or 4: offset: X Y (and scale: N) tell where it lies, and every line after\n"
               "concerns that area. When no placement is plausible the census says so on a line 'sheet not\n"
               "found: ...' naming the closest, and exits with 1. A picture smaller than the sheet differs\n"
               "at every place only one of them has.\n"
               "\n"
               "Several FILEs are counted in turn, each after a line file: NAME; the exit status is 1 if any\n"
               "differs.\n\n")
            + allocationLimitNote());
        parser.addOption(options.mode);
        parser.addOption(options.at);
        parser.addOption(options.diff);
        parser.addOption(options.missing);
        parser.addPositionalArgument(QStringLiteral("census"), tr("The command."));
        parser.addPositionalArgument(QStringLiteral("FILE..."), tr("The pictures to count; - for standard input."));
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
    case Command::Lut:
        parser.setApplicationDescription(LutCommands::LutDescription());
        parser.addOptions({options.sheetMode, options.output, options.lutSize, options.lutFormat});
        parser.addPositionalArgument(QStringLiteral("lut"), tr("The command."));
        parser.addPositionalArgument(QStringLiteral("EDITED"), tr("The edited sheet; - for standard input."));
        break;
    case Command::Apply:
        parser.setApplicationDescription(LutCommands::ApplyDescription());
        parser.addOptions({options.sheetMode, options.interpolation});
        parser.addPositionalArgument(QStringLiteral("apply"), tr("The command."));
        parser.addPositionalArgument(QStringLiteral("LUT"), tr("A .cube file, a HaldCLUT, or an edited sheet with --mode."));
        parser.addPositionalArgument(QStringLiteral("PICTURE"), tr("The picture to grade; - for standard input."));
        parser.addPositionalArgument(QStringLiteral("OUT"), tr("The graded picture: .bmp, .png, .jpg, .tif or .webp."));
        break;
    case Command::Modes:
        parser.setApplicationDescription(
            tr("Prints one line per mode: index, name, size, tile size and number of distinct colours,\n"
               "as the sheets are drawn."));
        parser.addPositionalArgument(QStringLiteral("modes"), tr("The command."));
        break;
    }
}

int runCommand(QStringList arguments)
{
    const Options options;

    // --missing takes an optional value, which the parser cannot.
    std::optional<int> missingListed;
    for (qsizetype i = 1; i < arguments.size();) {
        const QString &word = arguments[i];
        if (word == QLatin1String("--"))
            break;
        if (word == QLatin1String("--missing") || word.startsWith(QLatin1String("--missing="))) {
            bool ok = true;
            const int count = word.size() == 9 ? MissingListedByDefault : word.mid(10).toInt(&ok);
            if (!ok || count < 0)
                return failUsage(tr("Malformed count '%1': give --missing or --missing=N.").arg(word.mid(10)));
            missingListed = count;
            arguments.removeAt(i);
            continue;
        }
        ++i;
    }

    // First find the command, knowing every command's options; then parse
    // again knowing only the command's own.
    QCommandLineParser any;
    any.addOptions({options.format, options.mode, options.at, options.diff, options.output, options.lutSize,
                    options.interpolation});
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
    if (missingListed && command != Command::Census)
        return failUsage(tr("Unknown option 'missing'."));
    switch (command) {
    case Command::None:
        if (words.isEmpty())
            return failUsage(tr("Give a command: make, census, locate, modes, lut or apply."));
        return failUsage(tr("Unknown command '%1': give make, census, locate, modes, lut or apply.").arg(words.first()));
    case Command::Make:
        return make(rest, parser, options.format);
    case Command::Census:
        return census(rest, parser, {options.mode, options.at, options.diff, missingListed.value_or(0)});
    case Command::Locate:
        return locate(rest);
    case Command::Modes:
        return modes(rest);
    case Command::Lut:
    case Command::Apply: {
        const auto value = [&](const QCommandLineOption &option) {
            return parser.isSet(option) ? std::optional<QString>(parser.value(option)) : std::nullopt;
        };
        QString error;
        const int status = command == Command::Lut
                               ? LutCommands::Lut(rest, {value(options.sheetMode), value(options.output),
                                                         value(options.lutSize), value(options.lutFormat)},
                                                  error)
                               : LutCommands::Apply(rest, {value(options.sheetMode), value(options.interpolation)},
                                                    error);
        return status == LutCommands::Done ? status : fail(error);
    }
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
