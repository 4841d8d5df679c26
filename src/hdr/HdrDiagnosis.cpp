#include "hdr/HdrDiagnosis.h"

#include "colour/DeltaEItp.h"
#include "colour/Primaries.h"
#include "hdr/Minimise.h"
#include "picture/HdrMetadata.h"

#include <QJsonArray>
#include <QJsonObject>

#include <atomic>
#include <thread>

#include <algorithm>
#include <ctime>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <tuple>

namespace HdrDiagnosis {

namespace {

using namespace HdrChain;
namespace TF = TransferFunctions;
using ToneMapping::Curve;
using ToneMapping::Flavour;
using DeepSheet::Part;

bool debugging()
{
    static const bool on = std::getenv("TINTWELL_HDR_DEBUG") != nullptr;
    return on;
}

void lap(const char *what)
{
    static std::clock_t last = std::clock();
    const std::clock_t now = std::clock();
    if (debugging())
        std::fprintf(stderr, "%s: %.3f s of processor time\n", what, double(now - last) / CLOCKS_PER_SEC);
    last = now;
}

// A cell as the fitting sees it: the sheet's signal, its light as the chain
// decodes it unless told otherwise, and the capture's value.
struct Point
{
    Rgb signal;
    Rgb light;
    Rgb seen;
    bool grey = false; // the sheet's signal is a grey
};

// The numbers a fit may move, each on the scale it moves best on.
enum class Free { White, Peak, Param, TargetWhite, Desaturation };

struct Candidate
{
    Chain chain;
    std::vector<Free> free;
    double error = 1e30; // mean squared error a channel
};

constexpr double LeastLight = 5, MostLight = 10000;
// Mean ΔE_ITP the chain found may leave before the capture counts as
// unexplained: a few just-noticeable differences.
constexpr double UnexplainedItp = 3;

Chain withValues(const Candidate &candidate, const std::vector<double> &values)
{
    Chain chain = candidate.chain;
    for (std::size_t i = 0; i < candidate.free.size(); ++i) {
        const double v = values[i];
        switch (candidate.free[i]) {
        case Free::White: chain.white = std::exp(std::clamp(v, std::log(LeastLight), std::log(MostLight))); break;
        case Free::Peak: chain.sourcePeak = std::exp(std::clamp(v, std::log(20.0), std::log(MostLight))); break;
        case Free::TargetWhite:
            chain.targetWhite = std::exp(std::clamp(v, std::log(LeastLight), std::log(MostLight)));
            break;
        case Free::Param:
            chain.param = std::clamp(v, ToneMapping::LeastParam(*chain.curve, chain.flavour),
                                     ToneMapping::MostParam(*chain.curve, chain.flavour));
            break;
        case Free::Desaturation: chain.desaturation = std::exp(std::clamp(v, std::log(0.2), std::log(50.0))); break;
        }
    }
    return chain;
}

double meanSquared(const Chain &chain, const std::vector<Point> &points, bool rough = false)
{
    const Simulation simulation(chain, rough ? 32 : ToneMapping::PlaceboCurve::Entries);
    // The light the points hold is PQ's and SDR's as made; HLG's depends
    // on the display the chain decodes for.
    const bool decodedAsMade = chain.decoding == Decoding::AsMade && chain.recipe.transfer != DeepSheet::Transfer::Hlg;
    double sum = 0;
    for (const Point &p : points) {
        if (decodedAsMade && p.grey) {
            const double v = simulation.grey(p.light[0]);
            for (std::size_t c = 0; c < 3; ++c)
                sum += (v - p.seen[c]) * (v - p.seen[c]);
            continue;
        }
        const Rgb v = decodedAsMade ? simulation.fromLight(p.light) : simulation(p.signal);
        for (std::size_t c = 0; c < 3; ++c) {
            const double d = v[c] - p.seen[c];
            sum += d * d;
        }
    }
    return sum / (3.0 * double(points.size()));
}

// Fits the candidate's free numbers to `points`: from the best of a few
// starting places when `fresh`, else from where it stands, for at most
// `rounds` evaluations.
void fit(Candidate &candidate, const std::vector<Point> &points, bool fresh, int rounds, bool rough)
{
    if (candidate.free.empty()) {
        candidate.error = meanSquared(candidate.chain, points);
        return;
    }
    const auto valueOf = [&](Free free) {
        const Chain &c = candidate.chain;
        switch (free) {
        case Free::White: return std::log(c.white);
        case Free::Peak: return std::log(c.sourcePeak);
        case Free::TargetWhite: return std::log(c.targetWhite);
        case Free::Desaturation: return std::log(std::max(c.desaturation, 0.2));
        case Free::Param: return c.param;
        }
        return 0.0;
    };
    std::vector<std::vector<double>> starts = {{}};
    for (const Free free : candidate.free) {
        std::vector<double> choices;
        if (!fresh) {
            choices = {valueOf(free)};
        } else {
            switch (free) {
            case Free::White: choices = {std::log(100.0), std::log(250.0)}; break;
            case Free::Peak: choices = {std::log(1000.0), std::log(10000.0)}; break;
            case Free::TargetWhite: choices = {std::log(100.0), std::log(250.0)}; break;
            case Free::Desaturation: choices = {std::log(2.0)}; break;
            case Free::Param: {
                const Curve curve = *candidate.chain.curve;
                const double least = ToneMapping::LeastParam(curve, candidate.chain.flavour);
                const double most = ToneMapping::MostParam(curve, candidate.chain.flavour);
                choices = {ToneMapping::DefaultParam(curve, candidate.chain.flavour), least + (most - least) / 4,
                           least + 3 * (most - least) / 4};
                break;
            }
            }
        }
        std::vector<std::vector<double>> more;
        for (const std::vector<double> &start : starts)
            for (const double c : choices) {
                std::vector<double> longer = start;
                longer.push_back(c);
                more.push_back(longer);
            }
        starts = std::move(more);
    }
    const auto cost = [&](const std::vector<double> &values) {
        return meanSquared(withValues(candidate, values), points, rough);
    };
    std::vector<double> best;
    double bestValue = 1e30;
    for (const std::vector<double> &start : starts)
        if (const double v = cost(start); v < bestValue) {
            bestValue = v;
            best = start;
        }
    // First steps towards the middle of each range: from a bound, a step
    // outwards changes nothing.
    std::vector<double> step;
    for (std::size_t i = 0; i < candidate.free.size(); ++i) {
        const Free free = candidate.free[i];
        if (free == Free::Param)
            step.push_back(0.1);
        else
            step.push_back(best[i] > std::log(1000.0) ? -0.3 : 0.3);
    }
    Minimise::Found found = Minimise::NelderMead(cost, best, step, rounds);
    candidate.chain = withValues(candidate, found.at);
    candidate.error = found.value;
}

// Runs `work(i)` for i from 0 to `count` on every core.
template <typename Work>
void onEveryCore(std::size_t count, Work &&work)
{
    std::atomic<std::size_t> next {0};
    const auto run = [&] {
        for (std::size_t i = next++; i < count; i = next++)
            work(i);
    };
    const unsigned cores = std::max(1u, std::min(std::thread::hardware_concurrency(), 8u));
    std::vector<std::thread> threads;
    for (unsigned t = 1; t < cores; ++t)
        threads.emplace_back(run);
    run();
    for (std::thread &thread : threads)
        thread.join();
}

// Every way the greys can have come about.
std::vector<Candidate> greyCandidates(const DeepSheet::Recipe &recipe, int depth)
{
    std::vector<Candidate> all;
    Chain base;
    base.recipe = recipe;
    const bool hdr = recipe.transfer != DeepSheet::Transfer::Sdr;
    const TF::Curve sdrCurves[] = {TF::Curve::Bt1886, TF::Curve::Srgb, TF::Curve::Gamma22};

    // FFmpeg's zscale and tonemap: light relative to npl, the curve, the
    // primaries converted, encoded. HLG decoded channel by channel.
    for (const TF::Curve transfer : sdrCurves) {
        Chain chain = base;
        chain.flavour = Flavour::Ffmpeg;
        chain.transfer = transfer;
        chain.hlgOotf = TF::HlgOotfMode::PerChannel;
        // zscale's float output reaches an 8-bit picture through swscale,
        // which keeps the high byte of 16 bits. A gain that small is one
        // with the source peak on the greys: taken as given.
        chain.outputGain = depth == 8 ? 65535.0 / 65280 : 1;
        if (!hdr) {
            all.push_back({chain, {Free::White}});
            continue;
        }
        // tonemap=clip desaturates like the others; without it, it is
        // light over the white, clipped: no tone mapping at all.
        for (const Curve curve : {Curve::Clip, Curve::Linear, Curve::Gamma, Curve::Reinhard, Curve::Hable, Curve::Mobius})
            for (const bool summed : {false, true}) {
                Chain c = chain;
                c.curve = curve;
                std::vector<Free> free = {Free::White};
                if (curve != Curve::Clip)
                    free.push_back(Free::Peak);
                if (curve == Curve::Gamma || curve == Curve::Mobius)
                    free.push_back(Free::Param);
                // An RGB frame's desaturation weighs the three channels
                // alike: it changes the greys too.
                if (summed) {
                    c.desaturation = 2;
                    c.desaturationWeights = {1, 1, 1};
                    free.push_back(Free::Desaturation);
                }
                all.push_back({c, free});
            }
    }
    // mpv's vo_gpu: FFmpeg's curves (and a BT.2390 of its own) on light
    // relative to 203 cd/m², no black of its own.
    if (hdr)
        for (const TF::Curve transfer : sdrCurves)
            for (const Curve curve : ToneMapping::Curves) {
                if (!ToneMapping::Has(Flavour::Mpv, curve))
                    continue;
                Chain c = base;
                c.flavour = Flavour::Mpv;
                c.white = ToneMapping::PlaceboWhite;
                c.transfer = transfer;
                c.curve = curve;
                c.application = Application::Hybrid;
                c.gamut = Gamut::Desaturate;
                std::vector<Free> free = {Free::White, Free::Peak};
                if (curve == Curve::Gamma || curve == Curve::Mobius)
                    free.push_back(Free::Param);
                all.push_back({c, free});
            }
    // libplacebo: light relative to 203 cd/m², a target of 1000:1.
    if (hdr)
        for (const TF::Curve transfer : sdrCurves)
            for (const Target darkened : {Target::Bt2020, Target::Bt709, Target::DisplayP3})
                for (const Curve curve : ToneMapping::Curves) {
                    Chain c = base;
                    c.flavour = Flavour::Libplacebo;
                    c.white = ToneMapping::PlaceboWhite;
                    c.transfer = transfer;
                    c.targetBlack = 0.001;
                    c.curve = curve;
                    c.application = Application::Hybrid;
                    if (darkened != Target::Bt2020) {
                        c.primaries = darkened;
                        c.gamut = Gamut::Darken;
                    }
                    std::vector<Free> free = {Free::Peak};
                    // Its linear stretch's gain and peak are one number on
                    // the greys: the gain is taken as the default.
                    if (!std::isnan(ToneMapping::DefaultParam(curve, Flavour::Libplacebo)) && curve != Curve::Linear)
                        free.push_back(Free::Param);
                    all.push_back({c, free});
                }
    // Shown as HDR: PQ or HLG numbers, the sheet's light at a white of its
    // own.
    for (const TF::Curve transfer : {TF::Curve::Pq, TF::Curve::Hlg, TF::Curve::Linear}) {
        Chain chain = base;
        chain.transfer = transfer;
        chain.primaries = Target::Bt2020;
        chain.white = recipe.white;
        chain.targetWhite = recipe.white;
        all.push_back({chain, {Free::TargetWhite}});
    }
    // An HDR signal taken for SDR and shown as it is: the grey picture.
    // At 8 bits, as FFmpeg cuts 16 bits too.
    if (hdr)
        for (const TF::Curve transfer : sdrCurves)
            for (const double gain : {1.0, 65535.0 / 65280}) {
                if (gain != 1 && depth != 8)
                    continue;
                Chain chain = base;
                chain.decoding = Decoding::AsSdr;
                chain.transfer = transfer;
                chain.white = 100;
                chain.outputGain = gain;
                all.push_back({chain, {}});
            }
    return all;
}

// What the capture's file says, for choosing between chains its numbers
// cannot tell apart: PQ numbers passed through untouched into an HDR
// capture, or taken for SDR and shown as they are (the grey picture).
struct Belief
{
    bool hdrFile = false; // tagged PQ or HLG
    bool sdrFile = false; // tagged SDR, or nothing, or an 8-bit picture said nothing of
};

bool hdrOutput(const Chain &chain)
{
    return chain.transfer == TF::Curve::Pq || chain.transfer == TF::Curve::Hlg || chain.transfer == TF::Curve::Linear;
}

int complexity(const Candidate &c, const Belief &belief)
{
    // Reading the sheet's numbers as something else is the last thing to
    // believe, unless the file's own tags say it was.
    int penalty = 2 * (c.chain.decoding != Decoding::AsMade);
    if (belief.hdrFile && c.chain.decoding != Decoding::AsMade)
        penalty += 3;
    if (belief.sdrFile && hdrOutput(c.chain))
        penalty += 3;
    return int(c.free.size()) + (c.chain.flavour != Flavour::Ffmpeg) + penalty;
}

// The candidate of least error, the simpler one where two come within a
// margin of each other (quantization alone leaves some).
std::size_t simplest(const std::vector<Candidate> &all, double floor, const Belief &belief)
{
    const auto complexity = [&](const Candidate &c) { return ::HdrDiagnosis::complexity(c, belief); };
    std::size_t best = 0;
    for (std::size_t i = 1; i < all.size(); ++i)
        if (all[i].error < all[best].error)
            best = i;
    const double within = all[best].error * 1.05 + floor;
    std::size_t chosen = best;
    for (std::size_t i = 0; i < all.size(); ++i)
        if (all[i].error <= within && complexity(all[i]) < complexity(all[chosen]))
            chosen = i;
    return chosen;
}

bool isGrey(Part part)
{
    return part == Part::GreyRamp || part == Part::NearBlack || part == Part::FineRamp;
}

bool isColour(Part part)
{
    return part == Part::Lattice || part == Part::LatticeCopy || part == Part::HueSweep || part == Part::RedRamp
           || part == Part::GreenRamp || part == Part::BlueRamp || part == Part::CyanRamp || part == Part::MagentaRamp
           || part == Part::YellowRamp;
}

// The sheet's signal and its light as made, step by step.
struct SheetLight
{
    std::vector<Rgb> signal;
    std::vector<Rgb> light;
};

SheetLight sheetLightOf(const DeepSheet::Recipe &recipe)
{
    const std::vector<DeepSheet::Step> &steps = DeepSheet::Steps();
    SheetLight sheet {std::vector<Rgb>(steps.size()), std::vector<Rgb>(steps.size())};
    Chain decoding;
    decoding.recipe = recipe;
    constexpr std::size_t Chunks = 64;
    onEveryCore(Chunks, [&](std::size_t chunk) {
        for (std::size_t i = chunk; i < steps.size(); i += Chunks) {
            sheet.signal[i] = DeepSheet::SignalOf(recipe, *steps[i].region, steps[i].index);
            sheet.light[i] = decoding.light(sheet.signal[i]);
        }
    });
    return sheet;
}

Point pointOf(const SheetLight &sheet, const DeepCapture::Cells &cells, std::size_t index)
{
    const Rgb &signal = sheet.signal[index];
    return {signal, sheet.light[index], cells.mean[index], signal[0] == signal[1] && signal[1] == signal[2]};
}

// The greys the curve is fitted on: every fourth code of the ramp, every
// near-black step, every 32nd of the fine ramp; `every` thins them more.
std::vector<Point> greyPoints(const SheetLight &sheet, const DeepCapture::Cells &cells, int every)
{
    std::vector<Point> points;
    const std::vector<DeepSheet::Step> &steps = DeepSheet::Steps();
    int counted = 0;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const Part part = steps[i].region->part;
        const int index = steps[i].index;
        const bool taken = (part == Part::GreyRamp && index % 4 == 0) || part == Part::NearBlack
                           || (part == Part::FineRamp && index % 32 == 0);
        if (taken && counted++ % every == 0)
            points.push_back(pointOf(sheet, cells, i));
    }
    return points;
}

// Every `every`th colour step: the lattices, sweeps and colour ramps.
std::vector<Point> colourPoints(const SheetLight &sheet, const DeepCapture::Cells &cells, int every)
{
    std::vector<Point> points;
    const std::vector<DeepSheet::Step> &steps = DeepSheet::Steps();
    int counted = 0;
    for (std::size_t i = 0; i < steps.size(); ++i)
        if (isColour(steps[i].region->part) && counted++ % every == 0)
            points.push_back(pointOf(sheet, cells, i));
    return points;
}

// What a lossy path left on every cell, from the two copies of the lattice:
// the same colours in other places, so half their mean squared difference
// is the noise of one (a channel, squared, 0 to 1).
double noiseOf(const DeepCapture::Cells &cells)
{
    const std::vector<DeepSheet::Step> &steps = DeepSheet::Steps();
    std::vector<std::size_t> first(DeepSheet::LatticeSize, steps.size()), second(DeepSheet::LatticeSize, steps.size());
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const DeepSheet::Region &region = *steps[i].region;
        if (region.part == Part::LatticeCopy)
            second[std::size_t(DeepSheet::LatticeEntry(region, steps[i].index))] = i;
        else if (region.part == Part::Lattice)
            first[std::size_t(DeepSheet::LatticeEntry(region, steps[i].index))] = i;
    }
    double sum = 0;
    int counted = 0;
    for (int entry = 0; entry < DeepSheet::LatticeSize; ++entry) {
        const std::size_t a = first[std::size_t(entry)], b = second[std::size_t(entry)];
        if (a == steps.size() || b == steps.size())
            continue;
        for (std::size_t c = 0; c < 3; ++c) {
            const double d = cells.mean[a][c] - cells.mean[b][c];
            sum += d * d;
        }
        ++counted;
    }
    return counted ? sum / (6.0 * counted) : 0;
}

