#pragma once

// The deep sheet: a colour sheet for HDR and deep colour, beside the eight
// sheets of 8-bit colours. It is 3840 x 2160 pixels at 16 bits a channel, in
// BT.2020 primaries, its numbers encoded with PQ, HLG or (for SDR) BT.1886,
// and built from cells of 8 x 8 pixels, large enough that 4:2:0 chroma and a
// player's scaling filters leave the middle of each cell as it was made: a
// capture is read cell by cell, never pixel by pixel.
//
// Its parts, as data (Regions): landmarks in the four corners, each of its
// own shape, to find it and tell which way round it is; an identity strip
// that says which transfer and which SDR white it was made with, in black
// and white blocks that survive any tone mapping; the 33³ lattice of 10-bit
// codes (three quarters of it outside sRGB); a second copy of the lattice
// in another order, so that a lossy codec's error around one cell is not its
// error around the other; the 1,024-code grey ramp and the red, green, blue,
// cyan, magenta and yellow ramps; near-black steps in blocks of 2 x 2 cells;
// hue x lightness sweeps that cross the sRGB and Display P3 borders at SDR
// light; a 4,096-code grey ramp that only a 12-bit or deeper chain keeps.
//
// A cell's numbers are its signal, 0 to 1 a channel (the picture holds
// round(signal * 65535)); its light follows from the recipe.
//
// Plain C++.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace DeepSheet {

using Rgb = std::array<double, 3>;

inline constexpr int Width = 3840;
inline constexpr int Height = 2160;
inline constexpr int CellSize = 8;
inline constexpr int Columns = Width / CellSize;
inline constexpr int Rows = Height / CellSize;
// The mode name `modes` lists and `make` takes.
inline constexpr std::string_view Name = "deep";

// How the sheet's numbers encode light.
enum class Transfer { Sdr, Pq, Hlg };

// "sdr", "pq", "hlg"
std::string_view TransferName(Transfer transfer);
std::optional<Transfer> TransferNamed(std::string_view name);

struct Recipe
{
    Transfer transfer = Transfer::Pq;
    // The SDR reference white in cd/m²: where the sweeps' light of 1 lies in
    // PQ and HLG (BT.2408's 203 by default), the white of code 1023 in SDR
    // (100 by default).
    double white = 203;
};

// The white a transfer's sheet is made with unless told: 203 for PQ and
// HLG, 100 for SDR.
double DefaultWhite(Transfer transfer);
// The least and most SDR white the identity strip can carry.
inline constexpr int LeastWhite = 1;
inline constexpr int MostWhite = 10000;

enum class Part {
    Landmark,
    Identity,
    Lattice,
    LatticeCopy,
    GreyRamp,
    RedRamp,
    GreenRamp,
    BlueRamp,
    CyanRamp,
    MagentaRamp,
    YellowRamp,
    NearBlack,
    HueSweep,
    FineRamp,
};

// A rectangle of cells and what it holds. `block` cells across and down make
// one step (the near-black steps are 2 x 2 cells; a landmark is one block).
struct Region
{
    Part part;
    std::string_view name;
    int column;
    int row;
    int columns;
    int rows;
    int block = 1;

    constexpr int steps() const { return (columns / block) * (rows / block); }
};

inline constexpr int LatticeLevels = 33;
inline constexpr int LatticeSize = LatticeLevels * LatticeLevels * LatticeLevels;
inline constexpr int RampCodes = 1024;
inline constexpr int FineCodes = 4096;
inline constexpr int NearBlackSteps = 128;
inline constexpr int Hues = 72;
inline constexpr int Lightnesses = 6;
inline constexpr int ChromaSteps = 16;
// The identity strip: its bits, each a block of white or black cells
// followed by a block of the opposite, so that a bit is read by comparing
// the two whatever the tone curve did.
inline constexpr int IdentityBits = 24;
inline constexpr int IdentityBlock = 4;

