// Colour kept at a lower resolution than brightness (4:2:2, 4:2:0, 4:1:1):
// the chroma planes brought down by an encoder's filter and back up by a
// decoder's, each along its axis. Decoders differ: ffmpeg's default and
// GStreamer's videoconvert repeat each chroma sample over its block, ffmpeg
// with full_chroma_int and players interpolate, centred on the block or
// sited at its left edge (MPEG-2); encoders average the block or filter
// across it. The step is told by the sheet's sharp edges: the capture's
// chroma there, the steps after it undone, against the sheet's brought down
// and up by every pair of filters at every phase of the block.

#include "diagnosis/Fitting.h"
#include "diagnosis/Step.h"
#include "facts/Facts.h"

#include <QJsonObject>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

// How an encoder brings a block of `factor` samples down to one.
enum class Down {
    Box,      // the block's mean (ffmpeg's across, JPEG's)
    Bilinear, // 1 3 3 1 about the block's middle (ffmpeg's bilinear, down)
    Bicubic,  // six taps about the block's middle (ffmpeg's bicubic, down)
    Point,    // the block's second sample (ffmpeg's neighbor, down)
    Cosited,  // 1 2 1 about the block's first sample (MPEG-2 encoders, across)
};
// How a decoder brings a chroma sample back up over its block.
enum class Up {
    Nearest,        // repeated over the block
    LinearCentred,  // between the blocks' middles
    CubicCentred,   // cubic (a = -0.6, as ffmpeg's bicubic) between the middles
    LinearCosited,  // between the blocks' first samples
};

struct AxisFilter
{
    int factor = 1;
    Down down = Down::Box;
    Up up = Up::Nearest;
    int phase = 0; // where the first block starts
};

const char *upName(Up up)
{
    switch (up) {
    case Up::Nearest: return "nearest";
    case Up::LinearCentred: return "linear";
    case Up::CubicCentred: return "cubic";
    case Up::LinearCosited: return "linear, left-sited";
    }
    return "";
}

// The taps of the encoder's filter over the block whose first sample is 0.
std::vector<std::pair<int, double>> downTaps(Down down, int factor)
{
    std::vector<std::pair<int, double>> taps;
    const auto spread = [&](std::initializer_list<double> weights, int first) {
        double sum = 0;
        for (double w : weights)
            sum += w;
        int at = first;
        for (double w : weights)
            taps.emplace_back(at++, w / sum);
    };
    switch (down) {
    case Down::Box:
        for (int m = 0; m < factor; ++m)
            taps.emplace_back(m, 1.0 / factor);
        break;
    case Down::Bilinear:
        factor == 2 ? spread({1, 3, 3, 1}, -1) : spread({1, 2, 3, 4, 4, 3, 2, 1}, -2);
        break;
    case Down::Bicubic:
        factor == 2 ? spread({-0.042, 0.121, 0.436, 0.436, 0.121, -0.042}, -2)
                    : spread({0.03, 0.06, 0.06, 0.22, 0.22, 0.22, 0.22, 0.06, 0.06, 0.03}, -3);
        break;
    case Down::Point: factor == 2 ? spread({1}, 1) : spread({1, 1}, 2); break;
    case Down::Cosited: spread({1, 2, 1}, -1); break;
    }
    return taps;
}

double cubic(double t)
{
    constexpr double a = -0.6;
    t = std::abs(t);
    if (t < 1)
        return (a + 2) * t * t * t - (a + 3) * t * t + 1;
    if (t < 2)
        return a * (t * t * t - 5 * t * t + 8 * t - 4);
    return 0;
}

