// Recordings as users bring them, made by the ffmpeg program: what the data
// stores against what its tags say, the clips we make decoded by ffmpeg, the
// census against ffmpeg's own PSNR, and files from strangers refused.

#include "FileTesting.h"

#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace FileTesting;

namespace {

struct Result
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Runs `program` with `input` on its standard input (closed after it: a
// program that reads it ends instead of waiting).
Result run(const QString &program, const QStringList &arguments, const QString &folder = {},
           const QByteArray &input = {})
{
    QProcess process;
    process.setWorkingDirectory(folder);
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForStarted() || !process.waitForFinished(300'000) || process.exitStatus() != QProcess::NormalExit)
        return {};
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

Result sheet(const QStringList &arguments)
{
    return run(QStringLiteral(TINTWELL_SHEET_PROGRAM), arguments);
}

// By path: a stand-in of the same name may come first on PATH.
const QString Ffmpeg = QStringLiteral("/usr/bin/ffmpeg");
const QString Ffprobe = QStringLiteral("/usr/bin/ffprobe");

// The sheet the clips show: 256x256, 57344 colours.
const QString Mode = QStringLiteral("64kilo");

// Every frame of a file as ffmpeg decodes it to 8-bit RGB.
QByteArray rgbOf(const QString &fileName)
{
    return run(Ffmpeg, {"-v", "error", "-i", fileName, "-f", "rawvideo", "-pix_fmt", "rgb24", "-"}).out;
}

} // namespace

class tst_video : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QString sheetFile_;

    QString path(const QString &name) const { return dir_.filePath(name); }

    // The sheet through ffmpeg: `filter` after it, then `encoding` (codec and tags).
    QString makeClip(const QString &name, const QString &filter, const QStringList &encoding, int frames = 3)
    {
        QStringList arguments {"-v", "error", "-y", "-loop", "1", "-i", sheetFile_, "-frames:v", QString::number(frames),
                               "-r", "10", "-vf", filter};
        arguments << encoding << path(name);
        const Result made = run(Ffmpeg, arguments);
        return made.exitCode == 0 ? path(name) : QString();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        sheetFile_ = path(QStringLiteral("sheet.png"));
        QCOMPARE(sheet({"make", Mode, sheetFile_}).exitCode, 0);
    }

    // What the samples hold, what the tags claim, and the steps between.
    void storedAgainstTagged_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QStringList>("encoding");
        QTest::addColumn<QString>("tagged");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QStringList>("steps");

        const QStringList ffv1 {"-c:v", "ffv1"};
        const QStringList h264 {"-c:v", "libx264", "-qp", "0"};
        const auto tags = [](const char *range, const char *matrix, const char *primaries, const char *transfer) {
            return QStringList {"-color_range", range, "-colorspace", matrix, "-color_primaries", primaries,
                                "-color_trc", transfer};
        };
        const QStringList none {"steps: none"};

        QTest::newRow("BT.601 limited 4:2:0, tagged so")
            << "scale=out_color_matrix=bt601:out_range=tv,format=yuv420p"
            << ffv1 + tags("tv", "smpte170m", "smpte170m", "smpte170m")
            << "tagged: range tv, matrix smpte170m, primaries smpte170m, transfer smpte170m"
            << "stored: BT.601 limited 4:2:0" << none;
        QTest::newRow("BT.601 limited tagged BT.709 full")
            << "scale=out_color_matrix=bt601:out_range=tv,format=yuv420p" << ffv1 + tags("pc", "bt709", "bt709", "bt709")
            << "tagged: range pc, matrix bt709, primaries bt709, transfer bt709" << "stored: BT.601 limited 4:2:0"
            << QStringList {"range: limited read as full", "matrix: BT.601 read as BT.709"};
        QTest::newRow("BT.709 full 4:4:4 lossless H.264, tagged so")
            << "scale=out_color_matrix=bt709:out_range=pc,format=yuv444p" << h264 + tags("pc", "bt709", "bt709", "bt709")
            << "tagged: range pc, matrix bt709, primaries bt709, transfer bt709" << "stored: BT.709 full 4:4:4" << none;
        QTest::newRow("BT.709 full tagged limited")
            << "scale=out_color_matrix=bt709:out_range=pc,format=yuv420p" << h264 + tags("tv", "bt709", "bt709", "bt709")
            << "tagged: range tv, matrix bt709, primaries bt709, transfer bt709" << "stored: BT.709 full 4:2:0"
            << QStringList {"range: full read as limited"};
        // Under 720 lines a player without a matrix tag takes BT.601.
        QTest::newRow("BT.709 limited 4:2:2, no matrix tag")
            << "scale=out_color_matrix=bt709:out_range=tv,format=yuv422p" << ffv1 + QStringList {"-color_range", "tv"}
            << "tagged: range tv, matrix unknown, primaries unknown, transfer unknown" << "stored: BT.709 limited 4:2:2"
            << QStringList {"matrix: BT.709 read as BT.601"};
        QTest::newRow("BT.709 limited tagged BT.601")
            << "scale=out_color_matrix=bt709:out_range=tv,format=yuv420p" << h264 + tags("tv", "bt470bg", "bt470bg", "smpte170m")
            << "tagged: range tv, matrix bt470bg, primaries bt470bg, transfer smpte170m" << "stored: BT.709 limited 4:2:0"
            << QStringList {"matrix: BT.709 read as BT.601"};
        QTest::newRow("BT.2020 limited 4:4:4, tagged so")
            << "scale=out_color_matrix=bt2020:out_range=tv,format=yuv444p" << ffv1 + tags("tv", "bt2020nc", "bt2020", "bt2020-10")
            << "tagged: range tv, matrix bt2020nc, primaries bt2020, transfer bt2020-10" << "stored: BT.2020 limited 4:4:4"
            << none;
        QTest::newRow("RGB, packed") << "format=bgr0" << ffv1 + tags("pc", "rgb", "bt709", "iec61966-2-1")
                                     << "tagged: range pc, matrix gbr, primaries bt709, transfer iec61966-2-1"
                                     << "stored: RGB full 4:4:4" << none;
        QTest::newRow("RGB, planar 10 bits") << "format=gbrp10le" << ffv1 + tags("pc", "rgb", "bt709", "iec61966-2-1")
                                             << "tagged: range pc, matrix gbr, primaries bt709, transfer iec61966-2-1"
                                             << "stored: RGB full 4:4:4" << none;
    }

    void storedAgainstTagged()
    {
        QFETCH(QString, filter);
        QFETCH(QStringList, encoding);
        QFETCH(QString, tagged);
        QFETCH(QString, stored);
        QFETCH(QStringList, steps);

        const QString clip = makeClip(QStringLiteral("clip.mkv").prepend(QString::number(qHash(filter + encoding.join(' ')))), filter, encoding);
        QVERIFY(!clip.isEmpty());
        const Result diagnosis = sheet({"diagnose", clip, "--mode", Mode});
        QVERIFY2(diagnosis.err.isEmpty(), diagnosis.err.constData());
        const QByteArray &outBytes = diagnosis.out;
        const int status = diagnosis.exitCode;
        const QStringList lines = QString::fromUtf8(outBytes).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QVERIFY2(lines.contains(tagged), outBytes.constData());
        QVERIFY2(lines.contains(stored), outBytes.constData());
        const qsizetype storedAt = lines.indexOf(stored);
        QCOMPARE(lines.mid(storedAt + 1), steps);
        // Samples stored as the tags say are a right path, whatever the codec's noise.
        QCOMPARE(status, steps == QStringList {"steps: none"} ? 0 : 1);
    }

    // Frames of the sheet's size that hold something else (its negative) are
    // no right path, however plainly tagged: no reading of their samples is
    // the sheet.
    void unclearSamplesAreNoRightPath()
    {
        const QString clip = makeClip(QStringLiteral("negative.mkv"), "negate,format=yuv420p",
                                      {"-c:v", "ffv1", "-color_range", "tv", "-colorspace", "smpte170m"});
        QVERIFY(!clip.isEmpty());
        const Result diagnosis = sheet({"diagnose", clip, "--mode", Mode});
        QVERIFY2(diagnosis.out.contains("stored: unclear"), diagnosis.out.constData());
        QCOMPARE(diagnosis.exitCode, 1);
    }

    // make's clips, decoded by ffmpeg, are the sheet in every frame.
    void madeClipsAreTheSheet_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("codec");
        QTest::newRow("Matroska") << "made.mkv" << "ffv1";
        QTest::newRow("MP4") << "made.mp4" << "h264";
    }

