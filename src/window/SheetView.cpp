#include "window/SheetView.h"

#include "generation/Canvas.h"
#include "window/ZoomedSheet.h"

#include <QAction>
#include <QBoxLayout>
#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>

#include <algorithm>

namespace {

// The view opens no smaller than this (logical pixels), and takes at most
// this part of the screen.
constexpr QSize LeastSize(480, 360);
constexpr double MostOfScreen = 0.9;

QString hexCode(ColorValue colour)
{
    return QString::asprintf("%02X%02X%02X", RedOf(colour), GreenOf(colour), BlueOf(colour));
}

// "RRGGBB" or "#RRGGBB", either case, spaces around allowed.
std::optional<ColorValue> parseColour(const QString &text)
{
    static const QRegularExpression code(QStringLiteral("^\\s*#?([0-9A-Fa-f]{6})\\s*$"));
    const QRegularExpressionMatch match = code.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const uint rgb = match.captured(1).toUInt(nullptr, 16);
    return FromRgb32(rgb);
}

QString percent(double zoom)
{
    const double value = zoom * 100;
    return value < 10 ? QStringLiteral("%1 %").arg(value, 0, 'f', 1) : QStringLiteral("%1 %").arg(std::lround(value));
}

} // namespace

SheetView::SheetView(const Canvas &canvas, QWidget *parent)
    : QWidget(parent, Qt::Window),
      canvas_(canvas)
{
    setObjectName(QStringLiteral("SheetView"));
    sheet_ = new ZoomedSheet(canvas, this);
    sheet_->setObjectName(QStringLiteral("ZoomedSheet"));

    findBar_ = new QWidget(this);
    findText_ = new QLineEdit(findBar_);
    findText_->setObjectName(QStringLiteral("FindText"));
    findText_->setPlaceholderText(tr("RRGGBB"));
    findText_->setMaxLength(9);
    findText_->setClearButtonEnabled(true);
    findMessage_ = new QLabel(findBar_);
    findMessage_->setObjectName(QStringLiteral("FindMessage"));
    goNearest_ = new QPushButton(findBar_);
    goNearest_->setObjectName(QStringLiteral("GoNearest"));
    goNearest_->hide();
    auto *findLayout = new QHBoxLayout(findBar_);
    findLayout->setContentsMargins(6, 3, 6, 3);
    findLayout->addWidget(new QLabel(tr("Find colour:"), findBar_));
    findLayout->addWidget(findText_);
    findLayout->addWidget(findMessage_, 1);
    findLayout->addWidget(goNearest_);
    findBar_->hide();

    statusLine_ = new QWidget(this);
    pointed_ = new QLabel(statusLine_);
    pointed_->setObjectName(QStringLiteral("Pointed"));
    pointed_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    zoomShown_ = new QLabel(statusLine_);
    zoomShown_->setObjectName(QStringLiteral("Zoom"));
    auto *statusLayout = new QHBoxLayout(statusLine_);
    statusLayout->setContentsMargins(6, 2, 6, 2);
    statusLayout->addWidget(pointed_, 1);
    statusLayout->addWidget(zoomShown_);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(sheet_, 1);
    layout->addWidget(findBar_);
    layout->addWidget(statusLine_);

    connect(sheet_, &ZoomedSheet::pixelPointed, this, &SheetView::showPointed);
    connect(sheet_, &ZoomedSheet::zoomChanged, this, &SheetView::showZoom);
    connect(sheet_, &ZoomedSheet::pickRequested, this,
            [this](QPoint pixel) { emit picked(canvas_.pixel(pixel.x(), pixel.y())); });
    connect(findText_, &QLineEdit::returnPressed, this, &SheetView::findTyped);
    connect(findText_, &QLineEdit::textEdited, this, [this] { offer_.reset(); });
    connect(goNearest_, &QPushButton::clicked, this, [this] {
        if (offer_)
            find(offer_->nearest);
    });
    addShortcuts();

    showTitle();
    showZoom(sheet_->zoom());
    showPointed(std::nullopt);
    sheet_->setFocus();
}

