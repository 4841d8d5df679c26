#include "diagnosis/Diagnosis.h"

#include "colour/Pixel.h"
#include "diagnosis/Fitting.h"

#include <QJsonObject>

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace Diagnosis {

namespace {

// How much closer (mean dE2000 on the sheet's smooth places) the capture is
// to the sheet put through a step than without it, for the step to be named:
// by this much, and by this share of what is left without it.
constexpr double NamedMargin = 0.05;
constexpr double NamedShare = 0.05;

QString hex(QRgb colour)
{
    return QStringLiteral("%1").arg(colour & 0xFFFFFFu, 6, 16, QLatin1Char('0')).toUpper();
}

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

} // namespace

bool Result::faulty() const
{
    if (unexplained)
        return true;
    for (const auto &step : chain.steps())
        if (step->acts() && step->fault())
            return true;
    return false;
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
    chain.report(facts);
    if (!exact) {
        if (!explained)
            facts.add(QStringLiteral("noise"), QStringLiteral("PSNR %1 dB").arg(psnr, 0, 'f', 2),
                      QJsonObject {{QStringLiteral("psnr_db"), std::round(psnr * 100) / 100}});
        facts.add(QStringLiteral("mean dE2000 after the steps"), meanDe2000After, 4);
    }
    if (unexplained) {
        bool named = false;
        for (const auto &step : chain.steps())
            named = named || step->acts();
        facts.add(QStringLiteral("unexplained"),
                  named ? QStringLiteral("the steps found leave a mean dE2000 of %1 (of %2)")
                              .arg(meanDe2000After, 0, 'f', 2)
                              .arg(meanDe2000, 0, 'f', 2)
                        : QStringLiteral("no step known here brings it closer to the sheet (mean dE2000 %1)")
                              .arg(meanDe2000, 0, 'f', 2));
    }
    return facts;
}

Result Diagnose(const QImage &sheet, const QImage &capture, const Residual &before, const Measure &measure)
{
    Result result;
    const QImage picture =
        capture.format() == QImage::Format_RGB32 ? capture : capture.convertToFormat(QImage::Format_RGB32);
    result.meanDe2000 = before.meanDe2000;
    result.exact = before.exact;
    result.landmarks = landmarksOf(sheet, picture);
    if (result.exact) {
        result.psnr = before.psnr;
        return result;
    }

    // Each step fitted in its turn; a step whose finding changes what those
    // before it were fitted on has them fitted again, once.
    Fitting fitting(sheet, picture, result.chain);
    const std::vector<Chain::Fit> &order = result.chain.fitOrder();
    bool again = false;
    for (std::size_t k = 0; k < order.size(); ++k) {
        order[k].step->fit(fitting, order[k].round);
        if (fitting.takeAgain() && !again) {
            again = true;
            for (std::size_t j = 0; j < k; ++j)
                order[j].step->fit(fitting, order[j].round);
            fitting.takeAgain();
        }
    }

    // A step is named only where the samples put through the chain without
    // it come out further from the capture by a margin.
    Chain &chain = result.chain;
    fitting.allowTables(false);
    double residual = fitting.residual();
    for (std::size_t i = 0; i < chain.steps().size(); ++i) {
        const Step &step = *chain.steps()[i];
        if (!step.acts() || !step.shownByResidual() || step.takes() != Domain::Signal)
            continue;
        const std::size_t curve = chain.curveIndex();
        std::unique_ptr<Step> curveWas = i != curve ? chain.steps()[curve]->clone() : nullptr;
        std::unique_ptr<Step> was = chain.reset(i);
        if (curveWas)
            fitting.fitCurve();
        const double without = fitting.residual();
        if (std::getenv("DIAGNOSIS_DEBUG"))
            std::fprintf(stderr, "%s: with %.4f, without %.4f\n", was->name(), residual, without);
        if (without - residual < std::max(NamedMargin, NamedShare * without)) {
            residual = without;
            continue;
        }
        chain.put(i, std::move(was));
        if (curveWas)
            chain.put(curve, std::move(curveWas));
    }
    fitting.allowTables(true);

    Residual after = measure(result.chain.simulate(sheet));
    // Steps that leave the capture further off than the sheet itself
    // explain nothing; nor do steps that leave it unexplained having taken
    // off less than half of what the sheet itself leaves (a picture made
    // grey: a table and a conversion fitted to what no known step did).
    if (after.meanDe2000 > before.meanDe2000
        || (after.meanDe2000 > UnexplainedDe2000 && after.meanDe2000 > before.meanDe2000 / 2)) {
        result.chain = Chain();
        after = before;
    }
    result.psnr = after.psnr;
    result.explained = after.exact;
    result.meanDe2000After = after.meanDe2000;
    result.unexplained = after.meanDe2000 > UnexplainedDe2000;
    return result;
}

} // namespace Diagnosis