// The colour choices libplacebo and FFmpeg offer, tried on the colours
// with the greys' curve kept.
std::vector<Candidate> colourVariants(const Candidate &grey)
{
    std::vector<Candidate> variants;
    const Chain &chain = grey.chain;
    const Target targets[] = {Target::Bt709, Target::DisplayP3, Target::Bt2020};
    if (chain.decoding == Decoding::AsSdr || chain.transfer == TF::Curve::Pq || chain.transfer == TF::Curve::Hlg
        || chain.transfer == TF::Curve::Linear) {
        for (const Target target : targets) {
            Candidate c = grey;
            c.chain.primaries = target;
            variants.push_back(c);
        }
        return variants;
    }
    if (chain.flavour == Flavour::Mpv) {
        for (const Application application : {Application::Hybrid, Application::Brightest, Application::PerChannel})
            for (const Target target : targets)
                for (const Gamut gamut : {Gamut::Desaturate, Gamut::Clip}) {
                    Candidate c = grey;
                    c.chain.application = application;
                    c.chain.primaries = target;
                    c.chain.gamut = gamut;
                    variants.push_back(c);
                    if (target == Target::Bt2020)
                        break;
                }
        return variants;
    }
    if (chain.flavour == Flavour::Ffmpeg) {
        // The frame's matrix coefficients for the desaturation, as FFmpeg
        // 5.1 applies them (red's and green's swapped); an RGB frame's sum
        // the greys have told already.
        const std::array<std::array<double, 3>, 2> weights = {{{0.6780, 0.2627, 0.0593}, {0.7152, 0.2126, 0.0722}}};
        const bool summed = chain.desaturation > 0;
        for (const Target target : targets) {
            Candidate c = grey;
            c.chain.primaries = target;
            variants.push_back(c);
            if (!chain.curve || summed)
                continue;
            for (const std::array<double, 3> &w : weights) {
                Candidate d = c;
                d.chain.desaturation = 2;
                d.chain.desaturationWeights = w;
                d.free.push_back(Free::Desaturation);
                variants.push_back(d);
            }
        }
        return variants;
    }
    const bool darkened = chain.gamut == Gamut::Darken;
    for (const Application application :
         {Application::PerChannel, Application::Brightest, Application::Luminance, Application::Hybrid}) {
        if (darkened) {
            Candidate c = grey;
            c.chain.application = application;
            variants.push_back(c);
            continue;
        }
        for (const Target target : targets)
            for (const Gamut gamut : {Gamut::Clip, Gamut::Desaturate}) {
                Candidate c = grey;
                c.chain.application = application;
                c.chain.primaries = target;
                c.chain.gamut = gamut;
                variants.push_back(c);
                if (target == Target::Bt2020)
                    break;
            }
    }
    return variants;
}

