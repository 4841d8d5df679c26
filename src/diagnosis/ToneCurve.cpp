// A tone curve per channel (a gamma, a levels or curves edit, a display's
// response) and the levels clipped at either end: a power law where one
// fits, else the capture's own means as a table. Fitted on what the steps
// before it leave, it explains what is left.

#include "diagnosis/Fitting.h"
#include "diagnosis/Known.h"
#include "diagnosis/Step.h"
#include "diagnosis/ToneFit.h"
#include "facts/Facts.h"

#include <QJsonArray>
#include <QJsonObject>

#include <algorithm>
#include <cmath>

namespace {

enum class Tone { None, Gamma, Table };

using Curve = std::array<float, 256>;

Curve identity()
{
    Curve curve;
    for (std::size_t i = 0; i < 256; ++i)
        curve[i] = float(i);
    return curve;
}

class ToneCurve final : public Step
{
public:
    const char *name() const override { return "tone curve"; }
    bool acts() const override { return tone_ != Tone::None || clipped(); }
    bool explainsTheRest() const override { return true; }

    void fit(Fitting &fitting, int) override
    {
        const std::array<ToneFit::Bins, 3> bins = fitting.curveBins();
        bool table = false;
        tone_ = Tone::None;
        for (std::size_t c = 0; c < 3; ++c) {
            const ToneFit::ChannelFit fit = ToneFit::FitChannel(bins[c], fitting.tablesAllowed());
            curves_[c] = fit.curve;
            gamma_[c] = fit.gamma;
            black_[c] = fit.black;
            white_[c] = fit.white;
            clippedBelow_[c] = fit.clippedBelow;
            clippedAbove_[c] = fit.clippedAbove;
            table = table || fit.table;
        }
        if (std::any_of(gamma_.begin(), gamma_.end(), [](double g) { return g != 1; }) || stretched())
            tone_ = Tone::Gamma;
        rise();
        if (table)
            tone_ = Tone::Table;
    }

    // R'G'B' levels read in the other range: squeezed into 16 to 235, or
    // stretched from it and clipped beyond.
    void take(const Known &known) override
    {
        if (!known.rgb || known.rgb->coded == known.rgb->read)
            return;
        const bool squeezed = known.rgb->coded == Ycbcr::Range::Limited;
        tone_ = Tone::Table;
        for (std::size_t c = 0; c < 3; ++c) {
            for (std::size_t level = 0; level < 256; ++level) {
                const double shown = squeezed ? 16.0 + double(level) * 219.0 / 255.0 : (double(level) - 16.0) * 255.0 / 219.0;
                curves_[c][level] = float(std::clamp(shown, 0.0, 255.0));
            }
            if (!squeezed) {
                clippedBelow_[c] = 16;
                clippedAbove_[c] = 235;
            }
        }
    }

    // The curve takes the 8-bit levels the steps before it give, and gives
    // 8-bit levels.
    void apply(Planes &planes) const override
    {
        for (std::size_t c = 0; c < 3; ++c) {
            std::array<float, 256> out;
            for (std::size_t i = 0; i < 256; ++i)
                out[i] = float(std::clamp(std::lround(double(curves_[c][i])), 0L, 255L) / 255.0);
            for (float &v : planes.plane[c])
                v = out[std::size_t(std::clamp(int(double(v) * 255.0 + 0.5), 0, 255))];
        }
    }

    void apply(Swatch &colour) const override
    {
        for (std::size_t c = 0; c < 3; ++c) {
            colour.value[c] = ToneFit::OnCurve(curves_[c], colour.value[c] * 255.0) / 255.0;
            colour.around[c] = ToneFit::OnCurve(curves_[c], colour.around[c] * 255.0) / 255.0;
        }
    }

    // Each channel's curve undone, by search on the curve made non-decreasing.
    bool undo(Swatch &colour) const override
    {
        for (std::size_t c = 0; c < 3; ++c) {
            colour.value[c] = undone(c, colour.value[c] * 255.0) / 255.0;
            colour.around[c] = undone(c, colour.around[c] * 255.0) / 255.0;
        }
        return true;
    }

