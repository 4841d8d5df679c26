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
#include <QtConcurrent/QtConcurrentRun>

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

// A found pixel smaller than this (device pixels) is hard to see: the view
// zooms in to FoundZoom around it.
constexpr double LeastFoundZoom = 4;
constexpr double FoundZoom = 8;
// The keys overlay stays this far inside the view.
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
    message_ = new QLabel(statusLine_);
    message_->setObjectName(QStringLiteral("ViewMessage"));
    message_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    zoomShown_ = new QLabel(statusLine_);
    zoomShown_->setObjectName(QStringLiteral("Zoom"));
    auto *statusLayout = new QHBoxLayout(statusLine_);
    statusLayout->setContentsMargins(6, 2, 6, 2);
    statusLayout->addWidget(pointed_, 1);
    statusLayout->addWidget(message_);
    statusLayout->addWidget(zoomShown_);

    results_ = new ResultsDock(this);
    results_->hide();
    auto *middle = new QHBoxLayout;
    middle->setSpacing(0);
    middle->addWidget(sheet_, 1);
    middle->addWidget(results_);

    keys_ = new QLabel(this);
    keys_->setObjectName(QStringLiteral("ViewKeys"));
    keys_->setAutoFillBackground(true);
    keys_->setMargin(12);
    keys_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    keys_->setText(tr("<b>Keys of the view</b><table cellspacing=4>"
                      "<tr><td>Ctrl+O, or drop a file</td><td>open a capture</td></tr>"
                      "<tr><td>1 / 2 / 3</td><td>show the sheet / the capture / the difference</td></tr>"
                      "<tr><td>Space</td><td>flip between the sheet and the capture</td></tr>"
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
                      "show its canvas here again.</p>"));
    keys_->hide();

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(middle, 1);
    layout->addWidget(findBar_);
    layout->addWidget(statusLine_);

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
    add({QKeySequence(Qt::Key_1)}, [this] { setFace(Face::Sheet); });
    add({QKeySequence(Qt::Key_2)}, [this] { setFace(Face::Capture); });
    add({QKeySequence(Qt::Key_3)}, [this] { setFace(Face::Difference); });
    add({QKeySequence(Qt::Key_Space)}, [this] { flipFace(); });
    add({QKeySequence(Qt::Key_F9)}, [this] { toggleResults(); });
    add({QKeySequence(Qt::Key_T)}, [this] { showPlots(); });
    add({QKeySequence(Qt::Key_P)}, [this] { showByNextPlayer(); });
    add({QKeySequence(Qt::Key_F1), QKeySequence(Qt::Key_Question)}, [this] { toggleKeys(); });
}

SheetView::~SheetView() = default;

std::optional<Mode> SheetView::mode() const
{
    if (capture_)
        return capture_->mode();
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
    const QSize shown = sheet_->shownSize();
    const QSize whole = QSize(static_cast<int>(std::ceil(shown.width() / ratio)),
                              static_cast<int>(std::ceil(shown.height() / ratio)))
                        + chrome;
    const QSize most = QSizeF(available.size() * MostOfScreen).toSize();
    const QSize size = whole.expandedTo(LeastSize).boundedTo(most);
    resize(size);
    move(available.center() - QPoint(size.width() / 2, size.height() / 2));
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
        const std::array<QString, 3> faces = {tr("sheet"), tr("capture"), tr("difference")};
        setWindowTitle(capture_->mode() ? tr("Tintwell — %1 — %2 — %3")
                                              .arg(capture_->shownName(), ModeName(*capture_->mode()),
                                                   faces[static_cast<std::size_t>(face_)])
                                        : tr("Tintwell — %1 — no sheet").arg(capture_->shownName()));
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
        pointed_->setText(tr("%1, %2    %3    sheet %4    capture %5    dE2000 %6")
                              .arg(pixel->x())
                              .arg(pixel->y())
                              .arg(tile, hexCode(drawn), hexCode(captured))
                              .arg(capture_->de2000At(*pixel), 0, 'f', 2));
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
}

