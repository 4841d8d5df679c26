#pragma once

// The panel of results beside the view: the census and the diagnosis of the
// capture the view shows, the same lines the command prints, to select and
// copy.

#include <QWidget>

class QPlainTextEdit;
#include <QStringList>

class ResultsDock : public QWidget
{
    Q_OBJECT

public:
    explicit ResultsDock(QWidget *parent = nullptr);

    // The census lines, then the diagnosis lines under a heading; both
    // empty: a line saying there is nothing to show.
    void showResults(const QStringList &census, const QStringList &diagnosis);
    QString text() const;

private:
    QPlainTextEdit *text_ = nullptr;
};