    void report(Facts &facts) const override
    {
        if (tone_ != Tone::None) {
            QJsonObject curve;
            QJsonArray tables;
            for (const auto &table : curves_) {
                QJsonArray levels;
                for (float level : table)
                    levels.append(std::round(double(level) * 100) / 100);
                tables.append(levels);
            }
            QString text = QStringLiteral("table");
            if (tone_ == Tone::Gamma) {
                const auto three = [](const std::array<double, 3> &v, int decimals) {
                    return QStringLiteral("%1 %2 %3")
                        .arg(v[0], 0, 'f', decimals)
                        .arg(v[1], 0, 'f', decimals)
                        .arg(v[2], 0, 'f', decimals);
                };
                const auto rounded = [](const std::array<double, 3> &v, double unit) {
                    return QJsonArray {std::round(v[0] / unit) * unit, std::round(v[1] / unit) * unit,
                                       std::round(v[2] / unit) * unit};
                };
                text = QStringLiteral("gamma ") + three(gamma_, 2);
                curve.insert(QStringLiteral("gamma"), rounded(gamma_, 0.01));
                if (stretched()) {
                    text += QStringLiteral(", black %1, white %2").arg(three(black_, 1), three(white_, 1));
                    curve.insert(QStringLiteral("black"), rounded(black_, 0.1));
                    curve.insert(QStringLiteral("white"), rounded(white_, 0.1));
                }
            }
            curve.insert(QStringLiteral("kind"),
                         tone_ == Tone::Gamma ? QStringLiteral("gamma") : QStringLiteral("table"));
            curve.insert(QStringLiteral("table"), tables);
            facts.add(QStringLiteral("tone curve"), text, curve);
        }
        if (clipped()) {
            const auto triple = [](const std::array<int, 3> &v) {
                return QStringLiteral("%1 %2 %3").arg(v[0]).arg(v[1]).arg(v[2]);
            };
            facts.add(QStringLiteral("clipped"),
                      QStringLiteral("below %1, above %2").arg(triple(clippedBelow_), triple(clippedAbove_)),
                      QJsonObject {{QStringLiteral("below"),
                                    QJsonArray {clippedBelow_[0], clippedBelow_[1], clippedBelow_[2]}},
                                   {QStringLiteral("above"),
                                    QJsonArray {clippedAbove_[0], clippedAbove_[1], clippedAbove_[2]}}});
        }
    }

    std::unique_ptr<Step> clone() const override { return std::make_unique<ToneCurve>(*this); }

private:
    // Input levels stretched over 0 to 255 by a black or white point.
    bool stretched() const
    {
        for (std::size_t c = 0; c < 3; ++c)
            if (black_[c] >= 1 || white_[c] <= 254)
                return true;
        return false;
    }

    bool clipped() const
    {
        return clippedBelow_ != std::array<int, 3> {0, 0, 0} || clippedAbove_ != std::array<int, 3> {255, 255, 255};
    }

    // The curves made non-decreasing, for undo().
    void rise()
    {
        for (std::size_t c = 0; c < 3; ++c) {
            double top = -1;
            for (std::size_t i = 0; i < 256; ++i)
                rising_[c][i] = top = std::max(top, double(curves_[c][i]));
        }
    }

    // The input level (0 to 255) the curve takes to `target`.
    double undone(std::size_t c, double target) const
    {
        const std::array<double, 256> &rising = rising_[c];
        if (target <= rising[0])
            return 0;
        if (target >= rising[255])
            return 255;
        const auto i = std::size_t(std::upper_bound(rising.begin(), rising.end(), target) - rising.begin()) - 1;
        const double span = rising[i + 1] - rising[i];
        return double(i) + (span > 0 ? (target - rising[i]) / span : 0.0);
    }

    Tone tone_ = Tone::None;
    std::array<double, 3> gamma_ {1, 1, 1};
    std::array<double, 3> black_ {0, 0, 0};
    std::array<double, 3> white_ {255, 255, 255};
    // The curve per channel, clipping included: the output level (0 to 255)
    // for each input level the steps before it give.
    std::array<Curve, 3> curves_ {identity(), identity(), identity()};
    std::array<int, 3> clippedBelow_ {0, 0, 0};
    std::array<int, 3> clippedAbove_ {255, 255, 255};
    std::array<std::array<double, 256>, 3> rising_ = [] {
        std::array<std::array<double, 256>, 3> rising {};
        for (auto &channel : rising)
            for (std::size_t i = 0; i < 256; ++i)
                channel[i] = double(i);
        return rising;
    }();
};

} // namespace

std::unique_ptr<Step> MakeToneCurve()
{
    return std::make_unique<ToneCurve>();
}
