#include "sheet/SheetCommands.h"

#include "sheet/ApplyCommand.h"
#include "sheet/CensusCommand.h"
#include "sheet/CommandContext.h"
#include "sheet/DiagnoseCommand.h"
#include "sheet/LocateCommand.h"
#include "sheet/LutCommand.h"
#include "sheet/MakeCommand.h"
#include "sheet/ModesCommand.h"
#include "picture/PictureReader.h"
#include "sheet/SheetArguments.h"
#include "Texts.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QIODevice>
#include <QStringList>

#include <algorithm>
#include <new>
#include <vector>

namespace SheetCommands {

namespace {

using SheetArguments::ModeChoices;

TINTWELL_TR_CONTEXT("SheetCommands");

struct Argument
{
    QString name;
    QString help;
};

struct Command
{
    QString name;
    QList<Argument> arguments;
    QList<QCommandLineOption> options;
    QString summary;     // one line, for the list of commands
    QString description; // for COMMAND --help
    int (*run)(CommandContext &context);
    // Options the command cannot do without, shown without brackets.
    QStringList requiredOptions = {};
};

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

QCommandLineOption jsonOption()
{
    return {QStringLiteral("json"), tr("Write the results as one JSON document on standard output.")};
}

// Every command, in the order the help lists them.
const std::vector<Command> &commands()
{
    static const std::vector<Command> table = {
        {QStringLiteral("make"),
         {{QStringLiteral("MODE"), ModeChoices()},
          {QStringLiteral("FILE"),
           tr("The picture to write, .bmp or .png; - for standard output; or a clip, .mkv or .mp4.")}},
         {{QStringLiteral("format"), tr("The picture format, bmp or png (default: FILE's extension; BMP for -)."),
           QStringLiteral("bmp|png")},
          {QStringLiteral("seconds"), tr("A clip's length in seconds (default 5)."), QStringLiteral("S")},
          {QStringLiteral("fps"), tr("A clip's frames a second (default 30)."), QStringLiteral("F")}},
         tr("Write the sheet of MODE to FILE: .bmp as the window's Save writes it, .png; - is standard output."),
         tr("Writes the complete sheet of MODE to FILE, through a temporary file: an existing FILE is\n"
            "replaced only by a complete new one, and a failure leaves no partial file.\n"
            "\n"
            "A FILE ending in .mkv or .mp4 is a lossless clip of the sheet, to send through a recorder,\n"
            "an encoder or a service: FFV1 (bgr0) in Matroska, or H.264 RGB at qp 0 (libx264rgb) in\n"
            "MP4, tagged range pc, matrix gbr, primaries bt709, transfer iec61966-2-1, so that a player\n"
            "shows the sheet's own pixels; --seconds S (default 5) at --fps F (default 30)."),
         MakeCommand::Run},
        {QStringLiteral("census"),
         {{QStringLiteral("FILE..."), tr("The pictures to count; - for standard input.")}},
         {{QStringLiteral("mode"),
           tr("Compare the picture with the sheet of MODE; auto: with whichever of the sheets it shows."),
           QStringLiteral("MODE|auto")},
          {QStringLiteral("at"),
           tr("The sheet lies at X,Y of the picture (its top-left pixel), shown at SCALE (default 1): no search\n"
              "(with --mode auto, the sheet that fits there best)."),
           QStringLiteral("X,Y[,SCALE]")},
          {QStringLiteral("diff"),
           tr("Write a picture of where the picture differs from the sheet to FILE (.bmp or .png)."),
           QStringLiteral("FILE")},
          {QStringLiteral("missing"),
           tr("List the first N (default 20: --missing alone) of the sheet's colours the picture lacks, as\n"
            "RRGGBB X Y with the place the sheet holds each."),
           QStringLiteral("N")},
          {QStringLiteral("worst"),
           tr("List the N places with the largest dE2000 as X Y SHEET CAPTURED dE: X Y in the picture, the\n"
              "sheet's colour and the picture's as RRGGBB (RRRRGGGGBBBB at 16 bits)."),
           QStringLiteral("N")},
          jsonOption(),
          {QStringLiteral("frames"), tr("A recording: one more line per frame measured.")},
          {QStringLiteral("frame"), tr("A recording: measure only frame N (from 0)."), QStringLiteral("N")},
          {QStringLiteral("first"), tr("A recording: read only its first N frames."), QStringLiteral("N")}},
         tr("Count a picture's pixels and colours; with --mode, find the sheet of MODE in it and measure how far "
            "off it is."),
         tr("Prints size: WxH, pixels: N, distinct: N and depth: 8|16 of the picture in FILE (any format\n"
            "Qt reads: BMP, PNG, JPEG, TIFF, WebP, ...; the alpha channel is ignored; 16-bit PNG and TIFF\n"
            "are read and counted at 16 bits a channel).\n"
            "\n"
            "With --mode it compares the picture with the sheet and adds differing pixels: N, missing\n"
            "colours: N (the sheet's colours not in the picture), extra colours: N (the picture's colours\n"
            "not in the sheet), max channel difference: N (in 8-bit levels; fractional at 16 bits), mean\n"
            "channel difference: X, PSNR: X dB (as ImageMagick's compare -metric PSNR; inf when\n"
            "identical), mean dE2000: X and max dE2000: X (sRGB, D65, CIEDE2000), and within 1 level: X %,\n"
            "within 2 levels: X % and within 4 levels: X % (the pixels whose largest channel difference is\n"
            "at most that: a healthy 4:2:0 path keeps nearly all within a few). It exits with 0 when the\n"
            "picture is the sheet pixel for pixel, 1 otherwise. A 16-bit sample matches only at the\n"
            "sheet's level times 257.\n"
            "\n"
            "A picture larger than the sheet (a screenshot) is searched for the sheet, shown 1:1 or at a\n"
            "scale of 2, 3 or 4: offset: X Y (and scale: N) tell where it lies, and every line after\n"
            "concerns that area. When no placement is plausible the census says so on a line 'sheet not\n"
            "found: ...' naming the closest, and exits with 1. A picture within 16 pixels of the sheet's\n"
            "size that is not the sheet 1:1 is searched for it shifted by up to 16 pixels (cropped a few\n"
            "pixels off); a picture smaller than the sheet differs at every place only one of them has.\n"
            "\n"
            "--mode auto looks for all eight sheets at once, each 1:1 and at scales 2 to 4, and prints\n"
            "mode: NAME first, the sheet found. When nothing is found, a line searched: ... says what was\n"
            "tried; smooth or fractional scaling is not searched.\n"
            "\n"
            "Several FILEs are counted in turn, each after a line file: NAME; the exit status is 1 if any\n"
            "differs.\n"
            "\n"
            "A FILE that is no picture is read as a recording (any container and codec FFmpeg's libraries\n"
            "read, local files only): video: CODEC PIXFMT WxH FPS fps N frames and tagged: range, matrix,\n"
            "primaries, transfer in FFmpeg's names. With --mode the sheet is searched in the first frame\n"
            "that holds it, and every frame from there is measured at that place as a player honouring the\n"
            "tags shows it (untagged: BT.601 below 720 lines, BT.709 from 720, limited range): shown: says\n"
            "how, and the lines cover all frames together. Above 65,536 sheet places a frame's dE2000 comes\n"
            "from that many places spread over the sheet (said so on a line dE2000 sample:); differences\n"
            "and PSNR from every pixel. worst frame: N names the frame of the largest mean dE2000.\n"
            "\n"
            "--json writes the same facts as one JSON document: an object whose keys are the line names in\n"
            "snake_case, numbers as numbers: mode, offset [x, y], scale, size [w, h], pixels, distinct,\n"
            "depth, differing_pixels, missing_colours, extra_colours, max_channel_difference,\n"
            "mean_channel_difference, psnr_db (null when identical), mean_de2000, max_de2000,\n"
            "within_1_level_percent, within_2_levels_percent, within_4_levels_percent, diff_scale,\n"
            "sheet_not_found {mode, offset, scale, mean_channel_difference}, searched, missing [{colour,\n"
            "x, y}], worst [{x, y, sheet, captured, de2000}]; of a recording also video {codec,\n"
            "pixel_format, size, fps, frames}, tagged {range, matrix, primaries, transfer}, shown {matrix,\n"
            "range}, frames_before_the_sheet, first_frame_with_the_sheet, frames_measured, frames_read,\n"
            "de2000_sample {places, of}, worst_frame {frame, mean_de2000} and with --frames frames [{frame,\n"
            "mean_de2000, psnr_db}]. For several FILEs an array of them, each with file (and error when it\n"
            "could not be counted); one FILE that cannot be counted leaves standard output empty.\n\n")
             + allocationLimitNote(),
         CensusCommand::Run},
        {QStringLiteral("diagnose"),
         {{QStringLiteral("FILE"), tr("The capture of the sheet; - for standard input.")}},
         {{QStringLiteral("mode"),
           tr("The sheet the capture shows; auto (the default): whichever of the sheets it shows."),
           QStringLiteral("MODE|auto")},
          {QStringLiteral("at"),
           tr("The sheet lies at X,Y of the picture (its top-left pixel), shown at SCALE (default 1): no search."),
           QStringLiteral("X,Y[,SCALE]")},
          {QStringLiteral("fix"),
           tr("Write a 65-point .cube to FILE that undoes the invertible steps found (order, range, matrix, "
              "tone curve)."),
           QStringLiteral("FILE")},
          jsonOption()},
         tr("Say what happened to the colours of a captured sheet: channel order, range, matrix, chroma, bits, "
            "tone curve, clipping, noise."),
         tr("Finds the sheet in FILE as census --mode does (auto unless --mode names one) and prints the\n"
            "census's lines, then landmarks: black, white, red, green, blue and grey 50 % as they came back\n"
            "(RRGGBB, where the sheet holds them), then the chain of known steps that turns the sheet into\n"
            "what FILE holds, one line a step found, in the order they act (a step that did nothing prints\n"
            "nothing):\n"
            "  channel order: BGR            any order of the channels but RGB\n"
            "  range: limited read as full   Y'CbCr coded 16-235 decoded as 0-255 (washed out), or full read\n"
            "                                as limited (crushed); '... twice' when it happened twice\n"
            "  matrix: BT.601 read as BT.709 encoded with one of BT.601, BT.709, BT.2020, decoded with another\n"
            "  chroma: 4:2:0                 colour kept at a lower resolution: 4:2:2, 4:2:0 or 4:1:1\n"
            "  bits: R G B                   the bits each channel keeps, 8 where the sheet shows no cut;\n"
            "                                then dither: yes when noise was added before the cut\n"
            "  tone curve: gamma R G B       out = in^gamma per channel on 0-1, or tone curve: table\n"
            "  clipped: below R G B, above R G B   the levels beyond which everything came out alike\n"
            "  noise: PSNR X dB              what is left after the steps (a lossy codec's share)\n"
            "  mean dE2000 after the steps: X   how far the sheet put through the steps is from FILE; the\n"
            "                                census's mean dE2000 above says how far the sheet itself is\n"
            "  unexplained: ...              when even the steps found leave it far off\n"
            "\n"
            "A FILE that is a recording gets census's lines for recordings (census --help), then what its\n"
            "samples store, read against the sheet in the first frame that holds it before any conversion\n"
            "to RGB, beside what a player following its tags shows, and the steps between:\n"
            "  stored: BT.601 limited 4:2:0   the matrix, range and chroma format the data was made with,\n"
            "                                 beside census's shown: (what a player following the tags does)\n"
            "  range: limited read as full    matrix: BT.601 read as BT.709   (steps: none when they agree)\n"
            "\n"
            "--fix writes a 65-point .cube (as lut writes them) that undoes the invertible steps; apply it\n"
            "to the capture (apply, or ffmpeg's lut3d) to see what the path would show without them. A\n"
            "recording's undoes the steps between what it stores and what a player following its tags shows.\n"
            "\n"
            "--json writes the census's keys and landmarks {black, white, red, green, blue, grey_50: RRGGBB},\n"
            "channel_order, range, matrix, chroma (strings), bits [r, g, b], dither (true), tone_curve\n"
            "{kind: gamma|table, gamma [r, g, b], table [[256 levels] x 3]}, clipped {below [r, g, b],\n"
            "above [r, g, b]}, noise {psnr_db}, mean_de2000_after_the_steps, unexplained; of a recording,\n"
            "census's keys for it and stored {matrix, range, chroma, clear, mean_difference}, range, matrix\n"
            "or steps: none. Nothing is written to standard output when the command fails.\n"
            "\n"
            "Exit status: 0 only when FILE is the sheet exactly; 1 otherwise (steps found, only noise, the\n"
            "sheet not found or nothing fits); 2 an error."),
         DiagnoseCommand::Run},
        {QStringLiteral("locate"),
         {{QStringLiteral("MODE"), ModeChoices()},
          {QStringLiteral("COLOUR"), tr("RRGGBB in hexadecimal, with or without a leading #, either case.")}},
         {jsonOption()},
         tr("Print every place X Y of COLOUR (RRGGBB) in the sheet of MODE."),
         tr("Prints every place of COLOUR in the sheet of MODE as X Y, one a line, rows from the top, each\n"
            "row from the left; (0, 0) is the top-left pixel. Exits with 1 when the sheet does not hold\n"
            "the colour, naming the nearest colour it holds.\n"
            "\n"
            "--json writes {mode, colour, places [[x, y], ...]}, and for a colour not held nearest_held\n"
            "(RRGGBB) and nearest_places."),
         LocateCommand::Run},
        {QStringLiteral("modes"),
         {},
         {jsonOption()},
         tr("List the modes: index, name, size, tile size, distinct colours, each channel's levels."),
         tr("Prints one line per mode: index, name, size, tile size, number of distinct colours, then the\n"
            "levels of red, green and blue: first..last step S (count) where they are even, else each one.\n"
            "\n"
            "--json writes an array of {index, name, size, tile, colours, red, green, blue}, each channel's\n"
            "levels in full."),
         ModesCommand::Run},
        {QStringLiteral("lut"),
         {{QStringLiteral("EDITED"), tr("The edited sheet; - for standard input.")}},
         {{QStringLiteral("mode"), tr("The mode of the edited sheet."), QStringLiteral("MODE")},
          {{QStringLiteral("output"), QStringLiteral("o")}, tr("The file to write (default: standard output)."),
           QStringLiteral("FILE")},
          {QStringLiteral("size"),
           tr("Points a channel of a .cube (2-256, default 33); level of a HaldCLUT (2-16, default 8)."),
           QStringLiteral("N")},
          {QStringLiteral("format"), tr("cube (the default) or hald."), QStringLiteral("cube|hald")}},
         tr("Turn an edited sheet of MODE into a look-up table: a .cube file or a HaldCLUT."),
         tr("Turns EDITED, the sheet of --mode after editing (graded in any editor: curves, levels, a film\n"
            "look; the same size, 8 or 16 bits a channel), into a look-up table that other programs read.\n"
            "Every colour of the sheet becomes the edited pixel at its place; a colour held in several\n"
            "places, the mean of them. Between the sheet's levels the table is interpolated trilinearly,\n"
            "beyond its outermost levels extrapolated linearly, so that an unedited sheet gives the identity.\n"
            "\n"
            "cube: a .cube file (TITLE, LUT_3D_SIZE, red changing fastest), --size points a channel from 2\n"
            "to 256 (default 33). hald: a HaldCLUT PNG of level --size from 2 to 16 (default 8: 512x512),\n"
            "16 bits a channel below level 16. The format is cube unless --format or a FILE ending in .png\n"
            "says hald. Without -o the table goes to standard output."),
         LutCommand::Run,
         {QStringLiteral("mode")}},
        {QStringLiteral("apply"),
         {{QStringLiteral("LUT"), tr("A .cube file, a HaldCLUT, or an edited sheet with --mode.")},
          {QStringLiteral("PICTURE"), tr("The picture to grade; - for standard input.")},
          {QStringLiteral("OUT"), tr("The graded picture: .bmp, .png, .jpg, .tif or .webp.")}},
         {{QStringLiteral("mode"), tr("LUT is an edited sheet of MODE."), QStringLiteral("MODE")},
          {QStringLiteral("format"), tr("LUT is a HaldCLUT picture (hald) or a .cube file (cube)."),
           QStringLiteral("hald|cube")},
          {QStringLiteral("interpolation"), tr("tetrahedral (the default), trilinear or nearest."),
           QStringLiteral("METHOD")}},
         tr("Grade PICTURE with a .cube file, a HaldCLUT or (with --mode) an edited sheet; write OUT."),
         tr("Grades PICTURE with the look-up table LUT and writes the result to OUT. LUT is a .cube file\n"
            "(3D or 1D, DOMAIN_MIN/DOMAIN_MAX honoured), a HaldCLUT picture, or with --mode an edited sheet\n"
            "of that mode: with an edited 16million sheet every pixel becomes exactly the edited colour of\n"
            "its own colour. Values are worked out in floating point and rounded to the nearest level.\n"
            "\n"
            "Without --mode or --format, a picture of a sheet's size is taken as that edited sheet, any\n"
            "other as a HaldCLUT. 27x27, 64x64, 512x512 and 4096x4096 are both a sheet's size and a\n"
            "HaldCLUT's: the picture is taken for the one whose unedited form it is nearer to, and a line on\n"
            "standard error says which. A table saved lossy (JPEG, lossy WebP) is used with a warning: the\n"
            "result cannot be exact.\n"
            "\n"
            "OUT's extension gives its format: .bmp, .png, .jpg, .tif or .webp. Alpha is kept where the\n"
            "format holds it; 16-bit pictures stay 16-bit in PNG and TIFF. OUT is replaced only by a\n"
            "complete new file."),
         ApplyCommand::Run},
    };
    return table;
}

const Command *commandNamed(const QString &name)
{
    const auto &table = commands();
    const auto found = std::find_if(table.begin(), table.end(), [&](const Command &c) { return c.name == name; });
    return found == table.end() ? nullptr : &*found;
}

// "a, b or c"
QString listed(const QStringList &items, const QString &lastJoint = tr(" or "))
{
    if (items.size() <= 1)
        return items.join(QString());
    return items.mid(0, items.size() - 1).join(QLatin1String(", ")) + lastJoint + items.last();
}

QString commandNames()
{
    QStringList names;
    for (const Command &command : commands())
        names << command.name;
    return listed(names);
}

// "make MODE FILE [--format bmp|png]"
QString synopsis(const Command &command)
{
    QStringList words {command.name};
    for (const Argument &argument : command.arguments)
        words << argument.name;
    for (const QCommandLineOption &option : command.options) {
        const QString name = option.names().constFirst();
        const QString word = QStringLiteral("--%1 %2").arg(name, option.valueName());
        words << (command.requiredOptions.contains(name) ? word : QLatin1Char('[') + word + QLatin1Char(']'));
    }
    return words.join(QLatin1Char(' '));
}

// "a MODE and a FILE", "one FILE"
QString neededArguments(const Command &command)
{
    if (command.arguments.size() == 1 && command.arguments.constFirst().name.endsWith(QLatin1String("...")))
        return tr("one %1 or more").arg(command.arguments.constFirst().name.chopped(3));
    if (command.arguments.size() == 1)
        return tr("one %1").arg(command.arguments.constFirst().name);
    QStringList each;
    for (const Argument &argument : command.arguments)
        each << (QStringLiteral("AEIOU").contains(argument.name.front()) ? tr("an %1") : tr("a %1")).arg(argument.name);
    return listed(each, tr(" and "));
}

QString overview()
{
    QString list;
    for (const Command &command : commands())
        list += QStringLiteral("  %1\n      %2\n").arg(synopsis(command), command.summary);

    return tr("Tintwell's colour sheets without a window: the same sheets the window draws, made, checked and\n"
            "searched from the command line. No display is needed.\n"
            "\n"
            "Commands:\n"
            "%1"
            "\n"
            "MODE: %2; 256kilo is taken for 256killo.\n"
            "\n"
            "Exit status: 0 done; 1 a negative answer (census --mode, diagnose: the picture is not the sheet;\n"
            "locate: the sheet does not hold the colour); 2 an error, told in one line on standard error.\n"
            "\n"
            "%3\n"
            "\n"
            "'%4 COMMAND --help' describes one command.")
        .arg(list, ModeChoices(), allocationLimitNote(), QCoreApplication::applicationName());
}

void describe(QCommandLineParser &parser, const Command *command)
{
    parser.addHelpOption();
    parser.addVersionOption();
    if (!command) {
        parser.setApplicationDescription(overview());
        parser.addPositionalArgument(QStringLiteral("command"), tr("%1.").arg(commandNames()),
                                     QStringLiteral("command [arguments]"));
        return;
    }
    parser.setApplicationDescription(command->description);
    parser.addOptions(command->options);
    parser.addPositionalArgument(command->name, tr("The command."));
    for (const Argument &argument : command->arguments)
        parser.addPositionalArgument(argument.name, argument.help);
}

// A word such as "-1" is a negative number, never an option; Qt's parser
// would call it the unknown option '1'. Returns the first such word that is
// not an option's value.
QString negativeNumber(const QStringList &arguments)
{
    QStringList takingValues;
    for (const Command &command : commands())
        for (const QCommandLineOption &option : command.options)
            if (!option.valueName().isEmpty())
                takingValues += option.names();
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &word = arguments[i];
        if (word == QLatin1String("--"))
            break;
        if (word.size() >= 2 && word[0] == QLatin1Char('-') && word[1].isDigit())
            return word;
        QString name = word;
        while (name.startsWith(QLatin1Char('-')))
            name.remove(0, 1);
        if (word.startsWith(QLatin1Char('-')) && !name.contains(QLatin1Char('=')) && takingValues.contains(name))
            ++i; // its value may be anything
    }
    return {};
}

int runIn(CommandContext &context, const QCommandLineParser &parser, const QStringList &words, const Command *command)
{
    // A misspelt command is named even with --help: the general help would
    // hide that it does not exist.
    if (!words.isEmpty() && !command)
        return context.failUsage(tr("Unknown command '%1': give %2.").arg(words.first(), commandNames()));
    if (parser.isSet(QStringLiteral("help"))) {
        context.print(parser.helpText().chopped(1));
        return Done;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        context.print(QCoreApplication::applicationName() + QLatin1Char(' ') + QCoreApplication::applicationVersion());
        return Done;
    }
    if (words.isEmpty())
        return context.failUsage(tr("Give a command: %1.").arg(commandNames()));

    const qsizetype given = context.arguments().size();
    const qsizetype wanted = command->arguments.size();
    // A last argument named "NAME..." takes one or more words.
    const bool more = wanted > 0 && command->arguments.constLast().name.endsWith(QLatin1String("..."));
    if (given > wanted && more)
        return command->run(context);
    if (given > wanted && wanted == 0)
        return context.failUsage(tr("%1 takes no arguments.").arg(command->name));
    if (given > wanted) {
        QStringList extra;
        for (const QString &word : context.arguments().mid(wanted))
            extra << QLatin1Char('\'') + word + QLatin1Char('\'');
        return context.failUsage(tr("Too many arguments: %1 takes %2, not also %3.")
                                     .arg(command->name, neededArguments(*command), extra.join(QLatin1Char(' '))));
    }
    if (given < wanted)
        return context.failUsage(tr("%1 needs %2.").arg(command->name, neededArguments(*command)));
    return command->run(context);
}

// census's --missing takes an optional count, which Qt's parser cannot: a
// bare --missing is given the default count, or the whole number that
// follows it.
QStringList withMissingCount(QStringList arguments)
{
    for (qsizetype i = 1; i < arguments.size() && arguments[i] != QLatin1String("--"); ++i) {
        if (arguments[i] != QLatin1String("--missing"))
            continue;
        const bool countFollows = i + 1 < arguments.size() && !arguments[i + 1].isEmpty()
                                  && std::all_of(arguments[i + 1].begin(), arguments[i + 1].end(),
                                                 [](QChar c) { return c.isDigit(); });
        if (!countFollows)
            arguments[i] = QStringLiteral("--missing=%1").arg(CensusCommand::MissingListedByDefault);
    }
    return arguments;
}

} // namespace

