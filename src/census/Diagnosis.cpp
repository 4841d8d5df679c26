#include "census/Diagnosis.h"

#include "census/ErrorMeasures.h"
#include "census/LevelCut.h"
#include "census/ToneFit.h"

#include <QJsonArray>
#include <QJsonObject>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>
#include <random>
#include <utility>

namespace Diagnosis {

namespace {

using YcbcrPath::Affine;
using YcbcrPath::Matrix;
using YcbcrPath::Range;
using Rgb = std::array<double, 3>;

// How many of the sheet's smooth places the discrete steps are chosen on.
constexpr int SamplesTried = 65536;
// A candidate chain is taken over a simpler one only when it leaves less
// than this share of the simpler one's squared error.
constexpr double SimplerWins = 0.9;

inline int channelOf(QRgb pixel, int channel)
{
    return int(pixel >> (16 - 8 * channel)) & 0xFF;
}

Range encodedRange(RangeFault fault)
{
    return fault == RangeFault::LimitedAsFull ? Range::Limited : Range::Full;
}

Range decodedRange(RangeFault fault)
{
    return fault == RangeFault::FullAsLimited ? Range::Limited : Range::Full;
}

Rgb clamped(Rgb v)
{
    for (double &c : v)
        c = std::clamp(c, 0.0, 1.0);
    return v;
}

// One discrete candidate: a Y'CbCr path, possibly travelled twice.
struct Candidate
{
    Matrix encoded;
    Matrix decoded;
    RangeFault range;
    int passes;

    int complexity() const { return (range != RangeFault::None) + (passes == 2) + (encoded != decoded); }
};

struct Path
{
    Affine encode;
    Affine decode;
    int passes = 1;

    Rgb operator()(const Rgb &in) const
    {
        Rgb v = in;
        for (int p = 0; p < passes; ++p)
            v = clamped(decode(encode(v)));
        return v;
    }

