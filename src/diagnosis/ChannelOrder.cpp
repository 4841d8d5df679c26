// The capture's channels in another order than the sheet's (BGR buffers
// taken for RGB): told by which sheet channel each capture channel follows.

#include "diagnosis/Fitting.h"
#include "diagnosis/Step.h"
#include "facts/Facts.h"

#include <algorithm>
#include <cmath>

namespace {

using Order = std::array<int, 3>;
constexpr Order Identity {0, 1, 2};

class ChannelOrder final : public Step
{
public:
    const char *name() const override { return "channel order"; }
    bool acts() const override { return order_ != Identity; }

    // Correlation of every sheet channel with every capture channel on the
    // samples: the sheets hold every combination of their levels, so the
    // wrong pairs barely correlate.
    void fit(Fitting &fitting, int) override
    {
        const std::vector<Sample> &samples = fitting.samples();
        std::array<std::array<double, 3>, 3> corr {};
        const double n = double(samples.size());
        for (std::size_t s = 0; s < 3; ++s)
            for (std::size_t c = 0; c < 3; ++c) {
                double ms = 0, mc = 0;
                for (const Sample &x : samples) {
                    ms += x.sheet[s];
                    mc += x.captured[c];
                }
                ms /= n;
                mc /= n;
                double sxy = 0, sxx = 0, syy = 0;
                for (const Sample &x : samples) {
                    const double a = x.sheet[s] - ms, b = x.captured[c] - mc;
                    sxy += a * b;
                    sxx += a * a;
                    syy += b * b;
                }
                corr[s][c] = sxx > 0 && syy > 0 ? sxy / std::sqrt(sxx * syy) : 0;
            }
        Order order = Identity, best = order;
        double bestScore = -1e9, identity = 0;
        do {
            double score = 0;
            for (std::size_t c = 0; c < 3; ++c)
                score += corr[std::size_t(order[c])][c];
            if (order == Identity)
                identity = score;
            if (score > bestScore) {
                bestScore = score;
                best = order;
            }
        } while (std::next_permutation(order.begin(), order.end()));
        order_ = bestScore > identity + 0.5 ? best : Identity;
    }

    void apply(Planes &planes) const override
    {
        std::array<std::vector<float>, 3> moved;
        for (std::size_t c = 0; c < 3; ++c)
            moved[c] = std::move(planes.plane[std::size_t(order_[c])]);
        planes.plane = std::move(moved);
    }

    void apply(Swatch &colour) const override
    {
        const Swatch given = colour;
        for (std::size_t c = 0; c < 3; ++c) {
            colour.value[c] = given.value[std::size_t(order_[c])];
            colour.around[c] = given.around[std::size_t(order_[c])];
        }
    }

    bool undo(Swatch &colour) const override
    {
        const Swatch given = colour;
        for (std::size_t c = 0; c < 3; ++c) {
            colour.value[std::size_t(order_[c])] = given.value[c];
            colour.around[std::size_t(order_[c])] = given.around[c];
        }
        return true;
    }

    int sourceOf(int channel) const override { return order_[std::size_t(channel)]; }

    void report(Facts &facts) const override
    {
        QString name;
        for (int c : order_)
            name += QLatin1Char("RGB"[c]);
        facts.add(QStringLiteral("channel order"), name);
    }

    std::unique_ptr<Step> clone() const override { return std::make_unique<ChannelOrder>(*this); }

private:
    // Capture channel c holds sheet channel order_[c].
    Order order_ = Identity;
};

} // namespace

std::unique_ptr<Step> MakeChannelOrder()
{
    return std::make_unique<ChannelOrder>();
}