QString nits(double value)
{
    return QStringLiteral("%1 cd/m²").arg(value >= 100 ? QString::number(std::lround(value)) : QString::number(value, 'f', 1));
}

Rgb toBt2020(Target target, const Rgb &linear)
{
    using Primaries::Set;
    static const Primaries::Matrix3 from709 = Primaries::Conversion(Set::Bt709, Set::Bt2020);
    static const Primaries::Matrix3 fromP3 = Primaries::Conversion(Set::DisplayP3, Set::Bt2020);
    switch (target) {
    case Target::Bt709: return Primaries::Apply(from709, linear);
    case Target::DisplayP3: return Primaries::Apply(fromP3, linear);
    case Target::Bt2020: break;
    }
    return linear;
}

// The bits a capture keeps: the fewest for which every grey cell lies on
// that many bits' codes (a 16-bit capture of a 10-bit chain), from what
// the capture's depth allows.
int keptBits(const DeepCapture::Cells &cells, const std::vector<DeepSheet::Step> &steps)
{
    for (const int bits : {6, 8, 10, 12}) {
        if (bits >= cells.depth)
            break;
        const double codes = (1 << bits) - 1;
        int on = 0, all = 0;
        for (std::size_t i = 0; i < steps.size(); ++i) {
            if (!isGrey(steps[i].region->part) || cells.spread[i] > 1e-9)
                continue;
            ++all;
            const double v = cells.mean[i][1] * codes;
            on += std::abs(v - std::round(v)) < 0.5 / 65535 * codes * 2;
        }
        if (all > 0 && on >= all * 99 / 100)
            return bits;
    }
    return cells.depth;
}

