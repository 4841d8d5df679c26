#include "window/SheetView.h"

#include "generation/Canvas.h"
#include "picture/PictureReader.h"
#include "platform/ModeName.h"
#include "video/PlayerRules.h"
#include "video/VideoLibrary.h"
#include "window/Capture.h"
#include "window/ResultsDock.h"
#include "window/ToneCurvePlot.h"
#include "window/ZoomedSheet.h"

#include <QAction>
#include <QBoxLayout>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QGuiApplication>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QStandardPaths>
#include <QStatusBar>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <array>

namespace {

// The view opens no smaller than this (logical pixels), and takes at most
// this part of the screen.
constexpr QSize LeastSize(480, 360);
// The sheet's area keeps at least this much whatever the results beside it
// take: the window grows instead.
constexpr QSize LeastSheetArea(256, 192);
constexpr double MostOfScreen = 0.9;
// The gap between the main window and the view beside it.
constexpr int BesideGap = 8;

// A face of a capture: the key that shows it, the word the title names it
// by, its line in the key overlay, the picture it paints and the note the
// status line gives with it. The keys, the overlay and the title are made
// from this table.
struct FaceRow
{
    SheetView::Face face;
    Qt::Key key;
    const char *word;
    const char *help;
    const QImage &(Capture::*picture)() const;
    QString (*note)(const Capture &capture);
};

QString noNote(const Capture &)
{
    return QString();
}

QString differenceNote(const Capture &capture)
{
    return QCoreApplication::translate("SheetView", "difference: 1 grey level = %1").arg(capture.differenceScale());
}

QString fixedNote(const Capture &capture)
{
    if (!capture.diagnosed())
        return QCoreApplication::translate("SheetView", "fixed: the fix is still being worked out");
    if (capture.fixed().isNull())
        return QCoreApplication::translate("SheetView", "fixed: no fix (the diagnosis failed)");
    return capture.verdict()->steps.isEmpty() ? QCoreApplication::translate("SheetView", "fixed: nothing to undo")
                                              : QCoreApplication::translate("SheetView", "fixed: through the --fix table");
}

const std::array<FaceRow, 4> Faces = {{
    {SheetView::Face::Sheet, Qt::Key_1, QT_TRANSLATE_NOOP("SheetView", "sheet"),
     QT_TRANSLATE_NOOP("SheetView", "the sheet"), &Capture::sheet, noNote},
    {SheetView::Face::Capture, Qt::Key_2, QT_TRANSLATE_NOOP("SheetView", "capture"),
     QT_TRANSLATE_NOOP("SheetView", "the capture"), &Capture::captured, noNote},
    {SheetView::Face::Difference, Qt::Key_3, QT_TRANSLATE_NOOP("SheetView", "difference"),
     QT_TRANSLATE_NOOP("SheetView", "their difference in grey"), &Capture::difference, differenceNote},
    {SheetView::Face::Fixed, Qt::Key_4, QT_TRANSLATE_NOOP("SheetView", "fixed"),
     QT_TRANSLATE_NOOP("SheetView", "the capture through the fix the diagnosis found"), &Capture::fixed, fixedNote},
}};

const FaceRow &rowOf(SheetView::Face face)
{
    return Faces[std::size_t(face)];
}

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

// A found pixel smaller than this (device pixels) is hard to see: the view
// zooms in to FoundZoom around it.
constexpr double LeastFoundZoom = 4;
constexpr double FoundZoom = 8;
// The keys overlay stays this far inside the sheet's area.
constexpr int KeysMargin = 24;


// The local file a drag carries, or none.
QString droppedFile(const QMimeData *data)
{
    if (!data || !data->hasUrls() || data->urls().isEmpty() || !data->urls().constFirst().isLocalFile())
        return QString();
    return data->urls().constFirst().toLocalFile();
}

QString percent(double zoom)
{
    const double value = zoom * 100;
    return value < 10 ? QStringLiteral("%1 %").arg(value, 0, 'f', 1) : QStringLiteral("%1 %").arg(std::lround(value));
}

// The key overlay: the faces from their rows, then the other keys.
QString keysText()
{
    QString faces;
    for (const FaceRow &row : Faces)
        faces += QStringLiteral("<tr><td>%1</td><td>%2</td></tr>")
                     .arg(QKeySequence(row.key).toString(QKeySequence::NativeText),
                          QCoreApplication::translate("SheetView", row.help).toHtmlEscaped());
    return QCoreApplication::translate("SheetView", "<b>Keys of the view</b><table cellspacing=4>"
              "<tr><td>Ctrl+O, or drop a file</td><td>open a capture</td></tr>"
              "%1"
              "<tr><td>Space</td><td>the capture and the fixed capture (or the sheet, after 1) in turn</td></tr>"
              "<tr><td>F9</td><td>show or hide the results</td></tr>"
              "<tr><td>T</td><td>the tone curves as plots</td></tr>"
              "<tr><td>P</td><td>a recording as each player shows it</td></tr>"
              "<tr><td>Ctrl++ / Ctrl+-, wheel</td><td>zoom in / out</td></tr>"
              "<tr><td>Ctrl+1 / Ctrl+0</td><td>100 % / fit</td></tr>"
              "<tr><td>drag, arrows, Page Up/Down</td><td>move</td></tr>"
              "<tr><td>Shift+arrows, Enter</td><td>move the pick cursor, pick</td></tr>"
              "<tr><td>right click</td><td>pick the colour shown</td></tr>"
              "<tr><td>Ctrl+F, F3 / Shift+F3</td><td>find a colour, next / previous place</td></tr>"
              "<tr><td>G</td><td>grid on or off (from 800 %)</td></tr>"
              "<tr><td>F11</td><td>full screen</td></tr>"
              "<tr><td>F1, ?</td><td>these keys</td></tr>"
              "<tr><td>Esc, Ctrl+W</td><td>close the bar, full screen, the view</td></tr>"
              "</table><p>In the main window a double click on the preview, Ctrl+1 or Ctrl+0 "
              "show its canvas here again.</p>")
        .arg(faces);
}

// Where a window of `size` (its frame `frame` larger) goes beside `near`
// within `available`: on the side with more room, as large as that side
// allows; none when neither side has room for `least`.
std::optional<QRect> besideRect(const QRect &available, const QRect &near, QSize size, QSize frame, QSize least)
{
    const int leftRoom = near.left() - available.left() - BesideGap;
    const int rightRoom = available.right() - near.right() - BesideGap;
    const bool right = rightRoom >= leftRoom;
    const int room = std::max(leftRoom, rightRoom) - frame.width();
    const int height = available.height() - frame.height();
    if (room < least.width() || height < least.height())
        return std::nullopt;
    const QSize shown = size.boundedTo(QSize(room, height));
    const int x = right ? near.right() + 1 + BesideGap : near.left() - BesideGap - shown.width() - frame.width();
    const int y = std::clamp(near.top(), available.top(), available.bottom() + 1 - shown.height() - frame.height());
    return QRect(QPoint(x, y), shown);
}

} // namespace

