#pragma once

// What make's clip options ask for, as a recipe of Y'CbCr data and tags:
// --matrix, --range, --chroma and --bits say how the data is made, the tags
// say the same unless --tag-matrix, --tag-range or --tag-primaries say
// something else (or "none"), or --tag-transfer, or --untagged leaves them
// all out.

#include "video/VideoFrames.h"

#include <QSize>
#include <QString>

#include <optional>

namespace ClipRecipe {

// The options as given; none: not given.
struct Given
{
    std::optional<QString> matrix;
    std::optional<QString> range;
    std::optional<QString> chroma;
    std::optional<QString> bits;
    std::optional<QString> tagMatrix;
    std::optional<QString> tagRange;
    std::optional<QString> tagPrimaries;
    std::optional<QString> tagTransfer;
    bool untagged = false;

    // Whether any of them asks for a Y'CbCr clip.
    bool any() const;
};

// The recipe, defaults filled in (BT.709, limited, 4:2:0, 8 bits, true
// tags); none and `error` set to a sentence naming the option and what it
// takes when a value is malformed or the options contradict each other.
std::optional<VideoFrames::YcbcrRecipe> Parse(const Given &given, QString &error);

// Why a clip of `format` cannot hold what `recipe` asks for a sheet of
// `size`; empty when it can. H.264 keeps shared chroma only in even sizes,
// and has no word for a range left out while other tags are written.
QString Refusal(const VideoFrames::YcbcrRecipe &recipe, VideoFrames::ClipFormat format, QSize size);

} // namespace ClipRecipe
