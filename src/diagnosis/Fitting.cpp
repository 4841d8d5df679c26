#include "diagnosis/Fitting.h"

#include "colour/Pixel.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>

namespace {

// How many of the sheet's smooth places the steps are fitted on.
constexpr int SamplesTried = 16384;

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

std::vector<Swatch> Fitting::throughAll(std::size_t index, std::size_t most) const
{
    const std::size_t every = most > 0 ? std::max<std::size_t>(1, samples_.size() / most) : 1;
    std::vector<Swatch> colours;
    colours.reserve(samples_.size() / every + 1);
    for (std::size_t i = 0; i < samples_.size(); i += every)
        colours.push_back({samples_[i].sheet, samples_[i].around});
    chain_.apply(colours, 0, index);
    return colours;
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

Swatch Fitting::undone(const std::array<double, 3> &captured, std::size_t index) const
{
    Swatch colour = Swatch::Of({captured[0] / 255.0, captured[1] / 255.0, captured[2] / 255.0});
    chain_.undo(colour, index);
    return colour;
}

std::array<ToneFit::Bins, 3> Fitting::curveBins(std::size_t most) const
{
    const std::size_t every = most > 0 ? std::max<std::size_t>(1, samples_.size() / most) : 1;
    const std::vector<Swatch> colours = throughAll(chain_.curveIndex(), most);
    std::array<ToneFit::Bins, 3> bins;
    for (std::size_t k = 0; k < colours.size(); ++k)
        for (std::size_t c = 0; c < 3; ++c)
            bins[c].add(std::floor(colours[k].value[c] * 255.0 + 0.5), samples_[k * every].captured[c]);
    return bins;
}

void Fitting::fitCurve()
{
    const std::size_t curve = chain_.curveIndex();
    if (curve < chain_.steps().size())
        chain_.steps()[curve]->fit(*this, 0);
}

bool Fitting::curveNeedsTable() const
{
    for (const ToneFit::Bins &bins : curveBins())
        if (ToneFit::FitChannel(bins).table)
            return true;
    return false;
}

double Fitting::residual()
{
    if (capturedLab_.size() != samples_.size()) {
        capturedLab_.clear();
        for (const Sample &sample : samples_)
            capturedLab_.push_back(Ciede2000::FromSrgb(sample.captured[0] / 255.0, sample.captured[1] / 255.0,
                                                       sample.captured[2] / 255.0));
    }
    double total = 0;
    const std::vector<Swatch> colours = throughAll(chain_.steps().size());
    for (std::size_t i = 0; i < samples_.size(); ++i) {
        std::array<double, 3> level;
        for (std::size_t c = 0; c < 3; ++c)
            level[c] = std::round(std::clamp(colours[i].value[c], 0.0, 1.0) * 255.0) / 255.0;
        total += Ciede2000::Difference(capturedLab_[i], Ciede2000::FromSrgb(level[0], level[1], level[2]));
    }
    return samples_.empty() ? 0.0 : total / double(samples_.size());
}