void SheetView::pick(QPoint pixel)
{
    // The colour the face shows: the capture's in the capture (and in the
    // difference, whose grey is no colour of either), the sheet's in the sheet.
    ColorValue colour = canvas_.pixel(pixel.x(), pixel.y());
    if (capture_)
        colour = FromRgb32((face_ == Face::Sheet && capture_->mode() ? capture_->sheet() : capture_->captured())
                               .pixel(pixel));
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
    QWidget::changeEvent(event);
}

void SheetView::showChrome()
{
    // Full screen shows the sheet alone.
    const bool full = isFullScreen();
    statusLine_->setVisible(!full);
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
    capture_ = std::move(opened);
    offer_.reset();
    forgetFound();
    face_ = Face::Capture;
    showFace();
    examine();
    if (plots_) {
        if (capture_->mode())
            plots_->showCurves(capture_->curves(), capture_->shownName());
        else
            plots_->close();
    }
    showMessage(capture_->mode() ? QString() : capture_->searchAnswer());
    if (isVisible())
        startAtSheet();
    return true;
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

void SheetView::examine()
{
    // The census and the diagnosis come after the first frame; a result for
    // a capture no longer shown goes with its watcher.
    delete examining_;
    results_->showResults({tr("Taking the census of %1…").arg(capture_->shownName())}, {});
    examining_ = new QFutureWatcher<CaptureResults>(this);
    connect(examining_, &QFutureWatcherBase::finished, this, [this, watcher = examining_] {
        if (watcher != examining_ || !capture_)
            return;
        capture_->takeResults(watcher->result());
        results_->showResults(capture_->censusLines(), capture_->diagnosisLines());
        if (plots_ && capture_->mode())
            plots_->showCurves(capture_->curves(), capture_->shownName());
        examining_ = nullptr;
        watcher->deleteLater();
        emit examined();
    });
    examining_->setFuture(QtConcurrent::run(capture_->examination()));
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
    capture_.reset();
    delete examining_;
    examining_ = nullptr;
    offer_.reset();
    forgetFound();
    sheet_->showPicture(QImage());
    sheet_->canvasChanged(QRect(0, 0, canvas_.width(), canvas_.height()));
    results_->showResults({}, {});
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
        showMessage(capture_->searchAnswer());
        return;
    }
    face_ = face;
    showFace();
}

void SheetView::flipFace()
{
    setFace(face_ == Face::Sheet ? Face::Capture : Face::Sheet);
}

void SheetView::showFace()
{
    switch (face_) {
    case Face::Sheet:
        sheet_->showPicture(capture_->mode() ? capture_->sheet() : capture_->captured());
        showMessage(QString());
        break;
    case Face::Capture:
        sheet_->showPicture(capture_->captured());
        showMessage(QString());
        break;
    case Face::Difference:
        sheet_->showPicture(capture_->mode() ? capture_->difference() : capture_->captured());
        showMessage(tr("difference: 1 grey level = %1").arg(capture_->differenceScale()));
        break;
    }
    showTitle();
}

void SheetView::toggleResults()
{
    resultsWanted_ = !resultsWanted_;
    if (isFullScreen())
        return;
    // A window of its own size grows by the panel, where the screen has
    // room, so that the picture keeps its place in it.
    const int panel = results_->sizeHint().width();
    const bool resizable = !isMaximized();
    results_->setVisible(resultsWanted_);
    if (resizable) {
        const QRect available = screen()->availableGeometry();
        const int width = resultsWanted_ ? std::min(this->width() + panel, available.width())
                                         : std::max(this->width() - panel, LeastSize.width());
        resize(width, height());
    }
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
    // A view smaller than the keys grows to show them whole, as far as the
    // screen allows; the sheet keeps its zoom.
    const QSize needed = keys_->sizeHint() + QSize(2 * KeysMargin, 2 * KeysMargin);
    if (!isFullScreen() && (needed.width() > width() || needed.height() > height()))
        resize(size().expandedTo(needed).boundedTo(screen()->availableGeometry().size()));
    placeKeys();
    keys_->show();
    keys_->raise();
}

void SheetView::placeKeys()
{
    const QRect area = rect().adjusted(KeysMargin, KeysMargin, -KeysMargin, -KeysMargin);
    const QSize wanted = keys_->sizeHint().boundedTo(area.size());
    keys_->setGeometry(QRect(area.topLeft(), wanted));
}

void SheetView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (keys_->isVisible())
        placeKeys();
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
