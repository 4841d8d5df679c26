// tintwell-sheet's command line, parsed and run as the program runs it: any
// arguments end with an exit status of 0, 1 or 2 and, on 2, lines on the
// error stream naming the program; never a crash. The results go to
// in-memory streams, and standard input is empty, so nothing blocks and
// nothing floods the terminal.
//
// An input is the command line, one argument a line, then optionally a NUL
// and the bytes of a file the arguments may name as "in". The files the
// commands read and write lie in a folder of their own, which also holds
// the sheet of "729" as sheet.bmp and picture.png: every word in a file's
// place (by the command's arguments, and --diff and --output) is made an
// absolute name in it, so the working directory stays the fuzzer's and its
// relative corpus folders are found. Whatever the commands write there is
// removed after each input, and a file larger than FileLimit cannot be
// written. An argument that names a place outside the folder (absolute, or
// with "..") is not run.

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
QString folder;

QString inFolder(const QString &name)
{
    return folder + QLatin1Char('/') + name;
}

// The arguments with every file name made absolute in the folder. The
// words in a file's place: all of a command's arguments but make's and
// locate's MODE and locate's COLOUR, and the values of --diff and --output;
// "-" is a standard stream and stays.
QStringList withFolder(QStringList arguments)
{
    static const QStringList takingValues = {"--mode", "--at", "--missing", "--size", "--format", "--interpolation"};
    static const QStringList takingFiles = {"--diff", "--output", "-o"};
    QString command;
    int position = 0;
    bool onlyArguments = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        QString &word = arguments[i];
        const bool option = !onlyArguments && word.startsWith(QLatin1Char('-')) && word != QLatin1String("-");
        if (option) {
            if (word == QLatin1String("--"))
                onlyArguments = true;
            const QString name = word.section(QLatin1Char('='), 0, 0);
            const bool joined = word.contains(QLatin1Char('='));
            if (takingFiles.contains(name)) {
                if (joined && !word.section(QLatin1Char('='), 1).isEmpty())
                    word = name + QLatin1Char('=') + inFolder(word.section(QLatin1Char('='), 1));
                else if (!joined && i + 1 < arguments.size() && arguments[i + 1] != QLatin1String("-")) {
                    arguments[i + 1] = inFolder(arguments[i + 1]);
                    ++i;
                }
            } else if (takingValues.contains(name) && !joined) {
                ++i;
            }
            continue;
        }
        if (command.isEmpty()) {
            command = word;
            continue;
        }
        const bool notAFile = (command == QLatin1String("make") && position == 0)
                              || command == QLatin1String("locate") || command == QLatin1String("modes");
        if (!notAFile && !word.isEmpty() && word != QLatin1String("-"))
            word = inFolder(word);
        ++position;
    }
    return arguments;
}

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
    for (const QFileInfo &entry : QDir(folder).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
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

    static char made[] = "/tmp/tintwell-fuzz-arguments-XXXXXX";
    if (!::mkdtemp(made))
        std::abort();
    folder = QString::fromLocal8Bit(made);
    std::atexit([] { QDir(folder).removeRecursively(); });

    Stream out;
    Stream err;
    FuzzTarget::Require(run({QStringLiteral("make"), QStringLiteral("729"), inFolder(QStringLiteral("sheet.bmp"))},
                            out, err) == Done
                            && run({QStringLiteral("make"), QStringLiteral("729"), inFolder(QStringLiteral("picture.png"))},
                                   out, err) == Done,
                        "the sheets of 729 are made");
    QFile bmp(inFolder(QStringLiteral("sheet.bmp")));
    QFile png(inFolder(QStringLiteral("picture.png")));
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
        // -oNAME (-o with its value joined) would name a file outside the folder.
        const bool joinedOutput = text.startsWith(QLatin1String("-o")) && text.size() > 2 && text[2] != QLatin1Char('=');
        if (text.startsWith(QLatin1Char('/')) || text.contains(QLatin1String("..")) || joinedOutput)
            return -1; // not kept in the corpus
        arguments << text;
    }
    if (arguments.size() > MostArguments)
        return -1;

    emptyFolder();
    FuzzTarget::Require(writeFile(inFolder(QStringLiteral("sheet.bmp")), sheetBmp)
                            && writeFile(inFolder(QStringLiteral("picture.png")), picturePng)
                            && (nul < 0 || writeFile(inFolder(QStringLiteral("in")), bytes.mid(nul + 1))),
                        "the input files are written");

    static Stream out;
    static Stream err;
    const int status = run(withFolder(arguments), out, err);
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