SheetView::SheetView(const Canvas &canvas, QWidget *parent)
    : QMainWindow(parent, Qt::Window),
      canvas_(canvas)
{
    setObjectName(QStringLiteral("SheetView"));
    centre_ = new QWidget(this);
    sheet_ = new ZoomedSheet(canvas, centre_);
    sheet_->setObjectName(QStringLiteral("ZoomedSheet"));

    findBar_ = new QWidget(centre_);
    findText_ = new QLineEdit(findBar_);
    findText_->setObjectName(QStringLiteral("FindText"));
    findText_->setPlaceholderText(tr("RRGGBB"));
    findText_->setMaxLength(9);
    findText_->setClearButtonEnabled(true);
    findMessage_ = new QLabel(findBar_);
    findMessage_->setObjectName(QStringLiteral("FindMessage"));
    findMessage_->setWordWrap(true);
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

    auto *layout = new QVBoxLayout(centre_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(sheet_, 1);
    layout->addWidget(findBar_);
    centre_->setMinimumSize(LeastSheetArea);
    setCentralWidget(centre_);

    // The status line never widens the window: what does not fit is cut,
    // and the message is whole in its tooltip.
    pointed_ = new QLabel(this);
    pointed_->setObjectName(QStringLiteral("Pointed"));
    pointed_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    pointed_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    message_ = new QLabel(this);
    message_->setObjectName(QStringLiteral("ViewMessage"));
    message_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    message_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    zoomShown_ = new QLabel(this);
    zoomShown_->setObjectName(QStringLiteral("Zoom"));
    statusBar()->setSizeGripEnabled(false);
    statusBar()->addWidget(pointed_, 1);
    statusBar()->addWidget(message_, 1);
    statusBar()->addPermanentWidget(zoomShown_);

    results_ = new ResultsDock(this);
    addDockWidget(Qt::RightDockWidgetArea, results_);
    results_->hide();
    connect(results_, &ResultsDock::frameChosen, this, &SheetView::showFrame);
    // The dock closed with its own button counts as hidden with F9.
    connect(results_, &QDockWidget::visibilityChanged, this, [this](bool visible) {
        if (!visible && !results_->isVisibleTo(this) && !isMinimized() && !isFullScreen())
            resultsWanted_ = false;
    });

    keys_ = new QLabel(centre_);
    keys_->setObjectName(QStringLiteral("ViewKeys"));
    keys_->setAutoFillBackground(true);
    keys_->setMargin(12);
    keys_->setWordWrap(true);
    keys_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    keys_->setText(keysText());
    keys_->hide();
    centre_->installEventFilter(this);

    connect(sheet_, &ZoomedSheet::pixelPointed, this, &SheetView::showPointed);
    connect(sheet_, &ZoomedSheet::zoomChanged, this, &SheetView::showZoom);
    connect(sheet_, &ZoomedSheet::pickRequested, this, &SheetView::pick);
    connect(sheet_, &ZoomedSheet::gridToggled, this, [this](bool shown) {
        if (shown && sheet_->zoom() < ZoomedSheet::GridFromZoom)
            showMessage(tr("The grid shows from %1.").arg(percent(ZoomedSheet::GridFromZoom)));
        else
            showMessage(shown ? tr("Grid on.") : tr("Grid off."));
    });
    connect(findText_, &QLineEdit::returnPressed, this, &SheetView::findTyped);
    connect(findText_, &QLineEdit::textEdited, this, [this] { offer_.reset(); });
    connect(goNearest_, &QPushButton::clicked, this, [this] {
        if (offer_)
            find(offer_->nearest);
    });
    addShortcuts();
    setAcceptDrops(true);

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
    add({QKeySequence::Open}, [this] { openWithDialog(); });
    for (const FaceRow &row : Faces)
        add({QKeySequence(row.key)}, [this, face = row.face] { setFace(face); });
    add({QKeySequence(Qt::Key_Space)}, [this] { flipFace(); });
    add({QKeySequence(Qt::Key_F9)}, [this] { toggleResults(); });
    add({QKeySequence(Qt::Key_T)}, [this] { showPlots(); });
    add({QKeySequence(Qt::Key_P)}, [this] { showByNextPlayer(); });
    add({QKeySequence(Qt::Key_F1), QKeySequence(Qt::Key_Question)}, [this] { toggleKeys(); });
}

SheetView::~SheetView()
{
    stopTasks();
    // Hidden as the window goes, the children would still tell this part
    // of it, already gone.
    results_->disconnect(this);
    sheet_->disconnect(this);
}

void SheetView::stopTasks()
{
    // A task still running is asked to stop; it finishes into a watcher
    // that is gone, and its result is dropped with it.
    for (QFutureWatcherBase *watcher : std::initializer_list<QFutureWatcherBase *> {examining_, openingFrame_})
        if (watcher) {
            watcher->cancel();
            delete watcher;
        }
    examining_ = nullptr;
    openingFrame_ = nullptr;
}

std::optional<Mode> SheetView::mode() const
{
    if (capture_)
        return capture_->mode();
    return Sheets::OfSize(canvas_.width(), canvas_.height());
}

void SheetView::present(QWidget *near)
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
    // Everything around the sheet: the status line, the results beside it.
    resize(size().expandedTo(LeastSize));
    layout()->activate();
    const QSize chrome = size() - sheet_->viewport()->size();
    const QSize shown = sheet_->shownSize();
    const QSize whole = QSize(static_cast<int>(std::ceil(shown.width() / ratio)),
                              static_cast<int>(std::ceil(shown.height() / ratio)))
                        + chrome;
    const QSize most = QSizeF(available.size() * MostOfScreen).toSize();
    const QSize size = whole.expandedTo(LeastSize).boundedTo(most);

    // Beside the main window, never over it: on its roomier side; where
    // neither side has room, the main window moves to the screen's left edge
    // and the view takes the rest.
    std::optional<QRect> place;
    if (near && near->isVisible() && !near->isMaximized() && !near->isFullScreen()) {
        const QRect nearFrame = near->frameGeometry();
        const QSize frame = nearFrame.size() - near->size();
        place = besideRect(available, nearFrame, size, frame, LeastSize);
        if (!place && nearFrame.width() + LeastSize.width() + BesideGap <= available.width()) {
            near->move(available.topLeft());
            place = besideRect(available, near->frameGeometry(), size, frame, LeastSize);
        }
    }
    if (place) {
        resize(place->size());
        move(place->topLeft());
    } else {
        resize(size);
        move(available.center() - QPoint(size.width() / 2, size.height() / 2));
    }
    show();
    raise();
    activateWindow();
    if (capture_)
        startAtSheet();
}