    // The same for a pixel whose chroma was kept at a lower resolution:
    // `around` is the colour around it as that resolution blurs it (the
    // encoding is affine, so blurring before it is blurring after it).
    Rgb operator()(const Rgb &in, const Rgb &around) const
    {
        Rgb coded = encode(in);
        const Rgb blurred = encode(around);
        coded[1] = blurred[1];
        coded[2] = blurred[2];
        Rgb v = clamped(decode(coded));
        for (int p = 1; p < passes; ++p)
            v = clamped(decode(encode(v)));
        return v;
    }
};

// How many pixels across and down share one chroma sample.
std::pair<int, int> chromaBlock(Chroma chroma)
{
    switch (chroma) {
    case Chroma::Full: return {1, 1};
    case Chroma::Sub422: return {2, 1};
    case Chroma::Sub420: return {2, 2};
    case Chroma::Sub411: return {4, 1};
    }
    return {1, 1};
}

Path pathOf(Matrix encoded, Matrix decoded, RangeFault range, int passes)
{
    return {YcbcrPath::Encode(encoded, encodedRange(range)), YcbcrPath::Decode(decoded, decodedRange(range)), passes};
}

std::vector<Candidate> candidates()
{
    std::vector<Candidate> all;
    for (Matrix e : YcbcrPath::Matrices)
        for (Matrix d : YcbcrPath::Matrices)
            for (RangeFault r : {RangeFault::None, RangeFault::LimitedAsFull, RangeFault::FullAsLimited})
                if (!(e == d && r == RangeFault::None && e != Matrix::Bt709))
                    all.push_back({e, d, r, 1});
    for (Matrix m : YcbcrPath::Matrices)
        for (RangeFault r : {RangeFault::LimitedAsFull, RangeFault::FullAsLimited})
            all.push_back({m, m, r, 2});
    return all;
}

// The sheet's places away from its sharp edges, where a lossy path and low
// chroma resolution leave the colour as the steps made it.
std::vector<QPoint> smoothPlaces(const QImage &sheet)
{
    const int w = sheet.width(), h = sheet.height();
    const std::int64_t all = std::int64_t(w) * h;
    std::mt19937 random(23);
    std::vector<QPoint> places;
    std::vector<int> roughness;
    const int tried = int(std::min<std::int64_t>(all, 2 * SamplesTried));
    places.reserve(std::size_t(tried));
    roughness.reserve(std::size_t(tried));
    const auto at = [&](int x, int y) { return reinterpret_cast<const QRgb *>(sheet.constScanLine(y))[x]; };
    for (int i = 0; i < tried; ++i) {
        const std::int64_t index = tried == all ? i : std::int64_t(random() % std::uint64_t(all));
        const int x = int(index % w), y = int(index / w);
        const QRgb centre = at(x, y);
        int rough = 0;
        for (const QPoint d : {QPoint(-3, 0), QPoint(3, 0), QPoint(0, -2), QPoint(0, 2)}) {
            const QRgb other = at(std::clamp(x + d.x(), 0, w - 1), std::clamp(y + d.y(), 0, h - 1));
            for (int c = 0; c < 3; ++c)
                rough = std::max(rough, std::abs(channelOf(other, c) - channelOf(centre, c)));
        }
        places.emplace_back(x, y);
        roughness.push_back(rough);
    }
    std::vector<int> sorted = roughness;
    std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
    const int median = sorted[sorted.size() / 2];
    std::vector<QPoint> smooth;
    for (std::size_t i = 0; i < places.size() && smooth.size() < std::size_t(SamplesTried); ++i)
        if (roughness[i] <= median)
            smooth.push_back(places[i]);
    return smooth;
}

struct Sample
{
    Rgb sheet; // 0 to 1, channels already in the capture's order
    std::array<double, 3> captured;
    QPoint place;
    Rgb around; // the sheet around the place as the chroma resolution blurs it
};

std::array<int, 3> channelOrder(const std::vector<Sample> &samples)
{
    // Correlation of every sheet channel with every capture channel: the sheets
    // hold every combination of their levels, so the wrong pairs barely correlate.
    std::array<std::array<double, 3>, 3> corr {};
    const double n = double(samples.size());
    for (int s = 0; s < 3; ++s)
        for (int c = 0; c < 3; ++c) {
            double ms = 0, mc = 0;
            for (const Sample &x : samples) {
                ms += x.sheet[std::size_t(s)];
                mc += x.captured[std::size_t(c)];
            }
            ms /= n;
            mc /= n;
            double sxy = 0, sxx = 0, syy = 0;
            for (const Sample &x : samples) {
                const double a = x.sheet[std::size_t(s)] - ms, b = x.captured[std::size_t(c)] - mc;
                sxy += a * b;
                sxx += a * a;
                syy += b * b;
            }
            corr[std::size_t(s)][std::size_t(c)] = sxx > 0 && syy > 0 ? sxy / std::sqrt(sxx * syy) : 0;
        }
    std::array<int, 3> order {0, 1, 2}, best = order;
    double bestScore = -1e9, identity = 0;
    do {
        double score = 0;
        for (int c = 0; c < 3; ++c)
            score += corr[std::size_t(order[std::size_t(c)])][std::size_t(c)];
        if (order == std::array<int, 3> {0, 1, 2})
            identity = score;
        if (score > bestScore) {
            bestScore = score;
            best = order;
        }
    } while (std::next_permutation(order.begin(), order.end()));
    return bestScore > identity + 0.5 ? best : std::array<int, 3> {0, 1, 2};
}

// Each channel blurred over `across` x `down` pixels, as a chroma plane kept
// at that lower resolution and brought back comes out.
void blur(std::vector<float> &plane, int w, int h, int across, int down)
{
    const auto pass = [&](int factor, bool horizontal) {
        if (factor <= 1)
            return;
        std::vector<float> weights;
        for (int d = -(factor - 1); d <= factor - 1; ++d)
            weights.push_back(float(factor - std::abs(d)));
        const float total = float(factor * factor);
        std::vector<float> out(plane.size());
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                float sum = 0;
                for (int d = -(factor - 1); d <= factor - 1; ++d) {
                    const int xx = horizontal ? std::clamp(x + d, 0, w - 1) : x;
                    const int yy = horizontal ? y : std::clamp(y + d, 0, h - 1);
                    sum += weights[std::size_t(d + factor - 1)]
                           * plane[std::size_t(yy) * std::size_t(w) + std::size_t(xx)];
                }
                out[std::size_t(y) * std::size_t(w) + std::size_t(x)] = sum / total;
            }
        plane.swap(out);
    };
    pass(across, true);
    pass(down, false);
}

double squaredError(const QImage &one, const QImage &two)
{
    double total = 0;
    for (int y = 0; y < one.height(); ++y) {
        const auto *a = reinterpret_cast<const QRgb *>(one.constScanLine(y));
        const auto *b = reinterpret_cast<const QRgb *>(two.constScanLine(y));
        for (int x = 0; x < one.width(); ++x)
            for (int c = 0; c < 3; ++c) {
                const double d = channelOf(a[x], c) - channelOf(b[x], c);
                total += d * d;
            }
    }
    return total;
}

QString hex(QRgb colour)
{
    return QStringLiteral("%1").arg(colour & 0xFFFFFFu, 6, 16, QLatin1Char('0')).toUpper();
}

QString triple(const std::array<int, 3> &v)
{
    return QStringLiteral("%1 %2 %3").arg(v[0]).arg(v[1]).arg(v[2]);
}

} // namespace

