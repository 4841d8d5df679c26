#pragma once

#include <QString>
#include <QStringList>

class QWidget;

// The save dialog behind the Save button: the caller sets FileName to a
// default and the file types (Filter, FilterIndex) to offer, calls ShowSave,
// and on true reads the chosen path and type back.
class CommonDialog
{
public:
    QString FileName() const { return fileName_; }
    void setFileName(const QString &fileName) { fileName_ = fileName; }

    // The file types the dialog offers, as Qt name filters such as
    // "PNG picture (*.png)"; none: every file is listed.
    QStringList Filter() const { return filter_; }
    void setFilter(const QStringList &filter) { filter_ = filter; }
    // The type chosen (an index into Filter): the one shown first, and after
    // ShowSave the one the user left chosen.
    int FilterIndex() const { return filterIndex_; }
    void setFilterIndex(int index) { filterIndex_ = index; }

    // Shows a modal save dialog over `parent`, opened on FileName's folder
    // with its file name filled in. Accepted: FileName becomes the chosen
    // absolute path and the result is true. Cancelled or closed: FileName
    // keeps its value and the result is false. The file type never changes
    // the name: a name typed with another ending or none is kept as typed.
    bool ShowSave(QWidget *parent);

private:
    QString fileName_;
    QStringList filter_;
    int filterIndex_ = 0;
};

// The program remembers nothing between its runs, but Qt's file dialog
// writes its folder, history and layout to the user's QtProject.conf when it
// is destroyed, and Qt has no switch for that. This points the user's
// settings at a folder that can never be made, and asks for Qt's own dialogs
// everywhere (a native one keeps a history of its own). Once per program,
// before the first dialog.
void KeepNoDialogState();

// The folder Save proposes: the program's own folder while the program runs
// from the build folder it was built in (`buildFolder` or a folder inside
// it) and the user may write there; an installed program (in /usr/bin,
// /usr/local/bin, ~/.local/bin, even one root may write to) proposes the
// user's Pictures folder, or the home folder when there is no Pictures
// folder.
QString DefaultSaveFolder(const QString &programFolder, const QString &buildFolder);
