#include "generation/Sheets.h"

#include <algorithm>
#include <cstddef>

namespace {

int ChannelOf(ColorValue colour, Channel channel)
{
    switch (channel) {
    case Channel::Red: return RedOf(colour);
    case Channel::Green: return GreenOf(colour);
    case Channel::Blue: return BlueOf(colour);
    }
    return 0;
}

// A level as a pixel holds it.
int Packed(int level) { return std::clamp(level, 0, 255); }

// The counter values (0 to tile - 1) whose level is `level`: the counter
// levels rise strictly, so there is at most one.
std::optional<int> CounterFor(const Sheet &sheet, int level)
{
    for (int counter = 0; counter < sheet.tile; ++counter)
        if (Packed(Sheets::CounterLevel(sheet.mode, counter)) == level)
            return counter;
    return std::nullopt;
}

// The pixel of the counters (a, b, u, v).
SheetPlace PlaceOf(const Sheet &sheet, int a, int b, int u, int v)
{
    const SheetPlace origin = sheet.tileOrigin(a, b);
    return sheet.u == UCounts::Columns ? SheetPlace{origin.x + u, origin.y + v} : SheetPlace{origin.x + v, origin.y + u};
}

std::vector<int> Distinct(std::vector<int> levels)
{
    std::sort(levels.begin(), levels.end());
    levels.erase(std::unique(levels.begin(), levels.end()), levels.end());
    return levels;
}

} // namespace

namespace Sheets {

std::optional<Mode> ModeAt(int index)
{
    if (index < 0 || index >= Count)
        return std::nullopt;
    return All[static_cast<std::size_t>(index)].mode;
}

std::optional<Mode> FromName(std::string_view listText)
{
    for (const Sheet &sheet : All)
        if (sheet.name == listText)
            return sheet.mode;
    return std::nullopt;
}

std::optional<Mode> OfSize(int width, int height)
{
    if (width != height)
        return std::nullopt;
    for (const Sheet &sheet : All)
        if (sheet.size == width)
            return sheet.mode;
    return std::nullopt;
}

ColorValue ColourAt(Mode mode, int x, int y)
{
    const Sheet &sheet = Of(mode);
    if (x < 0 || y < 0 || x >= sheet.size || y >= sheet.size)
        return -1;
    const int column = x / sheet.tile;
    const int row = y / sheet.tile;
    const int a = sheet.order == TileOrder::ColumnByColumn ? column : row;
    const int b = sheet.order == TileOrder::ColumnByColumn ? row : column;
    const int inX = x % sheet.tile;
    const int inY = y % sheet.tile;
    return sheet.u == UCounts::Columns ? Colour(sheet, a, b, inX, inY) : Colour(sheet, a, b, inY, inX);
}

std::vector<SheetPlace> PlacesOf(Mode mode, ColorValue colour)
{
    const Sheet &sheet = Of(mode);
    std::vector<SheetPlace> places;
    if (colour < 0 || colour > 0xFFFFFF)
        return places;
    const std::optional<int> u = CounterFor(sheet, ChannelOf(colour, sheet.uChannel));
    const std::optional<int> v = CounterFor(sheet, ChannelOf(colour, sheet.vChannel));
    if (!u || !v)
        return places;
    const int tileLevel = ChannelOf(colour, sheet.tileChannel);
    for (int a = 0; a < sheet.tilesAcross(); ++a)
        for (int b = 0; b < sheet.tilesAcross(); ++b)
            if (Packed(TileLevel(mode, a, b)) == tileLevel)
                places.push_back(PlaceOf(sheet, a, b, *u, *v));
    std::sort(places.begin(), places.end(),
              [](SheetPlace l, SheetPlace r) { return l.y != r.y ? l.y < r.y : l.x < r.x; });
    return places;
}

std::vector<int> Levels(Mode mode, Channel channel)
{
    const Sheet &sheet = Of(mode);
    std::vector<int> levels;
    if (channel == sheet.tileChannel) {
        for (int a = 0; a < sheet.tilesAcross(); ++a)
            for (int b = 0; b < sheet.tilesAcross(); ++b)
                levels.push_back(Packed(TileLevel(mode, a, b)));
    } else {
        for (int counter = 0; counter < sheet.tile; ++counter)
            levels.push_back(Packed(CounterLevel(mode, counter)));
    }
    return Distinct(std::move(levels));
}

ColorValue NearestHeld(Mode mode, ColorValue colour)
{
    int nearest[3] = {};
    for (const Channel channel : {Channel::Red, Channel::Green, Channel::Blue}) {
        const int wanted = ChannelOf(colour, channel);
        const std::vector<int> levels = Levels(mode, channel);
        // The first level not below the wanted one, or the one before it when
        // that is at least as near.
        auto at = std::lower_bound(levels.begin(), levels.end(), wanted);
        if (at == levels.end() || (at != levels.begin() && wanted - *(at - 1) <= *at - wanted))
            --at;
        nearest[static_cast<int>(channel)] = *at;
    }
    return RGB(nearest[0], nearest[1], nearest[2]);
}

std::uint64_t ColourCount(Mode mode)
{
    std::uint64_t count = 1;
    for (const Channel channel : {Channel::Red, Channel::Green, Channel::Blue})
        count *= Levels(mode, channel).size();
    return count;
}

} // namespace Sheets