int Run(const QStringList &givenArguments, QIODevice &out, QIODevice &err)
{
    const QStringList arguments = withMissingCount(givenArguments);
    QCommandLineParser noOptions;
    CommandContext early({}, noOptions, out, err);

    const QString negative = negativeNumber(arguments);
    if (!negative.isEmpty())
        return early.failUsage(
            tr("'%1' is a negative number, not an option, and no argument takes a negative number.").arg(negative));

    // First find the command, knowing every command's options; then parse
    // again knowing only the command's own.
    QCommandLineParser any;
    QStringList known; // commands share option names (--mode, --format)
    for (const Command &command : commands())
        for (const QCommandLineOption &option : command.options)
            if (!known.contains(option.names().constFirst())) {
                known += option.names();
                any.addOption(option);
            }
    describe(any, nullptr);
    if (!any.parse(arguments))
        return early.failUsage(any.errorText());
    const QStringList words = any.positionalArguments();
    const Command *command = words.isEmpty() ? nullptr : commandNamed(words.first());

    QCommandLineParser parser;
    describe(parser, command);
    if (!parser.parse(arguments))
        return early.failUsage(parser.errorText());
    CommandContext context(parser.positionalArguments().mid(1), parser, out, err);
    int status = Failed;
    try {
        status = runIn(context, parser, words, command);
    } catch (const std::bad_alloc &) {
        // Whatever a command was holding is freed on the way here.
        return context.fail(tr("There is not enough memory for '%1'.").arg(words.join(QLatin1Char(' '))));
    }
    // A full disk or a closed pipe behind the results is an error too.
    if (status != Failed && context.outFailed())
        return context.fail(tr("Could not write to standard output: %1").arg(context.outError()));
    return status;
}

std::vector<std::pair<QString, QStringList>> CommandOptions()
{
    std::vector<std::pair<QString, QStringList>> all;
    for (const Command &command : commands()) {
        QStringList options;
        for (const QCommandLineOption &option : command.options)
            options << option.names().constFirst();
        all.emplace_back(command.name, options);
    }
    return all;
}

} // namespace SheetCommands