bool Result::clipped() const
{
    return clippedBelow != std::array<int, 3> {0, 0, 0} || clippedAbove != std::array<int, 3> {255, 255, 255};
}

Facts Result::facts() const
{
    Facts facts;
    if (!landmarks.empty()) {
        QStringList parts;
        QJsonObject object;
        for (const Landmark &landmark : landmarks) {
            parts << QStringLiteral("%1 %2").arg(landmark.name, hex(landmark.captured));
            object.insert(Facts::Key(landmark.name), hex(landmark.captured));
        }
        facts.add(QStringLiteral("landmarks"), parts.join(QStringLiteral(", ")), object);
    }
    if (order != std::array<int, 3> {0, 1, 2}) {
        QString name;
        for (int c : order)
            name += QLatin1Char("RGB"[c]);
        facts.add(QStringLiteral("channel order"), name);
    }
    if (range != RangeFault::None)
        facts.add(QStringLiteral("range"), (range == RangeFault::LimitedAsFull ? QStringLiteral("limited read as full")
                                                                               : QStringLiteral("full read as limited"))
                                               + (rangePasses == 2 ? QStringLiteral(" twice") : QString()));
    if (matrixFault())
        facts.add(QStringLiteral("matrix"),
                  QStringLiteral("%1 read as %2")
                      .arg(QLatin1String(YcbcrPath::NameOf(encoded)), QLatin1String(YcbcrPath::NameOf(decoded))));
    if (chroma != Chroma::Full) {
        const char *names[] = {"4:4:4", "4:2:2", "4:2:0", "4:1:1"};
        facts.add(QStringLiteral("chroma"), QString::fromLatin1(names[int(chroma)]));
    }
    if (bits != std::array<int, 3> {8, 8, 8}) {
        facts.add(QStringLiteral("bits"), triple(bits), QJsonArray {bits[0], bits[1], bits[2]});
        if (dither)
            facts.add(QStringLiteral("dither"), QStringLiteral("yes"), QJsonValue(true));
    }
    if (tone != Tone::None) {
        QJsonObject curve;
        QJsonArray tables;
        for (const auto &table : curves) {
            QJsonArray levels;
            for (float level : table)
                levels.append(std::round(double(level) * 100) / 100);
            tables.append(levels);
        }
        QString text = QStringLiteral("table");
        if (tone == Tone::Gamma) {
            text = QStringLiteral("gamma %1 %2 %3")
                       .arg(gamma[0], 0, 'f', 2)
                       .arg(gamma[1], 0, 'f', 2)
                       .arg(gamma[2], 0, 'f', 2);
            curve.insert(QStringLiteral("gamma"),
                         QJsonArray {std::round(gamma[0] * 100) / 100, std::round(gamma[1] * 100) / 100,
                                     std::round(gamma[2] * 100) / 100});
        }
        curve.insert(QStringLiteral("kind"), tone == Tone::Gamma ? QStringLiteral("gamma") : QStringLiteral("table"));
        curve.insert(QStringLiteral("table"), tables);
        facts.add(QStringLiteral("tone curve"), text, curve);
    }
    if (clipped())
        facts.add(
            QStringLiteral("clipped"),
            QStringLiteral("below %1, above %2").arg(triple(clippedBelow), triple(clippedAbove)),
            QJsonObject {{QStringLiteral("below"), QJsonArray {clippedBelow[0], clippedBelow[1], clippedBelow[2]}},
                         {QStringLiteral("above"), QJsonArray {clippedAbove[0], clippedAbove[1], clippedAbove[2]}}});
    if (!exact) {
        if (!explained)
            facts.add(QStringLiteral("noise"), QStringLiteral("PSNR %1 dB").arg(psnr, 0, 'f', 2),
                      QJsonObject {{QStringLiteral("psnr_db"), std::round(psnr * 100) / 100}});
        facts.add(QStringLiteral("mean dE2000 after the steps"), meanDe2000After, 4);
    }
    if (unexplained)
        facts.add(QStringLiteral("unexplained"), QStringLiteral("the steps found leave a mean dE2000 of %1 (of %2)")
                                                     .arg(meanDe2000After, 0, 'f', 2)
                                                     .arg(meanDe2000, 0, 'f', 2));
    return facts;
}

