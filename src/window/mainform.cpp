#include "window/mainform.h"

#include "window/ButtonPicture.h"
#include "colour/C2rgb.h"
#include "platform/Clipboard.h"
#include "window/Design.h"
#include "platform/Interaction.h"
#include "window/LinkLabel.h"
#include "platform/Module1.h"
#include "platform/PictureFile.h"
#include "tintwellconfig.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFont>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr double TwipsPerInch = 1440;

// The face of every control's text. Where it is missing (on Linux it always
// is), the window maps it to an installed Japanese gothic face.
const QString FontFace = QStringLiteral("ＭＳ ゴシック");

const QString SaveWarning = QStringLiteral("16M色のファイルサイズは48Mbyteになります。");

// The window keeps room for the whole preview and a margin as wide as the
// one on its left.
constexpr int PreviewRight = Design::PreviewLeft + Design::PreviewSize;
constexpr int PreviewBottom = Design::PreviewTop + Design::PreviewSize;
constexpr int MinimumRunWidth = PreviewRight + Design::PreviewLeft;
constexpr int MinimumRunHeight = PreviewBottom + Design::PreviewLeft;

QColor toQColor(ColorValue colour)
{
    return QColor(RedOf(colour), GreenOf(colour), BlueOf(colour));
}

QFont designFont(double pointSize, bool bold = false)
{
    // The design's character set (Shift-JIS) has no counterpart here: Qt
    // picks glyphs by Unicode, and the substitute face covers Japanese.
    QFont font(FontFace);
    font.setPointSizeF(pointSize);
    font.setWeight(bold ? QFont::Bold : QFont::Normal);
    return font;
}

void setLabelColours(QLabel *label, ColorValue back, ColorValue text)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, toQColor(back));
    palette.setColor(QPalette::WindowText, toQColor(text));
    label->setPalette(palette);
    label->setAutoFillBackground(true);
}

// The canvas column (or row) under the centre of each device pixel of a
// target span: nearest-neighbour sampling, so every preview pixel shows a
// colour that exists in the sheet.
std::vector<int> sourceSamples(int targetStart, int visibleStart, int visibleLength, int targetLength,
                               int sourceLength)
{
    std::vector<int> samples(static_cast<std::size_t>(visibleLength));
    for (int d = 0; d < visibleLength; ++d) {
        const long long offset = visibleStart - targetStart + d;
        samples[static_cast<std::size_t>(d)]
            = static_cast<int>((2 * offset + 1) * sourceLength / (2LL * targetLength));
    }
    return samples;
}

// The first and one-past-last index of samples that fall in [first, first + length).
std::pair<int, int> samplesWithin(const std::vector<int> &samples, int first, int length)
{
    const auto begin = std::lower_bound(samples.begin(), samples.end(), first);
    const auto end = std::lower_bound(begin, samples.end(), first + length);
    return {static_cast<int>(begin - samples.begin()), static_cast<int>(end - samples.begin())};
}

// Scales the whole canvas into `target` (device pixels of the surface), but
// writes only the device pixels whose samples lie in `area` of the canvas.
// Returns the device rectangle written.
QRect paintScaled(QImage &surface, const QRect &target, const Canvas &source, const CanvasArea &area)
{
    const QRect visible = target.intersected(surface.rect());
    if (visible.isEmpty() || source.width() == 0 || source.height() == 0)
        return {};

    const std::vector<int> columns
        = sourceSamples(target.left(), visible.left(), visible.width(), target.width(), source.width());
    const std::vector<int> rows
        = sourceSamples(target.top(), visible.top(), visible.height(), target.height(), source.height());
    const auto [left, right] = samplesWithin(columns, area.x, area.width);
    const auto [top, bottom] = samplesWithin(rows, area.y, area.height);

    for (int dy = top; dy < bottom; ++dy) {
        const std::uint32_t *from = source.bits()
                                    + static_cast<std::size_t>(rows[static_cast<std::size_t>(dy)])
                                          * static_cast<std::size_t>(source.width());
        auto *to = reinterpret_cast<std::uint32_t *>(surface.scanLine(visible.top() + dy)) + visible.left();
        for (int dx = left; dx < right; ++dx)
            to[dx] = from[columns[static_cast<std::size_t>(dx)]];
    }
    return QRect(visible.left() + left, visible.top() + top, right - left, bottom - top);
}