// H.273's code point for what the diagnosis found the numbers to be.
int transferCode(TF::Curve curve)
{
    switch (curve) {
    case TF::Curve::Pq: return HdrMetadata::Code::TransferPq;
    case TF::Curve::Hlg: return HdrMetadata::Code::TransferHlg;
    case TF::Curve::Bt1886: return HdrMetadata::Code::TransferBt709;
    case TF::Curve::Srgb: return HdrMetadata::Code::TransferSrgb;
    case TF::Curve::Gamma22: return 4;
    case TF::Curve::Linear: return HdrMetadata::Code::TransferLinear;
    }
    return 0;
}

int primariesCode(Target target)
{
    switch (target) {
    case Target::Bt709: return HdrMetadata::Code::PrimariesBt709;
    case Target::DisplayP3: return HdrMetadata::Code::PrimariesP3;
    case Target::Bt2020: return HdrMetadata::Code::PrimariesBt2020;
    }
    return 0;
}

// Which kind of light a transfer code stands for: SDR's curves are all
// taken for one another by viewers without harm, HDR's are not.
int lightKind(int transferCode)
{
    switch (transferCode) {
    case HdrMetadata::Code::TransferPq: return 1;
    case HdrMetadata::Code::TransferHlg: return 2;
    case HdrMetadata::Code::TransferLinear: return 3;
    default: return 0;
    }
}

// What the file says against what its numbers are: HDR numbers tagged SDR
// (or nothing), SDR numbers tagged HDR, other primaries.
QString tagMismatch(const Tagged &tagged, const Chain &chain)
{
    const int found = transferCode(chain.transfer);
    const int said = tagged.where.isEmpty() ? HdrMetadata::Code::TransferSrgb : tagged.transfer;
    const QString foundName = QString::fromLatin1(TF::Name(chain.transfer).data());
    QStringList parts;
    if (lightKind(found) != lightKind(said))
        parts << QStringLiteral("the numbers are %1, tagged %2").arg(foundName,
                                                                    tagged.where.isEmpty()
                                                                        ? QStringLiteral("as nothing")
                                                                        : QString::fromStdString(HdrMetadata::TransferName(said)));
    const int saidPrimaries = tagged.where.isEmpty() ? HdrMetadata::Code::PrimariesBt709 : tagged.primaries;
    if (primariesCode(chain.primaries) != saidPrimaries && chain.decoding == Decoding::AsMade)
        parts << QStringLiteral("the primaries are %1, tagged %2")
                     .arg(QString::fromLatin1(TargetName(chain.primaries).data()),
                          QString::fromStdString(HdrMetadata::PrimariesName(saidPrimaries)));
    return parts.join(QStringLiteral("; "));
}

} // namespace