QImage Result::simulate(const QImage &sheet) const
{
    const int w = sheet.width(), h = sheet.height();
    const Path path = pathOf(encoded, decoded, range, rangePasses);
    // A Y'CbCr path found keeps 8-bit codes between its halves.
    const bool codes = range != RangeFault::None || matrixFault() || chroma != Chroma::Full;
    const auto codedAt = [&](const QRgb *row, int x) {
        Rgb v;
        for (int c = 0; c < 3; ++c)
            v[std::size_t(c)] = channelOf(row[x], order[std::size_t(c)]) / 255.0;
        Rgb coded = path.encode(v);
        if (codes)
            for (double &code : coded)
                code = std::round(code * 255.0) / 255.0;
        return coded;
    };

    // Only the chroma planes are kept whole, and only when they are blurred.
    std::array<std::vector<float>, 2> chromaPlanes;
    if (chroma != Chroma::Full) {
        for (auto &plane : chromaPlanes)
            plane.resize(std::size_t(w) * std::size_t(h));
        for (int y = 0; y < h; ++y) {
            const auto *row = reinterpret_cast<const QRgb *>(sheet.constScanLine(y));
            for (int x = 0; x < w; ++x) {
                const Rgb coded = codedAt(row, x);
                for (std::size_t c = 0; c < 2; ++c)
                    chromaPlanes[c][std::size_t(y) * std::size_t(w) + std::size_t(x)] = float(coded[c + 1]);
            }
        }
        const auto [across, down] = chromaBlock(chroma);
        blur(chromaPlanes[0], w, h, across, down);
        blur(chromaPlanes[1], w, h, across, down);
    }
    // What the cut and the tone curve make of each level the path gives.
    std::array<std::array<int, 256>, 3> finish;
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < 256; ++i)
            finish[std::size_t(c)][std::size_t(i)] =
                std::clamp(int(std::lround(ToneFit::OnCurve(
                               curves[std::size_t(c)],
                               dither ? i : LevelCut::Cut(i, bits[std::size_t(c)], spread[std::size_t(c)])))),
                           0, 255);
    QImage out(w, h, QImage::Format_RGB32);
    if (out.isNull())
        throw std::bad_alloc();
    for (int y = 0; y < h; ++y) {
        const auto *in = reinterpret_cast<const QRgb *>(sheet.constScanLine(y));
        auto *row = reinterpret_cast<QRgb *>(out.scanLine(y));
        for (int x = 0; x < w; ++x) {
            Rgb coded = codedAt(in, x);
            if (chroma != Chroma::Full) {
                const std::size_t i = std::size_t(y) * std::size_t(w) + std::size_t(x);
                coded[1] = chromaPlanes[0][i];
                coded[2] = chromaPlanes[1][i];
            }
            Rgb v = clamped(path.decode(coded));
            for (int p = 1; p < rangePasses; ++p)
                v = clamped(path.decode(path.encode(v)));
            int levels[3];
            for (int c = 0; c < 3; ++c)
                levels[c] = finish[std::size_t(c)][std::size_t(v[std::size_t(c)] * 255.0 + 0.5)];
            row[x] = qRgb(levels[0], levels[1], levels[2]);
        }
    }
    return out;
}

