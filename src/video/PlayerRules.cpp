#include "video/PlayerRules.h"

#include "Texts.h"

#include <QCoreApplication>

namespace PlayerRules {

namespace {

TINTWELL_TR_CONTEXT("PlayerRules");

using VideoFrames::Matrix;

// Each row as the installed player showed our clips (tests/tst_players.cpp
// runs them again): untagged BT.601 data at 720x576, 720x480, 704x576,
// 1024x600, 1278x576, 1280x480, 1280x700, 960x720 and up; full range tagged
// in MP4 and in Matroska; each tag left out on its own.
const std::vector<Rule> Table = {
    // No --player: the tags, and Chromium's and Firefox's guess where they are missing.
    {Player::Default, "", "", 0, 720, false, false, false, false, ""},
    // mpv 0.35 (video/csputils.c): BT.709 from 1280 wide or above 576 lines;
    // the primaries converted to BT.709 for the screen or --vo=image.
    {Player::Mpv, "mpv", "mpv", 1280, 577, false, false, false, true, ""},
    // GStreamer 1.22 (gst_video_colorimetry defaults): BT.709 above 576
    // lines; qtdemux drops the range flag; a colorimetry with its matrix
    // unknown is replaced whole by the default for the size.
    {Player::Gstreamer, "gstreamer", "GStreamer", 0, 577, true, true, true, false, ""},
    // ffmpeg 5.1, its default scale to RGB: BT.601 whenever untagged.
    {Player::Ffmpeg, "ffmpeg", "ffmpeg", 0, 0, false, false, false, false, ""},
    // Chromium and Firefox (software decoding, libyuv): BT.709 from 720 lines.
    {Player::Chromium, "chromium", "Chromium", 0, 720, false, false, false, false, "h264,vp8,vp9,av1,theora"},
    {Player::Firefox, "firefox", "Firefox", 0, 720, false, false, false, false, "h264,vp8,vp9,av1,theora"},
};

bool untagged(const QString &tag)
{
    return tag.isEmpty() || tag == QLatin1String("unknown") || tag == QLatin1String("unspecified");
}

std::optional<Matrix> taggedMatrix(const QString &tag)
{
    if (tag == QLatin1String("bt709"))
        return Matrix::Bt709;
    if (tag == QLatin1String("bt470bg") || tag == QLatin1String("smpte170m") || tag == QLatin1String("fcc"))
        return Matrix::Bt601;
    if (tag == QLatin1String("bt2020nc") || tag == QLatin1String("bt2020c"))
        return Matrix::Bt2020;
    return std::nullopt;
}

QString sizeRule(const Rule &rule)
{
    if (rule.bt709FromWidth > 0 && rule.bt709FromHeight > 0)
        return tr("BT.709 from %1 wide or %2 lines").arg(rule.bt709FromWidth).arg(rule.bt709FromHeight);
    if (rule.bt709FromHeight > 0)
        return tr("BT.709 from %1 lines").arg(rule.bt709FromHeight);
    return tr("always BT.601");
}

bool isMp4(const QString &container)
{
    return container.split(QLatin1Char(',')).contains(QLatin1String("mp4"));
}

// mpv's guess for untagged primaries: SD sizes have their own.
Primaries::Set guessedPrimaries(const Tags &tags)
{
    if (tags.width >= 1280 || tags.height > 576)
        return Primaries::Set::Bt709;
    if (tags.height == 576)
        return Primaries::Set::Bt601_625;
    if (tags.height == 480 || tags.height == 486)
        return Primaries::Set::Bt601_525;
    return Primaries::Set::Bt709;
}

QString setName(Primaries::Set set)
{
    const std::string_view name = Primaries::Of(set).name;
    return QString::fromLatin1(name.data(), qsizetype(name.size()));
}

} // namespace

const std::vector<Rule> &Rules()
{
    return Table;
}

const Rule &Of(Player player)
{
    return Table[std::size_t(player)];
}

std::optional<Player> Named(const QString &name)
{
    for (const Rule &rule : Table)
        if (rule.player != Player::Default && name.compare(QLatin1String(rule.name), Qt::CaseInsensitive) == 0)
            return rule.player;
    return std::nullopt;
}

QString Names()
{
    QStringList names;
    for (const Rule &rule : Table)
        if (rule.player != Player::Default)
            names << QLatin1String(rule.name);
    return names.join(QLatin1Char('|'));
}

Shown Decide(Player player, const Tags &tags)
{
    const Rule &rule = Of(player);
    Shown shown;
    const QString plays = QLatin1String(rule.plays);
    if (!plays.isEmpty() && !plays.split(QLatin1Char(',')).contains(tags.codec)) {
        shown.plays = false;
        shown.notes << tr("plays no %1 video: shown as tagged").arg(tags.codec);
    }
    if (tags.rgb) {
        shown.matrix = Matrix::Rgb;
        shown.fullRange = true;
        return shown;
    }
    const bool asTagged = !shown.plays;

    const std::optional<Matrix> matrix = taggedMatrix(tags.matrix);
    const bool guessBySize = !matrix;
    if (matrix) {
        shown.matrix = *matrix;
    } else {
        const Rule &guessing = asTagged ? Of(Player::Default) : rule;
        const bool wide = guessing.bt709FromWidth > 0 && tags.width >= guessing.bt709FromWidth;
        const bool tall = guessing.bt709FromHeight > 0 && tags.height >= guessing.bt709FromHeight;
        shown.matrix = wide || tall ? Matrix::Bt709 : Matrix::Bt601;
        shown.notes << tr("matrix untagged: %1").arg(sizeRule(guessing));
    }

    const bool rangeTagged = !untagged(tags.range);
    const bool taggedFull = tags.range == QLatin1String("pc");
    if (!asTagged && rule.ignoresMp4Range && isMp4(tags.container)) {
        shown.fullRange = false;
        if (taggedFull || !rangeTagged)
            shown.notes << (taggedFull ? tr("the full-range flag of MP4 is not read: limited")
                                       : tr("range untagged: limited"));
    } else if (!asTagged && rule.untaggedMatrixGuessesRange && guessBySize) {
        shown.fullRange = false;
        if (taggedFull || !rangeTagged)
            shown.notes << (taggedFull ? tr("the full-range flag without a matrix tag is not read: limited")
                                       : tr("range untagged: limited"));
    } else if (rangeTagged) {
        shown.fullRange = taggedFull;
    } else if (!asTagged && rule.untaggedRangeFullWithMatrix) {
        shown.fullRange = true;
        shown.notes << tr("range untagged beside a tagged matrix: full");
    } else {
        shown.fullRange = false;
        shown.notes << tr("range untagged: limited");
    }

    if (!asTagged && rule.convertsPrimaries) {
        const bool primariesTagged = !untagged(tags.primaries);
        const std::optional<Primaries::Set> tagged =
            primariesTagged ? Primaries::Named(tags.primaries.toStdString()) : std::nullopt;
        if (primariesTagged && !tagged) {
            shown.notes << tr("primaries %1 converted, not modelled here").arg(tags.primaries);
            return shown;
        }
        const Primaries::Set from = tagged ? *tagged : guessedPrimaries(tags);
        if (!tagged)
            shown.notes << tr("primaries untagged: %1 for %2x%3").arg(setName(from)).arg(tags.width).arg(tags.height);
        if (from != Primaries::Set::Bt709)
            shown.convertedFrom = from;
    }
    return shown;
}

QString Describe(Player player, const Shown &shown)
{
    QString text = QStringLiteral("%1 %2").arg(VideoFrames::MatrixName(shown.matrix),
                                               shown.fullRange ? QStringLiteral("full") : QStringLiteral("limited"));
    if (shown.convertedFrom)
        text += QStringLiteral(", %1 converted to BT.709 (clipped)").arg(setName(*shown.convertedFrom));
    if (player == Player::Default) {
        if (!shown.notes.isEmpty())
            text += QStringLiteral(" (%1; %2)").arg(shown.notes.join(QLatin1String("; ")),
                                                    tr("Chromium's and Firefox's rule; --player for another's"));
        return text;
    }
    text += QStringLiteral(" (%1").arg(QLatin1String(Of(player).title));
    text += shown.notes.isEmpty() ? tr(": as tagged)") : QStringLiteral(": %1)").arg(shown.notes.join(QLatin1String("; ")));
    return text;
}

Primaries::Converter ConversionOf(Primaries::Set from)
{
    return Primaries::Converter(from, Primaries::Set::Bt709, Primaries::GamutHandling::Clip,
                                Primaries::Transfer::Gamma24, Primaries::Transfer::Gamma24);
}

} // namespace PlayerRules
