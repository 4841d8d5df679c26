#pragma once

// The rows of the chain: every step the diagnosis knows, in the order they
// act on the way from the sheet to the capture, and when each is fitted.

#include "diagnosis/Step.h"

#include <memory>
#include <vector>

struct StepRow
{
    std::unique_ptr<Step> (*make)();
    // Steps are fitted from the lowest rank up, what the others are fitted
    // on first; a step with two ranks is fitted twice (its rounds 0 and 1).
    std::vector<int> fitRanks;
};

const std::vector<StepRow> &StepRows();
