#include "window/mainform.h"

#include "colour/C2rgb.h"
#include "generation/RunObserver.h"
#include "generation/Sheets.h"
#include "platform/CanvasImage.h"
#include "platform/Clipboard.h"
#include "platform/Interaction.h"
#include "platform/Module1.h"
#include "platform/PictureFile.h"
#include "tintwellconfig.h"
#include "window/Design.h"
#include "window/LinkLabel.h"
#include "window/OuterSize.h"
#include "window/Preview.h"
#include "window/SheetView.h"
#include "window/Twips.h"
#include "window/ZoomedSheet.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QFileInfo>
#include <QScreen>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QShortcut>

namespace {

using Format = PictureFile::Format;

// A typed ".png" or ".bmp" ending (in any case) names the format; any other
// ending, or none, leaves it to the file type chosen in the dialog.
Format formatOf(const QString &fileName, Format chosen)
{
    return PictureFile::FormatOfName(fileName).value_or(chosen);
}

ColorValue toColorValue(const QColor &colour)
{
    return RGB(colour.red(), colour.green(), colour.blue());
}

} // namespace

// Enter and keypad Enter press the focused button as Space does.
class EnterPressesButton final : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter)
            return false;
        if (!key->isAutoRepeat())
            static_cast<QAbstractButton *>(watched)->click();
        return true;
    }
};

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
    connect(preview_, &Preview::doubleClicked, this, [this] { OpenView(ViewZoom::Keep); });
    setUpKeys();
}

// The window's keys. The shortcuts act only while the window is the active
// one (not while a dialog of it is up), and do what a click on the button
// would, during a run too.
void mainform::setUpKeys()
{
    auto *enter = new EnterPressesButton(this);
    for (QPushButton *button : {ui.Command1, ui.Command2, ui.Command3})
        button->installEventFilter(enter);

    const auto key = [this](const QKeySequence &sequence, auto handler) {
        new QShortcut(sequence, this, this, handler, Qt::WindowShortcut);
    };
    key(QKeySequence(Qt::Key_F5), &mainform::Command1_Click);
    key(QKeySequence(Qt::Key_Escape), &mainform::Command3_Click);
    key(QKeySequence::Save, &mainform::Command2_Click);
    // Ctrl+Q where the platform names no quit key (Windows' conventions).
    const QKeySequence quit(QKeySequence::Quit);
    key(quit.isEmpty() ? QKeySequence(Qt::CTRL | Qt::Key_Q) : quit, &QWidget::close);
    key(QKeySequence(Qt::CTRL | Qt::Key_W), &QWidget::close);
    // The full-size view at 100 % and fitted.
    key(QKeySequence(Qt::CTRL | Qt::Key_1), [this] { OpenView(ViewZoom::Actual); });
    key(QKeySequence(Qt::CTRL | Qt::Key_0), [this] { OpenView(ViewZoom::Fit); });
}

mainform::~mainform()
{
    // The view reads the canvas, which goes with this window.
    delete view_;
}

void mainform::Form_Load()
{
    ui.Combo1->setCurrentIndex(0);
    outerSize_->setWidth(Design::OuterWidthPixels * Twips::PerPixelX(*this));
}

const Sheet *mainform::CanvasSheet() const
{
    // Every sheet has its own size, so the size tells which run sized the
    // canvas; before any run it has the design's size, no sheet's.
    const std::optional<Mode> mode = Sheets::OfSize(canvas_.width(), canvas_.height());
    return mode ? &Sheets::Of(*mode) : nullptr;
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
                          QSize(Design::LeastRunClientWidth, Design::LeastRunClientHeight));
    emit runStarted();
}

void mainform::TileDrawn(CanvasArea tile)
{
    // The preview image follows every tile; the screen, once a display frame.
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
    // The warning and the proposed name tell the truth about the picture that
    // will be written: the canvas, whatever the list now says.
    const Sheet *drawn = CanvasSheet();
    if (drawn && drawn->mode == Mode::Colours16Million
        && Interaction::MsgBox(this, tr("16M色のファイルサイズは48Mbyteになります。")) == QMessageBox::Cancel)
        return;

    const QString name = drawn ? QString::fromLatin1(drawn->name.data(), qsizetype(drawn->name.size()))
                               : ui.Combo1->currentText();
    CommonDialog1.setFileName(
        DefaultSaveFolder(QCoreApplication::applicationDirPath(), QString::fromUtf8(TintwellConfig::BuildFolder))
        + QLatin1Char('/') + name + QStringLiteral(".bmp"));
    // BMP first, as the design writes it; PNG the same pixels in a small file.
    CommonDialog1.setFilter({tr("BMP picture (*.bmp)"), tr("PNG picture (*.png)")});
    CommonDialog1.setFilterIndex(0);
    if (!CommonDialog1.ShowSave(this))
        return;

    const QString fileName = CommonDialog1.FileName();
    const Format format = formatOf(fileName, CommonDialog1.FilterIndex() == 1 ? Format::Png : Format::Bmp);
    QString failure;
    if (!PictureFile::SavePicture(CanvasImage(canvas_), fileName, format, &failure))
        QMessageBox::warning(this, windowTitle(), failure);
}

void mainform::Label3_Click()
{
    const QString address = ui.Label3->Tag();
    Module1::ShellOpen(this, address, [this, address] {
        // Without a browser the user still gets the address, ready to paste.
        Clipboard::Clear();
        Clipboard::SetText(address);
        QMessageBox box(QMessageBox::Warning, windowTitle(),
                        tr("The web page could not be opened: no program for web addresses answered.\n\n"
                           "Its address is on the clipboard:\n%1")
                            .arg(address),
                        QMessageBox::Ok, this);
        box.setObjectName(QStringLiteral("LinkFailed"));
        box.setTextInteractionFlags(Qt::TextSelectableByMouse);
        box.exec();
    });
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

    ShowPick(Point(x, y));
}

void mainform::ShowPick(ColorValue colour)
{
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

void mainform::MakeView()
{
    if (view_)
        return;
    view_ = new SheetView(canvas_);
    view_->setAttribute(Qt::WA_DeleteOnClose);
    connect(view_, &SheetView::picked, this, &mainform::ShowPick);
    connect(this, &mainform::runStarted, view_, &SheetView::runStarted);
    connect(this, &mainform::canvasChanged, view_, &SheetView::canvasChanged);
    connect(this, &mainform::runEnded, view_, &SheetView::runEnded);
}

void mainform::OpenView(ViewZoom zoom)
{
    MakeView();
    // The preview's view is the window's canvas, whatever capture was open.
    view_->closeCapture();
    view_->present(this);
    if (zoom == ViewZoom::Fit)
        view_->sheet()->fit();
    else if (zoom == ViewZoom::Actual)
        view_->sheet()->setZoom(1);
}

bool mainform::OpenCapture(const QString &fileName)
{
    // Placed by the program, not the window manager: the view can then go
    // beside it before the window manager has placed it.
    if (!isVisible()) {
        move(screen()->availableGeometry().topLeft());
        show();
    }
    const bool hadView = view_;
    MakeView();
    if (!view_->openCapture(fileName)) {
        if (!hadView)
            delete view_;
        return false;
    }
    view_->present(this);
    return true;
}

void mainform::closeEvent(QCloseEvent *event)
{
    // A run in progress stops at its next tile and unwinds; the program ends
    // once it has.
    if (generator_.RunDepth() > 0) {
        closing_ = true;
        generator_.Stop();
    }
    if (view_)
        view_->close();
    event->accept();
}
