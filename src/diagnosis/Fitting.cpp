#include "diagnosis/Fitting.h"

#include "colour/Pixel.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>

namespace {

// How many of the sheet's smooth places the steps are fitted on.
constexpr int SamplesTried = 65536;

// The sheet's places away from its sharp edges: the smoother half of up to
// twice SamplesTried places picked at random (all of a small sheet).
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
    std::nth_element(sorted.begin(), sorted.begin() + std::ptrdiff_t(sorted.size() / 2), sorted.end());
    const int median = sorted[sorted.size() / 2];
    std::vector<QPoint> smooth;
    for (std::size_t i = 0; i < places.size() && smooth.size() < std::size_t(SamplesTried); ++i)
        if (roughness[i] <= median)
            smooth.push_back(places[i]);
    return smooth;
}

} // namespace

Fitting::Fitting(const QImage &sheet, const QImage &capture, Chain &chain)
    : sheet_(sheet)
    , capture_(capture)
    , chain_(chain)
{
    for (const QPoint place : smoothPlaces(sheet)) {
        const QRgb s = reinterpret_cast<const QRgb *>(sheet.constScanLine(place.y()))[place.x()];
        const QRgb p = reinterpret_cast<const QRgb *>(capture.constScanLine(place.y()))[place.x()];
        const std::array<double, 3> colour {channelOf(s, 0) / 255.0, channelOf(s, 1) / 255.0, channelOf(s, 2) / 255.0};
        samples_.push_back(
            {colour, {double(channelOf(p, 0)), double(channelOf(p, 1)), double(channelOf(p, 2))}, place, colour});
    }
}

Swatch Fitting::through(const Sample &sample, std::size_t index) const
{
    Swatch colour {sample.sheet, sample.around};
    chain_.apply(colour, 0, index);
    return colour;
}

const std::array<LevelCut::LevelSet, 3> &Fitting::captureLevels()
{
    if (!levelsRead_) {
        captureLevels_ = LevelCut::LevelsOf(capture_);
        sheetLevels_ = LevelCut::LevelsOf(sheet_);
        levelsRead_ = true;
    }
    return captureLevels_;
}

const std::array<LevelCut::LevelSet, 3> &Fitting::sheetLevels()
{
    captureLevels();
    return sheetLevels_;
}

std::array<ToneFit::Bins, 3> Fitting::endBins() const
{
    const std::size_t last = chain_.steps().size() - 1;
    std::array<ToneFit::Bins, 3> bins;
    for (const Sample &sample : samples_) {
        const Swatch colour = through(sample, last);
        for (std::size_t c = 0; c < 3; ++c)
            bins[c].add(std::floor(colour.value[c] * 255.0 + 0.5), sample.captured[c]);
    }
    return bins;
}

void Fitting::fitEnd()
{
    chain_.steps().back()->fit(*this, 0);
}

bool Fitting::endNeedsTable() const
{
    for (const ToneFit::Bins &bins : endBins())
        if (ToneFit::FitChannel(bins).table)
            return true;
    return false;
}
