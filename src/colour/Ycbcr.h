#pragma once

// Y'CbCr as pictures travel in it: the matrices (BT.601, BT.709, BT.2020)
// and ranges (full, limited) that code R'G'B' as Y'CbCr and back. Without
// rounding both directions are affine, so each is a 3x4 map on values from
// 0 to 1 (codes divided by 255 on the Y'CbCr side), and a picture encoded
// with one matrix and range and decoded with another went through the
// product of the one with the other's inverse.

#include <array>

namespace Ycbcr {

enum class Matrix { Bt601, Bt709, Bt2020 };
enum class Range { Full, Limited };

inline constexpr std::array<Matrix, 3> Matrices = {Matrix::Bt601, Matrix::Bt709, Matrix::Bt2020};

inline const char *NameOf(Matrix matrix)
{
    switch (matrix) {
    case Matrix::Bt601: return "BT.601";
    case Matrix::Bt709: return "BT.709";
    case Matrix::Bt2020: return "BT.2020";
    }
    return "";
}

// out = m * (in, 1)
struct Affine
{
    std::array<std::array<double, 4>, 3> m {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}}};

    std::array<double, 3> operator()(const std::array<double, 3> &in) const
    {
        std::array<double, 3> out;
        for (int r = 0; r < 3; ++r)
            out[r] = m[r][0] * in[0] + m[r][1] * in[1] + m[r][2] * in[2] + m[r][3];
        return out;
    }

    // This map after `first`.
    Affine after(const Affine &first) const
    {
        Affine product;
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 4; ++c) {
                double sum = c == 3 ? m[r][3] : 0.0;
                for (int k = 0; k < 3; ++k)
                    sum += m[r][k] * first.m[k][c];
                product.m[r][c] = sum;
            }
        return product;
    }

    Affine inverse() const
    {
        const auto &a = m;
        const double det = a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1])
                           - a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0])
                           + a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
        Affine inv;
        auto &b = inv.m;
        b[0][0] = (a[1][1] * a[2][2] - a[1][2] * a[2][1]) / det;
        b[0][1] = (a[0][2] * a[2][1] - a[0][1] * a[2][2]) / det;
        b[0][2] = (a[0][1] * a[1][2] - a[0][2] * a[1][1]) / det;
        b[1][0] = (a[1][2] * a[2][0] - a[1][0] * a[2][2]) / det;
        b[1][1] = (a[0][0] * a[2][2] - a[0][2] * a[2][0]) / det;
        b[1][2] = (a[0][2] * a[1][0] - a[0][0] * a[1][2]) / det;
        b[2][0] = (a[1][0] * a[2][1] - a[1][1] * a[2][0]) / det;
        b[2][1] = (a[0][1] * a[2][0] - a[0][0] * a[2][1]) / det;
        b[2][2] = (a[0][0] * a[1][1] - a[0][1] * a[1][0]) / det;
        for (int r = 0; r < 3; ++r)
            b[r][3] = -(b[r][0] * a[0][3] + b[r][1] * a[1][3] + b[r][2] * a[2][3]);
        return inv;
    }
};

// R'G'B' (0 to 1) to Y'CbCr codes / 255: Y' from 16 to 235 and Cb, Cr from
// 16 to 240 in limited range, Y' from 0 to 255 and Cb, Cr around 128 in full.
inline Affine Encode(Matrix matrix, Range range)
{
    double kr = 0.299, kb = 0.114;
    if (matrix == Matrix::Bt709) {
        kr = 0.2126;
        kb = 0.0722;
    } else if (matrix == Matrix::Bt2020) {
        kr = 0.2627;
        kb = 0.0593;
    }
    const double kg = 1.0 - kr - kb;
    const double ys = range == Range::Limited ? 219.0 / 255.0 : 1.0;
    const double yo = range == Range::Limited ? 16.0 / 255.0 : 0.0;
    const double cs = range == Range::Limited ? 224.0 / 255.0 : 1.0;
    const double co = 128.0 / 255.0;
    const double cb = cs / (2.0 * (1.0 - kb));
    const double cr = cs / (2.0 * (1.0 - kr));
    Affine e;
    e.m[0] = {ys * kr, ys * kg, ys * kb, yo};
    e.m[1] = {-kr * cb, -kg * cb, (1.0 - kb) * cb, co};
    e.m[2] = {(1.0 - kr) * cr, -kg * cr, -kb * cr, co};
    return e;
}

inline Affine Decode(Matrix matrix, Range range)
{
    return Encode(matrix, range).inverse();
}

} // namespace Ycbcr
