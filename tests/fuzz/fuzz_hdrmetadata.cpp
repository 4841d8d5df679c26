// The reader of a PNG's HDR chunks (cICP, mDCV, cLLI and the older colour
// chunks): any bytes give tags or problems, never a read out of bounds; what
// it reads is what the writers write back.

#include "FuzzTarget.h"
#include "picture/HdrMetadata.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

// A PNG of nothing but `chunk` after a signature and a header.
std::vector<std::uint8_t> withChunk(const HdrMetadata::Chunk &chunk)
{
    std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    const auto put = [&](std::uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8)
            png.push_back(std::uint8_t(v >> shift));
    };
    put(std::uint32_t(chunk.payload.size()));
    const std::size_t typed = png.size();
    png.insert(png.end(), chunk.type.begin(), chunk.type.end());
    png.insert(png.end(), chunk.payload.begin(), chunk.payload.end());
    // PNG's CRC over the type and the payload.
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = typed; i < png.size(); ++i) {
        crc ^= png[i];
        for (int k = 0; k < 8; ++k)
            crc = crc & 1 ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
    }
    put(crc ^ 0xFFFFFFFFu);
    return png;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzTarget::Start();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // A copy of exactly the input's length: a read past it is caught.
    const std::vector<std::uint8_t> bytes(data, data + size);
    const HdrMetadata::Tags tags = HdrMetadata::ReadPng(bytes.data(), bytes.size());
    for (const std::string &problem : tags.problems)
        FuzzTarget::Require(!problem.empty(), "a problem is said in words");

    if (tags.cicp) {
        const HdrMetadata::Tags again = HdrMetadata::ReadPng(withChunk(HdrMetadata::CicpChunk(*tags.cicp)).data(),
                                                             withChunk(HdrMetadata::CicpChunk(*tags.cicp)).size());
        FuzzTarget::Require(again.cicp && *again.cicp == *tags.cicp, "a cICP chunk written reads back the same");
        FuzzTarget::Require(!HdrMetadata::TransferName(tags.cicp->transfer).empty()
                                && !HdrMetadata::PrimariesName(tags.cicp->primaries).empty(),
                            "every code point has a name");
    }
    if (tags.mastering) {
        for (const HdrMetadata::Chromaticity &c : tags.mastering->primaries)
            FuzzTarget::Require(c.x >= 0 && c.x <= 65535.0 / 50000 && c.y >= 0 && c.y <= 65535.0 / 50000,
                                "a chromaticity is within what 16 bits in 1/50000 hold");
        const std::vector<std::uint8_t> png = withChunk(HdrMetadata::MasteringChunk(*tags.mastering));
        const HdrMetadata::Tags again = HdrMetadata::ReadPng(png.data(), png.size());
        FuzzTarget::Require(again.mastering && std::abs(again.mastering->maxNits - tags.mastering->maxNits) < 1e-3
                                && std::abs(again.mastering->white.x - tags.mastering->white.x) < 1e-9,
                            "an mDCV chunk written reads back the same");
    }
    if (tags.contentLight) {
        FuzzTarget::Require(tags.contentLight->maxCll >= 0 && tags.contentLight->maxFall >= 0,
                            "content light is never negative");
        const std::vector<std::uint8_t> png = withChunk(HdrMetadata::ContentLightChunk(*tags.contentLight));
        const HdrMetadata::Tags again = HdrMetadata::ReadPng(png.data(), png.size());
        FuzzTarget::Require(again.contentLight && std::abs(again.contentLight->maxCll - tags.contentLight->maxCll) < 1e-3,
                            "a cLLI chunk written reads back the same");
    }
    return 0;
}
