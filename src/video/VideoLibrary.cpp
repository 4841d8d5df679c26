#include "video/VideoLibrary.h"

#include "input/StandardInput.h"
#include "video/VideoFrames.h"

#include "tintwellconfig.h"
#include "Texts.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QLibrary>
#include <QStringList>

namespace VideoLibrary {

namespace {

TINTWELL_TR_CONTEXT("VideoLibrary");

QStringList places()
{
    const QString program = QCoreApplication::applicationDirPath();
    // Beside tintwell-sheet in the build tree (the window's program is a
    // folder above it there), then where it is installed.
    return {QDir(program).filePath(QString::fromLatin1(FileName)),
            QDir(program).filePath(QStringLiteral("sheet/") + QString::fromLatin1(FileName)),
            QDir::cleanPath(QDir(program).filePath(QString::fromLatin1(TintwellConfig::VideoModuleFolder)) + QLatin1Char('/')
                            + QString::fromLatin1(FileName))};
}

} // namespace

VideoFrames::Module *Load(QString &error)
{
    static VideoFrames::Module *module = nullptr;
    static QString failure;
    if (module || !failure.isEmpty()) {
        error = failure;
        return module;
    }
    QStringList reasons;
    for (const QString &path : places()) {
        if (!QFileInfo::exists(path)) {
            reasons << tr("%1 does not exist").arg(QDir::toNativeSeparators(path));
            continue;
        }
        // Kept loaded to the end: its readers may outlive any one caller.
        auto *library = new QLibrary(path);
        const auto entry = reinterpret_cast<VideoFrames::ModuleEntry>(library->resolve(VideoFrames::ModuleEntryName));
        if (entry && (module = entry()))
            return module;
        reasons << library->errorString();
        delete library;
    }
    failure = tr("Recordings are read by the video module %1, which could not be loaded (%2).")
                  .arg(QString::fromLatin1(FileName), reasons.join(QLatin1String("; ")));
    error = failure;
    return nullptr;
}

bool IsRecording(const QString &fileName)
{
    if (fileName == QLatin1String("-")) {
        QByteArray head = StandardInput::Head();
        QBuffer bytes(&head);
        if (head.isEmpty() || !bytes.open(QIODevice::ReadOnly) || !QImageReader::imageFormat(&bytes).isEmpty())
            return false;
        QString error;
        VideoFrames::Module *module = Load(error);
        return module && module->isRecordingHead(head);
    }
    if (!QFileInfo(fileName).isFile())
        return false;
    // By the content, never the name: a picture called .mp4 is a picture.
    if (!QImageReader::imageFormat(fileName).isEmpty() || QFileInfo(fileName).size() == 0)
        return false;
    // Neither a picture nor a recording: the picture reader says what is
    // wrong with it, as it always has; so it does when the module is missing.
    QString error;
    VideoFrames::Module *module = Load(error);
    return module && module->isRecording(fileName);
}

std::unique_ptr<VideoFrames::Reader> Open(const QString &fileName, int limitMB, QString &error,
                                          VideoFrames::Decoding decoding)
{
    VideoFrames::Module *module = Load(error);
    if (!module)
        return nullptr;
    if (fileName == QLatin1String("-"))
        return module->openStream(StandardInput::Head(), StandardInput::Descriptor(), tr("standard input"),
                                  limitMB, error);
    return module->open(fileName, limitMB, decoding, error);
}

QString UnreadableNote(const QString &fileName)
{
    if (fileName == QLatin1String("-") || !QFileInfo(fileName).isFile() || QFileInfo(fileName).size() == 0
        || !QImageReader::imageFormat(fileName).isEmpty())
        return {};
    QString error;
    return Load(error) ? QString() : error;
}

} // namespace VideoLibrary