LutTable Result::fix(int points) const
{
    LutTable table;
    for (auto &axis : table.axes)
        axis = LutAxis::Even(points);
    table.nodes.resize(std::size_t(points) * points * points * 3);

    // Each channel's curve undone at the table's levels, by search on the
    // curve made non-decreasing.
    std::array<std::vector<double>, 3> undone;
    for (int c = 0; c < 3; ++c) {
        std::array<double, 256> rising;
        double top = -1;
        for (int i = 0; i < 256; ++i)
            rising[std::size_t(i)] = top = std::max(top, double(curves[std::size_t(c)][std::size_t(i)]));
        for (int k = 0; k < points; ++k) {
            const double target = 255.0 * k / (points - 1);
            double level;
            if (target <= rising[0]) {
                level = 0;
            } else if (target >= rising[255]) {
                level = 255;
            } else {
                const int i = int(std::upper_bound(rising.begin(), rising.end(), target) - rising.begin()) - 1;
                const double span = rising[std::size_t(i) + 1] - rising[std::size_t(i)];
                level = i + (span > 0 ? (target - rising[std::size_t(i)]) / span : 0.0);
            }
            undone[std::size_t(c)].push_back(level / 255.0);
        }
    }
    const Path path = pathOf(encoded, decoded, range, rangePasses);
    const Affine back = path.encode.inverse().after(path.decode.inverse());
    std::size_t node = 0;
    for (int b = 0; b < points; ++b)
        for (int g = 0; g < points; ++g)
            for (int r = 0; r < points; ++r) {
                Rgb v {undone[0][std::size_t(r)], undone[1][std::size_t(g)], undone[2][std::size_t(b)]};
                for (int p = 0; p < rangePasses; ++p)
                    v = clamped(back(v));
                Rgb sheetOrder {};
                for (int c = 0; c < 3; ++c)
                    sheetOrder[std::size_t(order[std::size_t(c)])] = v[std::size_t(c)];
                for (int c = 0; c < 3; ++c)
                    table.nodes[node++] = float(sheetOrder[std::size_t(c)]);
            }
    return table;
}

