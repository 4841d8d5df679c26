#include "picture/HdrMetadata.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

namespace HdrMetadata {

namespace {

constexpr std::uint8_t Signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
// mDCV's chromaticities are in 1/50,000, its luminances and cLLI's in 1/10,000 cd/m².
constexpr double ChromaticityUnit = 50000;
constexpr double LuminanceUnit = 10000;
// A chunk longer than PNG allows (2^31 - 1) is a broken file.
constexpr std::uint32_t LongestChunk = 0x7FFFFFFFu;

std::uint32_t be32(const std::uint8_t *p)
{
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

std::uint16_t be16(const std::uint8_t *p)
{
    return std::uint16_t((p[0] << 8) | p[1]);
}

void put32(std::vector<std::uint8_t> &out, std::uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(std::uint8_t(v >> shift));
}

void put16(std::vector<std::uint8_t> &out, std::uint16_t v)
{
    out.push_back(std::uint8_t(v >> 8));
    out.push_back(std::uint8_t(v));
}

std::uint32_t crcTable(std::uint32_t n)
{
    std::uint32_t c = n;
    for (int k = 0; k < 8; ++k)
        c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    return c;
}

// The CRC of PNG (ISO 3309) over the type and the payload.
std::uint32_t crcOf(const std::uint8_t *data, std::size_t size)
{
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t {};
        for (std::uint32_t n = 0; n < 256; ++n)
            t[n] = crcTable(n);
        return t;
    }();
    std::uint32_t c = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i)
        c = table[(c ^ data[i]) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

bool typeIs(const std::uint8_t *type, const char *name)
{
    return std::memcmp(type, name, 4) == 0;
}

// Chunk type names start upper or lower case; mDCV and cLLI were mDCv and
// cLLi in drafts of PNG's third edition, which some writers still use.
bool typeIsAnyCase(const std::uint8_t *type, const char *name)
{
    for (int i = 0; i < 4; ++i)
        if (std::tolower(type[i]) != std::tolower(static_cast<unsigned char>(name[i])))
            return false;
    return true;
}

std::string typeText(const std::uint8_t *type)
{
    std::string text;
    for (int i = 0; i < 4; ++i)
        text += std::isalpha(type[i]) ? char(type[i]) : '?';
    return text;
}

Chunk chunk(const char *type, std::vector<std::uint8_t> payload)
{
    return {{type[0], type[1], type[2], type[3]}, std::move(payload)};
}

std::uint32_t units(double value, double unit)
{
    return std::uint32_t(std::clamp(std::round(value * unit), 0.0, 4294967295.0));
}

std::uint16_t chromaticityUnits(double value)
{
    return std::uint16_t(std::clamp(std::round(value * ChromaticityUnit), 0.0, 65535.0));
}

} // namespace

Tags ReadPng(const std::uint8_t *data, std::size_t size)
{
    Tags tags;
    if (!data || size < sizeof Signature || std::memcmp(data, Signature, sizeof Signature) != 0) {
        tags.problems.push_back("it is not a PNG file");
        return tags;
    }
    std::size_t at = sizeof Signature;
    while (size - at >= 12) {
        const std::uint32_t length = be32(data + at);
        const std::uint8_t *type = data + at + 4;
        if (length > LongestChunk || length > size - at - 12) {
            tags.problems.push_back("chunk " + typeText(type) + " runs past the end of the file");
            return tags;
        }
        const std::uint8_t *payload = data + at + 8;
        const std::string name = typeText(type);
        if (typeIs(type, "IDAT") || typeIs(type, "IEND"))
            return tags;
        if (crcOf(type, std::size_t(length) + 4) != be32(payload + length)) {
            tags.problems.push_back("chunk " + name + " has a bad CRC");
        } else if (typeIs(type, "cICP")) {
            if (length == 4)
                tags.cicp = Cicp {payload[0], payload[1], payload[2], payload[3] != 0};
            else
                tags.problems.push_back("chunk cICP is " + std::to_string(length) + " bytes, not 4");
        } else if (typeIsAnyCase(type, "mDCV")) {
            if (length == 24) {
                MasteringDisplay display;
                for (std::size_t i = 0; i < 3; ++i)
                    display.primaries[i] = {be16(payload + 4 * i) / ChromaticityUnit,
                                            be16(payload + 4 * i + 2) / ChromaticityUnit};
                display.white = {be16(payload + 12) / ChromaticityUnit, be16(payload + 14) / ChromaticityUnit};
                display.maxNits = be32(payload + 16) / LuminanceUnit;
                display.minNits = be32(payload + 20) / LuminanceUnit;
                tags.mastering = display;
            } else {
                tags.problems.push_back("chunk " + name + " is " + std::to_string(length) + " bytes, not 24");
            }
        } else if (typeIsAnyCase(type, "cLLI")) {
            if (length == 8)
                tags.contentLight = ContentLight {be32(payload) / LuminanceUnit, be32(payload + 4) / LuminanceUnit};
            else
                tags.problems.push_back("chunk " + name + " is " + std::to_string(length) + " bytes, not 8");
        } else if (typeIs(type, "iCCP")) {
            tags.iccProfile = true;
        } else if (typeIs(type, "sRGB")) {
            tags.srgb = true;
        } else if (typeIs(type, "gAMA")) {
            if (length == 4 && be32(payload) > 0)
                tags.gamma = be32(payload) / 100000.0;
        }
        at += std::size_t(length) + 12;
    }
    return tags;
}

std::string PrimariesName(int code)
{
    switch (code) {
    case Code::PrimariesBt709: return "BT.709";
    case 5: return "BT.601-625";
    case 6: return "BT.601-525";
    case Code::PrimariesBt2020: return "BT.2020";
    case 11: return "DCI-P3";
    case Code::PrimariesP3: return "Display P3";
    default: return std::to_string(code);
    }
}

std::string TransferName(int code)
{
    switch (code) {
    case Code::TransferBt709:
    case 6:
    case Code::TransferBt2020_10:
    case 15: return "BT.709";
    case 4: return "gamma 2.2";
    case 5: return "gamma 2.8";
    case Code::TransferLinear: return "linear";
    case Code::TransferSrgb: return "sRGB";
    case Code::TransferPq: return "PQ";
    case Code::TransferHlg: return "HLG";
    default: return std::to_string(code);
    }
}

Chunk CicpChunk(const Cicp &cicp)
{
    return chunk("cICP", {std::uint8_t(cicp.primaries), std::uint8_t(cicp.transfer), std::uint8_t(cicp.matrix),
                          std::uint8_t(cicp.fullRange ? 1 : 0)});
}

Chunk MasteringChunk(const MasteringDisplay &display)
{
    std::vector<std::uint8_t> payload;
    for (const Chromaticity &c : display.primaries) {
        put16(payload, chromaticityUnits(c.x));
        put16(payload, chromaticityUnits(c.y));
    }
    put16(payload, chromaticityUnits(display.white.x));
    put16(payload, chromaticityUnits(display.white.y));
    put32(payload, units(display.maxNits, LuminanceUnit));
    put32(payload, units(display.minNits, LuminanceUnit));
    return chunk("mDCV", std::move(payload));
}

Chunk ContentLightChunk(const ContentLight &light)
{
    std::vector<std::uint8_t> payload;
    put32(payload, units(light.maxCll, LuminanceUnit));
    put32(payload, units(light.maxFall, LuminanceUnit));
    return chunk("cLLI", std::move(payload));
}

} // namespace HdrMetadata