// The weights a decoder gives the chroma samples near an output sample at
// `position` within its block (0 to factor - 1): (block offset, weight).
std::vector<std::pair<int, double>> upTaps(Up up, int factor, int position)
{
    std::vector<std::pair<int, double>> taps;
    if (up == Up::Nearest) {
        taps.emplace_back(0, 1.0);
        return taps;
    }
    // Where the output sample lies, in chroma samples from its block's sample.
    const double centre = up == Up::LinearCosited ? 0.0 : (factor - 1) / 2.0;
    const double t = (position - centre) / factor;
    for (int j = -2; j <= 2; ++j) {
        const double d = t - j;
        const double w = up == Up::CubicCentred ? cubic(d) : std::max(0.0, 1.0 - std::abs(d));
        if (w != 0)
            taps.emplace_back(j, w);
    }
    return taps;
}

// The whole way down and up along one axis, as taps on the full-resolution
// samples around each output sample: one set for each position in the block.
struct AxisTaps
{
    int factor = 1;
    int phase = 0;
    std::vector<std::vector<std::pair<int, double>>> byPosition;

    explicit AxisTaps(const AxisFilter &filter)
        : factor(filter.factor)
        , phase(filter.phase)
    {
        for (int q = 0; q < factor; ++q) {
            std::vector<std::pair<int, double>> taps;
            if (factor == 1) {
                taps.emplace_back(0, 1.0);
            } else {
                for (const auto &[block, wu] : upTaps(filter.up, factor, q))
                    for (const auto &[m, wd] : downTaps(filter.down, factor)) {
                        const int offset = block * factor + m - q;
                        const auto same = std::find_if(taps.begin(), taps.end(),
                                                       [&](const auto &tap) { return tap.first == offset; });
                        if (same == taps.end())
                            taps.emplace_back(offset, wu * wd);
                        else
                            same->second += wu * wd;
                    }
            }
            byPosition.push_back(std::move(taps));
        }
    }

    const std::vector<std::pair<int, double>> &at(int x) const
    {
        return byPosition[std::size_t(((x - phase) % factor + factor) % factor)];
    }
};

// A plane brought down and up along each axis.
void filterPlane(std::vector<float> &plane, int w, int h, const AxisTaps &across, const AxisTaps &down)
{
    std::vector<float> out(plane.size());
    if (across.factor > 1) {
        for (int y = 0; y < h; ++y) {
            const float *row = plane.data() + std::size_t(y) * std::size_t(w);
            float *to = out.data() + std::size_t(y) * std::size_t(w);
            for (int x = 0; x < w; ++x) {
                double sum = 0;
                for (const auto &[o, weight] : across.at(x))
                    sum += weight * row[std::clamp(x + o, 0, w - 1)];
                to[x] = float(sum);
            }
        }
        plane.swap(out);
    }
    if (down.factor > 1) {
        for (int y = 0; y < h; ++y) {
            float *to = out.data() + std::size_t(y) * std::size_t(w);
            std::fill(to, to + w, 0.0f);
            for (const auto &[o, weight] : down.at(y)) {
                const float *row = plane.data() + std::size_t(std::clamp(y + o, 0, h - 1)) * std::size_t(w);
                for (int x = 0; x < w; ++x)
                    to[x] += float(weight) * row[x];
            }
        }
        plane.swap(out);
    }
}

// Every filter pair along an axis kept `factor` times coarser, at every phase.
std::vector<AxisFilter> candidates(int factor, bool across)
{
    std::vector<AxisFilter> all;
    const std::vector<Down> downs =
        factor == 4 ? std::vector<Down> {Down::Box, Down::Bicubic, Down::Point}
                    : (across ? std::vector<Down> {Down::Box, Down::Cosited}
                              : std::vector<Down> {Down::Box, Down::Bilinear, Down::Bicubic, Down::Point});
    for (Down down : downs)
        for (Up up : {Up::Nearest, Up::LinearCentred, Up::CubicCentred, Up::LinearCosited})
            for (int phase = 0; phase < factor; ++phase)
                all.push_back({factor, down, up, phase});
    return all;
}

// The filters tried first along an axis: the commonest ways down and up at
// both phases.
std::vector<AxisFilter> screening(bool across)
{
    std::vector<AxisFilter> tried;
    for (int phase = 0; phase < 2; ++phase) {
        tried.push_back({2, Down::Box, Up::Nearest, phase});
        tried.push_back({2, Down::Box, Up::LinearCentred, phase});
        if (!across)
            tried.push_back({2, Down::Bicubic, Up::Nearest, phase});
    }
    return tried;
}