// --- What the run tells the view -----------------------------------------------

void SheetView::runStarted()
{
    // A capture stays as it is while the window runs.
    if (capture_)
        return;
    sheet_->canvasChanged(QRect(0, 0, canvas_.width(), canvas_.height()));
    if (sheet_->marks().empty())
        forgetFound();
    showTitle();
}

void SheetView::canvasChanged(const QRect &area)
{
    if (capture_)
        return;
    sheet_->canvasChanged(area);
    if (sheet_->marks().empty() && found_)
        forgetFound();
    showTitle();
}

void SheetView::runEnded()
{
    if (capture_)
        return;
    sheet_->canvasChanged(QRect(0, 0, canvas_.width(), canvas_.height()));
}

void SheetView::showTitle()
{
    if (capture_) {
        QString name = capture_->shownName();
        if (capture_->isRecording())
            name = tr("%1, frame %2").arg(name).arg(capture_->frame());
        setWindowTitle(capture_->mode() ? tr("Tintwell — %1 — %2 — %3")
                                              .arg(name, ModeName(*capture_->mode()),
                                                   QCoreApplication::translate("SheetView", rowOf(face_).word))
                                        : tr("Tintwell — %1 — no sheet").arg(name));
        return;
    }
    const std::optional<Mode> shown = mode();
    setWindowTitle(shown ? tr("Tintwell — %1").arg(ModeName(*shown)) : tr("Tintwell — view"));
}