int mouseButton(Qt::MouseButton button)
{
    switch (button) {
    case Qt::LeftButton:
        return 1;
    case Qt::RightButton:
        return 2;
    case Qt::MiddleButton:
        return 4;
    default:
        return 0;
    }
}

int shiftState(Qt::KeyboardModifiers modifiers)
{
    return (modifiers.testFlag(Qt::ShiftModifier) ? 1 : 0) | (modifiers.testFlag(Qt::ControlModifier) ? 2 : 0)
           | (modifiers.testFlag(Qt::AltModifier) ? 4 : 0);
}

} // namespace

mainform::mainform(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("mainform"));
    QFont::insertSubstitutions(FontFace, {QStringLiteral("IPAGothic"), QStringLiteral("IPAexGothic"),
                                          QStringLiteral("Noto Sans CJK JP"), QStringLiteral("VL Gothic")});
    setWindowTitle(QStringLiteral("Tintwell"));
    setWindowIcon(QIcon(QStringLiteral(":/tintwell.png")));
    // A fixed single border with the close box only.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                   | Qt::MSWindowsFixedSizeDialogHint);
    setAttribute(Qt::WA_OpaquePaintEvent);

    // The canvas shows the window-background colour wherever nothing is drawn.
    const QColor windowBackground = palette().color(QPalette::Base);
    canvas_.setBackColor(RGB(windowBackground.red(), windowBackground.green(), windowBackground.blue()));
    canvas_.clear();

    createControls();
    placeControls();
    setFixedSize(toPixelsX(Design::ClientWidth), toPixelsY(Design::ClientHeight));
    ensureSurface();
}

mainform::~mainform() = default;

void mainform::createControls()
{
    const auto pictureButton = [this](const char *name, const QString &picture, int pictureSize,
                                      const QString &tip) {
        auto *button = new QPushButton(this);
        button->setObjectName(QLatin1String(name));
        button->setIcon(ButtonPicture::Load(picture));
        button->setIconSize(QSize(pictureSize, pictureSize));
        button->setToolTip(tip);
        button->setFont(designFont(Design::NormalPointSize));
        return button;
    };
    const auto label = [this](const char *name, const QString &caption, Qt::Alignment alignment,
                              double pointSize) {
        auto *l = new QLabel(caption, this);
        l->setObjectName(QLatin1String(name));
        l->setAlignment(alignment | Qt::AlignVCenter);
        l->setFont(designFont(pointSize));
        return l;
    };

    // Created in tab order.
    Command1 = pictureButton("Command1", QStringLiteral(":/start.bmp"), Design::RunPictureSize,
                             QStringLiteral("Start"));
    Label1 = label("Label1", QStringLiteral("time"), Qt::AlignRight, Design::TimePointSize);
    Combo1 = new QComboBox(this);
    Combo1->setObjectName(QStringLiteral("Combo1"));
    Combo1->setEditable(false);
    Combo1->setFont(designFont(Design::NormalPointSize));
    // The design's narrow list: trimmed padding keeps the longest entry legible.
    Combo1->setStyleSheet(QStringLiteral("QComboBox { padding: 0px 0px 0px 3px; }"));
    for (std::string_view name : SheetGenerator::ModeNames)
        Combo1->addItem(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())), 0);
    Combo1->setCurrentIndex(-1);
    Command2 = pictureButton("Command2", QStringLiteral(":/save.bmp"), Design::SavePictureSize,
                             QStringLiteral("Save Picture"));
    Label2 = label("Label2", QStringLiteral("mSec"), Qt::AlignRight, Design::NormalPointSize);
    Command3 = pictureButton("Command3", QStringLiteral(":/stop.bmp"), Design::RunPictureSize,
                             QStringLiteral("STOP"));

    const QString homePage = QString::fromUtf8(TintwellConfig::HomePage);
    Label3 = new LinkLabel(this);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setText(homePage);
    Label3->setProperty("Tag", homePage);
    Label3->setToolTip(QStringLiteral("Version Up"));
    Label3->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    Label3->setFont(designFont(Design::LinkPointSize, true));
    Label3->setCursor(Qt::WhatsThisCursor);
    QPalette linkPalette = Label3->palette();
    linkPalette.setColor(QPalette::WindowText, palette().color(QPalette::Dark));
    Label3->setPalette(linkPalette);

    Label4 = label("Label4", QStringLiteral("RGB"), Qt::AlignHCenter, Design::NormalPointSize);
    Label4->setToolTip(QStringLiteral("RightClick to Copy RGBcode"));
    Label4->setAutoFillBackground(true);

    static constexpr std::array<ColorValue, 3> channelBack = {Design::RedChannelBack, Design::GreenChannelBack,
                                                              Design::BlueChannelBack};
    const QColor defaultText = palette().color(QPalette::ButtonText);
    const std::array<ColorValue, 3> channelText = {
        Design::RedChannelText, RGB(defaultText.red(), defaultText.green(), defaultText.blue()),
        Design::BlueChannelText};
    for (std::size_t i = 0; i < RGBc.size(); ++i) {
        const QByteArray name = "RGBc(" + QByteArray::number(static_cast<int>(i)) + ")";
        RGBc[i] = label(name.constData(), QStringLiteral("FF"), Qt::AlignHCenter, Design::NormalPointSize);
        setLabelColours(RGBc[i], channelBack[i], channelText[i]);
    }

    // The separator lines are drawn on the window; clicks go through them.
    static constexpr std::array<QPalette::ColorRole, 2> lineRole = {QPalette::Dark, QPalette::Light};
    for (std::size_t i = 0; i < Line1.size(); ++i) {
        Line1[i] = new QWidget(this);
        Line1[i]->setObjectName(QStringLiteral("Line1(%1)").arg(i));
        Line1[i]->setAttribute(Qt::WA_TransparentForMouseEvents);
        QPalette linePalette = Line1[i]->palette();
        linePalette.setColor(QPalette::Window, palette().color(lineRole[i]));
        Line1[i]->setPalette(linePalette);
        Line1[i]->setAutoFillBackground(true);
    }

    // Labels never take the focus; a right click on a control stays there.
    for (QWidget *control : findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        if (qobject_cast<QLabel *>(control))
            control->setFocusPolicy(Qt::NoFocus);
        if (!control->testAttribute(Qt::WA_TransparentForMouseEvents))
            control->setAttribute(Qt::WA_NoMousePropagation);
    }
    setTabOrder(Command1, Combo1);
    setTabOrder(Combo1, Command2);
    setTabOrder(Command2, Command3);

    connect(Command1, &QPushButton::clicked, this, &mainform::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &mainform::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &mainform::Command3_Click);
    connect(Label3, &LinkLabel::clicked, this, &mainform::Label3_Click);
}