// A candidate is taken for the chroma when the mean lowering of the squared
// error place by place is this many standard errors, and a share this large
// of the error the full resolution leaves.
constexpr double Doubt = 10;
constexpr double Share = 0.02;
// The places the step is fitted on, at most.
constexpr std::size_t MostPlaces = 16384;
// The mean squared chroma error (both planes, in levels) at the sheet's
// smooth places beyond which the steps before do not explain the chroma.
constexpr double UnexplainedChroma = 50;

class ChromaResolution final : public Step
{
public:
    const char *name() const override { return "chroma"; }
    Domain takes() const override { return Domain::Ycbcr; }
    bool acts() const override { return across_.factor > 1 || down_.factor > 1; }
    bool fault() const override { return false; }

    // The sheet's chroma reaching this step against the capture's, the steps
    // after it undone, in the parts of the sheet with the most sharp edges,
    // at the places where the sheet's chroma changes and the capture is not
    // clipped. Each axis is chosen with the other as found so far.
    void fit(Fitting &fitting, int) override
    {
        const std::vector<Part> parts = partsOf(fitting);
        std::size_t places = 0;
        for (const Part &part : parts)
            places += part.places.size();
        if (places < 256)
            return;

        // The squared chroma error at each of the parts' places of the
        // sheet's chroma brought down and up along one axis, the other's
        // done already.
        const auto errorsAlong = [&](const std::vector<std::array<std::vector<float>, 2>> &planes,
                                     const AxisFilter &filter, bool across) {
            const AxisTaps taps(filter);
            std::vector<float> errors;
            errors.reserve(places);
            for (std::size_t k = 0; k < parts.size(); ++k) {
                const Part &part = parts[k];
                const int w = part.width, h = part.height;
                for (int i : part.places) {
                    const int x = i % w, y = i / w;
                    double error = 0;
                    for (std::size_t p = 0; p < 2; ++p) {
                        const float *from = planes[k][p].data();
                        double value = 0;
                        if (across) {
                            const float *row = from + std::size_t(y) * std::size_t(w);
                            for (const auto &[o, weight] : taps.at(x))
                                value += weight * row[std::clamp(x + o, 0, w - 1)];
                        } else {
                            for (const auto &[o, weight] : taps.at(y))
                                value += weight * from[std::size_t(std::clamp(y + o, 0, h - 1)) * std::size_t(w)
                                                       + std::size_t(x)];
                        }
                        const double d = (part.captured[p][std::size_t(i)] - value) * 255.0;
                        error += d * d;
                    }
                    errors.push_back(float(error));
                }
            }
            return errors;
        };
        // The parts' chroma brought down and up along one axis.
        const auto along = [&](const AxisFilter &filter, bool across) {
            std::vector<std::array<std::vector<float>, 2>> planes;
            const AxisTaps identity(AxisFilter {}), taps(filter);
            for (const Part &part : parts) {
                planes.push_back(part.sheet);
                for (auto &plane : planes.back())
                    filterPlane(plane, part.width, part.height, across ? taps : identity, across ? identity : taps);
            }
            return planes;
        };
        const auto sum = [](const std::vector<float> &errors) {
            double total = 0;
            for (float e : errors)
                total += e;
            return total;
        };
        // A candidate is taken when it lowers the error place by place
        // beyond doubt: the mean lowering is many times its standard error,
        // so that a codec's noise, which no filter of the sheet explains,
        // never passes for chroma kept lower.
        const auto beyondDoubt = [&](const std::vector<float> &none, const std::vector<float> &with) {
            double s = 0, ss = 0;
            for (std::size_t i = 0; i < none.size(); ++i) {
                const double d = double(none[i]) - with[i];
                s += d;
                ss += d * d;
            }
            const double n = double(none.size()), mean = s / n;
            const double spread = std::sqrt(std::max(ss / n - mean * mean, 1e-12) / n);
            if (std::getenv("CHROMA_DEBUG"))
                std::fprintf(stderr, "  t %.1f share %.3f\n", mean / spread, s / sum(none));
            return mean > Doubt * spread && s > Share * sum(none);
        };
        // Chroma the steps before do not explain where the sheet is smooth
        // (a picture made grey, colours turned) is no lower resolution: any
        // blur of the sheet's would come closer to it at the edges.
        {
            double smooth = 0;
            std::size_t count = 0;
            for (const Part &part : parts)
                for (std::size_t k = 0; k < part.places.size(); ++k)
                    if (!part.edge[k]) {
                        const std::size_t i = std::size_t(part.places[k]);
                        for (std::size_t p = 0; p < 2; ++p) {
                            const double d = (part.captured[p][i] - part.sheet[p][i]) * 255.0;
                            smooth += d * d;
                        }
                        ++count;
                    }
            if (count == 0 || smooth / double(count) > UnexplainedChroma)
                return;
        }
        AxisFilter across, down;
        const auto choose = [&](bool alongRows, const std::vector<AxisFilter> &tried, bool anyway = false) {
            const auto other = along(alongRows ? down : across, !alongRows);
            const std::vector<float> none = errorsAlong(other, {}, alongRows);
            std::vector<float> least = none;
            double leastSum = sum(none);
            AxisFilter chosen;
            for (const AxisFilter &candidate : tried)
                    if (std::vector<float> e = errorsAlong(other, candidate, alongRows); sum(e) < leastSum) {
                        leastSum = sum(e);
                        least = std::move(e);
                        chosen = candidate;
                    }
            const bool taken = chosen.factor > 1 && (anyway || beyondDoubt(none, least));
            if (std::getenv("CHROMA_DEBUG"))
                std::fprintf(stderr, "%s: none %.0f, best %.0f (f%d d%d u%d p%d), %zu places, taken %d\n", alongRows ? "across" : "down", sum(none), leastSum, chosen.factor, int(chosen.down), int(chosen.up), chosen.phase, places, taken);
            (alongRows ? across : down) = taken ? chosen : AxisFilter();
        };
        // A few of the filters first: a picture whose chroma none of them
        // brings closer keeps its full resolution. Then every filter, each
        // axis with the other as found so far.
        choose(true, screening(true));
        choose(false, screening(false));
        if (across.factor == 1 && down.factor == 1)
            return;
        std::vector<AxisFilter> acrossAll = candidates(2, true), downAll = candidates(2, false);
        for (const AxisFilter &quarter : candidates(4, true))
            acrossAll.push_back(quarter);
        choose(true, acrossAll);
        choose(false, downAll);
        choose(true, acrossAll);
        // Chroma halved down is halved across too (4:2:0): the sheets'
        // tiles start at even columns, so a block of two across hides at
        // their edges, while 4:4:0 is all but unknown.
        if (down.factor == 2 && across.factor == 1)
            choose(true, candidates(2, true), true);
        if (across.factor == 1 && down.factor == 1)
            return;
        across_ = across;
        down_ = down;
        blurSamples(fitting);
        fitting.again();
    }