void SheetView::addShortcuts()
{
    const auto add = [this](const QList<QKeySequence> &keys, auto handler) {
        auto *action = new QAction(this);
        action->setShortcuts(keys);
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, handler);
        addAction(action);
    };
    add(QKeySequence::keyBindings(QKeySequence::ZoomIn), [this] { sheet_->zoomIn(); });
    add(QKeySequence::keyBindings(QKeySequence::ZoomOut), [this] { sheet_->zoomOut(); });
    add({QKeySequence(Qt::CTRL | Qt::Key_0)}, [this] { sheet_->fit(); });
    add({QKeySequence(Qt::CTRL | Qt::Key_1)}, [this] { sheet_->setZoom(1); });
    add({QKeySequence(Qt::Key_F11)}, [this] { toggleFullScreen(); });
    add({QKeySequence(Qt::CTRL | Qt::Key_F)}, [this] { openFind(); });
    add({QKeySequence(Qt::Key_F3)}, [this] { findNext(); });
    add({QKeySequence(Qt::SHIFT | Qt::Key_F3)}, [this] { findPrevious(); });
    add({QKeySequence(Qt::CTRL | Qt::Key_W)}, [this] { close(); });
    add({QKeySequence(Qt::Key_Escape)}, [this] { escape(); });
}

std::optional<Mode> SheetView::mode() const
{
    return Sheets::OfSize(canvas_.width(), canvas_.height());
}

void SheetView::present(const QWidget *near)
{
    if (isVisible()) {
        if (isMinimized())
            showNormal();
        raise();
        activateWindow();
        return;
    }
    // At 100 % where the screen has room, else as much of the screen as is
    // reasonable; the sheet is fitted into whatever it gets.
    const QScreen *screen = near ? near->screen() : QGuiApplication::primaryScreen();
    const QRect available = screen->availableGeometry();
    const double ratio = screen->devicePixelRatio();
    const QSize chrome(0, statusLine_->sizeHint().height());
    const QSize whole = QSize(static_cast<int>(std::ceil(canvas_.width() / ratio)),
                              static_cast<int>(std::ceil(canvas_.height() / ratio)))
                        + chrome;
    const QSize most = QSizeF(available.size() * MostOfScreen).toSize();
    const QSize size = whole.expandedTo(LeastSize).boundedTo(most);
    resize(size);
    move(available.center() - QPoint(size.width() / 2, size.height() / 2));
    show();
    raise();
    activateWindow();
}

// --- What the run tells the view -----------------------------------------------

void SheetView::runStarted()
{
    sheet_->canvasChanged(QRect(0, 0, canvas_.width(), canvas_.height()));
    if (sheet_->marks().empty())
        forgetFound();
    showTitle();
}

void SheetView::canvasChanged(const QRect &area)
{
    sheet_->canvasChanged(area);
    if (sheet_->marks().empty() && found_)
        forgetFound();
    showTitle();
}

void SheetView::runEnded()
{
    sheet_->canvasChanged(QRect(0, 0, canvas_.width(), canvas_.height()));
}

void SheetView::showTitle()
{
    const std::optional<Mode> shown = mode();
    setWindowTitle(shown ? tr("Tintwell — %1").arg(QString::fromUtf8(Sheets::Of(*shown).name.data(),
                                                                       static_cast<qsizetype>(Sheets::Of(*shown).name.size())))
                         : tr("Tintwell — view"));
}

// --- Status line -------------------------------------------------------------------

void SheetView::showPointed(std::optional<QPoint> pixel)
{
    if (!pixel) {
        pointed_->setText(QString());
        return;
    }
    const ColorValue colour = canvas_.pixel(pixel->x(), pixel->y());
    QString tile;
    if (const std::optional<Mode> shown = mode()) {
        const int side = Sheets::Of(*shown).tile;
        tile = tr("tile (%1, %2)").arg(pixel->x() / side).arg(pixel->y() / side);
    }
    pointed_->setText(QStringLiteral("%1, %2    %3    %4    %5 %6 %7")
                          .arg(pixel->x())
                          .arg(pixel->y())
                          .arg(tile, hexCode(colour))
                          .arg(RedOf(colour))
                          .arg(GreenOf(colour))
                          .arg(BlueOf(colour)));
}

void SheetView::showZoom(double zoom)
{
    zoomShown_->setText(percent(zoom));
}