void mainform::placeControls()
{
    const auto place = [this](QWidget *control, const Design::Box &box) {
        control->setGeometry(toPixelsX(box.left), toPixelsY(box.top), toPixelsX(box.width), toPixelsY(box.height));
    };
    place(Command1, Design::Command1);
    place(Command2, Design::Command2);
    place(Command3, Design::Command3);
    place(Label1, Design::Label1);
    place(Label2, Design::Label2);
    place(Combo1, Design::Combo1);
    // Where the style needs more room than the design gives, the list grows
    // to the right, up to the channel labels, rather than cut its text.
    const int room = toPixelsX(Design::RGBc[0].left) - Combo1->x();
    Combo1->resize(std::clamp(Combo1->sizeHint().width(), Combo1->width(), std::max(room, Combo1->width())),
                   Combo1->height());
    place(Label3, Design::Label3);
    place(Label4, Design::Label4);
    for (std::size_t i = 0; i < RGBc.size(); ++i)
        place(RGBc[i], Design::RGBc[i]);
    for (std::size_t i = 0; i < Line1.size(); ++i) {
        const Design::Line &line = Design::Line1[i];
        Line1[i]->setGeometry(toPixelsX(line.x1), toPixelsY(line.y1), toPixelsX(line.x2 - line.x1),
                              line.thicknessPixels);
    }
}

void mainform::Form_Load()
{
    Combo1->setCurrentIndex(0);
    SetOuterWidth(Design::OuterWidthPixels * TwipsPerPixelX());
}

// --- The run's window -------------------------------------------------------

int mainform::SelectedMode() const
{
    return Combo1->currentIndex();
}

double mainform::TwipsPerPixelX() const
{
    const QScreen *s = screen();
    return s ? TwipsPerInch / s->logicalDotsPerInchX() : 15.0;
}

