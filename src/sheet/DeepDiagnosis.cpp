#include "sheet/DeepDiagnosis.h"

#include "census/VideoCensus.h"
#include "hdr/HdrDiagnosis.h"
#include "lut/CubeFile.h"
#include "picture/HdrMetadata.h"
#include "sheet/CommandContext.h"
#include "sheet/DiagnoseCommand.h"
#include "sheet/SheetArguments.h"
#include "video/VideoFrames.h"
#include "video/VideoLibrary.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace DeepDiagnosis {

namespace {

// How many of a recording's first frames are looked at for the deep sheet.
constexpr int FramesSearched = 60;

QString tr(const char *text)
{
    return QCoreApplication::translate("SheetCommands", text);
}

// The fix when asked for (`fixFile` not empty), then the facts (lines, or
// JSON with `more` added): a table that cannot be written leaves no
// diagnosis on standard output as if all went well.
int report(CommandContext &context, const QString &fileName, const QString &fixFile,
           const HdrDiagnosis::Result &result, const Facts &before)
{
    if (!fixFile.isEmpty()) {
        const ColourLut lut = result.fix(DiagnoseCommand::FixPoints);
        const QString title = tr("takes %1 to the deep sheet's SDR rendering").arg(QFileInfo(fileName).fileName());
        QString error;
        const auto write = [&](QIODevice &device, QString &reason) {
            return CubeFile::Write(lut, title, device, reason);
        };
        if (!context.writeOut(fixFile, false, write, error))
            return context.fail(error);
    }
    const Facts facts = result.facts();
    if (context.isSet(SheetArguments::Json)) {
        QJsonObject document = before.json();
        const QJsonObject more = facts.json();
        for (auto i = more.begin(); i != more.end(); ++i)
            document.insert(i.key(), i.value());
        context.printJson(document);
    } else {
        context.print(QStringLiteral("mode: deep"));
        for (const QString &line : before.lines() + facts.lines())
            context.print(line);
    }
    return result.exact ? Done : No;
}

// FFmpeg's names of transfers and primaries as H.273's code points; 0 for
// what it does not name.
int transferCode(const QString &name)
{
    if (name == QLatin1String("smpte2084"))
        return HdrMetadata::Code::TransferPq;
    if (name == QLatin1String("arib-std-b67"))
        return HdrMetadata::Code::TransferHlg;
    if (name == QLatin1String("bt709") || name == QLatin1String("bt2020-10") || name == QLatin1String("bt2020-12")
        || name == QLatin1String("smpte170m") || name == QLatin1String("bt470bg"))
        return HdrMetadata::Code::TransferBt709;
    if (name == QLatin1String("iec61966-2-1"))
        return HdrMetadata::Code::TransferSrgb;
    if (name == QLatin1String("linear"))
        return HdrMetadata::Code::TransferLinear;
    return 0;
}

int primariesCode(const QString &name)
{
    if (name == QLatin1String("bt709"))
        return HdrMetadata::Code::PrimariesBt709;
    if (name == QLatin1String("bt2020"))
        return HdrMetadata::Code::PrimariesBt2020;
    if (name == QLatin1String("smpte432"))
        return HdrMetadata::Code::PrimariesP3;
    return 0;
}

struct YcbcrReading
{
    VideoFrames::Matrix matrix;
    bool fullRange;
};

// The cells of a frame's stored samples, decoded with `reading`'s matrix
// and range: a cell's Y' from the pixels of its middle, its Cb and Cr from
// the chroma samples over them.
DeepCapture::Cells storedCells(const VideoFrames::Samples &samples, const VideoFrames::StreamInfo &info,
                               const DeepCapture::Placement &placement, const YcbcrReading &reading)
{
    const auto sample = [&](int plane, int x, int y) {
        const std::uint8_t *p = samples.plane[plane] + std::ptrdiff_t(y) * samples.stride[plane]
                                + std::ptrdiff_t(x) * samples.bytesPerSample;
        return samples.bytesPerSample == 2 ? int(p[0] | (p[1] << 8)) : int(p[0]);
    };
    const double scale = double(1 << (info.bitDepth - 8));
    const double most = (1 << info.bitDepth) - 1;
    double kr = 0.2126, kb = 0.0722;
    if (reading.matrix == VideoFrames::Matrix::Bt601) {
        kr = 0.299;
        kb = 0.114;
    } else if (reading.matrix == VideoFrames::Matrix::Bt2020) {
        kr = 0.2627;
        kb = 0.0593;
    }
    const double kg = 1 - kr - kb;
    const bool rgb = reading.matrix == VideoFrames::Matrix::Rgb;

    DeepCapture::Cells cells;
    cells.depth = 16;
    const std::vector<DeepSheet::Step> &steps = DeepSheet::Steps();
    const int cellSize = placement.cellSize, margin = cellSize / 4;
    for (const DeepSheet::Step &step : steps) {
        const int x0 = placement.offset.x() + step.column * cellSize + margin;
        const int y0 = placement.offset.y() + step.row * cellSize + margin;
        const int side = step.cells * cellSize - 2 * margin;
        std::array<double, 3> sum {};
        for (int plane = 0; plane < 3; ++plane) {
            const int sx = plane > 0 && !rgb ? info.chromaShiftX : 0, sy = plane > 0 && !rgb ? info.chromaShiftY : 0;
            int counted = 0;
            for (int y = y0 >> sy; y <= (y0 + side - 1) >> sy; ++y)
                for (int x = x0 >> sx; x <= (x0 + side - 1) >> sx; ++x) {
                    sum[std::size_t(plane)] += sample(plane, x, y);
                    ++counted;
                }
            sum[std::size_t(plane)] /= counted;
        }
        std::array<double, 3> rgbValue;
        if (rgb) {
            rgbValue = {sum[0] / most, sum[1] / most, sum[2] / most};
        } else {
            const double y = reading.fullRange ? sum[0] / most : (sum[0] - 16 * scale) / (219 * scale);
            const double cb = reading.fullRange ? (sum[1] - (most + 1) / 2) / most : (sum[1] - 128 * scale) / (224 * scale);
            const double cr = reading.fullRange ? (sum[2] - (most + 1) / 2) / most : (sum[2] - 128 * scale) / (224 * scale);
            const double r = y + 2 * (1 - kr) * cr, b = y + 2 * (1 - kb) * cb;
            rgbValue = {r, (y - kr * r - kb * b) / kg, b};
        }
        for (double &c : rgbValue)
            c = std::clamp(c, 0.0, 1.0);
        cells.mean.push_back(rgbValue);
        cells.spread.push_back(0);
    }
    return cells;
}

QString readingName(const YcbcrReading &reading)
{
    return QStringLiteral("%1 %2").arg(VideoFrames::MatrixName(reading.matrix),
                                       reading.fullRange ? QStringLiteral("full") : QStringLiteral("limited"));
}

} // namespace

