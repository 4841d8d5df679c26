#pragma once

// An edited sheet as a colour look-up table. Every colour of a mode's sheet
// is a node of a grid of per-channel levels (all 256 for "16million"; fewer,
// some uneven or short of 0 and 255, for the others), and the edited pixel at
// its place is what the colour becomes; a colour the sheet holds in several
// places becomes the mean of its edited pixels. Between the levels the table
// interpolates, beyond the outermost levels it extrapolates linearly from the
// two outermost.
//
// The "16million" sheet is read in place (every colour once, at a place its
// channels give), so an 8-bit picture is graded by a look-up of each pixel's
// own colour, with nothing to interpolate; the other sheets are gathered into
// a table first.

#include "lut/ColourLut.h"

#include "generation/Sheets.h"

#include <QImage>
#include <QString>

#include <cstdlib>
#include <memory>

class SheetLut
{
public:
    // Takes `edited`, the sheet of `mode` after editing (8 or 16 bits a
    // channel). On failure (another size, no memory) returns false and sets
    // `reason`.
    bool load(const QImage &edited, Mode mode, QString &reason);

    // The table on `size` even levels a channel from 0 to 1, each node
    // interpolated trilinearly from the sheet's grid.
    LutTable resample(int size) const;

    // Memory that grading `picture` with an edited sheet of `mode` will
    // want, taken (and its pages touched) ahead: while one thread still
    // decodes the sheet, the one that read the picture can prepare it. Empty
    // when the grading wants none.
    class Scratch
    {
    public:
        void *memory() const { return memory_.get(); }

    private:
        friend class SheetLut;
        std::unique_ptr<void, void (*)(void *)> memory_ {nullptr, std::free};
    };
    static Scratch ScratchFor(const QImage &picture, Mode mode);

    // Grades `picture` in place (see ColourLut::apply), in `scratch` when
    // it is given and suits.
    bool apply(QImage &picture, Interpolation method, Scratch *scratch = nullptr) const;

private:
    // Calls visit(nodes) with the accessor that suits the sheet.
    template <typename Visit>
    void withNodes(const Visit &visit) const;

    std::array<LutAxis, 3> axes_;
    bool inPlace_ = false; // "16million", read in edited_
    QImage edited_;
    LutTable table_; // the other sheets
};