// --- Find this colour ------------------------------------------------------------------

void SheetView::openFind()
{
    findBar_->show();
    findText_->setFocus();
    findText_->selectAll();
}

void SheetView::closeFind()
{
    findBar_->hide();
    sheet_->setFocus();
}

void SheetView::findTyped()
{
    const std::optional<ColorValue> colour = parseColour(findText_->text());
    if (!colour) {
        offer_.reset();
        forgetFound();
        findMessage_->setText(tr("Type a colour as RRGGBB or #RRGGBB."));
        goNearest_->hide();
        return;
    }
    // Enter again: the offered colour, or the next place of the one found.
    if (offer_ && offer_->asked == *colour)
        find(offer_->nearest);
    else if (found_ == colour && !places_.empty())
        findNext();
    else
        find(*colour);
}

bool SheetView::find(ColorValue colour)
{
    findBar_->show();
    goNearest_->hide();
    offer_.reset();
    const std::optional<Mode> shown = mode();
    if (!shown) {
        forgetFound();
        findMessage_->setText(tr("No sheet is drawn yet: start a run first."));
        return false;
    }
    std::vector<SheetPlace> places = Sheets::PlacesOf(*shown, colour);
    if (places.empty()) {
        forgetFound();
        offer_ = Offer{colour, Sheets::NearestHeld(*shown, colour)};
        offerNearest();
        return false;
    }
    found_ = colour;
    places_ = std::move(places);
    std::vector<QPoint> marks;
    marks.reserve(places_.size());
    for (const SheetPlace &place : places_)
        marks.emplace_back(place.x, place.y);
    sheet_->setMarks(std::move(marks));
    if (parseColour(findText_->text()) != colour)
        findText_->setText(hexCode(colour));
    goToPlace(0);
    return true;
}

void SheetView::offerNearest()
{
    const QString name = QString::fromUtf8(Sheets::Of(*mode()).name.data(),
                                           static_cast<qsizetype>(Sheets::Of(*mode()).name.size()));
    findMessage_->setText(tr("The %1 sheet does not hold %2; the nearest colour it holds is %3 (Enter goes there).")
                              .arg(name, hexCode(offer_->asked), hexCode(offer_->nearest)));
    goNearest_->setText(tr("Go to %1").arg(hexCode(offer_->nearest)));
    goNearest_->show();
}

void SheetView::goToPlace(std::size_t index)
{
    at_ = index;
    const SheetPlace &place = places_[index];
    // The middle of the pixel at the middle of the view, at the same zoom.
    sheet_->centreOn(QPointF(place.x + 0.5, place.y + 0.5));
    findMessage_->setText(tr("%1 of %2: %3, %4 (F3 and Shift+F3 step through them)")
                              .arg(index + 1)
                              .arg(places_.size())
                              .arg(place.x)
                              .arg(place.y));
}

void SheetView::findNext()
{
    if (places_.empty()) {
        openFind();
        return;
    }
    goToPlace((at_ + 1) % places_.size());
}

void SheetView::findPrevious()
{
    if (places_.empty()) {
        openFind();
        return;
    }
    goToPlace((at_ + places_.size() - 1) % places_.size());
}

void SheetView::forgetFound()
{
    found_.reset();
    places_.clear();
    at_ = 0;
    sheet_->setMarks({});
    if (!offer_)
        findMessage_->clear();
}

// --- Full screen and closing ---------------------------------------------------------

void SheetView::toggleFullScreen()
{
    if (isFullScreen()) {
        wasMaximized_ ? showMaximized() : showNormal();
    } else {
        wasMaximized_ = isMaximized();
        showFullScreen();
    }
}

void SheetView::escape()
{
    if (findText_->hasFocus())
        closeFind();
    else if (isFullScreen())
        toggleFullScreen();
    else
        close();
}

void SheetView::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::WindowStateChange)
        showChrome();
    QWidget::changeEvent(event);
}

void SheetView::showChrome()
{
    // Full screen shows the sheet alone.
    const bool full = isFullScreen();
    statusLine_->setVisible(!full);
    if (full)
        findBar_->hide();
    sheet_->setBare(full);
}
