#include "window/mainform.h"

#include "colour/C2rgb.h"
#include "generation/RunObserver.h"
#include "platform/CanvasImage.h"
#include "platform/Clipboard.h"
#include "platform/Interaction.h"
#include "platform/Module1.h"
#include "platform/PictureFile.h"
#include "window/Design.h"
#include "window/LinkLabel.h"
#include "window/OuterSize.h"
#include "window/Preview.h"
#include "window/Twips.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>

namespace {

// During a run the window keeps room for the whole preview and a margin as
// wide as the one on its left, whatever frame the window manager draws.
constexpr QSize LeastRunClient(Design::PreviewLeft + Design::PreviewSize + Design::PreviewLeft,
                               Design::PreviewTop + Design::PreviewSize + Design::PreviewLeft);

ColorValue toColorValue(const QColor &colour)
{
    return RGB(colour.red(), colour.green(), colour.blue());
}

} // namespace

// Hands each report of a run to the window's own handler.
class mainform::RunHost final : public RunObserver
{
public:
    explicit RunHost(mainform &form) : form_(form) {}

    void RunStarted() override { form_.RunStarted(); }
    void TileDrawn(CanvasArea tile) override { form_.TileDrawn(tile); }
    void TimeSoFar(std::int32_t elapsedMs) override { form_.TimeSoFar(elapsedMs); }
    void EventPass() override { Interaction::DoEvents(); }
    void RunEnded(std::int32_t totalMs) override { form_.RunEnded(totalMs); }
    void CanvasUnavailable(int width, int height) override { form_.CanvasUnavailable(width, height); }

private:
    mainform &form_;
};

mainform::mainform(QWidget *parent)
    : QWidget(parent),
      runHost_(std::make_unique<RunHost>(*this)),
      generator_(*runHost_)
{
    ui.setupUi(this);
    ui.placeControls(this);
    preview_ = new Preview(canvas_, this);
    preview_->setObjectName(QStringLiteral("Preview"));
    preview_->setGeometry(Design::PreviewLeft, Design::PreviewTop, Design::PreviewSize, Design::PreviewSize);
    outerSize_ = new OuterSize(this);

    // The canvas shows the window-background colour wherever nothing is drawn.
    canvas_.setBackColor(toColorValue(palette().color(QPalette::Base)));
    canvas_.clear();

    connect(ui.Command1, &QPushButton::clicked, this, &mainform::Command1_Click);
    connect(ui.Command2, &QPushButton::clicked, this, &mainform::Command2_Click);
    connect(ui.Command3, &QPushButton::clicked, this, &mainform::Command3_Click);
    connect(ui.Label3, &LinkLabel::clicked, this, &mainform::Label3_Click);
}

mainform::~mainform() = default;

void mainform::Form_Load()
{
    ui.Combo1->setCurrentIndex(0);
    outerSize_->setWidth(Design::OuterWidthPixels * Twips::PerPixelX(*this));
}

int mainform::SelectedMode() const
{
    return ui.Combo1->currentIndex();
}

ColorValue mainform::Point(double x, double y) const
{
    if (x < 0 || y < 0 || x >= width() || y >= height())
        return -1;
    const ColorValue shown = preview_->pixel(QPointF(x, y) - preview_->pos());
    return shown != -1 ? shown : toColorValue(palette().color(QPalette::Window));
}

// --- What a run's reports mean on screen -----------------------------------

void mainform::RunStarted()
{
    ui.Label1->setText(QStringLiteral("0"));
    outerSize_->setWidth(Design::OuterWidthPixels * Twips::PerPixelX(*this));
    outerSize_->setHeight(Design::RunHeightPixels * Twips::PerPixelY(*this) + Design::RunExtraHeightTwips,
                          LeastRunClient);
    emit runStarted();
}

void mainform::TileDrawn(CanvasArea tile)
{
    // During a run each preview goes to the screen at once.
    preview_->showCanvas(tile, Preview::Refresh::Now);
    announceChange(tile);
}

void mainform::TimeSoFar(std::int32_t elapsedMs)
{
    ui.Label1->setText(QString::number(elapsedMs));
}

