// How often diagnose names a capture's chain right. Random chains are made by
// independent programs, never by our own simulation: a sheet from `make`,
// its channels put in another order and a tone curve and a bit cut by
// ImageMagick, a Y'CbCr path through ffmpeg's scale filter (an encoding and a
// decoding matrix and range, a chroma format, the scaler's flags) or through
// H.264 (yuv420p, libx264) decoded by ffmpeg's defaults, the result placed in
// a 1920x1200 picture at a scale of 1 to 4 and saved as PNG or as JPEG at a
// quality of 85 to 95. diagnose (no --mode) names what it finds, and every
// property is scored against the recipe:
//
//   tintwell_bench_accuracy [--chains N] [--first K] [--seed S] [--jobs J] [--out DIR]
//                           [--told] [--program PATH/tintwell-sheet]
//
// --told gives diagnose the mode and the place (--mode, --at), so that the
// diagnosis is scored apart from the search.
//
// Chain K of seed S is the same whatever else is run, so a run can be cut in
// parts (--first 200 --chains 200) and a failure made again alone. DIR
// (default: accuracy in the working folder) receives failures.txt, one block
// a failure with the recipe, its commands, what was expected and what
// diagnose said, and the failing captures themselves.

#include <QCoreApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

namespace {

// The real programs, by path: a stand-in of the same name may come first on PATH.
const QString Convert = QStringLiteral("/usr/bin/convert");
const QString Ffmpeg = QStringLiteral("/usr/bin/ffmpeg");

constexpr int PictureWidth = 1920;
constexpr int PictureHeight = 1200;
constexpr double GammaTolerance = 0.03;

struct Sheet
{
    const char *mode;
    int side;
    int weight; // how often it is drawn
};
constexpr Sheet Sheets[] = {{"1million", 1024, 2}, {"256killo", 512, 2}, {"64kilo", 256, 3}, {"16kilo", 128, 1},
                            {"4096", 64, 1},       {"2025", 45, 1},      {"729", 27, 1}};

const char *const Matrices[] = {"bt601", "bt709", "bt2020"};
const char *const MatrixNames[] = {"BT.601", "BT.709", "BT.2020"};

// One chain: what was done to the sheet, in order.
struct Recipe
{
    int index = 0;
    Sheet sheet {};
    std::array<int, 3> order {0, 1, 2}; // capture channel c holds sheet channel order[c]

    enum class Path { None, Scale, H264 } path = Path::None;
    int encoded = 1, decoded = 1; // Matrices
    bool encodedFull = false, decodedFull = false;
    QString chroma = QStringLiteral("444"); // 444, 422, 420, 411
    QString encodeFlags, decodeFlags;
    int crf = 23;

    enum class Tone { None, Gamma, Level } tone = Tone::None;
    std::array<double, 3> gamma {1, 1, 1}; // as ImageMagick takes it: out = in^(1/gamma)
    double black = 0, white = 100;         // -level, per cent

    int bits = 8;
    enum class Cut { Posterize, Shift, Dither } cut = Cut::Posterize;

