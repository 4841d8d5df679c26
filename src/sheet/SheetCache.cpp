#include "sheet/SheetCache.h"

#include "sheet/SheetArguments.h"
#include "sheet/SheetHost.h"

SheetCache::SheetCache() = default;
SheetCache::~SheetCache() = default;

QImage SheetCache::image(Mode mode)
{
    std::unique_ptr<SheetHost> &host = hosts_[std::size_t(Sheets::Index(mode))];
    if (!host) {
        auto drawn = std::make_unique<SheetHost>();
        if (!drawn->Draw(Sheets::Index(mode)))
            return {};
        host = std::move(drawn);
    }
    return host->image();
}

std::vector<CensusReport::Candidate> SheetCache::candidates()
{
    std::vector<CensusReport::Candidate> all;
    for (const Sheet &sheet : Sheets::All)
        all.push_back({SheetArguments::ModeName(sheet.mode), sheet.size, [this, mode = sheet.mode] { return image(mode); }});
    return all;
}