// clang-format off
inline constexpr std::array<Region, 18> Regions = {{
    {Part::Landmark,    "top-left landmark",       0,   0,   6,   6, 6},
    {Part::Landmark,    "top-right landmark",    474,   0,   6,   6, 6},
    {Part::Landmark,    "bottom-left landmark",    0, 264,   6,   6, 6},
    {Part::Landmark,    "bottom-right landmark", 474, 264,   6,   6, 6},
    {Part::Identity,    "identity",                8,   1, 2 * IdentityBits * IdentityBlock, IdentityBlock, IdentityBlock},
    {Part::Identity,    "identity below",          8, 265, 2 * IdentityBits * IdentityBlock, IdentityBlock, IdentityBlock},
    {Part::Lattice,     "lattice",                 0,   6, 363,  99},
    {Part::LatticeCopy, "lattice copy",            0, 105, 363,  99},
    {Part::HueSweep,    "hue sweeps",            363,   6, Lightnesses * ChromaSteps, Hues},
    {Part::NearBlack,   "near-black steps",      363,  80,  64,   8, 2},
    {Part::GreyRamp,    "grey ramp",               0, 204, 256,   4},
    {Part::RedRamp,     "red ramp",                0, 208, 256,   4},
    {Part::GreenRamp,   "green ramp",              0, 212, 256,   4},
    {Part::BlueRamp,    "blue ramp",               0, 216, 256,   4},
    {Part::CyanRamp,    "cyan ramp",               0, 220, 256,   4},
    {Part::MagentaRamp, "magenta ramp",            0, 224, 256,   4},
    {Part::YellowRamp,  "yellow ramp",             0, 228, 256,   4},
    {Part::FineRamp,    "fine grey ramp",          0, 232, 256,  16},
}};
// clang-format on

// The region the cell (column, row) belongs to; none for the background
// (black).
const Region *RegionAt(int column, int row);

// A step of a region: where it lies (its top-left cell) and its index within
// the region, in reading order of its blocks.
struct Step
{
    const Region *region = nullptr;
    int index = 0;
    int column = 0;
    int row = 0;
    int cells = 1; // the step is cells x cells cells
};

// Every step of every region, in the order of the table.
const std::vector<Step> &Steps();

// A lattice index's three levels (0 to 32), red fastest.
std::array<int, 3> LatticeLevelsOf(int index);
// A lattice level as a signal: the 10-bit code round(level * 1023 / 32).
double LatticeSignal(int level);
// Which lattice entry the copy holds at its index.
int LatticeCopyEntry(int index);
// Which lattice entry a step of the lattice or its copy holds.
int LatticeEntry(const Region &region, int index);

// The signal of step `index` of a region; the landmarks' and identity's
// steps are their cells (white or black).
Rgb SignalOf(const Recipe &recipe, const Region &region, int index);
// The signal the sheet holds at the cell (column, row).
Rgb SignalAt(const Recipe &recipe, int column, int row);

// The sheet's signal as light on its reference display: linear BT.2020 in
// cd/m² (HLG on a 1,000 cd/m² display, BT.1886 with a black of 0).
Rgb LightOf(const Recipe &recipe, const Rgb &signal);

// The identity's bits for a recipe, first bit first, and the recipe read
// back from bits (none when they do not hold one).
std::array<bool, IdentityBits> IdentityOf(const Recipe &recipe);
std::optional<Recipe> RecipeOf(const std::array<bool, IdentityBits> &bits);

// What HDR metadata says about the sheet: its brightest channel anywhere
// (MaxCLL) and its frame average of the brightest channel (MaxFALL), cd/m².
struct ContentLight
{
    double maxCll = 0;
    double maxFall = 0;
};
ContentLight ContentLightOf(const Recipe &recipe);

// Draws the sheet as 16-bit samples, four a pixel (red, green, blue and a
// filler of 65535, as QImage's RGBX64 lies in memory); `stride` counts
// samples from one row to the next.
void Draw(const Recipe &recipe, std::uint16_t *samples, std::ptrdiff_t stride);

} // namespace DeepSheet