double mainform::TwipsPerPixelY() const
{
    const QScreen *s = screen();
    return s ? TwipsPerInch / s->logicalDotsPerInchY() : 15.0;
}

int mainform::toPixelsX(double twips) const
{
    return static_cast<int>(std::lround(twips / TwipsPerPixelX()));
}

int mainform::toPixelsY(double twips) const
{
    return static_cast<int>(std::lround(twips / TwipsPerPixelY()));
}

void mainform::SetOuterWidth(double twips)
{
    outerWidthTwips_ = twips;
    applyOuterSize();
}

void mainform::SetOuterHeight(double twips)
{
    outerHeightTwips_ = twips;
    applyOuterSize();
}

void mainform::applyOuterSize()
{
    // The frame the window manager adds (none without one) is part of the
    // outer size.
    const QSize frame = frameGeometry().size() - size();
    QSize client = size();
    if (outerWidthTwips_)
        client.setWidth(std::max(toPixelsX(*outerWidthTwips_) - frame.width(), 1));
    if (outerHeightTwips_) {
        // Only a run sets the height, and its preview must fit whatever
        // frame the window manager draws: the window grows just enough.
        client.setHeight(std::max(toPixelsY(*outerHeightTwips_) - frame.height(), MinimumRunHeight));
        client.setWidth(std::max(client.width(), MinimumRunWidth));
    }
    if (client != size() || minimumSize() != maximumSize())
        setFixedSize(client);
}

void mainform::SetPersistentDrawing(bool on)
{
    persistentDrawing_ = on;
}

void mainform::SetTimeCaption(const QString &text)
{
    Label1->setText(text);
}

void mainform::RunStarted()
{
    SetTimeCaption(QStringLiteral("0"));
    SetOuterWidth(Design::OuterWidthPixels * TwipsPerPixelX());
    SetOuterHeight(Design::RunHeightPixels * TwipsPerPixelY() + Design::RunExtraHeightTwips);
    SetPersistentDrawing(false);
}

void mainform::TileDone(CanvasArea tile, std::int32_t elapsedMs)
{
    PaintPicture(canvas_, Design::PreviewLeft, Design::PreviewTop, Design::PreviewSize, Design::PreviewSize, tile);
    SetTimeCaption(QString::number(elapsedMs));
}

void mainform::RunEnded(std::int32_t totalMs)
{
    SetPersistentDrawing(true);
    PaintPicture(canvas_, Design::PreviewLeft, Design::PreviewTop, Design::PreviewSize, Design::PreviewSize,
                 {0, 0, canvas_.width(), canvas_.height()});
    SetTimeCaption(QString::number(totalMs));
    Beep();
}

void mainform::PaintPicture(const Canvas &source, int x, int y, int width, int height, CanvasArea changed)
{
    ensureSurface();
    const qreal ratio = surface_.devicePixelRatio();
    const QRect target(QPoint(qFloor(x * ratio), qFloor(y * ratio)),
                       QPoint(qCeil((x + width) * ratio) - 1, qCeil((y + height) * ratio) - 1));

    // While the surface still shows this canvas as it was at the last paint,
    // only the part written since needs scaling again: after a tile of
    // "16million" that is 16 x 16 preview pixels rather than 256 x 256.
    const bool current = lastPreview_ && lastPreview_->canvas == &source
                         && lastPreview_->epoch == source.contentEpoch() && lastPreview_->target == target;
    if (!current)
        changed = {0, 0, source.width(), source.height()};
    const QRect written = paintScaled(surface_, target, source, changed);
    lastPreview_ = PaintedPreview{&source, source.contentEpoch(), target};

    // During a run each preview goes to the screen at once; the final one is
    // shown with the next repaint.
    const QRect area = QRectF(QRectF(written).topLeft() / ratio, QRectF(written).size() / ratio).toAlignedRect();
    if (area.isEmpty())
        return;
    if (persistentDrawing_)
        update(area);
    else
        repaint(area);
}

RunTimer mainform::GetTickCount()
{
    return Module1::GetTickCount();
}

void mainform::DoEvents()
{
    Interaction::DoEvents();
}

void mainform::Beep()
{
    if (!closing_)
        Interaction::Beep();
}

