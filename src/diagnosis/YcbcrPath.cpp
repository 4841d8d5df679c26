// A Y'CbCr path that misread what it was given: encoded with one matrix and
// range, decoded with another (limited-range video shown as full range
// looks washed out, full range shown as limited looks crushed), perhaps
// twice. Two steps, the halves of the path, with whatever acts on the
// Y'CbCr values (chroma resolution) between them: the encoding half holds
// the path found and says what it found; the decoding half follows it.

#include "colour/Ycbcr.h"
#include "diagnosis/Fitting.h"
#include "diagnosis/Known.h"
#include "diagnosis/Step.h"
#include "facts/Facts.h"

#include <algorithm>
#include <cmath>

namespace {

using Ycbcr::Affine;
using Ycbcr::Matrix;
using Ycbcr::Range;
using Rgb = std::array<double, 3>;

enum class RangeFault { None, LimitedAsFull, FullAsLimited };

// A candidate chain is taken over a simpler one only when it leaves less
// than this share of the simpler one's squared error.
constexpr double SimplerWins = 0.9;
// How many samples the candidates are judged on.
constexpr std::size_t JudgedOn = 4096;

struct Path
{
    Matrix encoded = Matrix::Bt709;
    Matrix decoded = Matrix::Bt709;
    RangeFault range = RangeFault::None;
    int passes = 1; // 2: the same misreading applied twice
    // Its halves and their inverses, worked out once.
    Affine encode = Ycbcr::Encode(Matrix::Bt709, Range::Full);
    Affine decode = Ycbcr::Decode(Matrix::Bt709, Range::Full);
    Affine unencode = encode.inverse();
    Affine undecode = decode.inverse();

    Path() = default;
    Path(Matrix e, Matrix d, RangeFault r, int p)
        : encoded(e)
        , decoded(d)
        , range(r)
        , passes(p)
        , encode(Ycbcr::Encode(e, r == RangeFault::LimitedAsFull ? Range::Limited : Range::Full))
        , decode(Ycbcr::Decode(d, r == RangeFault::FullAsLimited ? Range::Limited : Range::Full))
        , unencode(encode.inverse())
        , undecode(decode.inverse())
    { }

    bool fault() const { return range != RangeFault::None || encoded != decoded; }
    int complexity() const { return (range != RangeFault::None) + (passes == 2) + (encoded != decoded); }
};

std::vector<Path> candidates()
{
    std::vector<Path> all;
    for (Matrix e : Ycbcr::Matrices)
        for (Matrix d : Ycbcr::Matrices)
            for (RangeFault r : {RangeFault::None, RangeFault::LimitedAsFull, RangeFault::FullAsLimited})
                if (!(e == d && r == RangeFault::None && e != Matrix::Bt709))
                    all.emplace_back(e, d, r, 1);
    for (Matrix m : Ycbcr::Matrices)
        for (RangeFault r : {RangeFault::LimitedAsFull, RangeFault::FullAsLimited})
            all.emplace_back(m, m, r, 2);
    return all;
}

Rgb clamped(Rgb v)
{
    for (double &c : v)
        c = std::clamp(c, 0.0, 1.0);
    return v;
}

// Every pixel of `planes` through `map`.
template <typename Map>
void eachPixel(Planes &planes, const Map &map)
{
    for (std::size_t i = 0; i < planes.size(); ++i) {
        Rgb v {planes.plane[0][i], planes.plane[1][i], planes.plane[2][i]};
        v = map(v);
        for (std::size_t c = 0; c < 3; ++c)
            planes.plane[c][i] = float(v[c]);
    }
}

class YcbcrEncode final : public Step
{
public:
    const char *name() const override { return "Y'CbCr path"; }
    Domain takes() const override { return Domain::Signal; }
    Domain gives() const override { return Domain::Ycbcr; }
    bool acts() const override { return path_.fault(); }
    const Path &path() const { return path_; }

    // Every candidate with a curve per channel fitted after it; the simplest
    // of those that come closest wins. After a path that keeps the range
    // the curve may be levels (black and white points and a power law), so
    // that a levels edit is not taken for a misread range; after a misread
    // range only a power law, which cannot undo it (a range read as full
    // and stretched back by levels would explain any small error of a
    // right path). When no such curve fits even the winner, they are
    // compared again with any curve.
    void fit(Fitting &fitting, int) override
    {
        std::vector<double> withPowerLaw, withAnyCurve;
        for (const Path &candidate : all_) {
            path_ = candidate;
            double within = 0, error = 0;
            for (const ToneFit::Bins &b : fitting.curveBins(JudgedOn)) {
                within += b.within();
                error += b.within()
                         + (candidate.range == RangeFault::None
                                ? ToneFit::FitChannel(b).error
                                : ToneFit::CurveError(b, ToneFit::FitGamma(b, 0, 255), 0, 255));
            }
            withPowerLaw.push_back(error);
            withAnyCurve.push_back(within);
        }
        path_ = simplestOf(withPowerLaw);
        fitting.fitCurve();
        if (fitting.curveNeedsTable()) {
            path_ = simplestOf(withAnyCurve);
            fitting.fitCurve();
        }
    }