namespace {

// What the capture shows where the sheet holds black, white, the primaries
// and mid grey (the mean of every such place).
std::vector<Landmark> landmarksOf(const QImage &sheet, const QImage &picture)
{
    struct Wanted
    {
        const char *name;
        QRgb colour;
    };
    const Wanted wanted[] = {{"black", 0x000000}, {"white", 0xFFFFFF},     {"red", 0xFF0000},      {"green", 0x00FF00},
                             {"blue", 0x0000FF},  {"grey 50 %", 0x808080}, {"grey 50 %", 0x7F7F7F}};
    std::array<std::array<double, 4>, std::size(wanted)> found {};
    for (int y = 0; y < sheet.height(); ++y) {
        const auto *s = reinterpret_cast<const QRgb *>(sheet.constScanLine(y));
        const auto *p = reinterpret_cast<const QRgb *>(picture.constScanLine(y));
        for (int x = 0; x < sheet.width(); ++x) {
            if (const int blue = int(s[x] & 0xFF); blue != 0 && blue != 0x7F && blue != 0x80 && blue != 0xFF)
                continue;
            for (std::size_t k = 0; k < std::size(wanted); ++k)
                if ((s[x] & 0xFFFFFFu) == wanted[k].colour) {
                    for (int c = 0; c < 3; ++c)
                        found[k][std::size_t(c)] += channelOf(p[x], c);
                    found[k][3] += 1;
                }
        }
    }
    std::vector<Landmark> landmarks;
    for (std::size_t k = 0; k < std::size(wanted); ++k) {
        const bool otherGrey = k + 1 == std::size(wanted) && found[k - 1][3] > 0;
        if (found[k][3] == 0 || otherGrey)
            continue;
        const auto mean = [&](int c) { return int(std::lround(found[k][std::size_t(c)] / found[k][3])); };
        landmarks.push_back({QString::fromLatin1(wanted[k].name), wanted[k].colour, qRgb(mean(0), mean(1), mean(2))});
    }
    return landmarks;
}

std::vector<Sample> samplesOf(const QImage &sheet, const QImage &picture)
{
    std::vector<Sample> samples;
    for (const QPoint place : smoothPlaces(sheet)) {
        const QRgb s = reinterpret_cast<const QRgb *>(sheet.constScanLine(place.y()))[place.x()];
        const QRgb p = reinterpret_cast<const QRgb *>(picture.constScanLine(place.y()))[place.x()];
        const Rgb colour {channelOf(s, 0) / 255.0, channelOf(s, 1) / 255.0, channelOf(s, 2) / 255.0};
        samples.push_back(
            {colour, {double(channelOf(p, 0)), double(channelOf(p, 1)), double(channelOf(p, 2))}, place, colour});
    }
    return samples;
}

// The steps after the channel order and the bits, fitted one after another
// into `result`.
class Fitting
{
public:
    Fitting(Result &result, std::vector<Sample> samples)
        : result_(result)
        , samples_(std::move(samples))
    { }

    // The Y'CbCr path: every candidate with a power law per channel fitted
    // after it; the simplest of those that come closest wins. When no power
    // law fits even the winner, they are compared again with any curve.
    void choosePath()
    {
        std::vector<double> withPowerLaw, withAnyCurve;
        for (const Candidate &candidate : all_) {
            double within = 0, error = 0;
            for (const ToneFit::Bins &b :
                 binsOf(pathOf(candidate.encoded, candidate.decoded, candidate.range, candidate.passes))) {
                within += b.within();
                error += b.within() + ToneFit::CurveError(b, ToneFit::FitGamma(b, 0, 255), 0, 255);
            }
            withPowerLaw.push_back(error);
            withAnyCurve.push_back(within);
        }
        fitTone(simplestOf(withPowerLaw));
        if (result_.tone == Tone::Table)
            fitTone(simplestOf(withAnyCurve));
    }

