#pragma once

// One thing that can happen to a sheet on its way into a capture: a channel
// order, half of a Y'CbCr path, a chroma resolution, a bit depth, a tone
// curve. A step is fitted to the capture, applied to the sheet (the
// simulation: to a whole picture, or to one colour for the samples and the
// tables), undone where it can be (--fix), and says what it found. The chain
// of them (Chain) runs them in the order they act; a new one is a file of
// its own and a row in Steps.cpp.

#include "diagnosis/Planes.h"

#include <memory>

class Chain;
class Facts;
class Fitting;
struct Known;

class Step
{
public:
    virtual ~Step() = default;

    // What the facts call it ("channel order").
    virtual const char *name() const = 0;
    // The values it takes and the ones it gives.
    virtual Domain takes() const { return Domain::Signal; }
    virtual Domain gives() const { return takes(); }

    // Chooses its parameters from what `fitting` holds, the other steps as
    // they stand: once for each fitting rank of its row, `round` counting
    // them from 0. It may ask for the steps fitted before it to be fitted
    // again, when what it found changes what they are fitted on.
    virtual void fit(Fitting &fitting, int round) = 0;
    // Takes what the caller knows in place of fitting, where it concerns
    // this step; a step it does not concern does nothing.
    virtual void take(const Known &known) { (void)known; }
    // Whether it changes anything: a step that does nothing is left out of
    // the simulation, the facts and the fix.
    virtual bool acts() const = 0;

    // The step applied to a whole picture, in its domain.
    virtual void apply(Planes &planes) const = 0;
    // The same on one colour, exactly: no rounding to codes, no blur but the
    // one `around` already holds.
    virtual void apply(Swatch &colour) const = 0;
    // Undoes it on one colour where it can; false where it cannot (what was
    // lost stays lost, and the colour is left as it is).
    virtual bool undo(Swatch &colour) const
    {
        (void)colour;
        return false;
    }
    // Which channel of what it takes becomes channel `channel` of what it
    // gives, for a step that only moves channels about.
    virtual int sourceOf(int channel) const { return channel; }
    // Whether what it does is a fault on the way; colour kept at a lower
    // resolution is how video travels, not a fault.
    virtual bool fault() const { return true; }
    // Whether it is named only when the capture is further from the sheet
    // put through the chain without it; false for a step the capture shows
    // by other evidence (the values a channel takes).
    virtual bool shownByResidual() const { return true; }
    // A step fitted on whatever the steps before it leave, channel by
    // channel (a tone curve): the candidates of the discrete steps are
    // judged by what it leaves unexplained.
    virtual bool explainsTheRest() const { return false; }

    // One fact a thing it found, in the `name: value` form.
    virtual void report(Facts &facts) const = 0;

    // Finds the steps of the chain it works with (the two halves of a path).
    virtual void join(const Chain &chain) { (void)chain; }
    virtual std::unique_ptr<Step> clone() const = 0;
};