// --- Status line -------------------------------------------------------------------

void SheetView::showPointed(std::optional<QPoint> pixel)
{
    if (!pixel) {
        pointed_->setText(QString());
        return;
    }
    QString tile;
    if (const std::optional<Mode> shown = mode()) {
        const int side = Sheets::Of(*shown).tile;
        tile = tr("tile (%1, %2)").arg(pixel->x() / side).arg(pixel->y() / side);
    }
    if (capture_) {
        const ColorValue captured = FromRgb32(capture_->captured().pixel(*pixel));
        if (!capture_->mode()) {
            pointed_->setText(tr("%1, %2    capture %3").arg(pixel->x()).arg(pixel->y()).arg(hexCode(captured)));
            return;
        }
        const ColorValue drawn = FromRgb32(capture_->sheet().pixel(*pixel));
        QString text = tr("%1, %2    %3    sheet %4    capture %5    dE2000 %6")
                           .arg(pixel->x())
                           .arg(pixel->y())
                           .arg(tile, hexCode(drawn), hexCode(captured))
                           .arg(capture_->de2000At(*pixel), 0, 'f', 2);
        if (face_ == Face::Fixed && !capture_->fixed().isNull())
            text += tr("    fixed %1").arg(hexCode(FromRgb32(capture_->fixed().pixel(*pixel))));
        pointed_->setText(text);
        return;
    }
    const ColorValue colour = canvas_.pixel(pixel->x(), pixel->y());
    pointed_->setText(QStringLiteral("%1, %2    %3    %4    %5 %6 %7")
                          .arg(pixel->x())
                          .arg(pixel->y())
                          .arg(tile, hexCode(colour))
                          .arg(RedOf(colour))
                          .arg(GreenOf(colour))
                          .arg(BlueOf(colour)));
}

void SheetView::showMessage(const QString &text)
{
    message_->setText(text);
    message_->setToolTip(text);
}

