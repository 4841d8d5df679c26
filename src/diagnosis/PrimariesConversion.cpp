// The numbers converted from one set of primaries to another on their way:
// a colour-managed viewer showing a picture whose profile names other
// primaries than the numbers were made for (a sheet tagged Display P3 shown
// on an sRGB screen reads as Display P3 and is shown as sRGB), or a video
// player converting standard-definition primaries to BT.709 for the screen
// (mpv). Linear light in between, through the curve each side is encoded
// with; what falls outside the target is clipped, or compressed towards its
// grey. Fitted among the conversions players and browsers make; undone
// within the gamut (what was clipped stays lost).

#include "colour/Primaries.h"
#include "diagnosis/Fitting.h"
#include "diagnosis/Step.h"
#include "facts/Facts.h"

#include <QJsonObject>

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <vector>

namespace {

using Primaries::GamutHandling;
using Primaries::Set;
using Primaries::Transfer;
using Rgb = std::array<double, 3>;

// A conversion is taken only when it leaves less than this share of the
// squared error without it: one that happened explains most of what it
// changes (a tenth of it is left, or less, on the captures of mpv, Chromium
// and Firefox), while one that only helps a little stands in for some other
// fault (a Y'CbCr matrix misread leaves four fifths).
constexpr double ConversionWins = 0.5;
// Compression is taken over clipping when it leaves less than this share.
constexpr double CompressionWins = 0.9;
// A colour further outside the target than this many 8-bit levels counts
// as lost: nearer, rounding to a level loses as much.
constexpr double OutsideBy = 0.5;
// The samples each candidate is judged on, at most: every one of the
// smooth places is not needed to tell one gamut from another.
constexpr std::size_t CandidateSamples = 4096;

struct Conversion
{
    Set from;
    Set to;
    Transfer fromCurve;
    Transfer toCurve;
    GamutHandling handling = GamutHandling::Clip;
};

// What players and browsers do: a video player converts between the video
// sets, BT.1886's curve (a power of 2.4) both ways (mpv); a colour-managed
// viewer from the set a profile names, through its own curve, to a screen's
// (sRGB, Display P3, Adobe RGB).
std::vector<Conversion> candidates()
{
    std::vector<Conversion> all;
    constexpr Set Video[] = {Set::Bt601_625, Set::Bt601_525, Set::Bt709, Set::Bt2020};
    for (const Set from : Video)
        for (const Set to : Video)
            if (from != to)
                all.push_back({from, to, Transfer::Gamma24, Transfer::Gamma24});
    constexpr Set Screens[] = {Set::Bt709, Set::DisplayP3, Set::AdobeRgb};
    for (const Set from : Primaries::Sets)
        for (const Set to : Screens)
            if (from != to) {
                // An sRGB screen is sRGB's curve, whatever BT.709 video says.
                const Transfer screen = to == Set::Bt709 ? Transfer::Srgb : Primaries::Of(to).transfer;
                const Transfer fromCurve = from == Set::Bt709 ? Transfer::Srgb : Primaries::Of(from).transfer;
                all.push_back({from, to, fromCurve, screen});
            }
    return all;
}

// A set as the line names it: BT.709's primaries with sRGB's curve are sRGB.
QString nameOf(Set set, Transfer curve = Transfer::Gamma24)
{
    if (set == Set::Bt709 && curve == Transfer::Srgb)
        return QStringLiteral("sRGB");
    const std::string_view name = Primaries::Of(set).name;
    return QString::fromLatin1(name.data(), qsizetype(name.size()));
}

class PrimariesConversion final : public Step
{
public:
    const char *name() const override { return "primaries"; }
    bool acts() const override { return conversion_.has_value(); }

    void fit(Fitting &fitting, int) override
    {
        const std::size_t index = fitting.chain().indexOf(*this);
        const std::size_t last = fitting.chain().steps().size() - 1;
        // The samples as the steps before this one leave them: the same for
        // every candidate.
        const std::vector<Sample> &samples = fitting.samples();
        const std::size_t stride = std::max<std::size_t>(1, samples.size() / CandidateSamples);
        std::vector<Swatch> before;
        std::vector<std::array<double, 3>> captured;
        for (std::size_t i = 0; i < samples.size(); i += stride) {
            before.push_back(fitting.through(samples[i], index));
            captured.push_back(samples[i].captured);
        }
        // What a candidate leaves: the samples through it and the steps up to
        // the tone curve, with a power law per channel fitted there.
        const auto error = [&](const std::optional<Conversion> &candidate) {
            set(candidate);
            std::array<ToneFit::Bins, 3> bins;
            for (std::size_t k = 0; k < before.size(); ++k) {
                Swatch colour = before[k];
                if (acts())
                    apply(colour);
                fitting.chain().apply(colour, index + 1, last);
                for (std::size_t c = 0; c < 3; ++c)
                    bins[c].add(std::floor(colour.value[c] * 255.0 + 0.5), captured[k][c]);
            }
            double sum = 0;
            for (const ToneFit::Bins &b : bins)
                sum += b.within() + ToneFit::CurveError(b, ToneFit::FitGamma(b, 0, 255), 0, 255);
            return sum;
        };

        const std::optional<Conversion> was = conversion_;
        const double without = error(std::nullopt);
        std::optional<Conversion> best;
        double least = without;
        for (const Conversion &candidate : all_) {
            const double e = error(candidate);
            if (e < least) {
                least = e;
                best = candidate;
            }
        }
        if (best && least < ConversionWins * without) {
            Conversion compressed = *best;
            compressed.handling = GamutHandling::Compress;
            if (error(compressed) < CompressionWins * least)
                best = compressed;
        } else {
            best.reset();
        }
        set(best);
        // How much of the sheet the target cannot show.
        outside_ = 0;
        if (best) {
            const Primaries::Converter &convert = *converter_;
            std::size_t lost = 0;
            for (const Swatch &colour : before) {
                Rgb linear;
                for (std::size_t c = 0; c < 3; ++c)
                    linear[c] = Primaries::ToLinear(best->fromCurve, std::clamp(colour.value[c], 0.0, 1.0));
                const Rgb converted = convert.linear(linear);
                lost += std::any_of(converted.begin(), converted.end(), [&](double v) {
                    const double level = 255.0 * Primaries::FromLinear(best->toCurve, v);
                    return level < -OutsideBy || level > 255.0 + OutsideBy;
                });
            }
            outside_ = before.empty() ? 0 : double(lost) / double(before.size());
        }
        // The path and the bits before were fitted without it.
        if (!same(was, best))
            fitting.again();
    }

