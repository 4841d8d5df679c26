// Channels cut to fewer bits (a 6-bit panel, a 5-6-5 buffer), perhaps with
// noise added before the cut (dither): told by the values each channel
// takes, and the dither by where the cut levels land.

#include "diagnosis/Fitting.h"
#include "diagnosis/LevelCut.h"
#include "diagnosis/Step.h"
#include "facts/Facts.h"

#include <QJsonArray>

#include <algorithm>
#include <cmath>

namespace {

class BitDepth final : public Step
{
public:
    const char *name() const override { return "bits"; }
    bool acts() const override { return bits_ != Full; }
    // The values each channel takes show the cut; a dithered cut leaves the
    // levels as they were on average.
    bool shownByResidual() const override { return false; }

    // Round 0: the bits, from the values each channel takes against the
    // sheet's levels that reach it. Round 1, the path known: dither, cut
    // levels that often land a step away from where a plain cut puts them.
    void fit(Fitting &fitting, int round) override
    {
        if (round == 0) {
            const std::size_t me = fitting.chain().indexOf(*this);
            for (std::size_t c = 0; c < 3; ++c) {
                const LevelCut::Kept kept = LevelCut::BitsOf(
                    fitting.captureLevels()[c],
                    fitting.sheetLevels()[std::size_t(fitting.chain().sourceOf(me, int(c)))]);
                bits_[c] = kept.bits;
                spread_[c] = kept.spread;
            }
            return;
        }
        findDither(fitting);
    }

    void apply(Planes &planes) const override
    {
        for (std::size_t c = 0; c < 3; ++c)
            for (float &v : planes.plane[c])
                v = float(cut(c, v) / 255.0);
    }

    void apply(Swatch &colour) const override
    {
        for (std::size_t c = 0; c < 3; ++c) {
            colour.value[c] = cut(c, colour.value[c]) / 255.0;
            colour.around[c] = cut(c, colour.around[c]) / 255.0;
        }
    }

    void report(Facts &facts) const override
    {
        facts.add(QStringLiteral("bits"), QStringLiteral("%1 %2 %3").arg(bits_[0]).arg(bits_[1]).arg(bits_[2]),
                  QJsonArray {bits_[0], bits_[1], bits_[2]});
        if (dither_)
            facts.add(QStringLiteral("dither"), QStringLiteral("yes"), QJsonValue(true));
    }

    std::unique_ptr<Step> clone() const override { return std::make_unique<BitDepth>(*this); }

private:
    static constexpr std::array<int, 3> Full {8, 8, 8};

    // The level (0 to 255) a value from 0 to 1 comes out as: rounded, and
    // cut unless dithered (the dither keeps the level on average).
    double cut(std::size_t c, double value) const
    {
        const double level = std::floor(std::clamp(value, 0.0, 1.0) * 255.0 + 0.5);
        return dither_ ? level : LevelCut::Cut(level, bits_[c], spread_[c]);
    }

    void findDither(Fitting &fitting)
    {
        const Chain &chain = fitting.chain();
        const std::size_t me = chain.indexOf(*this);
        bool found = false;
        for (std::size_t c = 0; c < 3; ++c) {
            const int keep = bits_[c];
            if (keep >= 8)
                continue;
            const double step = 255.0 / ((1 << keep) - 1);
            int counted = 0, off = 0;
            const std::vector<Swatch> reaching = fitting.throughAll(me);
            for (std::size_t k = 0; k < reaching.size(); ++k) {
                const Sample &sample = fitting.samples()[k];
                const Swatch &before = reaching[k];
                const double level = before.value[c] * 255.0;
                const double position = level / step;
                if (std::abs(position - std::floor(position) - 0.5) < 1.0 / step)
                    continue; // too near a threshold to tell
                ++counted;
                std::array<double, 3> cutLevels;
                for (std::size_t k = 0; k < 3; ++k)
                    cutLevels[k] = LevelCut::Cut(std::round(before.value[k] * 255.0), bits_[k], spread_[k]) / 255.0;
                Swatch expected = Swatch::Of(cutLevels);
                chain.apply(expected, me + 1, chain.steps().size());
                off += std::abs(sample.captured[c] - expected.value[c] * 255.0) > step / 2;
            }
            found = found || (counted > 0 && off > counted / 10);
        }
        if (found) {
            dither_ = true;
            fitting.fitCurve();
        }
    }

    std::array<int, 3> bits_ = Full;
    // How each channel's kept levels lie on 0 to 255 (LevelCut's spreads).
    std::array<int, 3> spread_ {0, 0, 0};
    // Noise added before the cut: the sheet put through the steps then
    // leaves the cut out, since the dither keeps the level on average.
    bool dither_ = false;
};

} // namespace

std::unique_ptr<Step> MakeBitDepth()
{
    return std::make_unique<BitDepth>();
}