    // Dither: cut levels that often land a step away from where a plain cut
    // puts them. The curve is then fitted again on the levels before the cut.
    void findDither()
    {
        const Path path = pathOf(result_.encoded, result_.decoded, result_.range, result_.rangePasses);
        for (int c = 0; c < 3; ++c) {
            const int keep = result_.bits[std::size_t(c)];
            if (keep >= 8)
                continue;
            const double step = 255.0 / ((1 << keep) - 1);
            int counted = 0, off = 0;
            for (const Sample &sample : samples_) {
                const double level = path(sample.sheet, sample.around)[std::size_t(c)] * 255.0;
                const double position = level / step;
                if (std::abs(position - std::floor(position) - 0.5) < 1.0 / step)
                    continue; // too near a threshold to tell
                ++counted;
                const double expected =
                    ToneFit::OnCurve(result_.curves[std::size_t(c)],
                                     LevelCut::Cut(std::round(level), keep, result_.spread[std::size_t(c)]));
                off += std::abs(sample.captured[std::size_t(c)] - expected) > step / 2;
            }
            result_.dither = result_.dither || (counted > 0 && off > counted / 10);
        }
        if (result_.dither)
            fitTone({result_.encoded, result_.decoded, result_.range, result_.rangePasses});
    }

    // Chroma resolution: the sheet's sharp tile edges through each choice,
    // over a part of at most 512 x 512 (a multiple of 4 from the corner).
    void findChroma(const QImage &sheet, const QImage &picture)
    {
        const QRect part(0, 0, std::min(sheet.width(), 512), std::min(sheet.height(), 512));
        const QImage sheetPart = sheet.copy(part), picturePart = picture.copy(part);
        double fullError = 0, bestError = 0;
        for (Chroma option : {Chroma::Full, Chroma::Sub422, Chroma::Sub420, Chroma::Sub411}) {
            Result trial = result_;
            trial.chroma = option;
            const double error = squaredError(trial.simulate(sheetPart), picturePart);
            if (option == Chroma::Full) {
                fullError = bestError = error;
            } else if (error < bestError && error < fullError * 0.8) {
                bestError = error;
                result_.chroma = option;
            }
        }
    }

    // The samples' surroundings as the chroma resolution found blurs them,
    // with the same weights as the sheet put through the steps.
    void blurSamples(const QImage &sheet)
    {
        const auto [across, down] = chromaBlock(result_.chroma);
        const int w = sheet.width(), h = sheet.height();
        for (Sample &sample : samples_) {
            Rgb sum {};
            double total = 0;
            for (int dy = 1 - down; dy < down; ++dy)
                for (int dx = 1 - across; dx < across; ++dx) {
                    const double weight = double(across - std::abs(dx)) * (down - std::abs(dy));
                    const QRgb pixel = reinterpret_cast<const QRgb *>(sheet.constScanLine(
                        std::clamp(sample.place.y() + dy, 0, h - 1)))[std::clamp(sample.place.x() + dx, 0, w - 1)];
                    for (int c = 0; c < 3; ++c)
                        sum[std::size_t(c)] += weight * channelOf(pixel, result_.order[std::size_t(c)]) / 255.0;
                    total += weight;
                }
            for (int c = 0; c < 3; ++c)
                sample.around[std::size_t(c)] = sum[std::size_t(c)] / total;
        }
    }

private:
    std::array<ToneFit::Bins, 3> binsOf(const Path &path) const
    {
        std::array<ToneFit::Bins, 3> bins;
        for (const Sample &sample : samples_) {
            const Rgb v = path(sample.sheet, sample.around);
            for (int c = 0; c < 3; ++c) {
                const double level = std::floor(v[std::size_t(c)] * 255.0 + 0.5);
                bins[std::size_t(c)].add(
                    result_.dither ? level
                                   : LevelCut::Cut(level, result_.bits[std::size_t(c)], result_.spread[std::size_t(c)]),
                    sample.captured[std::size_t(c)]);
            }
        }
        return bins;
    }

    Candidate simplestOf(const std::vector<double> &errors) const
    {
        const double least = *std::min_element(errors.begin(), errors.end());
        std::size_t chosen = all_.size();
        for (std::size_t i = 0; i < all_.size(); ++i) {
            if (errors[i] > least / SimplerWins + 1e-9)
                continue;
            if (chosen == all_.size() || all_[i].complexity() < all_[chosen].complexity()
                || (all_[i].complexity() == all_[chosen].complexity() && errors[i] < errors[chosen]))
                chosen = i;
        }
        return all_[chosen];
    }