    // Codes kept as 8 bits, the chroma planes brought down and up.
    void apply(Planes &planes) const override
    {
        for (auto &plane : planes.plane)
            for (float &code : plane)
                code = float(std::round(double(code) * 255.0) / 255.0);
        const AxisTaps tx(across_), ty(down_);
        filterPlane(planes.plane[1], planes.width, planes.height, tx, ty);
        filterPlane(planes.plane[2], planes.width, planes.height, tx, ty);
    }

    void apply(Swatch &colour) const override
    {
        colour.value[1] = colour.around[1];
        colour.value[2] = colour.around[2];
    }

    void report(Facts &facts) const override
    {
        QString format;
        if (across_.factor == 2 && down_.factor == 2)
            format = QStringLiteral("4:2:0");
        else if (across_.factor == 2)
            format = QStringLiteral("4:2:2");
        else if (across_.factor == 4)
            format = down_.factor == 2 ? QStringLiteral("4:1:0") : QStringLiteral("4:1:1");
        else
            format = QStringLiteral("4:4:0");
        facts.add(QStringLiteral("chroma"), format);
        const Up up = across_.factor > 1 ? across_.up : down_.up;
        facts.add(QStringLiteral("chroma upsampling"), QString::fromLatin1(upName(up)));
    }

    std::unique_ptr<Step> clone() const override { return std::make_unique<ChromaResolution>(*this); }

private:
    // A part of the sheet the step is fitted on: the sheet's chroma as it
    // reaches the step, the capture's with the steps after undone, and the
    // places (indices) where the sheet's chroma changes.
    struct Part
    {
        int width = 0;
        int height = 0;
        std::array<std::vector<float>, 2> sheet;
        std::array<std::vector<float>, 2> captured;
        std::vector<int> places;
        std::vector<char> edge; // for each place: whether the sheet's chroma changes near it
    };

