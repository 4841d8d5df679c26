#pragma once

// The chain of steps a sheet went through on its way into a capture, in the
// order they act: every step the diagnosis knows (the rows of Steps.cpp),
// each fitted to the capture or doing nothing. The simulation, the facts and
// the fix table all walk it: the sheet put through every step that acts,
// one fact a step, and a table that undoes the steps that can be undone,
// last first.

#include "diagnosis/Step.h"
#include "lut/ColourLut.h"

#include <QImage>

#include <memory>
#include <vector>

class Facts;

class Chain
{
public:
    // Every known step, doing nothing.
    Chain();
    // The steps `known` tells of, as it tells them; the others do nothing.
    explicit Chain(const Known &known);
    Chain(const Chain &other);
    Chain &operator=(const Chain &other);
    Chain(Chain &&) noexcept = default;
    Chain &operator=(Chain &&) noexcept = default;
    ~Chain();

    const std::vector<std::unique_ptr<Step>> &steps() const { return steps_; }
    // The steps in the order they are fitted, each with its round: what the
    // others are fitted on first.
    struct Fit
    {
        Step *step;
        int round;
    };
    const std::vector<Fit> &fitOrder() const { return fitOrder_; }
    std::size_t indexOf(const Step &step) const;
    // The step of that name; null when there is none.
    Step *named(const char *name) const;

    // The step at `index` replaced by `step`, or made anew doing nothing;
    // the one it was is returned.
    std::unique_ptr<Step> put(std::size_t index, std::unique_ptr<Step> step);
    std::unique_ptr<Step> reset(std::size_t index);

    // Whether the step at `index` takes part: it acts, or it brings the
    // values into the domain of a step that acts (and back).
    bool runs(std::size_t index) const;

    // The sheet (RGB32) put through every step that acts, as 8-bit levels.
    QImage simulate(const QImage &sheet) const;
    // Planes put through the steps from `from` to `to` (not included).
    void simulate(Planes &planes, std::size_t from, std::size_t to) const;
    // One colour through the steps `from` to `to` (not included).
    void apply(Swatch &colour, std::size_t from, std::size_t to) const;
    void apply(Swatch &colour) const { apply(colour, 0, steps_.size()); }
    // Many colours through the steps `from` to `to` (not included).
    void apply(std::vector<Swatch> &colours, std::size_t from, std::size_t to) const;
    // The steps from `from` to the last undone on one colour, the last first.
    void undo(Swatch &colour, std::size_t from) const;
    // The step that explains the rest (the tone curve); the chain's size when none does.
    std::size_t curveIndex() const;
    // Which sheet channel reaches channel `channel` before the step at `index`.
    int sourceOf(std::size_t index, int channel) const;

    // One fact a thing found, in the order the steps act.
    void report(Facts &facts) const;
    // A table of `points` a channel (capture colours in, sheet colours out)
    // that undoes every step that can be undone, the last first.
    LutTable fix(int points) const;

private:
    void joinAll();

    std::vector<std::unique_ptr<Step>> steps_;
    std::vector<Fit> fitOrder_;
};
