#pragma once

// The census of one picture: its size and colours and, given a sheet, how
// far it is from it. A picture larger than the sheet is searched for the
// sheet first (or told where it lies), and everything after concerns the
// sheet's area only.

#include <QImage>
#include <QString>
#include <QStringList>

#include <optional>

namespace CensusReport {

struct Placement
{
    int x = 0;
    int y = 0;
    int scale = 1;
};

struct Request
{
    // The sheet to compare with (RGB32); null: only count.
    QImage sheet;
    // Where the sheet lies, when the user says so.
    std::optional<Placement> at;
    // Where to write the picture of the differences (.bmp or .png); empty: nowhere.
    QString diffFile;
    // How many of the sheet's colours the picture lacks to list.
    int missingListed = 0;
};

struct Result
{
    QStringList lines;
    // 0 the picture is the sheet (or only counted), 1 it is not, 2 an error.
    int status = 0;
    // The error, one sentence naming the file, when status is 2.
    QString error;
};

Result Run(const QString &fileName, const Request &request);

} // namespace CensusReport
