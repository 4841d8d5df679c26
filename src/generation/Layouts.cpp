// The eight layouts. Each takes its own start reading first, sizes the canvas
// N x N, then walks four nested loops: a and b pick the tile, u and v the
// pixel in it. Every pixel is computed from the counters and written on its
// own; AfterTile follows every tile.

#include "generation/SheetGenerator.h"

#include "generation/Canvas.h"
#include "generation/GenerationHost.h"
#include "generation/LevelTables.h"

// 4096 x 4096, 16 x 16 tiles of 256 x 256, visited down each column of tiles.
// Red runs along x in the tile, green along y, blue is the tile: every one of
// the 16,777,216 colours exactly once.
void SheetGenerator::Draw16Million()
{
    const RunTimer start = host_.GetTickCount();
    Canvas &pic = host_.pic1();
    pic.setWidth(4096);
    pic.setHeight(4096);
    for (int a = 0; a <= 15; ++a) {
        for (int b = 0; b <= 15; ++b) {
            const int blue = 16 * a + b;
            for (int u = 0; u <= 255; ++u)
                for (int v = 0; v <= 255; ++v)
                    pic.setPixel(256 * a + u, 256 * b + v, RGB(u, v, blue));
            if (!AfterTile(start, {256 * a, 256 * b, 256, 256}))
                return;
        }
    }
}

// 1024 x 1024, 8 x 8 tiles of 128 x 128, visited down each column of tiles;
// each tile row by row. Red 2 x row, green 2 x column, blue the tile level.
void SheetGenerator::Draw1Million()
{
    const RunTimer start = host_.GetTickCount();
    const auto L1 = LevelTables::L1();
    Canvas &pic = host_.pic1();
    pic.setWidth(1024);
    pic.setHeight(1024);
    for (int a = 0; a <= 7; ++a) {
        for (int b = 0; b <= 7; ++b) {
            const int blue = 16 * L1[a] + 2 * L1[b] + 3;
            for (int u = 0; u <= 127; ++u)
                for (int v = 0; v <= 127; ++v)
                    pic.setPixel(128 * a + v, 128 * b + u, RGB(2 * u, 2 * v, blue));
            if (!AfterTile(start, {128 * a, 128 * b, 128, 128}))
                return;
        }
    }
}

// 512 x 512, 8 x 8 tiles of 64 x 64, visited down each column of tiles; each
// tile row by row. Red 4 x row, blue 4 x column, green the tile level.
void SheetGenerator::Draw256Kilo()
{
    const RunTimer start = host_.GetTickCount();
    const auto L2 = LevelTables::L2();
    Canvas &pic = host_.pic1();
    pic.setWidth(512);
    pic.setHeight(512);
    for (int a = 0; a <= 7; ++a) {
        for (int b = 0; b <= 7; ++b) {
            const int green = 16 * L2[a] + L2[b];
            for (int u = 0; u <= 63; ++u)
                for (int v = 0; v <= 63; ++v)
                    pic.setPixel(64 * a + v, 64 * b + u, RGB(4 * u, green, 4 * v));
            if (!AfterTile(start, {64 * a, 64 * b, 64, 64}))
                return;
        }
    }
}

// 256 x 256, 4 x 4 tiles of 64 x 64, visited along each row of tiles; each
// tile column by column. The tile levels of green reach 313; packing turns
// the last three into 255.
void SheetGenerator::Draw64Kilo()
{
    const RunTimer start = host_.GetTickCount();
    const auto L3 = LevelTables::L3();
    Canvas &pic = host_.pic1();
    pic.setWidth(256);
    pic.setHeight(256);
    for (int a = 0; a <= 3; ++a) {
        for (int b = 0; b <= 3; ++b) {
            const int green = 16 * L3[a] + 4 * L3[b] + 13;
            for (int u = 0; u <= 63; ++u)
                for (int v = 0; v <= 63; ++v)
                    pic.setPixel(64 * b + u, 64 * a + v, RGB(4 * u, green, 4 * v));
            if (!AfterTile(start, {64 * b, 64 * a, 64, 64}))
                return;
        }
    }
}

// The small modes all visit their tiles along each row of tiles and fill each
// tile column by column: x = w b + u, y = w a + v.

// 128 x 128, 2 x 2 tiles of 64 x 64. Red counts down the columns of tiles.
void SheetGenerator::Draw16Kilo()
{
    const RunTimer start = host_.GetTickCount();
    const auto Levels4 = LevelTables::Levels4();
    Canvas &pic = host_.pic1();
    pic.setWidth(128);
    pic.setHeight(128);
    for (int a = 0; a <= 1; ++a) {
        for (int b = 0; b <= 1; ++b) {
            const int red = Levels4[a + 2 * b];
            for (int u = 0; u <= 63; ++u)
                for (int v = 0; v <= 63; ++v)
                    pic.setPixel(64 * b + u, 64 * a + v, RGB(red, 4 * u, 4 * v));
            if (!AfterTile(start, {64 * b, 64 * a, 64, 64}))
                return;
        }
    }
}

// 64 x 64, 4 x 4 tiles of 16 x 16: every colour whose components are
// multiples of 17.
void SheetGenerator::Draw4096()
{
    const RunTimer start = host_.GetTickCount();
    Canvas &pic = host_.pic1();
    pic.setWidth(64);
    pic.setHeight(64);
    for (int a = 0; a <= 3; ++a) {
        for (int b = 0; b <= 3; ++b) {
            const int red = 17 * (4 * a + b);
            for (int u = 0; u <= 15; ++u)
                for (int v = 0; v <= 15; ++v)
                    pic.setPixel(16 * b + u, 16 * a + v, RGB(red, 17 * u, 17 * v));
            if (!AfterTile(start, {16 * b, 16 * a, 16, 16}))
                return;
        }
    }
}

// 45 x 45, 3 x 3 tiles of 15 x 15: 9 red levels, 15 green and blue levels.
void SheetGenerator::Draw2025()
{
    const RunTimer start = host_.GetTickCount();
    const auto Levels9 = LevelTables::Levels9();
    const auto Levels15 = LevelTables::Levels15();
    Canvas &pic = host_.pic1();
    pic.setWidth(45);
    pic.setHeight(45);
    for (int a = 0; a <= 2; ++a) {
        for (int b = 0; b <= 2; ++b) {
            const int red = Levels9[3 * a + b];
            for (int u = 0; u <= 14; ++u)
                for (int v = 0; v <= 14; ++v)
                    pic.setPixel(15 * b + u, 15 * a + v, RGB(red, Levels15[u], Levels15[v]));
            if (!AfterTile(start, {15 * b, 15 * a, 15, 15}))
                return;
        }
    }
}

// 27 x 27, 3 x 3 tiles of 9 x 9: 9 levels in every channel.
void SheetGenerator::Draw729()
{
    const RunTimer start = host_.GetTickCount();
    const auto Levels9 = LevelTables::Levels9();
    Canvas &pic = host_.pic1();
    pic.setWidth(27);
    pic.setHeight(27);
    for (int a = 0; a <= 2; ++a) {
        for (int b = 0; b <= 2; ++b) {
            const int red = Levels9[3 * a + b];
            for (int u = 0; u <= 8; ++u)
                for (int v = 0; v <= 8; ++v)
                    pic.setPixel(9 * b + u, 9 * a + v, RGB(red, Levels9[u], Levels9[v]));
            if (!AfterTile(start, {9 * b, 9 * a, 9, 9}))
                return;
        }
    }
}
