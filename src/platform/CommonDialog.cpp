#include "platform/CommonDialog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>

bool CommonDialog::ShowSave(QWidget *parent)
{
    // Built by hand rather than through getSaveFileName so that it is an
    // ordinary child of `parent` that a test can find and answer. The
    // platform decides between its native dialog and Qt's own; without a
    // platform theme (offscreen) it is Qt's own.
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // No file-type filter and no default suffix: every file of the folder is
    // listed, and a name typed without an extension is saved as typed.
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
    return true;
}

QString DefaultSaveFolder(const QString &programFolder)
{
    const QFileInfo program(programFolder);
    if (program.isDir() && program.isWritable())
        return programFolder;
    // The desktop names the Pictures folder whether or not it exists.
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (!pictures.isEmpty() && QFileInfo(pictures).isDir())
        return pictures;
    return QDir::homePath();
}
