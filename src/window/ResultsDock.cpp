#include "window/ResultsDock.h"

#include <QBoxLayout>
#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>

namespace {

// Wide enough for the census's longest lines without a scroll bar.
constexpr int LeastWidth = 320;

} // namespace

ResultsDock::ResultsDock(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("ResultsDock"));
    auto *heading = new QLabel(tr("Results"), this);
    text_ = new QPlainTextEdit(this);
    text_->setObjectName(QStringLiteral("ResultsText"));
    text_->setReadOnly(true);
    text_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    text_->setMinimumWidth(LeastWidth);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(heading);
    layout->addWidget(text_, 1);
    showResults({}, {});
}

void ResultsDock::showResults(const QStringList &census, const QStringList &diagnosis)
{
    QStringList lines = census;
    if (!diagnosis.isEmpty())
        lines << QString() << tr("Diagnosis:") << diagnosis;
    if (lines.isEmpty())
        lines << tr("Open a capture (Ctrl+O) to see how far it is from its sheet.");
    text_->setPlainText(lines.join(QLatin1Char('\n')));
}

QString ResultsDock::text() const
{
    return text_->toPlainText();
}