void SheetView::pick(QPoint pixel)
{
    // The colour the face shows: the picture the face paints, but the
    // capture's in the difference, whose grey is no colour of either.
    ColorValue colour = canvas_.pixel(pixel.x(), pixel.y());
    if (capture_) {
        const QImage *shown = &capture_->captured();
        if (capture_->mode() && (face_ == Face::Sheet || face_ == Face::Fixed)) {
            const QImage &painted = (capture_.get()->*rowOf(face_).picture)();
            if (!painted.isNull())
                shown = &painted;
        }
        colour = FromRgb32(shown->pixel(pixel));
    }
    showMessage(tr("Picked %1").arg(hexCode(colour)));
    emit picked(colour);
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
        findMessage_->setText(capture_ ? tr("No sheet was found in this picture.")
                                       : tr("No sheet is drawn yet: start a run first."));
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
    // A pixel too small to see is shown large.
    if (sheet_->zoom() < LeastFoundZoom)
        sheet_->setZoom(FoundZoom);
    goToPlace(0);
    return true;
}

void SheetView::offerNearest()
{
    const QString name = ModeName(*mode());
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
    if (keys_->isVisible())
        keys_->hide();
    else if (findText_->hasFocus())
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
    if (event->type() == QEvent::LanguageChange)
        keys_->setText(keysText());
    QMainWindow::changeEvent(event);
}

void SheetView::showChrome()
{
    // Full screen shows the sheet alone.
    const bool full = isFullScreen();
    statusBar()->setVisible(!full);
    results_->setVisible(!full && resultsWanted_);
    if (full) {
        findBar_->hide();
        keys_->hide();
    }
    sheet_->setBare(full);
}

// --- Captures -----------------------------------------------------------------------

bool SheetView::openCapture(const QString &fileName)
{
    QString reason;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    std::unique_ptr<Capture> opened = Capture::Open(fileName, reason, player_);
    QGuiApplication::restoreOverrideCursor();
    if (!opened) {
        QMessageBox::warning(isVisible() ? this : nullptr, tr("Tintwell"),
                             tr("Could not open %1: %2").arg(QDir::toNativeSeparators(fileName), reason));
        return false;
    }
    lastFolder_ = QFileInfo(fileName).absolutePath();
    // What was on its way for the capture shown before is not wanted now.
    stopTasks();
    offer_.reset();
    forgetFound();
    face_ = Face::Capture;
    partner_ = Face::Fixed;
    takeCapture(std::move(opened));
    if (capture_->mode()) {
        results_->showMessage(tr("Taking the census of %1…").arg(capture_->shownName()));
        results_->showLines({}, {});
    } else {
        results_->showMessage(capture_->searchAnswer());
    }
    results_->showStream(capture_->streamLines());
    results_->showFrames({}, -1, -1);
    // The verdict is what a capture is opened for.
    showResultsPanel(true);
    examine(true);
    showMessage(capture_->mode() ? QString() : tr("No sheet found (F9: the results say more)."));
    if (isVisible())
        startAtSheet();
    return true;
}

void SheetView::takeCapture(std::shared_ptr<Capture> capture)
{
    // The new pictures are shown before the old ones they replace go.
    const std::shared_ptr<Capture> old = std::move(capture_);
    capture_ = std::move(capture);
    showFace();
    if (plots_) {
        if (capture_->mode())
            plots_->showCurves(capture_->curves(), capture_->shownName());
        else
            plots_->close();
    }
}

void SheetView::showByNextPlayer()
{
    if (!capture_ || !VideoLibrary::IsRecording(capture_->fileName())) {
        showMessage(tr("P shows a recording as each player shows it; open a recording first."));
        return;
    }
    const std::vector<PlayerRules::Rule> &rules = PlayerRules::Rules();
    const VideoFrames::Player previous = player_;
    player_ = rules[(std::size_t(player_) + 1) % rules.size()].player;
    if (!openCapture(capture_->fileName())) {
        player_ = previous;
        return;
    }
    showMessage(player_ == VideoFrames::Player::Default
                    ? tr("Shown as its tags say: %1").arg(capture_->shown())
                    : tr("Shown as %1 shows it: %2").arg(QLatin1String(PlayerRules::Of(player_).title), capture_->shown()));
}

void SheetView::examine(bool census)
{
    // The diagnosis comes first, then the census; a result for a capture no
    // longer shown goes with its watcher.
    if (examining_) {
        examining_->cancel();
        delete examining_;
    }
    examining_ = new QFutureWatcher<CaptureResults>(this);
    diagnosedTold_ = false;
    connect(examining_, &QFutureWatcherBase::resultReadyAt, this, [this, watcher = examining_](int index) {
        if (watcher != examining_ || !capture_)
            return;
        const CaptureResults results = watcher->resultAt(index);
        capture_->takeResults(results);
        showResults();
        if (face_ == Face::Fixed)
            showFace();
        if (plots_ && capture_->mode())
            plots_->showCurves(capture_->curves(), capture_->shownName());
        if (!results.complete && !diagnosedTold_ && capture_->diagnosed()) {
            diagnosedTold_ = true;
            emit diagnosed();
        }
    });
    connect(examining_, &QFutureWatcherBase::finished, this, [this, watcher = examining_] {
        if (watcher != examining_)
            return;
        examining_ = nullptr;
        watcher->deleteLater();
        if (capture_ && capture_->examined())
            emit examined();
    });
    examining_->setFuture(QtConcurrent::run(capture_->examination(census)));
}