Rgb ReferenceRendering(const DeepSheet::Recipe &recipe, const Rgb &signal)
{
    static const Primaries::Matrix3 toBt709 = Primaries::Conversion(Primaries::Set::Bt2020, Primaries::Set::Bt709);
    const Rgb light = DeepSheet::LightOf(recipe, signal);
    Rgb relative;
    for (std::size_t c = 0; c < 3; ++c)
        relative[c] = light[c] / recipe.white;
    relative = Primaries::Apply(toBt709, relative);
    Rgb out;
    for (std::size_t c = 0; c < 3; ++c)
        out[c] = TF::LinearToSrgb(std::clamp(relative[c], 0.0, 1.0));
    return out;
}

Result Diagnose(const QImage &capture, const DeepCapture::Placement &placement, const std::optional<Tagged> &tagged)
{
    lap("start");
    const DeepCapture::Cells cells = DeepCapture::Read(capture, placement);
    lap("read cells");
    return Diagnose(cells, placement, tagged);
}

Result Diagnose(const DeepCapture::Cells &cells, const DeepCapture::Placement &placement,
                const std::optional<Tagged> &tagged)
{
    Result result;
    result.placement = placement;
    result.tagged = tagged;
    const DeepSheet::Recipe &recipe = placement.recipe;
    const std::vector<DeepSheet::Step> &steps = DeepSheet::Steps();
    result.depth = cells.depth;
    Belief belief;
    if (tagged) {
        belief.hdrFile = lightKind(tagged->transfer) != 0 && !tagged->where.isEmpty();
        belief.sdrFile = !belief.hdrFile;
    } else {
        belief.sdrFile = cells.depth == 8;
    }
    const SheetLight sheet = sheetLightOf(recipe);
    lap("sheet");
    result.exact = cells.depth == 16;
    for (std::size_t i = 0; i < steps.size() && result.exact; ++i)
        for (std::size_t c = 0; c < 3 && (isGrey(steps[i].region->part) || isColour(steps[i].region->part)); ++c)
            result.exact =
                result.exact && std::abs(std::round(sheet.signal[i][c] * 65535) / 65535 - cells.mean[i][c]) < 1e-7;

    // The greys: transfer, curve, white and peak; every candidate roughly
    // on a few greys, the best again closely on more.
    const std::vector<Point> greys = greyPoints(sheet, cells, 1);
    const std::vector<Point> someGreys = greyPoints(sheet, cells, 8);
    std::vector<Candidate> candidates = greyCandidates(recipe, cells.depth);
    const auto byError = [](const Candidate &a, const Candidate &b) { return a.error < b.error; };
    onEveryCore(candidates.size(), [&](std::size_t i) { fit(candidates[i], someGreys, true, 50, true); });
    std::sort(candidates.begin(), candidates.end(), byError);
    lap("greys roughly");
    if (debugging())
        for (const Candidate &c : candidates)
            if (std::getenv("TINTWELL_HDR_DEBUG_CURVE") && c.chain.curve
                && ToneMapping::Name(*c.chain.curve) == std::getenv("TINTWELL_HDR_DEBUG_CURVE"))
                std::fprintf(stderr, "rough: %s %s peak %.1f param %.3f gamut %d black %g: %.3f\n",
                             std::string(TF::Name(c.chain.transfer)).c_str(), std::string(ToneMapping::Name(*c.chain.curve)).c_str(),
                             c.chain.sourcePeak, c.chain.param, int(c.chain.gamut), c.chain.sourceBlack, std::sqrt(c.error) * 255);
    candidates.resize(std::min<std::size_t>(candidates.size(), 12));
    // libplacebo's black of a source with mastering metadata: what FFmpeg
    // and x265 write for a display reaching 0.0001 cd/m².
    for (std::size_t i = 0, n = candidates.size(); i < n; ++i)
        if (candidates[i].chain.flavour == Flavour::Libplacebo) {
            Candidate darker = candidates[i];
            darker.chain.sourceBlack = 0.0001;
            candidates.push_back(darker);
        }
    onEveryCore(candidates.size(), [&](std::size_t i) { fit(candidates[i], greys, false, 150, false); });
    std::sort(candidates.begin(), candidates.end(), byError);
    lap("greys closely");
    if (debugging())
        for (std::size_t i = 0; i < std::min<std::size_t>(candidates.size(), 15); ++i) {
            const Chain &c = candidates[i].chain;
            std::fprintf(stderr, "grey %2zu: %-10s %-7s %-9s white %7.1f peak %7.1f param %6.3f tw %6.1f gamut %d: rms %.3f levels\n",
                         i, c.flavour == Flavour::Ffmpeg ? "ffmpeg" : "placebo",
                         std::string(TF::Name(c.transfer)).c_str(),
                         c.curve ? std::string(ToneMapping::Name(*c.curve)).c_str() : (c.decoding == Decoding::AsSdr ? "as-sdr" : "none"),
                         c.white, c.sourcePeak, c.param, c.targetWhite, int(c.gamut),
                         std::sqrt(candidates[i].error) * 255);
        }

    // The colours: how the curve meets them, primaries, gamut, for the best
    // few grey fits; the best few of those fitted again on greys and
    // colours together.
    const std::vector<Point> colours = colourPoints(sheet, cells, 97);
    const double floor = std::max(cells.depth == 8 ? 1.0 / (255.0 * 255.0 * 12) : 1e-9, noiseOf(cells));
    std::vector<Candidate> finalists;
    // The best few, and never only one program's: the greys of FFmpeg's,
    // mpv's and libplacebo's curves can agree where their colours do not.
    const double greyBest = candidates.front().error;
    std::vector<std::tuple<Flavour, int, TF::Curve, bool>> taken;
    for (std::size_t i = 0; i < candidates.size() && taken.size() < 12; ++i) {
        if (i > 0 && candidates[i].error > greyBest * 9 + floor * 4)
            break;
        const Chain &c = candidates[i].chain;
        const std::tuple<Flavour, int, TF::Curve, bool> kind {c.flavour, c.curve ? int(*c.curve) : -1, c.transfer,
                                                              c.desaturation > 0};
        if (std::find(taken.begin(), taken.end(), kind) != taken.end())
            continue;
        taken.push_back(kind);
        for (Candidate variant : colourVariants(candidates[i]))
            finalists.push_back(variant);
    }
    // The greys say little of the peak where the curve clips: the colours
    // above it are held at it channel by channel, so a few peaks are tried.
    onEveryCore(finalists.size(), [&](std::size_t i) {
        Candidate &variant = finalists[i];
        const double greyError = variant.error;
        double best = meanSquared(variant.chain, colours);
        const bool peakFree = std::find(variant.free.begin(), variant.free.end(), Free::Peak) != variant.free.end();
        if (peakFree && variant.chain.curve == Curve::Clip)
            for (const double peak : {1000.0, 4000.0, 10000.0}) {
                Chain tried = variant.chain;
                tried.sourcePeak = peak;
                if (const double e = meanSquared(tried, colours); e < best) {
                    best = e;
                    variant.chain = tried;
                }
            }
        variant.error = 0.5 * greyError + 0.5 * best;
    });
    std::sort(finalists.begin(), finalists.end(), byError);
    lap("colours");
    if (debugging())
        for (const Candidate &c : finalists)
            std::fprintf(stderr, "variant: %d %s app %d prim %d gamut %d white %.1f: %.3f\n", int(c.chain.flavour),
                         c.chain.curve ? std::string(ToneMapping::Name(*c.chain.curve)).c_str() : "none",
                         int(c.chain.application), int(c.chain.primaries), int(c.chain.gamut), c.chain.white,
                         std::sqrt(c.error) * 255);
    finalists.resize(std::min<std::size_t>(finalists.size(), 6));
    std::vector<Point> both = greyPoints(sheet, cells, 4);
    for (std::size_t i = 0; i < colours.size(); i += 3)
        both.push_back(colours[i]);
    onEveryCore(finalists.size(), [&](std::size_t i) { fit(finalists[i], both, false, 120, false); });
    const std::size_t chosen = simplest(finalists, floor, belief);
    lap("refit");
    if (debugging())
        for (const Candidate &c : finalists)
            std::fprintf(stderr, "colour: %-7s %-9s white %.1f peak %.1f param %.3f app %d prim %d gamut %d desat %.2f (%.2f %.2f %.2f): rms %.3f\n",
                         c.chain.flavour == Flavour::Ffmpeg ? "ffmpeg" : "placebo",
                         c.chain.curve ? std::string(ToneMapping::Name(*c.chain.curve)).c_str() : "none",
                         c.chain.white, c.chain.sourcePeak, c.chain.param,
                         int(c.chain.application), int(c.chain.primaries), int(c.chain.gamut), c.chain.desaturation,
                         c.chain.desaturationWeights[0], c.chain.desaturationWeights[1], c.chain.desaturationWeights[2],
                         std::sqrt(c.error) * 255);
    result.chain = finalists[chosen].chain;
    if (debugging()) {
        const Simulation simulation(result.chain);
        for (std::size_t i = 0; i < colours.size(); i += colours.size() / 25) {
            const Rgb v = simulation(colours[i].signal);
            std::fprintf(stderr, "  signal %.3f %.3f %.3f: seen %6.1f %6.1f %6.1f model %6.1f %6.1f %6.1f\n",
                         colours[i].signal[0], colours[i].signal[1], colours[i].signal[2], colours[i].seen[0] * 255,
                         colours[i].seen[1] * 255, colours[i].seen[2] * 255, v[0] * 255, v[1] * 255, v[2] * 255);
        }
    }
    result.greyError = std::sqrt(meanSquared(result.chain, greys)) * 255;
    result.fitError = std::sqrt(meanSquared(result.chain, both)) * 255;

    // Bits and dither.
    result.bits = keptBits(cells, steps);
    int flat = 0, grainy = 0;
    for (std::size_t i = 0; i < steps.size(); ++i)
        if (isGrey(steps[i].region->part)) {
            ++flat;
            grainy += cells.spread[i] > 0.25 / ((1 << result.bits) - 1);
        }
    result.dither = flat > 0 && grainy > flat / 4;

    // ΔE_ITP of the capture against the sheet through the chain and against
    // the sheet's own SDR rendering, both as light.
    // Every grey, every eighth colour.
    static const Primaries::Matrix3 toBt709 = Primaries::Conversion(Primaries::Set::Bt2020, Primaries::Set::Bt709);
    const Simulation simulation(result.chain);
    constexpr std::size_t Chunks = 64;
    std::array<double, Chunks> sums {}, sumsReference {};
    std::array<int, Chunks> counts {};
    onEveryCore(Chunks, [&](std::size_t chunk) {
        for (std::size_t i = chunk; i < steps.size(); i += Chunks) {
            const Part part = steps[i].region->part;
            if (!isGrey(part) && !(isColour(part) && i % 8 == 0))
                continue;
            const Rgb seen = toBt2020(result.chain.primaries, result.chain.captureLight(cells.mean[i]));
            const Rgb simulated = toBt2020(result.chain.primaries, result.chain.captureLight(simulation(sheet.signal[i])));
            Rgb rendered = Primaries::Apply(toBt709, sheet.light[i]);
            for (double &c : rendered)
                c = std::clamp(c, 0.0, recipe.white);
            sums[chunk] += DeltaEItp::Between(seen, simulated);
            sumsReference[chunk] += DeltaEItp::Between(seen, toBt2020(Target::Bt709, rendered));
            ++counts[chunk];
        }
    });
    const double sum = std::accumulate(sums.begin(), sums.end(), 0.0);
    const double sumReference = std::accumulate(sumsReference.begin(), sumsReference.end(), 0.0);
    const int counted = std::accumulate(counts.begin(), counts.end(), 0);
    lap("measured");
    result.meanItp = counted ? sum / counted : 0;
    result.meanItpReference = counted ? sumReference / counted : 0;
    return result;
}