int Run(CommandContext &context, const QString &fileName, const QString &fixFile, const PictureReader::Picture &picture,
        const DeepCapture::Placement &placement)
{
    // A PNG file's own word on its colours: its cICP chunk, or nothing.
    std::optional<HdrDiagnosis::Tagged> tagged;
    QFile file(fileName);
    if (fileName != QLatin1String("-") && file.open(QIODevice::ReadOnly)) {
        const QByteArray head = file.read(1 << 20);
        const HdrMetadata::Tags tags =
            HdrMetadata::ReadPng(reinterpret_cast<const std::uint8_t *>(head.constData()), std::size_t(head.size()));
        if (tags.problems.empty() || tags.cicp) {
            tagged = HdrDiagnosis::Tagged {};
            if (tags.cicp)
                tagged = HdrDiagnosis::Tagged {QStringLiteral("cICP"), tags.cicp->transfer, tags.cicp->primaries};
        }
    }
    return report(context, fileName, fixFile, HdrDiagnosis::Diagnose(picture.image, placement, tagged), Facts());
}

std::optional<int> RunRecording(CommandContext &context, const QString &fileName, const QString &fixFile)
{
    QString error;
    const std::unique_ptr<VideoFrames::Reader> reader =
        VideoLibrary::Open(fileName, PictureReader::AllocationLimit(), error, VideoFrames::Decoding::Threads);
    if (!reader)
        return context.fail(error);
    const VideoFrames::StreamInfo &info = reader->info();
    if (info.width < DeepSheet::Width / 2 || info.height < DeepSheet::Height / 2)
        return std::nullopt;

    QImage frame(1, 1, QImage::Format_RGBX64);
    for (int index = 0; index < FramesSearched && reader->next(frame); ++index) {
        const std::optional<DeepCapture::Placement> placement = DeepCapture::Find(frame);
        if (!placement)
            continue;
        if (const char *dump = std::getenv("TINTWELL_HDR_DUMP"))
            frame.save(QString::fromLocal8Bit(dump));
        Facts before;
        VideoCensus::AddStream(*reader, before);
        before.add(QStringLiteral("frame"), qint64(index));
        const HdrDiagnosis::Tagged tagged {QStringLiteral("stream"), transferCode(info.transfer),
                                           primariesCode(info.primaries)};

        // The frame as a player following the tags shows it, and its stored
        // samples read with every matrix and range: the reading the chain
        // found explains best is what the file holds.
        HdrDiagnosis::Result best = HdrDiagnosis::Diagnose(frame, *placement, tagged);
        const YcbcrReading shown {info.shownMatrix, info.shownFullRange};
        YcbcrReading chosen = shown;
        const VideoFrames::Samples samples = reader->samples();
        const bool rgb = info.shownMatrix == VideoFrames::Matrix::Rgb;
        if (samples.plane[0] && !rgb) {
            // The chain found on the frame as shown, fitted again on each
            // reading; a reading that it explains clearly better is
            // diagnosed whole.
            double bestError = HdrDiagnosis::Refit(best.chain, storedCells(samples, info, *placement, shown));
            std::optional<YcbcrReading> better;
            for (const VideoFrames::Matrix matrix :
                 {VideoFrames::Matrix::Bt601, VideoFrames::Matrix::Bt709, VideoFrames::Matrix::Bt2020})
                for (const bool fullRange : {false, true}) {
                    const YcbcrReading reading {matrix, fullRange};
                    if (matrix == shown.matrix && fullRange == shown.fullRange)
                        continue;
                    const double error =
                        HdrDiagnosis::Refit(best.chain, storedCells(samples, info, *placement, reading));
                    if (error < 0.7 * bestError) {
                        bestError = error;
                        better = reading;
                    }
                }
            if (better) {
                HdrDiagnosis::Result other =
                    HdrDiagnosis::Diagnose(storedCells(samples, info, *placement, *better), *placement, tagged);
                if (other.fitError < 0.7 * best.fitError) {
                    best = std::move(other);
                    chosen = *better;
                }
            }
        }
        // The stream keeps no more than its samples' bits.
        best.bits = std::min(best.bits, info.bitDepth);
        const QString chroma = info.chromaShiftX == 1 && info.chromaShiftY == 1 ? QStringLiteral("4:2:0")
                               : info.chromaShiftX == 1                        ? QStringLiteral("4:2:2")
                                                                               : QStringLiteral("4:4:4");
        before.add(QStringLiteral("stored"), QStringLiteral("%1 %2, %3 bits")
                                                 .arg(rgb ? QStringLiteral("RGB") : readingName(chosen), chroma)
                                                 .arg(info.bitDepth));
        if (chosen.fullRange != shown.fullRange)
            before.add(QStringLiteral("range"), chosen.fullRange ? QStringLiteral("full read as limited")
                                                                 : QStringLiteral("limited read as full"));
        if (chosen.matrix != shown.matrix)
            before.add(QStringLiteral("matrix"), QStringLiteral("%1 read as %2")
                                                     .arg(VideoFrames::MatrixName(chosen.matrix),
                                                          VideoFrames::MatrixName(shown.matrix)));
        return report(context, fileName, fixFile, best, before);
    }
    if (!reader->error().isEmpty())
        return context.fail(reader->error());
    return std::nullopt;
}

} // namespace DeepDiagnosis
