// tintwell-sheet's command line, parsed and run as the program runs it: any
// arguments end with an exit status of 0, 1 or 2 and, on 2, lines on the
// error stream naming the program; never a crash. The results go to
// in-memory streams, and standard input is empty, so nothing blocks and
// nothing floods the terminal.
//
// An input is the command line, one argument a line, then optionally a NUL
// and the bytes of a file the arguments may name as "in". The commands run
// in a folder of their own, which also holds the sheet of "729" as
// sheet.bmp and picture.png; whatever they write there is removed after each
// input, and a file larger than FileLimit cannot be written. An argument that
// names a place outside the folder (absolute, or with "..") is not run.

#include "FuzzTarget.h"
#include "sheet/SheetCommands.h"

#include <QDir>
#include <QFile>
#include <QIODevice>

#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include <sys/resource.h>
#include <unistd.h>

namespace {

// Standard output or standard error: counts what is written and keeps the
// start of it, so that a table of 200 MB costs no memory.
class Stream : public QIODevice
{
public:
    static constexpr qint64 Kept = 64 * 1024;

    Stream() { open(QIODevice::WriteOnly); }
    void clear()
    {
        kept_.clear();
        written_ = 0;
    }
    const QByteArray &kept() const { return kept_; }
    qint64 written() const { return written_; }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override
    {
        if (kept_.size() < Kept)
            kept_.append(data, qsizetype(std::min(size, Kept - kept_.size())));
        written_ += size;
        return size;
    }

private:
    QByteArray kept_;
    qint64 written_ = 0;
};

// The exit statuses: done, a negative answer, an error.
constexpr int Done = 0;
constexpr int No = 1;
constexpr int Failed = 2;

constexpr rlim_t FileLimit = 128 << 20;
constexpr int MostArguments = 24;

QByteArray sheetBmp;
QByteArray picturePng;

int run(const QStringList &arguments, Stream &out, Stream &err)
{
    out.clear();
    err.clear();
    return SheetCommands::Run(QStringList {QStringLiteral("tintwell-sheet")} + arguments, out, err);
}

bool writeFile(const QString &name, const QByteArray &bytes)
{
    QFile file(name);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

void emptyFolder()
{
    QDir folder(QDir::currentPath());
    for (const QFileInfo &entry : folder.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
        if (entry.isDir() && !entry.isSymLink())
            QDir(entry.filePath()).removeRecursively();
        else
            QFile::remove(entry.filePath());
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzTarget::Start();
    QCoreApplication::setApplicationName(QStringLiteral("tintwell-sheet"));

    // Standard input is empty: "-" as a picture reads nothing.
    if (!std::freopen("/dev/null", "r", stdin))
        std::abort();
    // A file larger than the limit fails to be written (EFBIG) instead of
    // filling the disk: the program must tell that failure like any other.
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit files {FileLimit, FileLimit};
    ::setrlimit(RLIMIT_FSIZE, &files);

    static char folder[] = "/tmp/tintwell-fuzz-arguments-XXXXXX";
    if (!::mkdtemp(folder) || ::chdir(folder) != 0)
        std::abort();
    std::atexit([] { QDir(QString::fromLocal8Bit(folder)).removeRecursively(); });

    Stream out;
    Stream err;
    FuzzTarget::Require(run({QStringLiteral("make"), QStringLiteral("729"), QStringLiteral("sheet.bmp")}, out, err)
                                == Done
                            && run({QStringLiteral("make"), QStringLiteral("729"), QStringLiteral("picture.png")},
                                   out, err) == Done,
                        "the sheets of 729 are made");
    QFile bmp(QStringLiteral("sheet.bmp"));
    QFile png(QStringLiteral("picture.png"));
    FuzzTarget::Require(bmp.open(QIODevice::ReadOnly) && png.open(QIODevice::ReadOnly), "the sheets are read");
    sheetBmp = bmp.readAll();
    picturePng = png.readAll();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype nul = bytes.indexOf('\0');
    const QByteArray line = nul < 0 ? bytes : bytes.left(nul);
    QStringList arguments;
    for (const QByteArray &argument : line.split('\n')) {
        const QString text = QString::fromUtf8(argument);
        if (text.startsWith(QLatin1Char('/')) || text.contains(QLatin1String("..")))
            return -1; // not kept in the corpus
        arguments << text;
    }
    if (arguments.size() > MostArguments)
        return -1;

    emptyFolder();
    FuzzTarget::Require(writeFile(QStringLiteral("sheet.bmp"), sheetBmp)
                            && writeFile(QStringLiteral("picture.png"), picturePng)
                            && (nul < 0 || writeFile(QStringLiteral("in"), bytes.mid(nul + 1))),
                        "the input files are written");

    static Stream out;
    static Stream err;
    const int status = run(arguments, out, err);
    FuzzTarget::Require(status == Done || status == No
                            || status == Failed,
                        "the exit status is 0, 1 or 2");
    // census of several files tells each file's error on its own line.
    if (status == Failed) {
        const QByteArray &said = err.kept();
        FuzzTarget::Require(!said.isEmpty() && said.endsWith('\n'), "an error is told on the error stream");
        for (const QByteArray &line : said.chopped(1).split('\n'))
            FuzzTarget::Require(line.startsWith("tintwell-sheet: "), "each error line names the program");
    }
    return 0;
}