    void apply(Planes &planes) const override
    {
        for (std::size_t i = 0; i < planes.size(); ++i) {
            Rgb v {planes.plane[0][i], planes.plane[1][i], planes.plane[2][i]};
            v = (*converter_)(clamped(v));
            for (std::size_t c = 0; c < 3; ++c)
                planes.plane[c][i] = float(v[c]);
        }
    }

    void apply(Swatch &colour) const override
    {
        colour.value = (*converter_)(clamped(colour.value));
        colour.around = (*converter_)(clamped(colour.around));
    }

    // The other way: exact within the gamut; a colour that was clipped comes
    // back as the nearest the target could show.
    bool undo(Swatch &colour) const override
    {
        colour.value = (*back_)(clamped(colour.value));
        colour.around = (*back_)(clamped(colour.around));
        return true;
    }

    void report(Facts &facts) const override
    {
        const Conversion &c = *conversion_;
        const bool compressed = c.handling == GamutHandling::Compress;
        const QString handling = QString::fromLatin1(Primaries::HandlingName(c.handling).data());
        // A screen's conversion of what a profile said the numbers were; a
        // video player's conversion to the screen's primaries.
        const QString text =
            c.fromCurve == Transfer::Gamma24
                ? QStringLiteral("%1 converted to %2 (%3)").arg(nameOf(c.from, c.fromCurve), nameOf(c.to, c.toCurve), handling)
                : QStringLiteral("read as %1, shown as %2%3")
                      .arg(nameOf(c.from, c.fromCurve), nameOf(c.to, c.toCurve),
                           compressed ? QStringLiteral(" (compressed)") : QString());
        facts.add(QStringLiteral("primaries"), text,
                  QJsonObject {{QStringLiteral("from"), nameOf(c.from, c.fromCurve)},
                               {QStringLiteral("to"), nameOf(c.to, c.toCurve)},
                               {QStringLiteral("gamut"), handling}});
        // What --fix cannot bring back.
        if (outside_ >= 0.001)
            facts.add(QStringLiteral("out of gamut"),
                      QStringLiteral("%1 % of the sheet's colours, %2: --fix cannot bring them back")
                          .arg(100 * outside_, 0, 'f', 1)
                          .arg(handling),
                      QJsonObject {{QStringLiteral("percent"), std::round(1000 * outside_) / 10},
                                   {QStringLiteral("gamut"), handling}});
    }

    std::unique_ptr<Step> clone() const override { return std::make_unique<PrimariesConversion>(*this); }

private:
    static Rgb clamped(Rgb v)
    {
        for (double &c : v)
            c = std::clamp(c, 0.0, 1.0);
        return v;
    }

    static bool same(const std::optional<Conversion> &a, const std::optional<Conversion> &b)
    {
        if (!a || !b)
            return a.has_value() == b.has_value();
        return a->from == b->from && a->to == b->to && a->fromCurve == b->fromCurve && a->handling == b->handling;
    }

    void set(const std::optional<Conversion> &conversion)
    {
        conversion_ = conversion;
        converter_.reset();
        back_.reset();
        if (!conversion)
            return;
        converter_.emplace(conversion->from, conversion->to, conversion->handling, conversion->fromCurve,
                           conversion->toCurve);
        back_.emplace(conversion->to, conversion->from, GamutHandling::Clip, conversion->toCurve, conversion->fromCurve);
    }

    std::optional<Conversion> conversion_;
    double outside_ = 0; // the share of the sheet's colours outside the target
    std::optional<Primaries::Converter> converter_;
    std::optional<Primaries::Converter> back_;
    std::vector<Conversion> all_ = candidates();
};

} // namespace

std::unique_ptr<Step> MakePrimariesConversion()
{
    return std::make_unique<PrimariesConversion>();
}
