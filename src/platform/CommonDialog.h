#pragma once

#include <QString>

class QWidget;

// The save dialog behind the Save button: the caller sets FileName to a
// default, calls ShowSave, and on true reads the chosen path back.
class CommonDialog
{
public:
    QString FileName() const { return fileName_; }
    void setFileName(const QString &fileName) { fileName_ = fileName; }

    // Shows a modal save dialog over `parent`, opened on FileName's folder
    // with its file name filled in. Accepted: FileName becomes the chosen
    // absolute path and the result is true. Cancelled or closed: FileName
    // keeps its value and the result is false.
    bool ShowSave(QWidget *parent);

private:
    QString fileName_;
};

// The folder Save proposes: the program's own folder while the user may write
// there (a program run from its build folder), otherwise the user's Pictures
// folder (an installed program lives in a folder such as /usr/bin), or the
// home folder when there is no Pictures folder.
QString DefaultSaveFolder(const QString &programFolder);