double Refit(const HdrChain::Chain &chain, const DeepCapture::Cells &cells)
{
    const SheetLight sheet = sheetLightOf(chain.recipe);
    std::vector<Point> points = greyPoints(sheet, cells, 4);
    const std::vector<Point> colours = colourPoints(sheet, cells, 200);
    points.insert(points.end(), colours.begin(), colours.end());
    Candidate candidate {chain, {}};
    const bool hdrOut = hdrOutput(chain);
    if (chain.decoding == Decoding::AsMade) {
        if (hdrOut)
            candidate.free = {Free::TargetWhite};
        else if (chain.flavour != Flavour::Libplacebo)
            candidate.free = {Free::White};
        if (chain.curve && *chain.curve != Curve::Clip)
            candidate.free.push_back(Free::Peak);
        if (chain.curve && (*chain.curve == Curve::Gamma || *chain.curve == Curve::Mobius))
            candidate.free.push_back(Free::Param);
    }
    fit(candidate, points, false, 80, false);
    return std::sqrt(candidate.error) * 255;
}

Facts Result::facts() const
{
    Facts facts;
    const Chain &c = chain;
    facts.add(QStringLiteral("deep sheet"),
              QStringLiteral("%1, SDR white %2")
                  .arg(QString::fromLatin1(DeepSheet::TransferName(c.recipe.transfer).data()).toUpper(),
                       nits(c.recipe.white)),
              QJsonObject {{QStringLiteral("transfer"), QString::fromLatin1(DeepSheet::TransferName(c.recipe.transfer).data())},
                           {QStringLiteral("white"), c.recipe.white}});
    if (placement.offset != QPoint(0, 0) || placement.cellSize != DeepSheet::CellSize)
        facts.add(QStringLiteral("placed"),
                  QStringLiteral("%1 %2 at %3 %")
                      .arg(placement.offset.x())
                      .arg(placement.offset.y())
                      .arg(100 * placement.cellSize / DeepSheet::CellSize),
                  QJsonArray {placement.offset.x(), placement.offset.y(), 100 * placement.cellSize / DeepSheet::CellSize});
    if (tagged) {
        const QString what = tagged->where.isEmpty()
                                 ? QStringLiteral("nothing (viewers take sRGB)")
                                 : QStringLiteral("%1, %2 (%3)")
                                       .arg(QString::fromStdString(HdrMetadata::TransferName(tagged->transfer)),
                                            QString::fromStdString(HdrMetadata::PrimariesName(tagged->primaries)),
                                            tagged->where);
        // A recording's stream tags are said with the stream.
        if (tagged->where != QLatin1String("stream"))
            facts.add(QStringLiteral("tagged"), what);
        if (const QString mismatch = tagMismatch(*tagged, c); !mismatch.isEmpty())
            facts.add(QStringLiteral("mismatch"), mismatch);
    }
    if (c.decoding == Decoding::AsSdr)
        facts.add(QStringLiteral("mismatch"),
                  QStringLiteral("%1 numbers shown as SDR with no tone mapping (the grey picture)")
                      .arg(QString::fromLatin1(DeepSheet::TransferName(c.recipe.transfer).data()).toUpper()));
    facts.add(QStringLiteral("transfer"), QString::fromLatin1(TF::Name(c.transfer).data()));
    const bool hdrOut = c.transfer == TF::Curve::Pq || c.transfer == TF::Curve::Hlg || c.transfer == TF::Curve::Linear;
    if (c.curve) {
        QString text = QString::fromLatin1(ToneMapping::Name(*c.curve).data());
        QJsonObject object {{QStringLiteral("curve"), text}};
        if (*c.curve != Curve::Clip) {
            text += QStringLiteral(", source peak %1").arg(nits(c.sourcePeak));
            object.insert(QStringLiteral("source_peak"), std::round(c.sourcePeak));
        }
        const std::string_view param = ToneMapping::ParamName(*c.curve, c.flavour);
        if (!param.empty() && !std::isnan(c.param)) {
            text += QStringLiteral(", %1 %2").arg(QString::fromLatin1(param.data())).arg(c.param, 0, 'f', 2);
            object.insert(QStringLiteral("param"), std::round(c.param * 100) / 100);
        }
        const char *as = c.flavour == Flavour::Ffmpeg ? "ffmpeg" : c.flavour == Flavour::Mpv ? "mpv" : "libplacebo";
        text += c.flavour == Flavour::Ffmpeg ? QStringLiteral(" (FFmpeg's tonemap)")
                                             : QStringLiteral(" (%1)").arg(QLatin1String(as));
        object.insert(QStringLiteral("as"), QLatin1String(as));
        facts.add(QStringLiteral("tone mapping"), text, object);
    } else if (c.decoding == Decoding::AsMade && !hdrOut && c.recipe.transfer != DeepSheet::Transfer::Sdr) {
        facts.add(QStringLiteral("tone mapping"), QStringLiteral("clip"), QJsonObject {{QStringLiteral("curve"), QStringLiteral("clip")}});
    } else {
        facts.add(QStringLiteral("tone mapping"), QStringLiteral("none"), QJsonObject {{QStringLiteral("curve"), QStringLiteral("none")}});
    }
    // FFmpeg's linear curve is light over the peak: no white of its own.
    const bool whiteTold = !(c.curve == Curve::Linear && c.flavour == Flavour::Ffmpeg);
    if (c.decoding == Decoding::AsMade && whiteTold) {
        const double white = hdrOut ? c.targetWhite * c.recipe.white / c.white : c.white;
        facts.add(QStringLiteral("SDR white"), nits(white), QJsonValue(std::round(white * 10) / 10));
    }
    facts.add(QStringLiteral("primaries"), QString::fromLatin1(TargetName(c.primaries).data()));
    if (c.primaries != Target::Bt2020)
        facts.add(QStringLiteral("gamut"), QString::fromLatin1(GamutName(c.flavour == Flavour::Ffmpeg ? Gamut::Clip : c.gamut).data()));
    if (c.curve && c.flavour != Flavour::Ffmpeg)
        facts.add(QStringLiteral("tone mapped on"), QString::fromLatin1(ApplicationName(c.application).data()));
    if (c.curve && c.flavour == Flavour::Ffmpeg && c.desaturation > 0)
        facts.add(QStringLiteral("desaturation"), c.desaturation, 1);
    facts.add(QStringLiteral("bits"), qint64(bits));
    if (dither)
        facts.add(QStringLiteral("dither"), QStringLiteral("yes"), QJsonValue(true));
    facts.add(QStringLiteral("grey error"), greyError, 2, QStringLiteral("levels"));
    facts.add(QStringLiteral("mean dE_ITP after the steps"), meanItp, 2);
    if (meanItp > UnexplainedItp)
        facts.add(QStringLiteral("unexplained"),
                  QStringLiteral("the chain found leaves a mean dE_ITP of %1: the capture went through a tone curve "
                                 "or colour handling none of the programs modelled here uses")
                      .arg(meanItp, 0, 'f', 2));
    facts.add(QStringLiteral("mean dE_ITP from the SDR rendering"), meanItpReference, 2);
    return facts;
}

