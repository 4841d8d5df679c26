#pragma once

// The sheets drawn once each, when first asked for: for the commands that
// look for any of them in a picture (census --mode auto).

#include "census/CensusReport.h"
#include "generation/Sheets.h"

#include <QImage>

#include <array>
#include <memory>
#include <vector>

class SheetHost;

class SheetCache
{
public:
    SheetCache();
    ~SheetCache();

    // The sheet of `mode` (RGB32); null when there is not the memory for it.
    QImage image(Mode mode);
    // Every sheet, for the census to draw those that could lie in a picture;
    // valid while the cache lives.
    std::vector<CensusReport::Candidate> candidates();

private:
    std::array<std::unique_ptr<SheetHost>, Sheets::Count> hosts_;
};