void mainform::RunEnded(std::int32_t totalMs)
{
    // The final preview is the whole canvas, shown with the next repaint.
    const CanvasArea whole{0, 0, canvas_.width(), canvas_.height()};
    preview_->showCanvas(whole, Preview::Refresh::WithNextPaint);
    announceChange(whole);
    ui.Label1->setText(QString::number(totalMs));
    if (!closing_)
        Interaction::Beep();
    emit runEnded();
}

void mainform::announceChange(CanvasArea tile)
{
    if (canvas_.contentEpoch() != announcedEpoch_) {
        tile = {0, 0, canvas_.width(), canvas_.height()};
        announcedEpoch_ = canvas_.contentEpoch();
    }
    // A tile of an interrupted run may lie outside the canvas a nested run left.
    const QRect area = QRect(tile.x, tile.y, tile.width, tile.height).intersected(
        QRect(0, 0, canvas_.width(), canvas_.height()));
    if (!area.isEmpty())
        emit canvasChanged(area);
}

void mainform::CanvasUnavailable(int width, int height)
{
    QMessageBox::warning(this, windowTitle(),
                         tr("There is not enough memory for a picture of %1 × %2 pixels.").arg(width).arg(height));
}

// --- Handlers ---------------------------------------------------------------

void mainform::Command1_Click()
{
    // The mode is the one selected now: a Start clicked during a run draws
    // whatever the list shows at that moment.
    generator_.Start({canvas_, SelectedMode(), &Module1::GetTickCount});
}

void mainform::Command3_Click()
{
    generator_.Stop();
}

void mainform::Command2_Click()
{
    if (ui.Combo1->currentIndex() == 0
        && Interaction::MsgBox(this, tr("16M色のファイルサイズは48Mbyteになります。")) == QMessageBox::Cancel)
        return;

    CommonDialog1.setFileName(DefaultSaveFolder(QCoreApplication::applicationDirPath()) + QLatin1Char('/')
                              + ui.Combo1->currentText() + QStringLiteral(".bmp"));
    if (!CommonDialog1.ShowSave(this))
        return;

    const QString name = CommonDialog1.FileName();
    QString failure;
    if (!PictureFile::SavePicture(CanvasImage(canvas_), name, &failure))
        QMessageBox::warning(this, windowTitle(), failure);
}

void mainform::Label3_Click()
{
    Module1::ShellOpen(this, ui.Label3->Tag());
}

void mainform::mouseReleaseEvent(QMouseEvent *event)
{
    Form_MouseUp(event->button(), event->modifiers(), event->position().x(), event->position().y());
}

void mainform::Form_MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, double x, double y)
{
    Q_UNUSED(shift); // a right release with Shift, Ctrl or Alt picks as well
    if (button != Qt::RightButton)
        return;

    const ColorValue colour = Point(x, y);
    std::int16_t red, green, blue;
    C2rgb::SplitRGB(colour, red, green, blue);
    ui.RGBc[0]->setText(QString::fromStdString(C2rgb::Hex(red)));
    ui.RGBc[1]->setText(QString::fromStdString(C2rgb::Hex(green)));
    ui.RGBc[2]->setText(QString::fromStdString(C2rgb::Hex(blue)));
    const QString code = QString::fromStdString(C2rgb::RGBCode(red, green, blue, C2rgb::CodeStyle::Plain));
    ui.Label4->setToolTip(code);
    Clipboard::Clear();
    Clipboard::SetText(code);

    // -1 is no colour (the release was off the window): the swatch shows its
    // own background again rather than an invented colour.
    QPalette swatch = ui.Label4->palette();
    swatch.setColor(QPalette::Window, colour < 0 ? palette().color(QPalette::Window)
                                                 : QColor(RedOf(colour), GreenOf(colour), BlueOf(colour)));
    ui.Label4->setPalette(swatch);
}

void mainform::closeEvent(QCloseEvent *event)
{
    // A run in progress stops at its next tile and unwinds; the program ends
    // once it has.
    if (generator_.RunDepth() > 0) {
        closing_ = true;
        generator_.Stop();
    }
    event->accept();
}