ColourLut Result::fix(int points) const
{
    const DeepSheet::Recipe &recipe = chain.recipe;
    const Simulation simulation(chain);
    ColourLut lut;

    // A PQ capture spends most of its codes on light an SDR rendering
    // clips: a curve first spreads the table over the PQ codes up to twice
    // the sheet's white.
    const bool shaped = chain.transfer == TF::Curve::Pq;
    const double top = shaped ? TF::NitsToPq(2 * recipe.white) : 1.0;
    if (shaped) {
        constexpr int CurvePoints = 1024;
        LutCurves curves;
        for (int c = 0; c < 3; ++c) {
            curves.axes[std::size_t(c)] = LutAxis::Even(CurvePoints);
            for (int i = 0; i < CurvePoints; ++i)
                curves.values[std::size_t(c)].push_back(float(std::min(i / double(CurvePoints - 1) / top, 1.0)));
        }
        lut.curves = std::move(curves);
    }

    // The chain's greys, to start each search from: the light of a grey
    // that comes out as each channel does.
    constexpr int GreySamples = 512;
    std::vector<double> greyLight(GreySamples), greyValue(GreySamples);
    for (int i = 0; i < GreySamples; ++i) {
        greyLight[std::size_t(i)] = 0.0001 * std::pow(TF::PqPeak / 0.0001, i / double(GreySamples - 1));
        greyValue[std::size_t(i)] = simulation.grey(greyLight[std::size_t(i)]);
    }
    const auto greyInverse = [&](double v) {
        for (int i = 1; i < GreySamples; ++i)
            if (greyValue[std::size_t(i)] >= v) {
                const double span = greyValue[std::size_t(i)] - greyValue[std::size_t(i) - 1];
                const double f = span > 0 ? (v - greyValue[std::size_t(i) - 1]) / span : 0;
                return greyLight[std::size_t(i) - 1] + f * (greyLight[std::size_t(i)] - greyLight[std::size_t(i) - 1]);
            }
        return greyLight.back();
    };

    static const Primaries::Matrix3 toBt709 = Primaries::Conversion(Primaries::Set::Bt2020, Primaries::Set::Bt709);
    // Each node: the light the chain makes into that capture value (by
    // Levenberg and Marquardt's damped least squares, from the greys'
    // answer channel by channel), then the sheet's SDR rendering of it.
    const auto node = [&](const Rgb &seen) {
        Rgb light = toBt2020(chain.primaries, {greyInverse(seen[0]), greyInverse(seen[1]), greyInverse(seen[2])});
        for (double &c : light)
            c = std::max(c, 0.0);
        const auto residual = [&](const Rgb &l) {
            const Rgb v = simulation.fromLight(l);
            return Rgb {v[0] - seen[0], v[1] - seen[1], v[2] - seen[2]};
        };
        Rgb r = residual(light);
        double cost = r[0] * r[0] + r[1] * r[1] + r[2] * r[2];
        double damping = 1e-3;
        for (int round = 0; round < 8 && cost > 1e-10; ++round) {
            std::array<Rgb, 3> jacobian;
            for (std::size_t k = 0; k < 3; ++k) {
                Rgb moved = light;
                const double h = std::max(light[k] * 1e-3, 1e-4);
                moved[k] += h;
                const Rgb rm = residual(moved);
                for (std::size_t c = 0; c < 3; ++c)
                    jacobian[c][k] = (rm[c] - r[c]) / h;
            }
            Primaries::Matrix3 normal {};
            Rgb gradient {};
            for (std::size_t a = 0; a < 3; ++a) {
                for (std::size_t b = 0; b < 3; ++b)
                    for (std::size_t c = 0; c < 3; ++c)
                        normal[a][b] += jacobian[c][a] * jacobian[c][b];
                for (std::size_t c = 0; c < 3; ++c)
                    gradient[a] += jacobian[c][a] * r[c];
            }
            bool improved = false;
            for (int tries = 0; tries < 4 && !improved; ++tries) {
                Primaries::Matrix3 damped = normal;
                for (std::size_t a = 0; a < 3; ++a)
                    damped[a][a] += damping * (normal[a][a] + 1e-12);
                const Rgb step = Primaries::Apply(Primaries::Inverse(damped), gradient);
                Rgb tried;
                for (std::size_t k = 0; k < 3; ++k)
                    tried[k] = std::max(light[k] - step[k], 0.0);
                const Rgb rt = residual(tried);
                const double triedCost = rt[0] * rt[0] + rt[1] * rt[1] + rt[2] * rt[2];
                if (std::isfinite(triedCost) && triedCost < cost) {
                    light = tried;
                    r = rt;
                    cost = triedCost;
                    damping = std::max(damping / 10, 1e-9);
                    improved = true;
                } else {
                    damping *= 10;
                }
            }
            if (!improved)
                break;
        }
        Rgb out = Primaries::Apply(toBt709, light);
        for (double &c : out)
            c = TF::LinearToSrgb(std::clamp(c / recipe.white, 0.0, 1.0));
        return out;
    };

    LutTable table;
    for (auto &axis : table.axes)
        axis = LutAxis::Even(points);
    const std::size_t count = std::size_t(points) * std::size_t(points) * std::size_t(points);
    table.nodes.resize(3 * count);
    onEveryCore(std::size_t(points) * std::size_t(points), [&](std::size_t plane) {
        const int b = int(plane / std::size_t(points)), g = int(plane % std::size_t(points));
        for (int r = 0; r < points; ++r) {
            const Rgb seen = {top * r / (points - 1), top * g / (points - 1), top * b / (points - 1)};
            const Rgb out = node(seen);
            const std::size_t at = 3 * ((std::size_t(b) * std::size_t(points) + std::size_t(g)) * std::size_t(points)
                                        + std::size_t(r));
            for (std::size_t c = 0; c < 3; ++c)
                table.nodes[at + c] = float(out[c]);
        }
    });
    lut.table = std::move(table);
    return lut;
}

} // namespace HdrDiagnosis