    // The blocks of the sheet (64 x 64 from multiples of 4, so that the
    // chroma's blocks keep their phase) with the most sharp edges, up to 16.
    // The places near a block's edge that is not the sheet's are left out:
    // the filters there lack what lies beyond.
    std::vector<Part> partsOf(Fitting &fitting)
    {
        const QImage &sheet = fitting.sheet();
        const QImage &capture = fitting.capture();
        const int side = 64;
        struct Block
        {
            int x, y, w, h, edges;
        };
        std::vector<Block> blocks;
        const auto at = [&](int x, int y) { return reinterpret_cast<const QRgb *>(sheet.constScanLine(y))[x]; };
        const auto jump = [](QRgb a, QRgb b) {
            return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
        };
        // Half a block off the sheets' tiles, whose edges then lie inside.
        for (int top = -side / 2; top < sheet.height(); top += side)
            for (int left = -side / 2; left < sheet.width(); left += side) {
                int edges = 0;
                const int x0 = std::max(left, 0), y0 = std::max(top, 0);
                const int x1 = std::min(left + side, sheet.width()), y1 = std::min(top + side, sheet.height());
                for (int y = y0; y + 1 < y1; ++y)
                    for (int x = x0; x + 1 < x1; ++x)
                        edges += jump(at(x, y), at(x + 1, y)) >= 24 || jump(at(x, y), at(x, y + 1)) >= 24;
                blocks.push_back({x0, y0, x1 - x0, y1 - y0, edges});
            }
        std::stable_sort(blocks.begin(), blocks.end(), [](const Block &a, const Block &b) { return a.edges > b.edges; });
        blocks.resize(std::min<std::size_t>(blocks.size(), 16));

        // Acting, so that the chain brings the values into Y'CbCr about it.
        across_ = {2, Down::Box, Up::Nearest, 0};
        const Chain &chain = fitting.chain();
        const std::size_t me = chain.indexOf(*this);
        std::vector<Part> parts;
        for (const Block &block : blocks) {
            if (block.edges == 0)
                continue;
            const int w = block.w, h = block.h;
            Planes planes(w, h, Domain::Signal);
            Part part;
            part.width = w;
            part.height = h;
            for (auto &plane : part.captured)
                plane.resize(planes.size());
            std::vector<char> clipped(planes.size());
            for (int y = 0; y < h; ++y) {
                const auto *s = reinterpret_cast<const QRgb *>(sheet.constScanLine(block.y + y)) + block.x;
                const auto *c = reinterpret_cast<const QRgb *>(capture.constScanLine(block.y + y)) + block.x;
                for (int x = 0; x < w; ++x) {
                    const std::size_t i = std::size_t(y) * std::size_t(w) + std::size_t(x);
                    planes.plane[0][i] = float(qRed(s[x]) / 255.0);
                    planes.plane[1][i] = float(qGreen(s[x]) / 255.0);
                    planes.plane[2][i] = float(qBlue(s[x]) / 255.0);
                    const Swatch back =
                        fitting.undone({double(qRed(c[x])), double(qGreen(c[x])), double(qBlue(c[x]))}, me);
                    part.captured[0][i] = float(back.value[1]);
                    part.captured[1][i] = float(back.value[2]);
                    clipped[i] = std::min({qRed(c[x]), qGreen(c[x]), qBlue(c[x])}) <= 1
                                 || std::max({qRed(c[x]), qGreen(c[x]), qBlue(c[x])}) >= 254;
                }
            }
            chain.simulate(planes, 0, me);
            part.sheet = {std::move(planes.plane[1]), std::move(planes.plane[2])};
            // Away from the part's own edges (unless they are the sheet's):
            // the sharp edges, and the ramps between them, where chroma
            // repeated over a block leaves steps.
            const int left = block.x > 0 ? 6 : 0, top = block.y > 0 ? 6 : 0;
            const int right = block.x + w < sheet.width() ? 6 : 0, bottom = block.y + h < sheet.height() ? 6 : 0;
            for (int y = top; y < h - bottom; ++y)
                for (int x = left; x < w - right; ++x)
                    if (const std::size_t i = std::size_t(y) * std::size_t(w) + std::size_t(x); !clipped[i]) {
                        part.places.push_back(int(i));
                        float most = 0;
                        for (int d = -2; d <= 2; ++d)
                            for (const std::vector<float> &plane : part.sheet)
                                most = std::max({most,
                                                 std::abs(plane[std::size_t(y) * std::size_t(w)
                                                                + std::size_t(std::clamp(x + d, 0, w - 1))]
                                                          - plane[i]),
                                                 std::abs(plane[std::size_t(std::clamp(y + d, 0, h - 1)) * std::size_t(w)
                                                                + std::size_t(x)]
                                                          - plane[i])});
                        part.edge.push_back(most >= 8.0f / 255.0f);
                    }
            parts.push_back(std::move(part));
        }
        across_ = AxisFilter();
        down_ = AxisFilter();
        // At most MostPlaces places, spread evenly.
        std::size_t places = 0;
        for (const Part &part : parts)
            places += part.places.size();
        if (const std::size_t every = (places + MostPlaces - 1) / MostPlaces; every > 1)
            for (Part &part : parts) {
                std::vector<int> fewer;
                std::vector<char> edges;
                for (std::size_t k = 0; k < part.places.size(); k += every) {
                    fewer.push_back(part.places[k]);
                    edges.push_back(part.edge[k]);
                }
                part.places.swap(fewer);
                part.edge.swap(edges);
            }
        return parts;
    }

    // The samples' surroundings as the chroma found brings them down and up.
    void blurSamples(Fitting &fitting) const
    {
        const QImage &sheet = fitting.sheet();
        const AxisTaps tx(across_), ty(down_);
        const int w = sheet.width(), h = sheet.height();
        for (Sample &sample : fitting.samples()) {
            std::array<double, 3> sum {};
            const int x = sample.place.x(), y = sample.place.y();
            for (const auto &[oy, wy] : ty.at(y)) {
                const auto *row = reinterpret_cast<const QRgb *>(sheet.constScanLine(std::clamp(y + oy, 0, h - 1)));
                for (const auto &[ox, wx] : tx.at(x)) {
                    const QRgb pixel = row[std::clamp(x + ox, 0, w - 1)];
                    sum[0] += wy * wx * qRed(pixel) / 255.0;
                    sum[1] += wy * wx * qGreen(pixel) / 255.0;
                    sum[2] += wy * wx * qBlue(pixel) / 255.0;
                }
            }
            sample.around = sum;
        }
    }

    AxisFilter across_;
    AxisFilter down_;
};

} // namespace

std::unique_ptr<Step> MakeChromaResolution()
{
    return std::make_unique<ChromaResolution>();
}