    // The tone curve and clipping per channel after `path`.
    void fitTone(const Candidate &path)
    {
        result_.encoded = path.encoded;
        result_.decoded = path.decoded;
        result_.range = path.range;
        result_.rangePasses = path.passes;
        const std::array<ToneFit::Bins, 3> bins = binsOf(pathOf(path.encoded, path.decoded, path.range, path.passes));
        bool table = false;
        result_.tone = Tone::None;
        for (int c = 0; c < 3; ++c) {
            const ToneFit::ChannelFit fit = ToneFit::FitChannel(bins[std::size_t(c)]);
            result_.curves[std::size_t(c)] = fit.curve;
            result_.gamma[std::size_t(c)] = fit.gamma;
            result_.clippedBelow[std::size_t(c)] = fit.clippedBelow;
            result_.clippedAbove[std::size_t(c)] = fit.clippedAbove;
            table = table || fit.table;
            if (fit.gamma != 1)
                result_.tone = Tone::Gamma;
        }
        if (table)
            result_.tone = Tone::Table;
    }

    Result &result_;
    std::vector<Sample> samples_;
    const std::vector<Candidate> all_ = candidates();
};

} // namespace

Result Diagnose(const QImage &sheet, const QImage &capture, const ErrorMeasures *measured)
{
    Result result;
    const QImage picture =
        capture.format() == QImage::Format_RGB32 ? capture : capture.convertToFormat(QImage::Format_RGB32);
    const ErrorMeasures before = measured ? *measured : ErrorMeasures::Measure(capture, QPoint(0, 0), 1, sheet);
    result.meanDe2000 = before.meanDe2000;
    result.exact = before.differingPixels == 0;
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < 256; ++i)
            result.curves[std::size_t(c)][std::size_t(i)] = float(i);
    result.landmarks = landmarksOf(sheet, picture);
    if (result.exact) {
        result.psnr = before.psnr();
        return result;
    }

    // The channel order, on the smooth places.
    std::vector<Sample> samples = samplesOf(sheet, picture);
    result.order = channelOrder(samples);
    for (Sample &sample : samples) {
        const Rgb s = sample.sheet;
        for (int c = 0; c < 3; ++c)
            sample.sheet[std::size_t(c)] = s[std::size_t(result.order[std::size_t(c)])];
        sample.around = sample.sheet;
    }

    // Bits, from the values each channel takes against the sheet's levels.
    const std::array<LevelCut::LevelSet, 3> capturedLevels = LevelCut::LevelsOf(picture);
    const std::array<LevelCut::LevelSet, 3> sheetLevels = LevelCut::LevelsOf(sheet);
    for (int c = 0; c < 3; ++c) {
        const LevelCut::Kept kept =
            LevelCut::BitsOf(capturedLevels[std::size_t(c)], sheetLevels[std::size_t(result.order[std::size_t(c)])]);
        result.bits[std::size_t(c)] = kept.bits;
        result.spread[std::size_t(c)] = kept.spread;
    }

    Fitting fitting(result, std::move(samples));
    fitting.choosePath();
    fitting.findDither();
    fitting.findChroma(sheet, picture);
    if (result.chroma != Chroma::Full) {
        // Sharp sheets leave few places the lower chroma resolution spares:
        // the path is chosen again knowing it.
        fitting.blurSamples(sheet);
        fitting.choosePath();
    }

    const ErrorMeasures after = ErrorMeasures::Measure(capture, QPoint(0, 0), 1, result.simulate(sheet));
    result.psnr = after.psnr();
    result.explained = after.differingPixels == 0;
    result.meanDe2000After = after.meanDe2000;
    result.unexplained = after.meanDe2000 > UnexplainedDe2000;
    return result;
}

} // namespace Diagnosis