    void take(const Known &known) override
    {
        if (!known.ycbcr)
            return;
        const Known::YcbcrPath &path = *known.ycbcr;
        // The same range both ways cancels, whichever it is.
        RangeFault range = RangeFault::None;
        if (path.codedRange != path.decodedRange)
            range = path.codedRange == Range::Limited ? RangeFault::LimitedAsFull : RangeFault::FullAsLimited;
        path_ = {path.coded, path.decoded, range, 1};
    }

    // Y'CbCr codes kept as 8 bits between the halves.
    void apply(Planes &planes) const override
    {
        const Affine &encode = path_.encode;
        const bool codes = path_.fault();
        eachPixel(planes, [&](const Rgb &v) {
            Rgb coded = encode(v);
            if (codes)
                for (double &code : coded)
                    code = std::round(code * 255.0) / 255.0;
            return coded;
        });
    }

    void apply(Swatch &colour) const override
    {
        const Affine &encode = path_.encode;
        colour.value = encode(colour.value);
        colour.around = encode(colour.around);
    }

    bool undo(Swatch &colour) const override
    {
        const Affine &back = path_.unencode;
        colour.value = clamped(back(colour.value));
        colour.around = clamped(back(colour.around));
        return true;
    }

    void report(Facts &facts) const override
    {
        if (path_.range != RangeFault::None)
            facts.add(QStringLiteral("range"),
                      (path_.range == RangeFault::LimitedAsFull ? QStringLiteral("limited read as full")
                                                                : QStringLiteral("full read as limited"))
                          + (path_.passes == 2 ? QStringLiteral(" twice") : QString()));
        if (path_.encoded != path_.decoded)
            facts.add(QStringLiteral("matrix"), QStringLiteral("%1 read as %2")
                                                     .arg(QLatin1String(Ycbcr::NameOf(path_.encoded)),
                                                          QLatin1String(Ycbcr::NameOf(path_.decoded))));
    }

    std::unique_ptr<Step> clone() const override { return std::make_unique<YcbcrEncode>(*this); }

private:
    Path simplestOf(const std::vector<double> &errors) const
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

    Path path_;
    std::vector<Path> all_ = candidates();
};

class YcbcrDecode final : public Step
{
public:
    const char *name() const override { return "Y'CbCr decode"; }
    Domain takes() const override { return Domain::Ycbcr; }
    Domain gives() const override { return Domain::Signal; }
    bool acts() const override { return encode_ && encode_->acts(); }

    void join(const Chain &chain) override
    {
        encode_ = nullptr;
        for (const auto &step : chain.steps())
            if (const auto *encode = dynamic_cast<const YcbcrEncode *>(step.get()))
                encode_ = encode;
    }

    // Fitted with the encoding half.
    void fit(Fitting &, int) override { }

    void apply(Planes &planes) const override
    {
        const Path &path = encode_->path();
        const Affine &encode = path.encode, &decode = path.decode;
        eachPixel(planes, [&](const Rgb &coded) {
            Rgb v = clamped(decode(coded));
            for (int p = 1; p < path.passes; ++p)
                v = clamped(decode(encode(v)));
            return v;
        });
    }

    void apply(Swatch &colour) const override
    {
        const Path &path = encode_->path();
        const Affine &encode = path.encode, &decode = path.decode;
        for (Rgb *v : {&colour.value, &colour.around}) {
            *v = clamped(decode(*v));
            for (int p = 1; p < path.passes; ++p)
                *v = clamped(decode(encode(*v)));
        }
    }

    // The passes after the first undone whole, then this half of the first.
    bool undo(Swatch &colour) const override
    {
        const Path &path = encode_->path();
        const Affine &toCodes = path.undecode;
        const Affine back = path.unencode.after(toCodes);
        for (Rgb *v : {&colour.value, &colour.around}) {
            for (int p = 1; p < path.passes; ++p)
                *v = clamped(back(*v));
            *v = toCodes(*v);
        }
        return true;
    }

    void report(Facts &) const override { }

    std::unique_ptr<Step> clone() const override { return std::make_unique<YcbcrDecode>(*this); }

private:
    const YcbcrEncode *encode_ = nullptr;
};

} // namespace

std::unique_ptr<Step> MakeYcbcrEncode()
{
    return std::make_unique<YcbcrEncode>();
}

std::unique_ptr<Step> MakeYcbcrDecode()
{
    return std::make_unique<YcbcrDecode>();
}
