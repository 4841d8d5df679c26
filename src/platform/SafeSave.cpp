#include "platform/SafeSave.h"

#include "Texts.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace SafeSave {

namespace {

TINTWELL_TR_CONTEXT("SafeSave");

std::function<void(const QString &)> &beforeCommit()
{
    static std::function<void(const QString &)> hook;
    return hook;
}

std::function<int(int)> &syncSeam()
{
    static std::function<int(int)> sync;
    return sync;
}

int syncToDisk(int handle)
{
    return syncSeam() ? syncSeam()(handle) : ::fsync(handle);
}

enum class Target { RegularOrNew, Folder, CharacterDevice, OtherSpecial };

Target targetKind(const QString &fileName)
{
    // stat() follows symbolic links, as opening the name does.
    struct stat info {};
    if (::stat(QFile::encodeName(fileName).constData(), &info) != 0 || S_ISREG(info.st_mode))
        return Target::RegularOrNew;
    if (S_ISDIR(info.st_mode))
        return Target::Folder;
    return S_ISCHR(info.st_mode) ? Target::CharacterDevice : Target::OtherSpecial;
}

// A device has no content to keep safe, and QSaveFile would rename its
// temporary file over the device node, so a device is written in place.
bool writeToDevice(const QString &fileName, const Writer &write, QString &reason)
{
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        reason = file.errorString();
        return false;
    }
    if (!write(file, reason))
        return false;
    file.close();
    if (file.error() != QFileDevice::NoError) {
        reason = file.errorString();
        return false;
    }
    return true;
}

} // namespace

bool WriteAll(QIODevice &device, const QByteArray &bytes, QString &reason)
{
    for (qsizetype written = 0; written < bytes.size();) {
        const qint64 taken = device.write(bytes.constData() + written, bytes.size() - written);
        if (taken <= 0) {
            reason = device.errorString();
            return false;
        }
        written += qsizetype(taken);
    }
    return true;
}

bool Save(const QString &fileName, const Writer &write, QString &reason)
{
    switch (targetKind(fileName)) {
    case Target::CharacterDevice:
        return writeToDevice(fileName, write, reason);
    case Target::Folder:
        reason = tr("It is a folder.");
        return false;
    case Target::OtherSpecial:
        // A pipe or socket would block or swallow the content, and a block
        // device is a disk.
        reason = tr("It is not a regular file.");
        return false;
    case Target::RegularOrNew:
        break;
    }

    // QSaveFile falls back to writing in place only when making the
    // temporary file is refused, and we let it only for an existing file.
    // Unbuffered, so that a failed write (a full disk) says why at once; the
    // writers hand over large pieces.
    QSaveFile file(fileName);
    file.setDirectWriteFallback(QFileInfo(fileName).isFile());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        reason = file.errorString();
        return false;
    }
    if (!write(file, reason)) {
        file.cancelWriting();
        return false;
    }
    // QSaveFile syncs before the rename too, but does not say when the sync
    // fails (a disk error, a network file system out of space): the file
    // would then take the old one's place without its content.
    if (syncToDisk(file.handle()) != 0) {
        reason = QString::fromLocal8Bit(std::strerror(errno));
        file.cancelWriting();
        return false;
    }
    if (beforeCommit())
        beforeCommit()(fileName);
    if (!file.commit()) {
        reason = file.errorString();
        return false;
    }
    return true;
}

void SetBeforeCommit(std::function<void(const QString &fileName)> hook)
{
    beforeCommit() = std::move(hook);
}

void SetSync(std::function<int(int handle)> sync)
{
    syncSeam() = std::move(sync);
}

} // namespace SafeSave
