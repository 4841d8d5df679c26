#include "window/ResultsDock.h"

#include "window/Capture.h"

#include <QBoxLayout>
#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QTextDocument>
#include <QTimer>

#include <algorithm>

namespace {

// Wide enough for the census's lines at their usual length; longer ones
// wrap. The panel opens this wide whatever it holds, so that the picture
// beside it stays where it is when the results come in.
constexpr int LeastWidth = 320;
constexpr int OpeningWidth = 380;
// A slider held still this long has chosen its frame: dragging over frames
// does not open each of them.
constexpr int SettleMs = 250;

// The verdict's colours: the background and the bar on its left.
struct Look
{
    const char *background;
    const char *bar;
};
constexpr Look RightLook {"#dcf2e0", "#1e7a34"};
constexpr Look FaultLook {"#fff0c7", "#b07800"};
constexpr Look UnexplainedLook {"#f8d8d6", "#b3261e"};
constexpr Look NeutralLook {"#e8e8e8", "#808080"};

QString styleOf(const Look &look)
{
    return QStringLiteral("QLabel#Verdict { background: %1; color: #000000; border-left: 6px solid %2; padding: 8px; }")
        .arg(QLatin1String(look.background), QLatin1String(look.bar));
}

QString number(double value)
{
    return QString::number(value, 'f', 2);
}

// The dock's contents, asking for the same width whatever they hold.
class Panel : public QWidget
{
public:
    using QWidget::QWidget;
    QSize sizeHint() const override { return {OpeningWidth, QWidget::sizeHint().height()}; }
};

} // namespace

ResultsDock::ResultsDock(QWidget *parent)
    : QDockWidget(tr("Results"), parent)
{
    setObjectName(QStringLiteral("ResultsDock"));
    setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable);
    auto *inside = new Panel(this);

    verdict_ = new QLabel(inside);
    verdict_->setObjectName(QStringLiteral("Verdict"));
    verdict_->setWordWrap(true);
    verdict_->setTextFormat(Qt::RichText);
    verdict_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    stream_ = new QLabel(inside);
    stream_->setObjectName(QStringLiteral("Stream"));
    stream_->setWordWrap(true);
    stream_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    stream_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    stream_->hide();

    frameRow_ = new QWidget(inside);
    slider_ = new QSlider(Qt::Horizontal, frameRow_);
    slider_->setObjectName(QStringLiteral("FrameSlider"));
    frameText_ = new QLabel(frameRow_);
    frameText_->setObjectName(QStringLiteral("FrameShown"));
    frameText_->setWordWrap(true);
    worst_ = new QPushButton(frameRow_);
    worst_->setObjectName(QStringLiteral("WorstFrame"));
    auto *frameLayout = new QVBoxLayout(frameRow_);
    frameLayout->setContentsMargins(0, 0, 0, 0);
    auto *sliderLine = new QHBoxLayout;
    sliderLine->addWidget(slider_, 1);
    sliderLine->addWidget(worst_);
    frameLayout->addLayout(sliderLine);
    frameLayout->addWidget(frameText_);
    frameRow_->hide();

    text_ = new QPlainTextEdit(inside);
    text_->setObjectName(QStringLiteral("ResultsText"));
    text_->setReadOnly(true);
    text_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    text_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

    auto *layout = new QVBoxLayout(inside);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(verdict_);
    layout->addWidget(stream_);
    layout->addWidget(frameRow_);
    layout->addWidget(text_, 1);
    inside->setMinimumWidth(LeastWidth);
    setWidget(inside);

    settle_ = new QTimer(this);
    settle_->setSingleShot(true);
    settle_->setInterval(SettleMs);
    connect(slider_, &QSlider::valueChanged, this, [this](int index) {
        showFrameText(index);
        settle_->start();
    });
    connect(settle_, &QTimer::timeout, this, [this] {
        if (!frames_.empty())
            emit frameChosen(frames_[std::size_t(slider_->value())].frame);
    });
    connect(worst_, &QPushButton::clicked, this, [this] {
        const auto worst = std::find_if(frames_.begin(), frames_.end(),
                                        [this](const VideoCensus::FrameMeasure &m) { return m.frame == worstFrame_; });
        if (worst == frames_.end())
            return;
        const QSignalBlocker quiet(slider_);
        slider_->setValue(int(worst - frames_.begin()));
        showFrameText(slider_->value());
        settle_->stop();
        emit frameChosen(worstFrame_);
    });
    showNothing();
}