void mainform::CanvasUnavailable(int width, int height)
{
    QMessageBox::warning(this, windowTitle(),
                         tr("There is not enough memory for a picture of %1 × %2 pixels.").arg(width).arg(height));
}

// --- Drawing ----------------------------------------------------------------

void mainform::ensureSurface()
{
    const qreal ratio = devicePixelRatioF();
    const QSize needed = size() * ratio;
    if (!surface_.isNull() && surface_.devicePixelRatio() == ratio && surface_.width() >= needed.width()
        && surface_.height() >= needed.height())
        return;

    QImage grown(needed.expandedTo(surface_.size()), QImage::Format_RGB32);
    grown.setDevicePixelRatio(ratio);
    grown.fill(palette().color(QPalette::Window));
    lastPreview_.reset(); // the copy below may resample it
    if (!surface_.isNull()) {
        QPainter painter(&grown);
        painter.drawImage(QPoint(0, 0), surface_);
    }
    surface_ = std::move(grown);
}

void mainform::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), surface_);
}

void mainform::resizeEvent(QResizeEvent *event)
{
    ensureSurface();
    QWidget::resizeEvent(event);
}

ColorValue mainform::Point(double x, double y) const
{
    if (x < 0 || y < 0 || x >= width() || y >= height())
        return -1;
    const qreal ratio = surface_.devicePixelRatio();
    const QPoint device(static_cast<int>(std::floor(x * ratio)), static_cast<int>(std::floor(y * ratio)));
    if (!surface_.rect().contains(device))
        return -1;
    return FromRgb32(surface_.pixel(device));
}

// --- Handlers ---------------------------------------------------------------

void mainform::Command1_Click()
{
    generator_.Start();
}

void mainform::Command3_Click()
{
    generator_.Stop();
}

void mainform::Command2_Click()
{
    if (Combo1->currentIndex() == 0 && Interaction::MsgBox(this, SaveWarning) == Interaction::Cancel)
        return;

    CommonDialog1.setFileName(DefaultSaveFolder(QCoreApplication::applicationDirPath()) + QLatin1Char('/')
                              + Combo1->currentText() + QStringLiteral(".bmp"));
    if (!CommonDialog1.ShowSave(this))
        return;

    const QString name = CommonDialog1.FileName();
    const QImage picture(reinterpret_cast<const uchar *>(canvas_.bits()), canvas_.width(), canvas_.height(),
                         static_cast<qsizetype>(canvas_.bytesPerLine()), QImage::Format_RGB32);
    QString failure;
    if (!PictureFile::SavePicture(picture, name, &failure))
        QMessageBox::warning(this, windowTitle(), failure);
}

void mainform::Label3_Click()
{
    Module1::ShellOpen(this, Label3->property("Tag").toString());
}

void mainform::mouseReleaseEvent(QMouseEvent *event)
{
    Form_MouseUp(mouseButton(event->button()), shiftState(event->modifiers()), event->position().x(),
                 event->position().y());
}

void mainform::Form_MouseUp(int button, int shift, double x, double y)
{
    Q_UNUSED(shift); // a right release with Shift, Ctrl or Alt picks as well
    if (button != 2)
        return;

    const ColorValue colour = Point(x, y);
    std::int16_t red, green, blue;
    C2rgb::SplitRGB(colour, red, green, blue);
    RGBc[0]->setText(QString::fromStdString(C2rgb::Hex(red)));
    RGBc[1]->setText(QString::fromStdString(C2rgb::Hex(green)));
    RGBc[2]->setText(QString::fromStdString(C2rgb::Hex(blue)));
    const QString code = QString::fromStdString(C2rgb::RGBCode(red, green, blue, C2rgb::PlainStyle));
    Label4->setToolTip(code);
    Clipboard::Clear();
    Clipboard::SetText(code);

    // -1 is no colour (the release was off the window): the swatch shows its
    // own background again rather than an invented colour.
    QPalette swatch = Label4->palette();
    swatch.setColor(QPalette::Window, colour < 0 ? palette().color(QPalette::Window) : toQColor(colour));
    Label4->setPalette(swatch);
}

void mainform::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    applyOuterSize();
}

void mainform::moveEvent(QMoveEvent *event)
{
    // A window manager that frames the window late moves it as it does.
    QWidget::moveEvent(event);
    applyOuterSize();
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