    int scale = 1;
    int x = 0, y = 0;
    int quality = 0; // 0: PNG
    bool jpegChroma420 = false;
    QString background;
};

Recipe randomRecipe(quint64 seed, int index)
{
    std::mt19937_64 random(seed * 0x9E3779B97F4A7C15ull + quint64(index) * 0xBF58476D1CE4E5B9ull + 1);
    const auto uniform = [&](double a, double b) { return std::uniform_real_distribution<double>(a, b)(random); };
    const auto pick = [&](int n) { return int(std::uniform_int_distribution<int>(0, n - 1)(random)); };
    const auto chance = [&](double p) { return uniform(0, 1) < p; };

    Recipe r;
    r.index = index;
    int total = 0;
    for (const Sheet &s : Sheets)
        total += s.weight;
    for (int left = pick(total); const Sheet &s : Sheets) {
        if (left < s.weight) {
            r.sheet = s;
            break;
        }
        left -= s.weight;
    }
    if (chance(0.5)) {
        static const std::array<std::array<int, 3>, 5> others {
            {{0, 2, 1}, {1, 0, 2}, {1, 2, 0}, {2, 0, 1}, {2, 1, 0}}};
        r.order = others[std::size_t(pick(5))];
    }

    const bool even = r.sheet.side % 2 == 0;
    const double path = uniform(0, 1);
    if (path < 0.6) {
        r.path = Recipe::Path::Scale;
        r.encoded = pick(3);
        r.encodedFull = chance(0.5);
        r.decoded = r.encoded;
        r.decodedFull = r.encodedFull;
        if (chance(0.5)) {
            const int fault = pick(3); // the matrix, the range or both misread
            if (fault != 1)
                r.decoded = (r.encoded + 1 + pick(2)) % 3;
            if (fault != 0)
                r.decodedFull = !r.encodedFull;
        }
        static const char *const formats[] = {"444", "422", "420", "411"};
        r.chroma = QString::fromLatin1(formats[pick(4)]);
        if (!even && r.chroma != QLatin1String("444"))
            r.chroma = QStringLiteral("444");
        static const char *const encodeFlags[] = {"bicubic", "bilinear", "bicubic+accurate_rnd"};
        static const char *const decodeFlags[] = {"bicubic", "bilinear", "bicubic+accurate_rnd+full_chroma_int",
                                                  "neighbor", "bilinear+full_chroma_int"};
        r.encodeFlags = QString::fromLatin1(encodeFlags[pick(3)]);
        r.decodeFlags = QString::fromLatin1(decodeFlags[pick(5)]);
    } else if (path < 0.75 && even) {
        r.path = Recipe::Path::H264;
        r.encoded = r.decoded = 0; // ffmpeg's default for untagged video: BT.601, limited
        r.chroma = QStringLiteral("420");
        r.crf = chance(0.5) ? 18 : 23;
    }

    // A levels edit is scored against the sheet's own levels, so it follows
    // a path that keeps them (no range or matrix misread).
    const bool keepsLevels = r.encoded == r.decoded && r.encodedFull == r.decodedFull;
    const double tone = uniform(0, 1);
    if (tone < 0.3 || (tone < 0.5 && !keepsLevels)) {
        r.tone = Recipe::Tone::Gamma;
        const double g = uniform(0.6, 1.7);
        r.gamma = {g, g, g};
        if (chance(0.3))
            for (double &each : r.gamma)
                each = uniform(0.7, 1.45);
    } else if (tone < 0.5) {
        r.tone = Recipe::Tone::Level;
        r.black = std::round(uniform(0, 6) * 10) / 10;
        r.white = std::round(uniform(94, 100) * 10) / 10;
        const double g = chance(0.3) ? 1.0 : uniform(0.75, 1.35);
        r.gamma = {g, g, g};
    }

    if (chance(0.25)) {
        r.bits = chance(0.2) ? 7 : 5 + pick(2);
        r.cut = Recipe::Cut(pick(3));
    }

    const int side = r.sheet.side;
    std::vector<int> scales;
    for (int s = 1; s <= 4; ++s)
        if (side * s <= PictureHeight - 40)
            scales.push_back(s);
    r.scale = chance(0.5) ? 1 : scales[std::size_t(pick(int(scales.size())))];
    r.x = pick(PictureWidth - side * r.scale + 1);
    r.y = pick(PictureHeight - side * r.scale + 1);
    if (chance(0.5)) {
        static const int qualities[] = {85, 90, 92, 95};
        r.quality = qualities[pick(4)];
        r.jpegChroma420 = r.scale == 1 && r.chroma != QLatin1String("411") && chance(0.2);
    }
    r.background = QStringLiteral("gradient:#%1-#%2")
                       .arg(pick(0x1000000), 6, 16, QLatin1Char('0'))
                       .arg(pick(0x1000000), 6, 16, QLatin1Char('0'));
    return r;
}

QString orderName(const std::array<int, 3> &order)
{
    QString name;
    for (int c : order)
        name += QLatin1Char("RGB"[c]);
    return name;
}

QString chromaName(const QString &format)
{
    return QStringLiteral("%1:%2:%3").arg(format[0]).arg(format[1]).arg(format[2]);
}

// The facts diagnose should print for the recipe (empty: nothing), by the
// keys of its JSON.
struct Expected
{
    QString mode, order, range, matrix, chroma;
    int bits = 8;
    bool dither = false;
    bool tone = false;
    std::array<double, 3> gamma {1, 1, 1}; // as diagnose says it: out = in^gamma
    double black = 0, white = 255;         // the input levels stretched over 0 to 255
    // Where levels pile up at an end, per capture channel: the last sheet
    // level that came out as 0 (0: none), the first that came out as 255
    // (255: none); `borderline` where a level lies within two of the point.
    std::array<int, 3> below {0, 0, 0}, above {255, 255, 255};
    std::array<bool, 3> borderlineBelow {}, borderlineAbove {};
    std::array<int, 3> step {1, 1, 1}; // the sheet's step between levels
};

// Each mode's levels per channel, from `modes --json`.
using Levels = std::array<std::vector<int>, 3>;
std::map<QString, Levels> SheetLevels;

Expected expectedOf(const Recipe &r)
{
    Expected e;
    e.mode = QString::fromLatin1(r.sheet.mode);
    if (r.order != std::array<int, 3> {0, 1, 2})
        e.order = orderName(r.order);
    if (r.path != Recipe::Path::None) {
        if (r.encodedFull != r.decodedFull)
            e.range = r.encodedFull ? QStringLiteral("full read as limited") : QStringLiteral("limited read as full");
        if (r.encoded != r.decoded)
            e.matrix = QStringLiteral("%1 read as %2")
                           .arg(QLatin1String(MatrixNames[r.encoded]), QLatin1String(MatrixNames[r.decoded]));
    }
    QString chroma = r.chroma;
    if (r.jpegChroma420)
        chroma = QStringLiteral("420");
    if (chroma != QLatin1String("444"))
        e.chroma = chromaName(chroma);
    if (r.bits < 8) {
        e.bits = r.bits;
        e.dither = r.cut == Recipe::Cut::Dither;
    }
    if (r.tone != Recipe::Tone::None) {
        for (std::size_t c = 0; c < 3; ++c)
            e.gamma[c] = 1.0 / r.gamma[c];
        e.tone = std::any_of(e.gamma.begin(), e.gamma.end(),
                             [](double g) { return std::abs(g - 1) > GammaTolerance; });
        if (r.tone == Recipe::Tone::Level) {
            e.black = r.black * 255 / 100;
            e.white = r.white * 255 / 100;
            e.tone = e.tone || r.black > 0 || r.white < 100;
            const Levels &levels = SheetLevels[e.mode];
            for (std::size_t c = 0; c < 3; ++c) {
                const std::vector<int> &l = levels[std::size_t(r.order[c])];
                if (l.size() >= 2)
                    e.step[c] = (l.back() - l.front()) / int(l.size() - 1);
                for (std::size_t k = 1; k + 1 < l.size(); ++k) {
                    if (l[k] <= e.black)
                        e.below[c] = l[k];
                    if (std::abs(l[k] - e.black) <= 2)
                        e.borderlineBelow[c] = true;
                }
                for (std::size_t k = l.size() - 1; k-- > 1;) {
                    if (l[k] >= e.white)
                        e.above[c] = l[k];
                    if (std::abs(l[k] - e.white) <= 2)
                        e.borderlineAbove[c] = true;
                }
            }
        }
    }
    return e;
}

// The commands that make the capture from sheet.png, IN the last one's
// result and OUT a new file.
QList<QStringList> commandsOf(const Recipe &r)
{
    QList<QStringList> commands;
    if (r.order != std::array<int, 3> {0, 1, 2}) {
        QStringList c {Convert, QStringLiteral("IN"), QStringLiteral("-separate")};
        for (int from : r.order)
            c << QStringLiteral("(") << QStringLiteral("-clone") << QString::number(from) << QStringLiteral(")");
        c << QStringLiteral("-delete") << QStringLiteral("0-2") << QStringLiteral("-combine") << QStringLiteral("PNG24:OUT");
        commands << c;
    }
    const auto ffmpeg = [](const QString &filter) {
        return QStringList {Ffmpeg, QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"),
                            QStringLiteral("-i"), QStringLiteral("IN"), QStringLiteral("-vf"), filter,
                            QStringLiteral("-frames:v"), QStringLiteral("1"), QStringLiteral("OUT")};
    };
    if (r.path == Recipe::Path::Scale) {
        commands << ffmpeg(QStringLiteral("scale=out_color_matrix=%1:out_range=%2:flags=%3,format=yuv%4p,"
                                          "scale=in_color_matrix=%5:in_range=%6:flags=%7,format=rgb24")
                               .arg(QLatin1String(Matrices[r.encoded]), r.encodedFull ? "pc" : "tv", r.encodeFlags,
                                    r.chroma, QLatin1String(Matrices[r.decoded]), r.decodedFull ? "pc" : "tv",
                                    r.decodeFlags));
    } else if (r.path == Recipe::Path::H264) {
        commands << QStringList {Ffmpeg,
                                 QStringLiteral("-v"),
                                 QStringLiteral("error"),
                                 QStringLiteral("-y"),
                                 QStringLiteral("-i"),
                                 QStringLiteral("IN"),
                                 QStringLiteral("-frames:v"),
                                 QStringLiteral("1"),
                                 QStringLiteral("-pix_fmt"),
                                 QStringLiteral("yuv420p"),
                                 QStringLiteral("-c:v"),
                                 QStringLiteral("libx264"),
                                 QStringLiteral("-crf"),
                                 QString::number(r.crf),
                                 QStringLiteral("OUT.mp4")};
        commands << QStringList {Ffmpeg,        QStringLiteral("-v"),       QStringLiteral("error"),
                                 QStringLiteral("-y"), QStringLiteral("-i"), QStringLiteral("IN"),
                                 QStringLiteral("-frames:v"), QStringLiteral("1"), QStringLiteral("OUT")};
    }
    // ImageMagick takes a picture whose channels got different gammas for
    // linear RGB, and would turn it back into sRGB when it next writes it:
    // the numbers are declared sRGB again, and no gAMA chunk is written
    // that a reader could act on.
    const QStringList asNumbers {QStringLiteral("-set"), QStringLiteral("colorspace"), QStringLiteral("sRGB"),
                                 QStringLiteral("-define"), QStringLiteral("png:exclude-chunk=gAMA,cHRM,sRGB")};
    if (r.tone == Recipe::Tone::Gamma) {
        commands << QStringList {Convert, QStringLiteral("IN"), QStringLiteral("-gamma"),
                                 QStringLiteral("%1,%2,%3").arg(r.gamma[0]).arg(r.gamma[1]).arg(r.gamma[2])}
                        + asNumbers + QStringList {QStringLiteral("PNG24:OUT")};
    } else if (r.tone == Recipe::Tone::Level) {
        commands << QStringList {Convert, QStringLiteral("IN"), QStringLiteral("-level"),
                                 QStringLiteral("%1%,%2%,%3").arg(r.black).arg(r.white).arg(r.gamma[0])}
                        + asNumbers + QStringList {QStringLiteral("PNG24:OUT")};
    }
    if (r.bits < 8) {
        const int levels = 1 << r.bits;
        if (r.cut == Recipe::Cut::Posterize)
            commands << QStringList {Convert, QStringLiteral("IN"), QStringLiteral("-posterize"),
                                     QString::number(levels), QStringLiteral("PNG24:OUT")};
        else if (r.cut == Recipe::Cut::Dither)
            commands << QStringList {Convert, QStringLiteral("IN"), QStringLiteral("-ordered-dither"),
                                     QStringLiteral("o8x8,%1").arg(levels), QStringLiteral("PNG24:OUT")};
        else {
            const int mask = 255 & ~((1 << (8 - r.bits)) - 1);
            commands << ffmpeg(QStringLiteral("format=rgb24,lutrgb=r='bitand(val,%1)':g='bitand(val,%1)':"
                                              "b='bitand(val,%1)'")
                                   .arg(mask));
        }
    }
    QStringList place {Convert,
                       QStringLiteral("-size"),
                       QStringLiteral("%1x%2").arg(PictureWidth).arg(PictureHeight),
                       r.background,
                       QStringLiteral("("),
                       QStringLiteral("IN"),
                       QStringLiteral("-scale"),
                       QStringLiteral("%1%").arg(r.scale * 100),
                       QStringLiteral(")"),
                       QStringLiteral("-geometry"),
                       QStringLiteral("+%1+%2").arg(r.x).arg(r.y),
                       QStringLiteral("-composite")};
    if (r.quality > 0)
        place << QStringLiteral("-quality") << QString::number(r.quality) << QStringLiteral("-sampling-factor")
              << (r.jpegChroma420 ? QStringLiteral("2x2") : QStringLiteral("1x1")) << QStringLiteral("OUT.jpg");
    else
        place << QStringLiteral("PNG24:OUT");
    commands << place;
    return commands;
}

QString describe(const Recipe &r)
{
    QStringList parts {QString::fromLatin1(r.sheet.mode), orderName(r.order)};
    if (r.path == Recipe::Path::Scale)
        parts << QStringLiteral("%1 %2 %3 -> %4 %5 (%6 / %7)")
                     .arg(QLatin1String(MatrixNames[r.encoded]), r.encodedFull ? "full" : "limited",
                          chromaName(r.chroma), QLatin1String(MatrixNames[r.decoded]),
                          r.decodedFull ? "full" : "limited", r.encodeFlags, r.decodeFlags);
    else if (r.path == Recipe::Path::H264)
        parts << QStringLiteral("H.264 yuv420p crf %1, ffmpeg's decode").arg(r.crf);
    if (r.tone == Recipe::Tone::Gamma)
        parts << QStringLiteral("-gamma %1,%2,%3").arg(r.gamma[0]).arg(r.gamma[1]).arg(r.gamma[2]);
    else if (r.tone == Recipe::Tone::Level)
        parts << QStringLiteral("-level %1%,%2%,%3").arg(r.black).arg(r.white).arg(r.gamma[0]);
    if (r.bits < 8)
        parts << QStringLiteral("%1 bits (%2)").arg(r.bits).arg(
                     r.cut == Recipe::Cut::Posterize ? "posterize" : r.cut == Recipe::Cut::Dither ? "dither" : "shift");
    parts << QStringLiteral("at %1,%2 x%3").arg(r.x).arg(r.y).arg(r.scale)
          << (r.quality ? QStringLiteral("JPEG %1%2").arg(r.quality).arg(r.jpegChroma420 ? " 4:2:0" : "")
                        : QStringLiteral("PNG"));
    return parts.join(QStringLiteral(", "));
}

// The properties scored, in the order they are printed.
enum Property { Mode, Offset, Order, Range, Matrix, Chroma, Bits, Tone, NothingFalse, Properties };
const char *const PropertyNames[] = {"mode",   "offset", "channel order",    "range", "matrix",
                                     "chroma", "bits",   "tone curve ±0.03", "named nothing false"};

struct Outcome
{
    std::array<bool, Properties> right {};
    QStringList wrong; // what was wrong, one line each
    double seconds = 0;
};

Outcome score(const Recipe &r, const Expected &e, const QJsonObject &d, bool told)
{
    Outcome o;
    const auto text = [&](const char *key) { return d.value(QLatin1String(key)).toString(); };
    const auto check = [&](Property p, bool right, const QString &what) {
        o.right[p] = right;
        if (!right)
            o.wrong << QStringLiteral("%1: %2").arg(QString::fromUtf8(PropertyNames[p]), what);
    };
    const QJsonArray offset = d.value(QLatin1String("offset")).toArray();
    const int scale = d.contains(QLatin1String("scale")) ? d.value(QLatin1String("scale")).toInt() : 1;
    check(Mode, text("mode") == e.mode || (told && !d.contains(QLatin1String("sheet_not_found"))),
          QStringLiteral("'%1', not '%2'").arg(text("mode"), e.mode));
    check(Offset, offset.size() == 2 && offset[0].toInt() == r.x && offset[1].toInt() == r.y && scale == r.scale,
          QStringLiteral("%1 %2 x%3, not %4 %5 x%6")
              .arg(offset.at(0).toInt())
              .arg(offset.at(1).toInt())
              .arg(scale)
              .arg(r.x)
              .arg(r.y)
              .arg(r.scale));
    const auto same = [&](Property p, const char *key, const QString &expected) {
        check(p, text(key) == expected, QStringLiteral("'%1', not '%2'").arg(text(key), expected));
    };
    same(Order, "channel_order", e.order);
    same(Range, "range", e.range);
    same(Matrix, "matrix", e.matrix);
    same(Chroma, "chroma", e.chroma);

    const QJsonArray bits = d.value(QLatin1String("bits")).toArray();
    const bool bitsRight = bits.isEmpty() ? e.bits == 8
                                          : std::all_of(bits.begin(), bits.end(),
                                                        [&](const QJsonValue &b) { return b.toInt() == e.bits; });
    check(Bits, bitsRight && d.value(QLatin1String("dither")).toBool() == e.dither,
          QStringLiteral("%1%2, not %3%4")
              .arg(bits.isEmpty() ? QStringLiteral("8") : QString::fromUtf8(QJsonDocument(bits).toJson(QJsonDocument::Compact)))
              .arg(d.value(QLatin1String("dither")).toBool() ? " dithered" : "")
              .arg(e.bits)
              .arg(e.dither ? " dithered" : ""));

    const QJsonObject curve = d.value(QLatin1String("tone_curve")).toObject();
    const QJsonObject clipped = d.value(QLatin1String("clipped")).toObject();
    const auto channel = [&](const char *key, std::size_t c, double otherwise) {
        const QJsonArray values = curve.value(QLatin1String(key)).toArray();
        return values.size() == 3 ? values[qsizetype(c)].toDouble() : otherwise;
    };
    bool toneRight = true;
    for (std::size_t c = 0; c < 3; ++c) {
        // No curve named is gamma 1; a table is right only where nothing happened.
        const bool table = curve.value(QLatin1String("kind")).toString() == QLatin1String("table");
        toneRight = toneRight && !table && std::abs(channel("gamma", c, 1) - e.gamma[c]) <= GammaTolerance
                    && std::abs(channel("black", c, 0) - e.black) <= 4 && std::abs(channel("white", c, 255) - e.white) <= 4;
        const int below = clipped.isEmpty() ? 0 : clipped[QLatin1String("below")][qsizetype(c)].toInt();
        const int above = clipped.isEmpty() ? 255 : clipped[QLatin1String("above")][qsizetype(c)].toInt();
        toneRight = toneRight && (below == e.below[c] || (e.borderlineBelow[c] && std::abs(below - e.below[c]) <= e.step[c]));
        toneRight = toneRight && (above == e.above[c] || (e.borderlineAbove[c] && std::abs(above - e.above[c]) <= e.step[c]));
    }
    const auto brief = [](const QJsonValue &v) { return QString::fromUtf8(QJsonDocument(QJsonArray {v}).toJson(QJsonDocument::Compact)).mid(1).chopped(1); };
    check(Tone, toneRight,
          QStringLiteral("%1%2, not gamma %3 %4 %5, black %6, white %7, clipped below %8 %9 %10 above %11 %12 %13")
              .arg(curve.isEmpty() ? QStringLiteral("none") : brief(QJsonObject {{QStringLiteral("kind"), curve.value(QLatin1String("kind"))}, {QStringLiteral("gamma"), curve.value(QLatin1String("gamma"))}, {QStringLiteral("black"), curve.value(QLatin1String("black"))}, {QStringLiteral("white"), curve.value(QLatin1String("white"))}}))
              .arg(clipped.isEmpty() ? QString() : QStringLiteral(" clipped ") + brief(clipped))
              .arg(e.gamma[0], 0, 'f', 2).arg(e.gamma[1], 0, 'f', 2).arg(e.gamma[2], 0, 'f', 2)
              .arg(e.black, 0, 'f', 1).arg(e.white, 0, 'f', 1)
              .arg(e.below[0]).arg(e.below[1]).arg(e.below[2]).arg(e.above[0]).arg(e.above[1]).arg(e.above[2]));

    // Nothing named that did not happen.
    QStringList falsely;
    const auto named = [&](const char *key, bool happened) {
        if (d.contains(QLatin1String(key)) && !happened)
            falsely << QLatin1String(key);
    };
    named("channel_order", !e.order.isEmpty());
    named("range", !e.range.isEmpty());
    named("matrix", !e.matrix.isEmpty());
    named("chroma", !e.chroma.isEmpty());
    named("bits", e.bits < 8);
    named("dither", e.dither);
    const bool clips = e.below != std::array<int, 3> {0, 0, 0} || e.above != std::array<int, 3> {255, 255, 255}
                       || std::find(e.borderlineBelow.begin(), e.borderlineBelow.end(), true) != e.borderlineBelow.end()
                       || std::find(e.borderlineAbove.begin(), e.borderlineAbove.end(), true) != e.borderlineAbove.end();
    // A curve within the tolerance of none may be named or not.
    named("tone_curve", e.tone || r.tone != Recipe::Tone::None);
    named("clipped", clips);
    named("unexplained", false);
    check(NothingFalse, falsely.isEmpty() && !d.contains(QLatin1String("sheet_not_found")),
          d.contains(QLatin1String("sheet_not_found")) ? QStringLiteral("sheet not found") : falsely.join(QStringLiteral(", ")));
    return o;
}

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Run run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    Run result;
    if (!process.waitForStarted() || !process.waitForFinished(600'000) || process.exitStatus() != QProcess::NormalExit)
        return result;
    result.exitCode = process.exitCode();
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

QString shellQuoted(const QStringList &words)
{
    QStringList quoted;
    for (const QString &word : words)
        quoted << (word.contains(QRegularExpression(QStringLiteral("[^A-Za-z0-9_./,:=+%-]")))
                       ? QLatin1Char('\'') + QString(word).replace(QLatin1Char('\''), QStringLiteral("'\\''")) + QLatin1Char('\'')
                       : word);
    return quoted.join(QLatin1Char(' '));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("How often diagnose names random captures' chains right."));
    parser.addHelpOption();
    const QCommandLineOption chainsOption(QStringLiteral("chains"), QStringLiteral("How many chains (1000)."),
                                          QStringLiteral("N"), QStringLiteral("1000"));
    const QCommandLineOption firstOption(QStringLiteral("first"), QStringLiteral("The first chain's number (0)."),
                                         QStringLiteral("K"), QStringLiteral("0"));
    const QCommandLineOption seedOption(QStringLiteral("seed"), QStringLiteral("The seed (1)."), QStringLiteral("S"),
                                        QStringLiteral("1"));
    const QCommandLineOption jobsOption(QStringLiteral("jobs"), QStringLiteral("Chains made at once (2)."),
                                        QStringLiteral("J"), QStringLiteral("2"));
    const QCommandLineOption outOption(QStringLiteral("out"), QStringLiteral("Where the failures go (accuracy)."),
                                       QStringLiteral("DIR"), QStringLiteral("accuracy"));
    const QCommandLineOption everyOption(QStringLiteral("every"),
                                         QStringLiteral("Write every chain, not only the failures, to DIR/chains.txt."));
    const QCommandLineOption toldOption(QStringLiteral("told"),
                                        QStringLiteral("Tell diagnose the sheet and where it lies."));
    const QCommandLineOption programOption(
        QStringLiteral("program"), QStringLiteral("tintwell-sheet (the one of this build)."), QStringLiteral("PATH"),
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../src/sheet/tintwell-sheet")));
    parser.addOptions({chainsOption, firstOption, seedOption, jobsOption, outOption, toldOption, everyOption, programOption});
    parser.process(app);
    const bool told = parser.isSet(toldOption);

    const int chains = parser.value(chainsOption).toInt();
    const int first = parser.value(firstOption).toInt();
    const quint64 seed = parser.value(seedOption).toULongLong();
    const int jobs = std::max(1, parser.value(jobsOption).toInt());
    const QString program = QDir::cleanPath(parser.value(programOption));
    for (const QString &needed : {program, Convert, Ffmpeg})
        if (!QFile::exists(needed)) {
            std::fprintf(stderr, "tintwell_bench_accuracy: %s is missing (scripts/ensure-packages installs ImageMagick "
                                 "and ffmpeg)\n",
                         qPrintable(needed));
            return 2;
        }
    QDir out(parser.value(outOption));
    if (!out.mkpath(QStringLiteral("failures"))) {
        std::fprintf(stderr, "tintwell_bench_accuracy: cannot make %s\n", qPrintable(out.absolutePath()));
        return 2;
    }
    const Run modes = run(program, {QStringLiteral("modes"), QStringLiteral("--json")});
    for (const QJsonValue mode : QJsonDocument::fromJson(modes.out).array()) {
        Levels levels;
        for (std::size_t c = 0; c < 3; ++c)
            for (const QJsonValue level : mode[QLatin1String(c == 0 ? "red" : c == 1 ? "green" : "blue")].toArray())
                levels[c].push_back(level.toInt());
        SheetLevels[mode[QLatin1String("name")].toString()] = levels;
    }
    QFile every(out.filePath(QStringLiteral("chains.txt")));
    if (parser.isSet(everyOption) && !every.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        return 2;
    QTextStream everyReport(&every);
    QTemporaryDir work;
    for (const Sheet &sheet : Sheets)
        if (run(program, {QStringLiteral("make"), QLatin1String(sheet.mode),
                          work.filePath(QLatin1String(sheet.mode) + QStringLiteral(".png"))})
                .exitCode
            != 0) {
            std::fprintf(stderr, "tintwell_bench_accuracy: %s make failed\n", qPrintable(program));
            return 2;
        }

    std::array<int, Properties> right {};
    int done = 0;
    double seconds = 0;
    QFile failures(out.filePath(QStringLiteral("failures.txt")));
    if (!failures.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        return 2;
    QTextStream report(&failures);
    std::mutex lock;
    std::atomic<int> next {first};
    const auto worker = [&] {
        for (int index = next++; index < first + chains; index = next++) {
            const Recipe recipe = randomRecipe(seed, index);
            const Expected expected = expectedOf(recipe);
            const QString folder = work.filePath(QStringLiteral("chain-%1").arg(index));
            QDir().mkpath(folder);
            QString in = work.filePath(QLatin1String(recipe.sheet.mode) + QStringLiteral(".png"));
            QStringList script;
            bool made = true;
            const QList<QStringList> commands = commandsOf(recipe);
            for (qsizetype i = 0; i < commands.size() && made; ++i) {
                QStringList command = commands[i];
                const QString outName = QDir(folder).filePath(QStringLiteral("step%1").arg(i));
                QString produced;
                for (QString &word : command) {
                    if (word == QLatin1String("IN")) {
                        word = in;
                    } else if (word.startsWith(QLatin1String("PNG24:OUT"))) {
                        produced = outName + QStringLiteral(".png");
                        word = QStringLiteral("PNG24:") + produced;
                    } else if (word.startsWith(QLatin1String("OUT"))) {
                        produced = outName + (word.size() > 3 ? word.mid(3) : QStringLiteral(".png"));
                        word = produced;
                    }
                }
                script << shellQuoted(command);
                const QString executable = command.takeFirst();
                const Run made1 = run(executable, command);
                made = made1.exitCode == 0;
                if (!made)
                    script << QStringLiteral("# failed: ") + QString::fromLocal8Bit(made1.err).trimmed();
                in = produced;
            }
            Outcome outcome;
            QByteArray said;
            if (made) {
                QElapsedTimer timer;
                timer.start();
                QStringList arguments {QStringLiteral("diagnose"), in, QStringLiteral("--json")};
                if (told)
                    arguments << QStringLiteral("--mode") << QLatin1String(recipe.sheet.mode) << QStringLiteral("--at")
                              << QStringLiteral("%1,%2,%3").arg(recipe.x).arg(recipe.y).arg(recipe.scale);
                const Run diagnosis = run(program, arguments);
                const double took = double(timer.nsecsElapsed()) / 1e9;
                said = diagnosis.out + diagnosis.err;
                outcome = score(recipe, expected, QJsonDocument::fromJson(diagnosis.out).object(), told);
                outcome.seconds = took;
            } else {
                outcome.wrong << QStringLiteral("the producers failed");
            }
            const std::scoped_lock guard(lock);
            ++done;
            seconds += outcome.seconds;
            for (int p = 0; p < Properties; ++p)
                right[std::size_t(p)] += outcome.right[std::size_t(p)];
            if (every.isOpen()) {
                everyReport << "chain " << index << " (seed " << seed << "): " << describe(recipe) << "\n";
                for (const QString &line : outcome.wrong)
                    everyReport << "  " << line << "\n";
                everyReport << "  said: " << QString::fromLocal8Bit(said).trimmed() << "\n\n";
                everyReport.flush();
            }
            if (!outcome.wrong.isEmpty()) {
                const QString kept = out.filePath(QStringLiteral("failures/chain-%1-%2%3")
                                                      .arg(seed)
                                                      .arg(index)
                                                      .arg(in.endsWith(QLatin1String(".jpg")) ? ".jpg" : ".png"));
                QFile::remove(kept);
                QFile::copy(in, kept);
                report << "chain " << index << " (seed " << seed << "): " << describe(recipe) << "\n";
                for (const QString &line : outcome.wrong)
                    report << "  " << line << "\n";
                report << "  capture: " << kept << "\n";
                for (const QString &line : script)
                    report << "  $ " << line << "\n";
                const QJsonObject d = QJsonDocument::fromJson(said).object();
                QStringList brief;
                for (auto i = d.begin(); i != d.end(); ++i)
                    if (i.key() != QLatin1String("tone_curve"))
                        brief << i.key() + QLatin1Char('=')
                                     + QString::fromUtf8(QJsonDocument(QJsonArray {i.value()}).toJson(QJsonDocument::Compact))
                                           .mid(1)
                                           .chopped(1);
                report << "  said: " << (d.isEmpty() ? QString::fromLocal8Bit(said).trimmed() : brief.join(QLatin1Char(' ')))
                       << "\n\n";
                report.flush();
            }
            QDir(folder).removeRecursively();
            if (done % 50 == 0)
                std::fprintf(stderr, "%d of %d chains\n", done, chains);
        }
    };
    std::vector<std::thread> workers;
    for (int j = 0; j < jobs; ++j)
        workers.emplace_back(worker);
    for (std::thread &w : workers)
        w.join();

    std::printf("chains: %d (seed %llu, from %d%s), diagnose %.2f s each on average\n", done,
                static_cast<unsigned long long>(seed), first, told ? ", told the sheet and its place" : "",
                done ? seconds / done : 0.0);
    for (int p = 0; p < Properties; ++p)
        std::printf("%-*s %6.1f %% (%d of %d)\n", int(20 + std::strlen(PropertyNames[p]) - QString::fromUtf8(PropertyNames[p]).size()), PropertyNames[p], done ? 100.0 * right[std::size_t(p)] / done : 0.0,
                    right[std::size_t(p)], done);
    std::printf("failures: %s\n", qPrintable(QDir::toNativeSeparators(failures.fileName())));
    return 0;
}