    void madeClipsAreTheSheet()
    {
        QFETCH(QString, name);
        QFETCH(QString, codec);
        const QString clip = path(name);
        const Result made = sheet({"make", Mode, clip, "--seconds", "0.5", "--fps", "8"});
        QVERIFY2(made.exitCode == 0, made.err.constData());

        const QByteArray frame = rgbOf(sheetFile_);
        QCOMPARE(frame.size(), 256 * 256 * 3);
        QCOMPARE(rgbOf(clip), frame.repeated(4));
        const Result probe = run(Ffprobe, {"-v", "error", "-show_entries",
                                           "stream=codec_name,color_range,color_space,color_primaries,color_transfer",
                                           "-of", "csv=p=0", clip});
        QCOMPARE(probe.out.trimmed(), QByteArray(codec.toLatin1() + ",pc,gbr,iec61966-2-1,bt709"));
        // Our own census of it agrees.
        const Result census = sheet({"census", clip, "--mode", Mode});
        QCOMPARE(census.exitCode, 0);
        QVERIFY(census.out.contains("frames measured: 4\n"));
    }

    // Clips of chosen Y'CbCr data and tags: ffprobe reads the tags asked for,
    // and our reading of the samples the data asked for.
    void madeYcbcrClips_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("recipe");
        QTest::addColumn<QByteArray>("probed"); // pix_fmt, range, matrix, transfer, primaries
        QTest::addColumn<QString>("stored");