void SheetView::showResults()
{
    if (!capture_)
        return;
    if (const std::optional<Verdict> &verdict = capture_->verdict())
        results_->showVerdict(*verdict);
    else if (capture_->mode() && !capture_->diagnosisLines().isEmpty())
        results_->showMessage(capture_->diagnosisLines().join(QLatin1Char(' ')));
    else if (!capture_->mode())
        results_->showMessage(capture_->searchAnswer());
    QStringList census = capture_->censusLines();
    if (!capture_->examined())
        census = {tr("Taking the census of %1…").arg(capture_->shownName())};
    results_->showLines(census, capture_->diagnosisLines());
    results_->showStream(capture_->streamLines());
    if (capture_->examined())
        results_->showFrames(capture_->frames(), capture_->worstFrame(), capture_->frame());
}

void SheetView::showFrame(std::int64_t frame)
{
    const std::optional<Capture::FrameSource> source = capture_ ? capture_->frameSource() : std::nullopt;
    if (!source || frame == capture_->frame()) {
        emit frameShown();
        return;
    }
    // Read on another thread: the frames before it are decoded on the way.
    if (openingFrame_) {
        openingFrame_->cancel();
        delete openingFrame_;
    }
    openingFrame_ = new QFutureWatcher<std::shared_ptr<Capture>>(this);
    showMessage(tr("Opening frame %1…").arg(frame));
    connect(openingFrame_, &QFutureWatcherBase::finished, this, [this, watcher = openingFrame_, frame] {
        if (watcher != openingFrame_ || !capture_)
            return;
        openingFrame_ = nullptr;
        watcher->deleteLater();
        const std::shared_ptr<Capture> opened = watcher->future().resultCount() > 0 ? watcher->result() : nullptr;
        if (!opened) {
            showMessage(tr("Frame %1 could not be opened.").arg(frame));
            results_->setFrameShown(capture_->frame());
            emit frameShown();
            return;
        }
        // The recording's census stays; the frame gets its own diagnosis.
        opened->takeCensus(*capture_);
        takeCapture(opened);
        results_->setFrameShown(frame);
        showResults();
        examine(false);
        emit frameShown();
    });
    openingFrame_->setFuture(
        QtConcurrent::run([source = *source, frame](QPromise<std::shared_ptr<Capture>> &promise) {
            if (promise.isCanceled())
                return;
            QString reason;
            std::shared_ptr<Capture> opened =
                Capture::OpenFrame(source, frame, reason, [&promise] { return promise.isCanceled(); });
            promise.addResult(std::move(opened));
        }));
}

void SheetView::startAtSheet()
{
    // Centred at 100 % when the sheet fits, else all of it.
    if (sheet_->fitZoom() >= 1) {
        sheet_->setZoom(1);
        const QSize shown = sheet_->shownSize();
        sheet_->centreOn(QPointF(shown.width(), shown.height()) / 2);
    } else {
        sheet_->fit();
    }
}

