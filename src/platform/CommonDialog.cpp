#include "platform/CommonDialog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <algorithm>

bool CommonDialog::ShowSave(QWidget *parent)
{
    // Built by hand rather than through getSaveFileName so that it is an
    // ordinary child of `parent` that a test can find and answer. Qt's own,
    // which keeps no history (see KeepNoDialogState).
    QFileDialog dialog(parent);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // No default suffix: a name typed without an extension is saved as typed.
    if (!filter_.isEmpty()) {
        dialog.setNameFilters(filter_);
        dialog.selectNameFilter(filter_.value(filterIndex_, filter_.constFirst()));
    }
    if (!fileName_.isEmpty()) {
        const QFileInfo current(fileName_);
        dialog.setDirectory(current.absolutePath());
        dialog.selectFile(current.fileName());
    }

    if (dialog.exec() != QDialog::Accepted)
        return false;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty())
        return false;
    fileName_ = QFileInfo(chosen.constFirst()).absoluteFilePath();
    if (!filter_.isEmpty())
        filterIndex_ = std::max(0, static_cast<int>(filter_.indexOf(dialog.selectedNameFilter())));
    return true;
}

void KeepNoDialogState()
{
    // Not an empty path: Qt would then write /QtProject.conf, which root may.
    // Below /dev/null no folder can be made, by root neither, so every
    // attempt to save fails quietly and nothing is read back.
    const QString nowhere = QStringLiteral("/dev/null/no-settings");
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, nowhere);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, nowhere);
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
}

namespace {

// Whether `folder` is `top` or lies inside it, both as the file system
// resolves them (symbolic links followed).
bool isWithin(const QString &folder, const QString &top)
{
    const QString resolvedTop = QFileInfo(top).canonicalFilePath();
    const QString resolved = QFileInfo(folder).canonicalFilePath();
    if (resolvedTop.isEmpty() || resolved.isEmpty())
        return false;
    return resolved == resolvedTop || resolved.startsWith(resolvedTop + QLatin1Char('/'));
}

} // namespace

QString DefaultSaveFolder(const QString &programFolder, const QString &buildFolder)
{
    // Anywhere else the program is installed, and its folder is no place for
    // pictures even where root may write there.
    const QFileInfo program(programFolder);
    if (program.isDir() && program.isWritable() && isWithin(programFolder, buildFolder))
        return programFolder;
    // The desktop names the Pictures folder whether or not it exists.
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (!pictures.isEmpty() && QFileInfo(pictures).isDir())
        return pictures;
    return QDir::homePath();
}
