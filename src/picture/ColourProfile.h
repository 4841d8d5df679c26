#pragma once

// What a picture's embedded profile says its numbers mean, read with
// LittleCMS 2 (Qt's QColorSpace reads matrix-and-curve profiles but tells
// nothing of their chromaticities, and refuses profiles of look-up tables):
// the profile's description, its primaries and white as chromaticities and,
// where they are a known set (Primaries), by name, and its transfer curve.
// Also the profiles make embeds: each set of primaries with its own curve.

#include "colour/Primaries.h"
#include "picture/EmbeddedProfile.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <optional>

namespace ColourProfile {

struct Description
{
    bool readable = false;
    QString refused;     // why not, when not readable
    QString source;      // "ICC", "cICP", "sRGB chunk"
    QString description; // the profile's own words ("Display P3")
    Primaries::Xy red, green, blue, white;
    // The known set the primaries are (within 0.002 in x and y), if any.
    std::optional<Primaries::Set> set;
    QString whiteName; // "D65", "D50", or "x,y"
    QString transfer;  // "sRGB", "gamma 2.2", "BT.709", "linear", "PQ", "table"
    bool fullRange = true;
    // A profile held beside the one that decides (cICP beside an ICC profile).
    QString alsoThere;
};

// Reads an ICC profile (bytes from a stranger: a malformed one is refused,
// with the reason in `refused`).
Description DescribeIcc(const QByteArray &icc);
// Reads H.273's code points.
Description DescribeCicp(const EmbeddedProfile::Cicp &cicp);
// What decides how the picture's numbers are taken: cICP over an ICC
// profile over an sRGB chunk, as PNG's third edition orders them. None
// when the file holds no profile.
std::optional<Description> Describe(const EmbeddedProfile::Embedded &embedded);

// The profile: line's value: "ICC \"Display P3\": primaries Display P3,
// white D65, transfer sRGB".
QString Text(const Description &description);
QJsonObject Json(const Description &description);

// An ICC profile (version 4, matrix and curves) of a known set with its
// own curve (BT.2020 with BT.709's), described by its name. Empty when
// LittleCMS cannot make it.
QByteArray Make(Primaries::Set set);

} // namespace ColourProfile