void SheetView::openWithDialog()
{
    QStringList patterns;
    for (const QByteArray &format : QImageReader::supportedImageFormats())
        patterns << QStringLiteral("*.%1").arg(QString::fromLatin1(format));
    QString folder = lastFolder_;
    if (folder.isEmpty())
        folder = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    QFileDialog dialog(this, tr("Open a capture"), folder);
    dialog.setObjectName(QStringLiteral("OpenCapture"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters({tr("Pictures (%1)").arg(patterns.join(QLatin1Char(' '))),
                           tr("Recordings (%1)").arg(QStringLiteral("*.mkv *.webm *.mp4 *.mov *.avi *.ts *.m2ts *.mpg")),
                           tr("All files (*)")});
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    openCapture(dialog.selectedFiles().constFirst());
}

void SheetView::closeCapture()
{
    if (!capture_)
        return;
    stopTasks();
    offer_.reset();
    forgetFound();
    sheet_->showPicture(QImage());
    capture_.reset();
    sheet_->canvasChanged(QRect(0, 0, canvas_.width(), canvas_.height()));
    results_->showNothing();
    if (plots_)
        plots_->close();
    showMessage(QString());
    showTitle();
}

void SheetView::setFace(Face face)
{
    if (!capture_) {
        showMessage(tr("Open a capture (Ctrl+O) to compare it with its sheet."));
        return;
    }
    if (!capture_->mode()) {
        showMessage(tr("No sheet found (F9: the results say more)."));
        return;
    }
    face_ = face;
    if (face == Face::Sheet || face == Face::Fixed)
        partner_ = face;
    showFace();
}

void SheetView::flipFace()
{
    setFace(face_ == Face::Capture ? partner_ : Face::Capture);
}

void SheetView::showFace()
{
    const FaceRow &row = rowOf(face_);
    const QImage &picture = capture_->mode() ? (capture_.get()->*row.picture)() : capture_->captured();
    // A face whose picture is not in yet (the fix) shows the capture.
    sheet_->showPicture(picture.isNull() ? capture_->captured() : picture);
    showMessage(capture_->mode() ? row.note(*capture_) : tr("No sheet found (F9: the results say more)."));
    showTitle();
}

void SheetView::toggleResults()
{
    showResultsPanel(!resultsWanted_);
}

void SheetView::showResultsPanel(bool shown)
{
    const bool was = resultsWanted_;
    resultsWanted_ = shown;
    if (isFullScreen())
        return;
    results_->setVisible(shown);
    if (!isVisible() || was == shown || isMaximized())
        return;
    // A window of its own size grows by the panel, where the screen has
    // room, so that the picture keeps its place in it.
    const int panel = results_->sizeHint().width();
    const QRect available = screen()->availableGeometry();
    const int width = shown ? std::min(this->width() + panel, available.width())
                            : std::max(this->width() - panel, LeastSize.width());
    resize(width, height());
}

void SheetView::showPlots()
{
    if (!capture_ || !capture_->mode()) {
        showMessage(tr("The tone curves need a capture holding a sheet (Ctrl+O)."));
        return;
    }
    if (!plots_) {
        plots_ = new ToneCurvePlot(this);
        plots_->showCurves(capture_->curves(), capture_->shownName());
    }
    plots_->show();
    plots_->raise();
    plots_->activateWindow();
}

void SheetView::toggleKeys()
{
    if (keys_->isVisible()) {
        keys_->hide();
        return;
    }
    // A sheet area narrower than the keys grows towards their width, as far
    // as the screen allows (lines that still do not fit wrap), and placeKeys()
    // lets it grow as tall as they are; the sheet keeps its zoom.
    const int wider = keys_->sizeHint().width() + 2 * KeysMargin - centre_->width();
    // Shown first: a resize of the area, now or later, places them again.
    keys_->show();
    keys_->raise();
    if (wider > 0 && !isFullScreen() && !isMaximized())
        resize((size() + QSize(wider, 0)).boundedTo(screen()->availableGeometry().size()));
    placeKeys();
}

void SheetView::placeKeys()
{
    const QRect area = centre_->rect().adjusted(KeysMargin, KeysMargin, -KeysMargin, -KeysMargin);
    const int width = std::min(keys_->sizeHint().width(), area.width());
    const int height = keys_->heightForWidth(width);
    keys_->setGeometry(QRect(area.topLeft(), QSize(width, std::min(height, area.height()))));
    // Taller than the sheet's area: the window grows as far as the screen
    // allows, and the area's new size places them again.
    if (height > area.height() && !isFullScreen() && !isMaximized()) {
        const QSize grown = (size() + QSize(0, height - area.height())).boundedTo(screen()->availableGeometry().size());
        if (grown != size())
            resize(grown);
    }
}

bool SheetView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == centre_ && event->type() == QEvent::Resize && keys_->isVisible())
        placeKeys();
    return QMainWindow::eventFilter(watched, event);
}

void SheetView::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
}

void SheetView::dragEnterEvent(QDragEnterEvent *event)
{
    if (!droppedFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void SheetView::dropEvent(QDropEvent *event)
{
    const QString fileName = droppedFile(event->mimeData());
    if (fileName.isEmpty())
        return;
    event->acceptProposedAction();
    openCapture(fileName);
}
