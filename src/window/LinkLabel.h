#pragma once

#include <QLabel>
#include <QString>

// A label that reports a left click and holds the address it stands for, its
// Tag (the caption shows the same text, but the Tag is what is opened). Tab
// reaches it like a button, and Enter or Space then count as a click.
class LinkLabel : public QLabel
{
    Q_OBJECT

public:
    explicit LinkLabel(QWidget *parent = nullptr);

    QString Tag() const { return tag_; }
    void setTag(const QString &tag) { tag_ = tag; }

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QString tag_;
    bool pressed_ = false;
};
