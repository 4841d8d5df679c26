#pragma once

// What a picture file says about its colour beside its pixels, as far as
// HDR is concerned: PNG's cICP chunk (the code points of ITU-T H.273: colour
// primaries, transfer characteristics, matrix, full range), its mDCV chunk
// (the mastering display: its primaries and white as CIE 1931 x, y, its
// least and most luminance) and cLLI chunk (MaxCLL and MaxFALL), and whether
// older chunks (iCCP, sRGB, gAMA, cHRM) speak instead.
//
// The reader walks a PNG's chunks up to its image data and trusts nothing:
// a chunk of the wrong length, a length that runs past the end, a bad CRC
// is skipped (and said in `problems`), never read out of bounds. The
// writers give the chunks' bytes (type and payload; the PNG writer adds the
// length and CRC).
//
// Plain C++.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace HdrMetadata {

// ITU-T H.273 code points of what the deep sheet and its captures use.
namespace Code {
inline constexpr int PrimariesBt709 = 1;
inline constexpr int PrimariesBt2020 = 9;
inline constexpr int PrimariesP3 = 12; // SMPTE EG 432-1 (Display P3)
inline constexpr int TransferBt709 = 1;
inline constexpr int TransferLinear = 8;
inline constexpr int TransferSrgb = 13;
inline constexpr int TransferBt2020_10 = 14;
inline constexpr int TransferPq = 16;
inline constexpr int TransferHlg = 18;
inline constexpr int MatrixRgb = 0;
} // namespace Code

struct Cicp
{
    int primaries = 0;
    int transfer = 0;
    int matrix = 0;
    bool fullRange = true;

    friend bool operator==(const Cicp &, const Cicp &) = default;
};

struct Chromaticity
{
    double x = 0;
    double y = 0;
};

struct MasteringDisplay
{
    std::array<Chromaticity, 3> primaries {}; // red, green, blue
    Chromaticity white;
    double maxNits = 0;
    double minNits = 0;
};

struct ContentLight
{
    double maxCll = 0; // cd/m²; 0: unknown
    double maxFall = 0;
};

struct Tags
{
    std::optional<Cicp> cicp;
    std::optional<MasteringDisplay> mastering;
    std::optional<ContentLight> contentLight;
    bool iccProfile = false;
    bool srgb = false;
    std::optional<double> gamma; // gAMA's file gamma (0.45455 for 1/2.2)
    // One sentence for each chunk that could not be read.
    std::vector<std::string> problems;
};

// The tags of a PNG file given whole or as its beginning (at least up to
// its first IDAT). Not a PNG: nothing, and a problem saying so.
Tags ReadPng(const std::uint8_t *data, std::size_t size);

// "BT.2020", "PQ", ...: the code point's name, or its number.
std::string PrimariesName(int code);
std::string TransferName(int code);

// A chunk to write: its type ("cICP") and payload.
struct Chunk
{
    std::array<char, 4> type;
    std::vector<std::uint8_t> payload;
};

Chunk CicpChunk(const Cicp &cicp);
Chunk MasteringChunk(const MasteringDisplay &display);
Chunk ContentLightChunk(const ContentLight &light);

} // namespace HdrMetadata