void ResultsDock::showNothing()
{
    showMessage(tr("Open a capture (Ctrl+O) to see how far it is from its sheet."));
    showStream({});
    showFrames({}, -1, -1);
    text_->clear();
}

void ResultsDock::showMessage(const QString &text)
{
    verdict_->setStyleSheet(styleOf(NeutralLook));
    verdict_->setText(text.toHtmlEscaped());
}

void ResultsDock::showVerdict(const Verdict &verdict)
{
    QString headline;
    QString figures;
    Look look = RightLook;
    switch (verdict.kind) {
    case Verdict::Kind::Right:
        headline = verdict.exact ? tr("Right: the capture is the sheet, pixel for pixel.")
                                 : tr("Right: no step stands between the sheet and the capture; what differs is "
                                      "noise.");
        if (!verdict.exact)
            figures = tr("mean dE2000 %1").arg(number(verdict.before));
        break;
    case Verdict::Kind::FaultNamed:
        look = FaultLook;
        headline = tr("Fault named: the sheet went through these steps on its way into the capture.");
        figures = tr("mean dE2000 %1 → %2 after the steps").arg(number(verdict.before), number(verdict.after));
        break;
    case Verdict::Kind::Unexplained:
        look = UnexplainedLook;
        headline = verdict.steps.isEmpty() ? tr("Unexplained: no known step brings the sheet near the capture.")
                                           : tr("Unexplained: even the steps found leave the capture far from the "
                                                "sheet.");
        figures = tr("mean dE2000 %1 → %2 after the steps").arg(number(verdict.before), number(verdict.after));
        break;
    }
    QString html = QStringLiteral("<b>%1</b>").arg(headline.toHtmlEscaped());
    if (!verdict.steps.isEmpty()) {
        html += QStringLiteral("<ul style=\"margin-left: 12px; -qt-list-indent: 0;\">");
        for (const QString &step : verdict.steps)
            html += QStringLiteral("<li>%1</li>").arg(step.toHtmlEscaped());
        html += QStringLiteral("</ul>");
    }
    if (!figures.isEmpty())
        html += QStringLiteral("<p>%1</p>").arg(figures.toHtmlEscaped());
    verdict_->setStyleSheet(styleOf(look));
    verdict_->setText(html);
}

void ResultsDock::showStream(const QStringList &lines)
{
    stream_->setText(lines.join(QLatin1Char('\n')));
    stream_->setVisible(!lines.isEmpty());
}

void ResultsDock::showLines(const QStringList &census, const QStringList &diagnosis)
{
    QStringList lines = census;
    if (!diagnosis.isEmpty())
        lines << QString() << tr("Diagnosis:") << diagnosis;
    text_->setPlainText(lines.join(QLatin1Char('\n')));
}

void ResultsDock::showFrames(const std::vector<VideoCensus::FrameMeasure> &frames, std::int64_t worst,
                             std::int64_t shown)
{
    frames_ = frames;
    worstFrame_ = worst;
    frameRow_->setVisible(frames_.size() > 1);
    if (frames_.empty())
        return;
    const QSignalBlocker quiet(slider_);
    slider_->setRange(0, int(frames_.size()) - 1);
    worst_->setText(tr("Worst frame: %1").arg(worst));
    worst_->setEnabled(worst >= 0);
    setFrameShown(shown);
}

void ResultsDock::setFrameShown(std::int64_t frame)
{
    const auto at = std::find_if(frames_.begin(), frames_.end(),
                                 [frame](const VideoCensus::FrameMeasure &m) { return m.frame == frame; });
    if (at == frames_.end())
        return;
    const QSignalBlocker quiet(slider_);
    slider_->setValue(int(at - frames_.begin()));
    showFrameText(slider_->value());
}

void ResultsDock::showFrameText(int index)
{
    if (index < 0 || std::size_t(index) >= frames_.size())
        return;
    const VideoCensus::FrameMeasure &measure = frames_[std::size_t(index)];
    frameText_->setText(tr("Frame %1 (%2 of %3 measured): mean dE2000 %4")
                            .arg(measure.frame)
                            .arg(index + 1)
                            .arg(frames_.size())
                            .arg(QString::number(measure.meanDe2000, 'f', 4)));
}

QString ResultsDock::text() const
{
    QTextDocument verdict;
    verdict.setHtml(verdict_->text());
    QStringList all = {verdict.toPlainText()};
    if (stream_->isVisibleTo(this))
        all << stream_->text();
    if (frameRow_->isVisibleTo(this))
        all << frameText_->text();
    all << text_->toPlainText();
    return all.join(QLatin1Char('\n'));
}