        QTest::newRow("BT.601, true tags") << "a.mp4" << QStringList {"--matrix", "bt601"}
                                           << QByteArray("yuv420p,tv,smpte170m,smpte170m,smpte170m")
                                           << "stored: BT.601 limited 4:2:0";
        QTest::newRow("BT.709 full 4:2:2 10-bit") << "b.mkv"
                                                  << QStringList {"--matrix", "bt709", "--range", "full", "--chroma",
                                                                  "422", "--bits", "10"}
                                                  << QByteArray("yuv422p10le,pc,bt709,bt709,bt709")
                                                  << "stored: BT.709 full 4:2:2";
        QTest::newRow("BT.2020 4:4:4 10-bit tagged P3") << "c.mp4"
                                                        << QStringList {"--matrix", "bt2020", "--chroma", "444",
                                                                        "--bits", "10", "--tag-primaries", "p3"}
                                                        << QByteArray("yuv444p10le,tv,bt2020nc,bt2020-10,smpte432")
                                                        << "stored: BT.2020 limited 4:4:4";
        QTest::newRow("BT.601 full, untagged") << "d.mkv"
                                               << QStringList {"--matrix", "bt601", "--range", "full", "--untagged"}
                                               << QByteArray("yuv420p,unknown,unknown,unknown,unknown")
                                               << "stored: BT.601 full 4:2:0";
        QTest::newRow("BT.709 limited, tagged BT.601 full")
            << "e.mp4" << QStringList {"--tag-matrix", "bt601", "--tag-range", "full"}
            << QByteArray("yuvj420p,pc,smpte170m,bt709,bt709") << "stored: BT.709 limited 4:2:0";
        QTest::newRow("range left out, Matroska")
            << "f.mkv" << QStringList {"--chroma", "444", "--tag-range", "none", "--tag-transfer", "none"}
            << QByteArray("yuv444p,unknown,bt709,unknown,bt709") << "stored: BT.709 limited 4:4:4";
    }

    void madeYcbcrClips()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, recipe);
        QFETCH(QByteArray, probed);
        QFETCH(QString, stored);

        const QString clip = path(QStringLiteral("made-") + name);
        const Result made = sheet(QStringList {"make", Mode, clip, "--seconds", "0.2", "--fps", "10"} + recipe);
        QVERIFY2(made.exitCode == 0, made.err.constData());
        const Result probe = run(Ffprobe, {"-v", "error", "-show_entries",
                                           "stream=pix_fmt,color_range,color_space,color_transfer,color_primaries",
                                           "-of", "csv=p=0", clip});
        QCOMPARE(probe.out.trimmed(), probed);
        const Result diagnosis = sheet({"diagnose", clip, "--mode", Mode});
        QVERIFY2(QString::fromUtf8(diagnosis.out).split(QLatin1Char('\n')).contains(stored), diagnosis.out.constData());
    }

    // What make cannot write is refused before anything is written, saying why.
    void refusedClips_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("error");
        QTest::newRow("an ending make does not write")
            << QStringList {"make", Mode, "clip.mov"} << "end it in .bmp or .png (a picture) or .mkv or .mp4 (a clip)";
        QTest::newRow("4:2:0 H.264 of an odd size") << QStringList {"make", "2025", "odd.mp4", "--matrix", "bt601"}
                                                     << "H.264 keeps 4:2:0 only in pictures of even sizes";
        QTest::newRow("no range beside other tags in H.264")
            << QStringList {"make", Mode, "range.mp4", "--tag-range", "none"} << "H.264 cannot leave the range out";
        QTest::newRow("Adobe RGB has no video tag")
            << QStringList {"make", Mode, "adobe.mkv", "--tag-primaries", "adobe"} << "Video has no tag for the primaries";
        QTest::newRow("--untagged with a tag") << QStringList {"make", Mode, "u.mkv", "--untagged", "--tag-range", "full"}
                                               << "--untagged leaves every tag out";
    }

    void refusedClips()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, error);
        arguments[2] = path(arguments[2]);
        const Result made = sheet(arguments);
        QCOMPARE(made.exitCode, 2);
        QVERIFY2(made.err.contains(error.toUtf8()), made.err.constData());
        QVERIFY(!QFile::exists(arguments[2]));
    }

    // --first and --frame choose the frames of a 12-frame clip holding the
    // sheet in every one: the count said is the count read, a frame past the
    // end or past --first is an error, not a sheet not found.
    void framesChosen_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("said"); // a line on standard output, or a part of the error

        const QStringList mode {"--mode", Mode};
        QTest::newRow("--first 5") << mode + QStringList {"--first", "5"} << 0 << "frames measured: 5";
        QTest::newRow("--first 5, no sheet") << QStringList {"--first", "5"} << 0 << "frames read: 5";
        QTest::newRow("--first past the end") << mode + QStringList {"--first", "20"} << 0 << "frames measured: 12";
        QTest::newRow("--frame 3") << mode + QStringList {"--frame", "3"} << 0 << "first frame with the sheet: 3";
        QTest::newRow("--frame, the last") << mode + QStringList {"--frame", "11"} << 0 << "frames measured: 1";
        QTest::newRow("--frame past the end") << mode + QStringList {"--frame", "12"} << 2
                                              << "has no frame 12: its frames are numbered 0 to 11";
        QTest::newRow("--frame within --first") << mode + QStringList {"--first", "10", "--frame", "9"} << 0
                                                << "first frame with the sheet: 9";
        QTest::newRow("--frame past --first") << mode + QStringList {"--first", "10", "--frame", "10"} << 2
                                              << "--frame 10 is not among the first 10 frames";
        QTest::newRow("--frame far past --first") << mode + QStringList {"--frame", "11", "--first", "10"} << 2
                                                  << "numbered 0 to 9";
    }

    void framesChosen()
    {
        QFETCH(QStringList, options);
        QFETCH(int, exitCode);
        QFETCH(QString, said);
        const QString clip = path(QStringLiteral("twelve.mkv"));
        if (!QFile::exists(clip))
            QCOMPARE(sheet({"make", Mode, clip, "--seconds", "1.2", "--fps", "10"}).exitCode, 0);
        const Result census = sheet(QStringList {"census", clip} + options);
        QVERIFY2(census.exitCode == exitCode, census.err.constData());
        if (exitCode == 2)
            QVERIFY2(census.err.contains(said.toUtf8()), census.err.constData());
        else
            QVERIFY2(census.out.split('\n').contains(said.toUtf8()), census.out.constData());
    }

    // A name is a file's, whatever it looks like to FFmpeg: "concat:",
    // "pipe:" and "http:" are no protocols here.
    void namesAreFiles_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("concat:") << "concat:clip.mkv";
        QTest::newRow("pipe:") << "pipe:clip.mkv";
        QTest::newRow("http:") << "http:clip.mkv";
    }

    void namesAreFiles()
    {
        QFETCH(QString, name);
        QVERIFY(QFile::copy(makeClip(QStringLiteral("named.mkv"), "format=bgr0", {"-c:v", "ffv1"}), path(name)));
        const Result census = run(QStringLiteral(TINTWELL_SHEET_PROGRAM), {"census", name, "--mode", Mode}, dir_.path());
        QFile::remove(path(name));
        QVERIFY2(census.exitCode == 0, census.err.constData());
        QVERIFY(census.out.contains("frames measured: 3\n"));
    }

    // A recording piped in is read as one, as it comes; a picture piped in
    // is still a picture; MP4 as most programs write it keeps its index at
    // the end, which a pipe cannot reach back to: an error, not a hang.
    void standardInput_data()
    {
        QTest::addColumn<QString>("made"); // what make writes, then pipes in
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("said"); // a line of the output, or a part of the error

        QTest::newRow("Matroska, census") << "piped.mkv" << "census" << 0 << "frames measured: 12";
        QTest::newRow("Matroska, diagnose") << "piped.mkv" << "diagnose" << 0 << "stored: RGB full 4:4:4";
        QTest::newRow("picture, census") << "piped.png" << "census" << 0 << "differing pixels: 0";
        QTest::newRow("MP4, index last") << "piped.mp4" << "census" << 2
                                         << "Could not read the recording standard input: its index comes after its frames";
    }

    void standardInput()
    {
        QFETCH(QString, made);
        QFETCH(QString, command);
        QFETCH(int, exitCode);
        QFETCH(QString, said);
        const QString file = path(made);
        const QStringList clip = made.endsWith(QLatin1String(".png")) ? QStringList()
                                                                        : QStringList {"--seconds", "1.2", "--fps", "10"};
        QCOMPARE(sheet(QStringList {"make", Mode, file} + clip).exitCode, 0);
        const Result result =
            run(QStringLiteral(TINTWELL_SHEET_PROGRAM), {command, "-", "--mode", Mode}, {}, readAll(file));
        QVERIFY2(result.exitCode == exitCode, result.err.constData());
        QVERIFY2(exitCode == 2 ? result.err.contains(said.toUtf8()) : result.out.split('\n').contains(said.toUtf8()),
                 (result.out + result.err).constData());
    }

    // Decoded frames are held to the pictures' allocation limit to the
    // pixel: at 1 MB, 512 x 512 four-byte pixels and no more (ffmpeg makes
    // even sizes).
    void frameSizeLimit_data()
    {
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<bool>("piped"); // on standard input
        QTest::newRow("exactly 1 MB decoded") << 512 << 0 << false;
        QTest::newRow("two rows more than 1 MB") << 514 << 2 << false;
        QTest::newRow("exactly 1 MB decoded, piped") << 512 << 0 << true;
        QTest::newRow("two rows more than 1 MB, piped") << 514 << 2 << true;
    }

    void frameSizeLimit()
    {
        QFETCH(int, height);
        QFETCH(int, exitCode);
        QFETCH(bool, piped);
        const QString clip = path(QStringLiteral("tall%1.mkv").arg(height));
        QCOMPARE(run(Ffmpeg, {"-v", "error", "-y", "-f", "lavfi", "-i", QStringLiteral("color=gray:s=512x%1").arg(height),
                              "-frames:v", "2", "-c:v", "ffv1", "-pix_fmt", "bgr0", clip})
                     .exitCode,
                 0);
        qputenv("QT_IMAGEIO_MAXALLOC", "1");
        const Result census = piped ? run(QStringLiteral(TINTWELL_SHEET_PROGRAM), {"census", "-"}, {}, readAll(clip))
                                    : sheet({"census", clip});
        qunsetenv("QT_IMAGEIO_MAXALLOC");
        QVERIFY2(census.exitCode == exitCode, census.err.constData());
        QCOMPARE(census.err.contains("larger than the allocation limit allows"), exitCode == 2);
    }

    // census's PSNR over all frames is ffmpeg's, converting as the tags say.
    void censusAgreesWithFfmpeg()
    {
        const QString clip = makeClip(QStringLiteral("psnr.mkv"), "scale=out_color_matrix=bt709:out_range=tv,format=yuv420p",
                                      {"-c:v", "ffv1", "-color_range", "tv", "-colorspace", "bt709"}, 2);
        QVERIFY(!clip.isEmpty());
        const Result ours = sheet({"census", clip, "--mode", Mode});
        QCOMPARE(ours.exitCode, 1);
        const Result theirs = run(Ffmpeg, {"-i", clip, "-loop", "1", "-i", sheetFile_, "-lavfi",
                                           "[0]scale=in_color_matrix=bt709:in_range=tv:flags=bicubic+accurate_rnd+"
                                           "full_chroma_int,format=rgb24[a];[1]format=rgb24[b];[a][b]psnr=shortest=1",
                                           "-f", "null", "-"});
        const QRegularExpressionMatch average =
            QRegularExpression(QStringLiteral("average:([0-9.]+)")).match(QString::fromUtf8(theirs.err));
        QVERIFY2(average.hasMatch(), theirs.err.constData());
        const QString expected = QString::number(average.captured(1).toDouble(), 'f', 2);
        QVERIFY2(ours.out.contains(QStringLiteral("PSNR: %1 dB\n").arg(expected).toUtf8()), ours.out.constData());
        // Found among all the sheets, the same.
        const Result anySheet = sheet({"census", clip, "--mode", "auto"});
        QVERIFY2(anySheet.out.contains("mode: " + Mode.toUtf8() + "\n"), anySheet.out.constData());
        QVERIFY(anySheet.out.contains(QStringLiteral("PSNR: %1 dB\n").arg(expected).toUtf8()));
    }

    // Only the file named is read, and a damaged one fails naming the frame.
    void strangersAreRefused_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QStringList>("options");
        const QByteArray playlist = "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXTINF:1,\nlocal.mkv\n#EXT-X-ENDLIST\n";
        const QStringList none;
        QTest::newRow("HLS playlist") << "list.m3u8" << playlist << "format 'hls'" << none;
        QTest::newRow("HLS playlist named .mp4") << "list.mp4" << playlist << "format 'hls'" << none;
        QTest::newRow("concat list") << "list.ffconcat" << QByteArray("ffconcat version 1.0\nfile 'local.mkv'\n")
                                     << "format 'concat'" << none;
        QTest::newRow("truncated in frame 2") << "cut.mkv" << QByteArray() << "breaks off at frame 2" << none;
        // A script reading the JSON sees the failure in the exit status.
        QTest::newRow("truncated, --json") << "cut-json.mkv" << QByteArray() << "cut-json.mkv" << QStringList {"--json"};
        QTest::newRow("frames shrinking under the sheet") << "shrinking.h264" << QByteArray("shrink")
                                                          << "Frame 3 of" << none;
    }

    void strangersAreRefused()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QString, error);
        QFETCH(QStringList, options);
        const QString local = makeClip(QStringLiteral("local.mkv"), "format=yuv420p", {"-c:v", "ffv1"}, 5);
        QVERIFY(!local.isEmpty());
        if (content == "shrink") {
            // A raw stream may change its frame size: the sheet in 300x300
            // frames, then 200x150 ones.
            const QString large = makeClip(QStringLiteral("large.h264"), "pad=300:300:20:20,format=yuv420p",
                                           {"-c:v", "libx264", "-qp", "0"});
            const QString small = makeClip(QStringLiteral("small.h264"), "scale=200:150,format=yuv420p",
                                           {"-c:v", "libx264", "-qp", "0"});
            QVERIFY(!large.isEmpty() && !small.isEmpty());
            content = readAll(large) + readAll(small);
        } else if (content.isEmpty()) {
            // Cut in the middle of the third frame's packet.
            const Result packets = run(Ffprobe, {"-v", "error", "-show_entries", "packet=pos,size", "-of", "csv=p=0", local});
            const QList<QByteArray> third = packets.out.split('\n').value(2).split(',');
            QCOMPARE(third.size(), 2);
            content = readAll(local).left(third[1].toLongLong() + third[0].toLongLong() / 2);
        }
        QVERIFY(writeAll(path(name), content));
        const Result census = sheet(QStringList {"census", path(name), "--mode", Mode} + options);
        QCOMPARE(census.exitCode, 2);
        QVERIFY2(census.err.contains(error.toUtf8()), census.err.constData());
        // A script reading JSON gets no document, not one saying nothing.
        for (const char *command : {"census", "diagnose"}) {
            const Result json = sheet({command, path(name), "--mode", Mode, "--json"});
            QCOMPARE(json.exitCode, 2);
            QVERIFY2(json.out.isEmpty(), json.out.constData());
            QVERIFY2(json.err.contains(error.toUtf8()), json.err.constData());
        }
    }

    // --json of a recording says what its lines say: the stream as ffprobe
    // reads it, the frames measured and the worst one, what it stores.
    void jsonOfARecording()
    {
        const QString clip = makeClip(QStringLiteral("json.mp4"), "scale=out_color_matrix=bt601:out_range=tv,format=yuv420p",
                                      {"-c:v", "libx264", "-crf", "12", "-color_range", "pc", "-colorspace", "bt709"}, 4);
        QVERIFY(!clip.isEmpty());
        const Result probe = run(Ffprobe, {"-v", "error", "-select_streams", "v", "-show_entries",
                                           "stream=codec_name,pix_fmt,width,height,nb_frames,color_range,color_space",
                                           "-of", "json", clip});
        const QJsonObject stream = QJsonDocument::fromJson(probe.out).object()["streams"][0].toObject();
        QVERIFY2(!stream.isEmpty(), probe.out.constData());
        for (const QStringList &command : {QStringList {"census", clip, "--mode", "auto", "--frames"},
                                           QStringList {"diagnose", clip}}) {
            const Result text = sheet(command);
            const Result json = sheet(command + QStringList {"--json"});
            QCOMPARE(json.exitCode, text.exitCode);
            QCOMPARE(text.exitCode, 1);
            const QJsonObject facts = QJsonDocument::fromJson(json.out).object();
            QVERIFY2(!facts.isEmpty(), json.out.constData());
            const QJsonObject video = facts["video"].toObject();
            QCOMPARE(video["codec"].toString(), stream["codec_name"].toString());
            QCOMPARE(video["pixel_format"].toString(), stream["pix_fmt"].toString());
            QCOMPARE(video["size"].toArray(), QJsonArray({stream["width"].toInt(), stream["height"].toInt()}));
            QCOMPARE(video["frames"].toInteger(), stream["nb_frames"].toString().toLongLong());
            QCOMPARE(facts["tagged"]["range"].toString(), stream["color_range"].toString());
            QCOMPARE(facts["tagged"]["matrix"].toString(), stream["color_space"].toString());
            QCOMPARE(facts["shown"]["matrix"].toString(), QStringLiteral("BT.709"));
            QCOMPARE(facts["shown"]["range"].toString(), QStringLiteral("full"));
            QCOMPARE(facts["frames_measured"].toInt(), 4);
            // Every line a key, holding what the line says.
            const QStringList lines = QString::fromUtf8(text.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
            const QJsonArray frames = facts["frames"].toArray();
            double worst = -1;
            qint64 worstFrame = -1;
            for (const QJsonValue frame : frames)
                if (frame["mean_de2000"].toDouble() > worst) {
                    worst = frame["mean_de2000"].toDouble();
                    worstFrame = frame["frame"].toInteger();
                }
            for (const QString &line : lines) {
                const QString name = line.section(QStringLiteral(": "), 0, 0);
                const QString value = line.section(QStringLiteral(": "), 1);
                if (name.startsWith(QLatin1String("frame "))) {
                    const QJsonValue frame = frames[name.mid(6).toInt()];
                    QCOMPARE(QStringLiteral("mean dE2000 %1, PSNR %2 dB")
                                 .arg(frame["mean_de2000"].toDouble(), 0, 'f', 4)
                                 .arg(frame["psnr_db"].toDouble(), 0, 'f', 2),
                             value);
                    continue;
                }
                QString key = name.toLower().replace(QLatin1Char(' '), QLatin1Char('_'));
                if (value.endsWith(QLatin1String(" dB")))
                    key += QLatin1String("_db");
                QVERIFY2(facts.contains(key), qPrintable(key));
            }
            QVERIFY(!frames.isEmpty() || command[0] == QLatin1String("diagnose"));
            if (!frames.isEmpty())
                QCOMPARE(facts["worst_frame"]["frame"].toInteger(), worstFrame);
            if (command[0] == QLatin1String("diagnose")) {
                QCOMPARE(facts["stored"].toObject().value("matrix").toString(), QStringLiteral("BT.601"));
                QCOMPARE(facts["range"].toString(), QStringLiteral("limited read as full"));
                QCOMPARE(facts["matrix"].toString(), QStringLiteral("BT.601 read as BT.709"));
            }
        }
    }

    // The table diagnose --fix writes for a recording, applied by ffmpeg's
    // lut3d to the frames as a player following the tags shows them, comes
    // as close to the sheet as decoding them as they were stored.
    void fixOfARecording_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QStringList>("tags");
        QTest::addColumn<QString>("shown");  // how ffmpeg decodes as the tags say
        QTest::addColumn<QString>("stored"); // and as the data was made
        QTest::newRow("BT.601 limited tagged BT.709 full")
            << "scale=out_color_matrix=bt601:out_range=tv,format=yuv444p"
            << QStringList {"-color_range", "pc", "-colorspace", "bt709"} << "in_color_matrix=bt709:in_range=pc"
            << "in_color_matrix=bt601:in_range=tv";
        QTest::newRow("BT.709 limited tagged BT.601 full")
            << "scale=out_color_matrix=bt709:out_range=tv,format=yuv444p"
            << QStringList {"-color_range", "pc", "-colorspace", "smpte170m"} << "in_color_matrix=bt601:in_range=pc"
            << "in_color_matrix=bt709:in_range=tv";
        QTest::newRow("BT.2020 limited tagged BT.709 full")
            << "scale=out_color_matrix=bt2020:out_range=tv,format=yuv444p"
            << QStringList {"-color_range", "pc", "-colorspace", "bt709"} << "in_color_matrix=bt709:in_range=pc"
            << "in_color_matrix=bt2020:in_range=tv";
    }

    void fixOfARecording()
    {
        QFETCH(QString, filter);
        QFETCH(QStringList, tags);
        QFETCH(QString, shown);
        QFETCH(QString, stored);
        const QString clip = makeClip(QStringLiteral("fix%1.mkv").arg(QTest::currentDataTag()[0] == 'B' ? qHash(filter) : 0),
                                      filter, QStringList {"-c:v", "ffv1"} + tags, 2);
        QVERIFY(!clip.isEmpty());
        const QString table = path(QStringLiteral("fix.cube"));
        QFile::remove(table);
        const Result diagnosis = sheet({"diagnose", clip, "--mode", Mode, "--fix", table});
        QCOMPARE(diagnosis.exitCode, 1);
        QVERIFY2(diagnosis.err.isEmpty(), diagnosis.err.constData());
        const auto meanDe = [&](const QString &decode, const QString &after) {
            const QString frame = path(QStringLiteral("fixed.png"));
            const Result made = run(Ffmpeg, {"-v", "error", "-y", "-i", clip, "-frames:v", "1", "-vf",
                                             "scale=" + decode + ":flags=bicubic+accurate_rnd+full_chroma_int,format=rgb24"
                                                 + after, frame});
            const Result census = sheet({"census", frame, "--mode", Mode});
            const QRegularExpressionMatch mean =
                QRegularExpression(QStringLiteral("mean dE2000: ([0-9.]+)")).match(QString::fromUtf8(census.out));
            return made.exitCode == 0 && mean.hasMatch() ? mean.captured(1).toDouble() : -1.0;
        };
        const double before = meanDe(shown, QString());
        const double fixed = meanDe(shown, ",lut3d=" + table + ":interp=tetrahedral");
        const double right = meanDe(stored, QString());
        QVERIFY2(before > 1 && right >= 0 && fixed >= 0 && fixed < right + 0.3,
                 qPrintable(QStringLiteral("dE2000 %1 as shown, %2 fixed, %3 decoded as stored").arg(before).arg(fixed).arg(right)));
    }
};

QTEST_GUILESS_MAIN(tst_video)
#include "tst_video.moc"
