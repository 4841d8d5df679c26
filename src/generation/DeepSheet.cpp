#include "generation/DeepSheet.h"

#include "colour/Primaries.h"
#include "colour/TransferFunctions.h"

#include <algorithm>
#include <cmath>

namespace DeepSheet {

namespace {

namespace TF = TransferFunctions;

// The copy visits the lattice in steps of this many entries (coprime with
// 33³), so that no two cells neighbour each other in both copies.
constexpr int CopyStride = 7919;

// The identity's first bits, so that a strip of anything else is not read
// as one.
constexpr unsigned IdentityMagic = 0b1011;

// The sweeps' lightness (relative luminance, SDR white 1) and where each
// step lies between grey and the borders.
constexpr std::array<double, Lightnesses> SweepLightness = {0.02, 0.05, 0.12, 0.25, 0.45, 0.70};

const Primaries::Vector3 &bt2020Luminance()
{
    static const Primaries::Vector3 y = Primaries::RgbToXyz(Primaries::Set::Bt2020)[1];
    return y;
}

// A fully saturated BT.2020 colour of the hue `degrees` (the HSV hexagon).
Rgb hueColour(double degrees)
{
    const double h = degrees / 60.0;
    const double x = 1 - std::abs(std::fmod(h, 2.0) - 1);
    switch (int(h) % 6) {
    case 0: return {1, x, 0};
    case 1: return {x, 1, 0};
    case 2: return {0, 1, x};
    case 3: return {0, x, 1};
    case 4: return {x, 0, 1};
    default: return {1, 0, x};
    }
}

// The largest s for which base + s * direction stays within 0 to 1 on every
// channel after `matrix` (linear, so one bound per channel and side).
double reach(const Primaries::Matrix3 &matrix, const Rgb &base, const Rgb &direction)
{
    const Primaries::Vector3 a = Primaries::Apply(matrix, base);
    const Primaries::Vector3 b = Primaries::Apply(matrix, direction);
    double s = 1e9;
    for (std::size_t c = 0; c < 3; ++c) {
        if (b[c] > 1e-12)
            s = std::min(s, (1 - a[c]) / b[c]);
        else if (b[c] < -1e-12)
            s = std::min(s, -a[c] / b[c]);
    }
    return std::max(s, 0.0);
}

// A sweep's colour as relative linear BT.2020 light (SDR white 1): a grey of
// the lightness moved towards the hue, keeping its luminance, to a share of
// the way that stops on the sRGB border, then the Display P3 one, then the
// BT.2020 one.
Rgb sweepColour(int hue, int lightness, int step)
{
    using Primaries::Set;
    static const Primaries::Matrix3 identity = {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
    static const Primaries::Matrix3 toBt709 = Primaries::Conversion(Set::Bt2020, Set::Bt709);
    static const Primaries::Matrix3 toP3 = Primaries::Conversion(Set::Bt2020, Set::DisplayP3);
    const double y = SweepLightness[std::size_t(lightness)];
    const Rgb full = hueColour(5.0 * hue);
    const Primaries::Vector3 &luma = bt2020Luminance();
    const double fullY = luma[0] * full[0] + luma[1] * full[1] + luma[2] * full[2];
    const Rgb base = {y, y, y};
    const Rgb direction = {y * (full[0] / fullY - 1), y * (full[1] / fullY - 1), y * (full[2] / fullY - 1)};
    const double to2020 = reach(identity, base, direction);
    const double toP3Border = std::min(reach(toP3, base, direction), to2020);
    const double to709 = std::min(reach(toBt709, base, direction), toP3Border);
    const double between = toP3Border - to709, beyond = to2020 - toP3Border;
    const std::array<double, ChromaSteps> shares = {
        0,
        0.3 * to709,
        0.6 * to709,
        0.8 * to709,
        0.9 * to709,
        0.97 * to709,
        to709,
        to709 + 0.1 * between,
        to709 + 0.4 * between,
        to709 + 0.7 * between,
        toP3Border - 0.03 * between,
        toP3Border,
        toP3Border + 0.1 * beyond,
        toP3Border + 0.4 * beyond,
        toP3Border + 0.7 * beyond,
        to2020,
    };
    const double s = shares[std::size_t(step)];
    Rgb colour;
    for (std::size_t c = 0; c < 3; ++c)
        colour[c] = std::clamp(base[c] + s * direction[c], 0.0, 1.0);
    return colour;
}

// Relative SDR light (white 1) as the recipe's signal.
Rgb signalOfLight(const Recipe &recipe, const Rgb &relative)
{
    const Rgb nits = {relative[0] * recipe.white, relative[1] * recipe.white, relative[2] * recipe.white};
    switch (recipe.transfer) {
    case Transfer::Pq: return TF::FromNits(TF::Curve::Pq, nits, recipe.white);
    case Transfer::Hlg: return TF::NitsToHlg(nits, TF::HlgNominalPeak);
    case Transfer::Sdr: break;
    }
    return TF::FromNits(TF::Curve::Bt1886, nits, recipe.white);
}

constexpr Rgb White = {1, 1, 1};
constexpr Rgb Black = {0, 0, 0};

// Each corner's own shape, in its 6 x 6 cells: the top left all white, the
// top right white round a black middle, the bottom left white on its left
// half, the bottom right white on its top half.
bool landmarkWhite(const Region &region, int x, int y)
{
    if (region.column == 0 && region.row == 0)
        return true;
    if (region.row == 0)
        return !(x >= 2 && x < 4 && y >= 2 && y < 4);
    if (region.column == 0)
        return x < 3;
    return y < 3;
}

Rgb rampSignal(Part part, double v)
{
    switch (part) {
    case Part::RedRamp: return {v, 0, 0};
    case Part::GreenRamp: return {0, v, 0};
    case Part::BlueRamp: return {0, 0, v};
    case Part::CyanRamp: return {0, v, v};
    case Part::MagentaRamp: return {v, 0, v};
    case Part::YellowRamp: return {v, v, 0};
    default: return {v, v, v};
    }
}

} // namespace

std::string_view TransferName(Transfer transfer)
{
    switch (transfer) {
    case Transfer::Sdr: return "sdr";
    case Transfer::Pq: return "pq";
    case Transfer::Hlg: return "hlg";
    }
    return {};
}

std::optional<Transfer> TransferNamed(std::string_view name)
{
    for (const Transfer t : {Transfer::Sdr, Transfer::Pq, Transfer::Hlg})
        if (TransferName(t) == name)
            return t;
    return std::nullopt;
}

double DefaultWhite(Transfer transfer)
{
    return transfer == Transfer::Sdr ? 100 : TF::Bt2408White;
}

const Region *RegionAt(int column, int row)
{
    for (const Region &region : Regions)
        if (column >= region.column && column < region.column + region.columns && row >= region.row
            && row < region.row + region.rows)
            return &region;
    return nullptr;
}

const std::vector<Step> &Steps()
{
    static const std::vector<Step> steps = [] {
        std::vector<Step> all;
        for (const Region &region : Regions) {
            const int across = region.columns / region.block;
            for (int i = 0; i < region.steps(); ++i)
                all.push_back({&region, i, region.column + (i % across) * region.block,
                               region.row + (i / across) * region.block, region.block});
        }
        return all;
    }();
    return steps;
}

std::array<int, 3> LatticeLevelsOf(int index)
{
    return {index % LatticeLevels, index / LatticeLevels % LatticeLevels, index / (LatticeLevels * LatticeLevels)};
}

double LatticeSignal(int level)
{
    return std::round(level * 1023.0 / (LatticeLevels - 1)) / 1023.0;
}

int LatticeCopyEntry(int index)
{
    return int(std::int64_t(index) * CopyStride % LatticeSize);
}

int LatticeEntry(const Region &region, int index)
{
    if (region.part == Part::LatticeCopy)
        return LatticeCopyEntry(index);
    // The lattice lies as 33 squares of 33 x 33 (one for each blue level, 11
    // across), red across and green down in each.
    const int column = index % region.columns, row = index / region.columns;
    return (column % LatticeLevels) + LatticeLevels * (row % LatticeLevels)
           + LatticeLevels * LatticeLevels * (column / LatticeLevels + 11 * (row / LatticeLevels));
}

Rgb SignalOf(const Recipe &recipe, const Region &region, int index)
{
    switch (region.part) {
    case Part::Landmark: return White;
    case Part::Identity: {
        const std::array<bool, IdentityBits> bits = IdentityOf(recipe);
        const bool bit = bits[std::size_t(index / 2)];
        return (index % 2 == 0) == bit ? White : Black;
    }
    case Part::Lattice:
    case Part::LatticeCopy: {
        const std::array<int, 3> levels = LatticeLevelsOf(LatticeEntry(region, index));
        return {LatticeSignal(levels[0]), LatticeSignal(levels[1]), LatticeSignal(levels[2])};
    }
    case Part::GreyRamp:
    case Part::RedRamp:
    case Part::GreenRamp:
    case Part::BlueRamp:
    case Part::CyanRamp:
    case Part::MagentaRamp:
    case Part::YellowRamp: return rampSignal(region.part, index / double(RampCodes - 1));
    case Part::FineRamp: return rampSignal(region.part, index / double(FineCodes - 1));
    case Part::NearBlack: {
        const double v = index / double(RampCodes - 1);
        return {v, v, v};
    }
    case Part::HueSweep: {
        const int hue = index / (Lightnesses * ChromaSteps);
        const int within = index % (Lightnesses * ChromaSteps);
        return signalOfLight(recipe, sweepColour(hue, within / ChromaSteps, within % ChromaSteps));
    }
    }
    return Black;
}

Rgb SignalAt(const Recipe &recipe, int column, int row)
{
    const Region *region = RegionAt(column, row);
    if (!region)
        return Black;
    const int x = column - region->column, y = row - region->row;
    if (region->part == Part::Landmark)
        return landmarkWhite(*region, x, y) ? White : Black;
    const int across = region->columns / region->block;
    return SignalOf(recipe, *region, (y / region->block) * across + x / region->block);
}

Rgb LightOf(const Recipe &recipe, const Rgb &signal)
{
    switch (recipe.transfer) {
    case Transfer::Pq: return TF::ToNits(TF::Curve::Pq, signal, recipe.white);
    case Transfer::Hlg: return TF::HlgToNits(signal, TF::HlgNominalPeak);
    case Transfer::Sdr: break;
    }
    return TF::ToNits(TF::Curve::Bt1886, signal, recipe.white);
}

// The bits: the magic (4), the transfer (2), the white in cd/m² (14), and
// the sum of the 20 before them modulo 16 (4).
std::array<bool, IdentityBits> IdentityOf(const Recipe &recipe)
{
    const unsigned white = unsigned(std::clamp(std::lround(recipe.white), long(LeastWhite), long(MostWhite)));
    const unsigned value = (IdentityMagic << 16) | (unsigned(recipe.transfer) << 14) | white;
    unsigned sum = 0;
    for (int i = 0; i < 20; ++i)
        sum += (value >> i) & 1u;
    const unsigned word = (value << 4) | (sum & 15u);
    std::array<bool, IdentityBits> bits {};
    for (int i = 0; i < IdentityBits; ++i)
        bits[std::size_t(i)] = (word >> (IdentityBits - 1 - i)) & 1u;
    return bits;
}

std::optional<Recipe> RecipeOf(const std::array<bool, IdentityBits> &bits)
{
    unsigned word = 0;
    for (const bool bit : bits)
        word = (word << 1) | unsigned(bit);
    const unsigned value = word >> 4;
    unsigned sum = 0;
    for (int i = 0; i < 20; ++i)
        sum += (value >> i) & 1u;
    const unsigned transfer = (value >> 14) & 3u;
    const unsigned white = value & 0x3FFFu;
    if ((value >> 16) != IdentityMagic || (sum & 15u) != (word & 15u) || transfer > 2 || white < LeastWhite
        || white > MostWhite)
        return std::nullopt;
    return Recipe {Transfer(transfer), double(white)};
}

ContentLight ContentLightOf(const Recipe &recipe)
{
    ContentLight light;
    double total = 0;
    for (int row = 0; row < Rows; ++row)
        for (int column = 0; column < Columns; ++column) {
            const Rgb nits = LightOf(recipe, SignalAt(recipe, column, row));
            const double brightest = std::max({nits[0], nits[1], nits[2]});
            light.maxCll = std::max(light.maxCll, brightest);
            total += brightest;
        }
    light.maxFall = total / (double(Rows) * Columns);
    return light;
}

void Draw(const Recipe &recipe, std::uint16_t *samples, std::ptrdiff_t stride)
{
    std::vector<std::array<std::uint16_t, 4>> cells(Columns);
    for (int row = 0; row < Rows; ++row) {
        for (int column = 0; column < Columns; ++column) {
            const Rgb signal = SignalAt(recipe, column, row);
            for (std::size_t c = 0; c < 3; ++c)
                cells[std::size_t(column)][c] = std::uint16_t(std::lround(std::clamp(signal[c], 0.0, 1.0) * 65535));
            cells[std::size_t(column)][3] = 65535;
        }
        for (int y = row * CellSize; y < (row + 1) * CellSize; ++y) {
            std::uint16_t *out = samples + stride * y;
            for (int column = 0; column < Columns; ++column)
                for (int x = 0; x < CellSize; ++x, out += 4)
                    std::copy(cells[std::size_t(column)].begin(), cells[std::size_t(column)].end(), out);
        }
    }
}

} // namespace DeepSheet
