// Swatch kept at a lower resolution than brightness (4:2:2, 4:2:0, 4:1:1):
// told by the sheet's sharp tile edges, where each choice blurs the colour
// differently.

#include "colour/Pixel.h"
#include "diagnosis/Fitting.h"
#include "diagnosis/Step.h"
#include "facts/Facts.h"

#include <algorithm>
#include <cmath>

namespace {

enum class Chroma { Full, Sub422, Sub420, Sub411 };
constexpr const char *Names[] = {"4:4:4", "4:2:2", "4:2:0", "4:1:1"};

// How many pixels across and down share one chroma sample.
std::pair<int, int> blockOf(Chroma chroma)
{
    switch (chroma) {
    case Chroma::Full: return {1, 1};
    case Chroma::Sub422: return {2, 1};
    case Chroma::Sub420: return {2, 2};
    case Chroma::Sub411: return {4, 1};
    }
    return {1, 1};
}

// A plane blurred over `across` x `down` pixels, as a chroma plane kept at
// that lower resolution and brought back comes out.
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

class ChromaResolution final : public Step
{
public:
    const char *name() const override { return "chroma"; }
    Domain takes() const override { return Domain::Ycbcr; }
    bool acts() const override { return chroma_ != Chroma::Full; }

    // Each choice on the sheet's sharp edges, over a part of at most
    // 512 x 512 (a multiple of 4 from the corner). A choice found changes
    // the samples' surroundings, and so what the path is chosen on.
    void fit(Fitting &fitting, int) override
    {
        const QRect part(0, 0, std::min(fitting.sheet().width(), 512), std::min(fitting.sheet().height(), 512));
        const QImage sheetPart = fitting.sheet().copy(part), capturePart = fitting.capture().copy(part);
        double fullError = 0, bestError = 0;
        Chroma best = Chroma::Full;
        for (Chroma option : {Chroma::Full, Chroma::Sub422, Chroma::Sub420, Chroma::Sub411}) {
            chroma_ = option;
            const double error = squaredError(fitting.chain().simulate(sheetPart), capturePart);
            if (option == Chroma::Full) {
                fullError = bestError = error;
            } else if (error < bestError && error < fullError * 0.8) {
                bestError = error;
                best = option;
            }
        }
        chroma_ = best;
        if (best != Chroma::Full) {
            blurSamples(fitting);
            fitting.again();
        }
    }

    // Codes kept as 8 bits, the chroma planes blurred.
    void apply(Planes &planes) const override
    {
        for (auto &plane : planes.plane)
            for (float &code : plane)
                code = float(std::round(double(code) * 255.0) / 255.0);
        const auto [across, down] = blockOf(chroma_);
        blur(planes.plane[1], planes.width, planes.height, across, down);
        blur(planes.plane[2], planes.width, planes.height, across, down);
    }

    void apply(Swatch &colour) const override
    {
        colour.value[1] = colour.around[1];
        colour.value[2] = colour.around[2];
    }

    void report(Facts &facts) const override
    {
        facts.add(QStringLiteral("chroma"), QString::fromLatin1(Names[int(chroma_)]));
    }

    std::unique_ptr<Step> clone() const override { return std::make_unique<ChromaResolution>(*this); }

private:
    // The samples' surroundings as the chroma resolution found blurs them,
    // with the same weights as apply().
    void blurSamples(Fitting &fitting) const
    {
        const QImage &sheet = fitting.sheet();
        const auto [across, down] = blockOf(chroma_);
        const int w = sheet.width(), h = sheet.height();
        for (Sample &sample : fitting.samples()) {
            std::array<double, 3> sum {};
            double total = 0;
            for (int dy = 1 - down; dy < down; ++dy)
                for (int dx = 1 - across; dx < across; ++dx) {
                    const double weight = double(across - std::abs(dx)) * (down - std::abs(dy));
                    const QRgb pixel = reinterpret_cast<const QRgb *>(sheet.constScanLine(
                        std::clamp(sample.place.y() + dy, 0, h - 1)))[std::clamp(sample.place.x() + dx, 0, w - 1)];
                    for (int c = 0; c < 3; ++c)
                        sum[std::size_t(c)] += weight * channelOf(pixel, c) / 255.0;
                    total += weight;
                }
            for (std::size_t c = 0; c < 3; ++c)
                sample.around[c] = sum[c] / total;
        }
    }

    Chroma chroma_ = Chroma::Full;
};

} // namespace

std::unique_ptr<Step> MakeChromaResolution()
{
    return std::make_unique<ChromaResolution>();
}
