// The built program in a real X server, driven as a user would drive it:
// xdotool moves the pointer, clicks and types, xclip reads the clipboard and
// ImageMagick's import takes pictures of the window. Nothing here links the
// program's code; what the window shows is checked against the sheets'
// by-position formulas.
//
// It starts an Xvfb of its own (RealDisplay.h); the program's path is in
// TINTWELL_PROGRAM. There is no window manager under a bare Xvfb: windows
// have no frame, and closing one means sending it WM_DELETE_WINDOW as a
// window manager would. The Japanese dialogs are looked at under openbox, as a
// user sees them.

#include "generation/ColorValue.h"
#include "RealDisplay.h"
#include "SheetFormulas.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QImage>
#include <QLibrary>
#include <QProcess>
#include <QRect>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <source_location>
#include <type_traits>

namespace {

// Nothing here is timed: the deadlines only keep a broken run from hanging
// the test, and are long enough for a sanitizer build on a busy machine.
constexpr int Deadline = 120'000;

constexpr int Mode16Million = 0;
constexpr int Mode64Kilo = 3;

// Window pixels of the controls and of the preview.
constexpr QPoint StartCentre(8 + 12, 4 + 12);
constexpr QPoint SaveCentre(72 + 12, 4 + 12);
constexpr QPoint ListCentre(148 + 38, 4 + 10);
constexpr QRect Preview(2, 56, 256, 256);

constexpr QSize IdleSize(270, 52);
constexpr QSize RunSize(270, 336);

const QString Import = QStringLiteral("/usr/bin/import");

struct ToolResult
{
    bool finished = false; // ran to its end within the deadline
    int exitCode = -1;
    QByteArray out;
    QByteArray err;

    bool ok() const { return finished && exitCode == 0; }
};

ToolResult runTool(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    ToolResult result;
    if (!process.waitForStarted(Deadline))
        return result;
    if (!process.waitForFinished(Deadline)) {
        process.kill();
        process.waitForFinished(-1);
        return result;
    }
    result.finished = process.exitStatus() == QProcess::NormalExit;
    result.exitCode = process.exitCode();
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

// Runs xdotool with the words of `command` (none has a space) as arguments.
ToolResult xdotool(const QString &command)
{
    return runTool(QStringLiteral("xdotool"), command.split(QLatin1Char(' '), Qt::SkipEmptyParts));
}

// Calls `check` until it holds or the deadline passes; the report of the
// longest waits names the line that waited.
bool pollUntil(const std::function<bool()> &check, int intervalMs = 100,
               std::source_location where = std::source_location::current())
{
    const QByteArray what = "line " + QByteArray::number(where.line());
    return RealDisplay::WaitFor(what.constData(), check, Deadline, intervalMs);
}

QList<quint32> windowIds(const QByteArray &xdotoolOutput)
{
    QList<quint32> ids;
    for (const QByteArray &line : xdotoolOutput.split('\n')) {
        bool ok = false;
        const quint32 id = line.trimmed().toUInt(&ok);
        if (ok)
            ids << id;
    }
    return ids;
}

// The size xdotool reports, or an empty size.
QSize windowSize(quint32 window)
{
    const ToolResult result = xdotool(QStringLiteral("getwindowgeometry --shell %1").arg(window));
    if (!result.ok())
        return {};
    QSize size;
    for (const QByteArray &line : result.out.split('\n')) {
        if (line.startsWith("WIDTH="))
            size.setWidth(line.mid(6).trimmed().toInt());
        else if (line.startsWith("HEIGHT="))
            size.setHeight(line.mid(7).trimmed().toInt());
    }
    return size;
}

QString windowName(quint32 window)
{
    return QString::fromUtf8(xdotool(QStringLiteral("getwindowname %1").arg(window)).out.trimmed());
}

QList<quint32> visibleWindowsOf(qint64 pid)
{
    return windowIds(xdotool(QStringLiteral("search --onlyvisible --pid %1").arg(pid)).out);
}

// Moves the pointer to (x, y) of the window and clicks `button` there.
bool clickAt(quint32 window, QPoint at, int button = 1)
{
    const QString command = QStringLiteral("mousemove --window %1 %2 %3 click %4");
    return xdotool(command.arg(window).arg(at.x()).arg(at.y()).arg(button)).ok();
}

bool pressKeys(const QString &keys)
{
    return xdotool(QStringLiteral("key ") + keys).ok();
}

QImage screenshot(quint32 window)
{
    const ToolResult result = runTool(Import, {QStringLiteral("-silent"), QStringLiteral("-window"),
                                               QString::number(window), QStringLiteral("png:-")});
    return result.ok() ? QImage::fromData(result.out, "PNG") : QImage();
}

QString clipboardText()
{
    const ToolResult result = runTool(QStringLiteral("xclip"), {QStringLiteral("-o"), QStringLiteral("-selection"),
                                                                QStringLiteral("clipboard")});
    return result.ok() ? QString::fromUtf8(result.out) : QString();
}

QString hexCode(QRgb pixel)
{
    return QString::asprintf("%02X%02X%02X", qRed(pixel), qGreen(pixel), qBlue(pixel));
}

QString colourCode(ColorValue colour)
{
    return hexCode(ToRgb32(colour));
}

// The preview pixel (px, py) shows the canvas pixel under its centre.
ColorValue expectedPreviewColour(int mode, int px, int py)
{
    const int n = SheetFormulas::CanvasSize[static_cast<std::size_t>(mode)];
    return SheetFormulas::Colour(mode, (2 * px + 1) * n / (2 * Preview.width()),
                                 (2 * py + 1) * n / (2 * Preview.height()));
}

// The preview pixels of `area` (preview coordinates) that `shot` does not
// show in the mode's finished colours, as readable lines; at most a few.
QStringList previewMismatches(const QImage &shot, int mode, const QRect &area, int step = 1)
{
    QStringList found;
    if (shot.isNull() || !shot.rect().contains(Preview))
        return {QStringLiteral("no picture of the whole preview")};
    for (int py = area.top(); py <= area.bottom(); py += step)
        for (int px = area.left(); px <= area.right(); px += step) {
            const QRgb shown = shot.pixel(Preview.left() + px, Preview.top() + py) & 0xFFFFFFu;
            const QRgb expected = ToRgb32(expectedPreviewColour(mode, px, py)) & 0xFFFFFFu;
            if (shown != expected && found.size() < 8)
                found << QStringLiteral("preview (%1,%2): shows %3, expected %4")
                             .arg(px)
                             .arg(py)
                             .arg(hexCode(shown), hexCode(expected));
        }
    return found;
}

// The tile a run of the mode paints last lies at the preview's bottom right.
QRect lastTileInPreview(int mode)
{
    const auto m = static_cast<std::size_t>(mode);
    const int side = SheetFormulas::TileSize[m] * Preview.width() / SheetFormulas::CanvasSize[m];
    return QRect(Preview.width() - side, Preview.height() - side, side, side);
}

// Asks a window to close as a window manager does, with the ICCCM
// WM_DELETE_WINDOW message. xdotool has no such command (its windowclose
// destroys the window behind the program's back), so this talks to the X
// server through libxcb, loaded at run time: it is the library Qt's own X
// platform uses, so it is present wherever the program runs on X.
class CloseRequester
{
public:
    bool send(quint32 window, QString *error)
    {
        if (!load(error))
            return false;
        Connection *connection = connect_(nullptr, nullptr);
        const std::unique_ptr<Connection, Disconnect> guard(connection, disconnect_);
        if (hasError_(connection)) {
            *error = QStringLiteral("cannot connect to the X server");
            return false;
        }
        const std::uint32_t protocols = atom(connection, "WM_PROTOCOLS");
        const std::uint32_t deleteWindow = atom(connection, "WM_DELETE_WINDOW");
        if (protocols == 0 || deleteWindow == 0) {
            *error = QStringLiteral("the X server does not know the close atoms");
            return false;
        }
        // xcb_client_message_event_t, as the X protocol lays it out.
        struct
        {
            std::uint8_t responseType = 33; // ClientMessage
            std::uint8_t format = 32;
            std::uint16_t sequence = 0;
            std::uint32_t window = 0;
            std::uint32_t type = 0;
            std::uint32_t data[5] = {};
        } message;
        static_assert(sizeof(message) == 32);
        message.window = window;
        message.type = protocols;
        message.data[0] = deleteWindow;
        message.data[1] = 0; // CurrentTime
        // An empty event mask sends the event to the client that made the window.
        const Cookie cookie = sendEventChecked_(connection, 0, window, 0, reinterpret_cast<const char *>(&message));
        if (void *failure = requestCheck_(connection, cookie)) {
            std::free(failure);
            *error = QStringLiteral("the X server refused the close message for window %1").arg(window);
            return false;
        }
        return true;
    }

private:
    struct Connection;
    struct Cookie
    {
        unsigned int sequence;
    };
    struct AtomReply
    {
        std::uint8_t responseType;
        std::uint8_t pad;
        std::uint16_t sequence;
        std::uint32_t length;
        std::uint32_t atom;
    };
    using Disconnect = void (*)(Connection *);

    bool load(QString *error)
    {
        if (connect_)
            return true;
        library_.setFileNameAndVersion(QStringLiteral("xcb"), 1);
        if (!library_.load()) {
            *error = library_.errorString();
            return false;
        }
        const auto resolve = [this](auto &function, const char *name) {
            function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(library_.resolve(name));
            return function != nullptr;
        };
        if (!resolve(connect_, "xcb_connect") || !resolve(hasError_, "xcb_connection_has_error")
            || !resolve(disconnect_, "xcb_disconnect") || !resolve(internAtom_, "xcb_intern_atom")
            || !resolve(internAtomReply_, "xcb_intern_atom_reply")
            || !resolve(sendEventChecked_, "xcb_send_event_checked") || !resolve(requestCheck_, "xcb_request_check")) {
            connect_ = nullptr;
            *error = QStringLiteral("libxcb lacks a function it should have");
            return false;
        }
        return true;
    }

    std::uint32_t atom(Connection *connection, const char *name)
    {
        const Cookie cookie = internAtom_(connection, 1, static_cast<std::uint16_t>(std::strlen(name)), name);
        AtomReply *reply = internAtomReply_(connection, cookie, nullptr);
        const std::uint32_t value = reply ? reply->atom : 0;
        std::free(reply);
        return value;
    }

    QLibrary library_;
    Connection *(*connect_)(const char *, int *) = nullptr;
    int (*hasError_)(Connection *) = nullptr;
    Disconnect disconnect_ = nullptr;
    Cookie (*internAtom_)(Connection *, std::uint8_t, std::uint16_t, const char *) = nullptr;
    AtomReply *(*internAtomReply_)(Connection *, Cookie, void **) = nullptr;
    Cookie (*sendEventChecked_)(Connection *, std::uint8_t, std::uint32_t, std::uint32_t, const char *) = nullptr;
    void *(*requestCheck_)(Connection *, Cookie) = nullptr;
};


// The screen position of sheet pixel (0, 0) in a picture of the view at
// 100 %, found from one pixel whose colour tells its place: in 64kilo one
// of a tile with green below 255, in 16million the pixel at the picture's
// centre (x = 256 (blue / 16) + red, y = 256 (blue % 16) +
// green). Then every pixel of `checked` (sheet pixels) must show its
// colour by the formulas, one sheet pixel to one screen pixel, but for the
// outlines around `marked` places.
QStringList oneToOneMismatches(const QImage &shot, int mode, QPoint *sheetOrigin = nullptr,
                               const QList<QPoint> &marked = {})
{
    if (shot.isNull())
        return {QStringLiteral("no picture of the view")};
    QPoint origin(-1, -1);
    if (mode == Mode16Million) {
        const QPoint centre = shot.rect().center();
        const QRgb c = shot.pixel(centre);
        const QPoint place(256 * (qBlue(c) / 16) + qRed(c), 256 * (qBlue(c) % 16) + qGreen(c));
        origin = centre - place;
    } else {
        // 64kilo: a pixel of a tile whose green is below 255 tells its place
        // (red 4 u, blue 4 v, green 13 + 20 (4 row + column)).
        bool found = false;
        for (int y = shot.height() / 2; y >= 0 && !found; --y)
            for (int x = 0; x < shot.width(); ++x) {
                const QRgb c = shot.pixel(x, y);
                if (qRed(c) % 4 != 0 || qBlue(c) % 4 != 0 || qGreen(c) < 13 || (qGreen(c) - 13) % 20 != 0)
                    continue;
                const int tile = (qGreen(c) - 13) / 20;
                const QPoint place(64 * (tile % 4) + qRed(c) / 4, 64 * (tile / 4) + qBlue(c) / 4);
                // Its neighbour to the right must agree, so a stray pixel of
                // the window's own is not taken for the sheet.
                if (place.x() < 255 && x + 1 < shot.width()
                    && (shot.pixel(x + 1, y) & 0xFFFFFFu)
                           == (ToRgb32(SheetFormulas::Colour(Mode64Kilo, place.x() + 1, place.y())) & 0xFFFFFFu)) {
                    origin = QPoint(x, y) - place;
                    found = true;
                    break;
                }
            }
        if (!found)
            return {QStringLiteral("no pixel of the sheet found in the view")};
    }
    if (sheetOrigin)
        *sheetOrigin = origin;
    const int side = SheetFormulas::CanvasSize[static_cast<std::size_t>(mode)];
    // Whatever of the sheet the picture shows, leaving out the scroll bars
    // and the status line.
    const QRect visible = QRect(origin, QSize(side, side)).intersected(shot.rect().adjusted(0, 0, -20, -40));
    QStringList found;
    int checked = 0;
    for (int y = visible.top(); y <= visible.bottom(); ++y)
        for (int x = visible.left(); x <= visible.right(); ++x) {
            const QPoint place = QPoint(x, y) - origin;
            // Outlines a few pixels around found places cover the sheet there.
            const auto nearMark = [&](const QPoint &mark) {
                return place != mark && qAbs(place.x() - mark.x()) <= 4 && qAbs(place.y() - mark.y()) <= 4;
            };
            if (std::any_of(marked.begin(), marked.end(), nearMark))
                continue;
            const QRgb expected = ToRgb32(SheetFormulas::Colour(mode, place.x(), place.y())) & 0xFFFFFFu;
            ++checked;
            if ((shot.pixel(x, y) & 0xFFFFFFu) != expected && found.size() < 8)
                found << QStringLiteral("sheet (%1,%2) at screen (%3,%4): %5, expected %6")
                             .arg(place.x()).arg(place.y()).arg(x).arg(y)
                             .arg(hexCode(shot.pixel(x, y)), hexCode(expected));
        }
    if (checked < 100 * 100)
        found << QStringLiteral("only %1 sheet pixels in view").arg(checked);
    return found;
}

// --- Letters as the screen shows them ----------------------------------------

// Ink: darker than halfway between black and the light grounds of message
// boxes and text fields.
bool isInk(QRgb pixel)
{
    return qGray(pixel) < 140;
}

// The columns of `area` that hold ink, in runs: one run a glyph, or a part
// of one (Latin letters and digits are each one run).
QList<QRect> glyphRuns(const QImage &shot, const QRect &area)
{
    QList<QRect> runs;
    int start = -1;
    for (int x = area.left(); x <= area.right() + 1; ++x) {
        bool ink = false;
        for (int y = area.top(); x <= area.right() && y <= area.bottom() && !ink; ++y)
            ink = isInk(shot.pixel(x, y));
        if (ink && start < 0)
            start = x;
        if (!ink && start >= 0) {
            // Only the rows the glyph inks.
            int top = area.bottom(), bottom = area.top();
            for (int y = area.top(); y <= area.bottom(); ++y)
                for (int gx = start; gx < x; ++gx)
                    if (isInk(shot.pixel(gx, y))) {
                        top = std::min(top, y);
                        bottom = std::max(bottom, y);
                    }
            runs << QRect(QPoint(start, top), QPoint(x - 1, bottom));
            start = -1;
        }
    }
    return runs;
}

// Whether some row of the glyph crosses three separate strokes: the stems of
// an m, the stems and the diagonals of an M. A solid block crosses one.
bool hasSeparateStems(const QImage &shot, const QRect &glyph)
{
    for (int y = glyph.top(); y <= glyph.bottom(); ++y) {
        int strokes = 0;
        bool before = false;
        for (int x = glyph.left(); x <= glyph.right(); ++x) {
            const bool ink = isInk(shot.pixel(x, y));
            strokes += ink && !before;
            before = ink;
        }
        if (strokes >= 3)
            return true;
    }
    return false;
}

// The glyph as text, '#' for ink, for a failure message.
QString glyphPicture(const QImage &shot, const QRect &glyph)
{
    QString picture;
    for (int y = glyph.top(); y <= glyph.bottom(); ++y) {
        picture += QLatin1Char('\n');
        for (int x = glyph.left(); x <= glyph.right(); ++x)
            picture += isInk(shot.pixel(x, y)) ? QLatin1Char('#') : QLatin1Char('.');
    }
    return picture;
}

// The first line of text from the top of `shot`: the rows from the first
// with ink to the last before a row without.
QRect firstTextLine(const QImage &shot)
{
    int top = -1;
    for (int y = 0; y < shot.height(); ++y) {
        bool ink = false;
        for (int x = 0; x < shot.width() && !ink; ++x)
            ink = isInk(shot.pixel(x, y));
        if (ink && top < 0)
            top = y;
        if (!ink && top >= 0)
            return QRect(0, top, shot.width(), y - top);
    }
    return {};
}

// Every file and folder below `folder`, by its path from there.
QStringList everythingIn(const QString &folder)
{
    QStringList found;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        found << QDir(folder).relativeFilePath(it.next());
    found.sort();
    return found;
}

} // namespace

class tst_RealWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void cleanupTestCase();

    void userSession();
    void closeDuringRun();
    void pickOnScaledScreen();
    void sheetView();
    void sheetViewScaled();
    void japaneseSaves_data();
    void japaneseSaves();

private:
    // Starts the program in a fresh working directory and finds its window;
    // `adjust` changes the environment it is given.
    void launch(const QString &scaleFactor = QString(),
                const std::function<void(QProcessEnvironment &)> &adjust = {});
    // Starts openbox, with a home of its own, and waits until it manages the screen.
    void startWindowManager();
    // The program's visible window other than the main one, once there is one.
    quint32 otherWindow(const std::function<bool(quint32)> &accept = {});
    // Selects 64kilo (three steps down from 16million) in the list.
    void select64Kilo(int scale = 1);
    // Opens the list, presses `keys` in its popup and waits until it closes.
    void chooseInList(const QString &keys, int scale = 1);
    // Double-clicks the preview and finds the view window that opens.
    quint32 openView(int scale = 1);
    // Clicks Start and waits until the preview shows the finished sheet.
    void runAndWait(int mode);
    // Closes the window as a window manager would; the program must end with 0.
    void closeAndExpectCleanExit();
    void removeSavedFile();

    QString program_;
    QString savedFile_;
    std::unique_ptr<QTemporaryDir> workDir_;
    std::unique_ptr<QProcess> process_;
    std::unique_ptr<QTemporaryDir> windowManagerHome_;
    std::unique_ptr<QProcess> windowManager_;
    quint32 window_ = 0;
    CloseRequester closer_;
    QElapsedTimer clock_;
    QProcess xServer_;
};

void tst_RealWindow::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
        QSKIP("Xvfb is not installed");
    if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
        QSKIP("xdotool is not installed");
    // Room for the save dialog at scale 2.
    const QString why = RealDisplay::Start(xServer_, QStringLiteral("1600x1200x24"), Deadline);
    QVERIFY2(why.isEmpty(), qPrintable(why));
    QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("xclip")).isEmpty(), "xclip is not installed");
    QVERIFY2(QFileInfo(Import).isExecutable(), "ImageMagick's /usr/bin/import is not installed");

    program_ = qEnvironmentVariable("TINTWELL_PROGRAM");
    QVERIFY2(QFileInfo(program_).isExecutable(), "TINTWELL_PROGRAM must name the built program");
    // Save proposes the program's own folder.
    savedFile_ = QFileInfo(program_).absolutePath() + QStringLiteral("/64kilo.bmp");
    removeSavedFile();
}

void tst_RealWindow::cleanup()
{
    if (process_ && process_->state() != QProcess::NotRunning) {
        process_->kill();
        process_->waitForFinished(Deadline);
    }
    process_.reset();
    workDir_.reset();
    window_ = 0;
    if (windowManager_) {
        windowManager_->terminate();
        if (!windowManager_->waitForFinished(Deadline))
            windowManager_->kill();
        windowManager_->waitForFinished(Deadline);
    }
    windowManager_.reset();
    windowManagerHome_.reset();
}

void tst_RealWindow::cleanupTestCase()
{
    removeSavedFile();
    RealDisplay::ReportWaits(Deadline);
    RealDisplay::Stop(xServer_);
}

void tst_RealWindow::removeSavedFile()
{
    if (!savedFile_.isEmpty() && QFileInfo::exists(savedFile_))
        QVERIFY2(QFile::remove(savedFile_), qPrintable(QStringLiteral("cannot remove ") + savedFile_));
}

void tst_RealWindow::launch(const QString &scaleFactor, const std::function<void(QProcessEnvironment &)> &adjust)
{
    clock_.start();
    workDir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(workDir_->isValid());
    process_ = std::make_unique<QProcess>();
    process_->setProgram(program_);
    process_->setWorkingDirectory(workDir_->path());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    if (!scaleFactor.isEmpty())
        environment.insert(QStringLiteral("QT_SCALE_FACTOR"), scaleFactor);
    if (adjust)
        adjust(environment);
    process_->setProcessEnvironment(environment);
    process_->setProcessChannelMode(QProcess::ForwardedChannels);
    process_->start();
    QVERIFY2(process_->waitForStarted(Deadline), qPrintable(process_->errorString()));

    // A Qt program has invisible helper windows too; only the main window is
    // shown, and no other window is open yet.
    ToolResult found;
    RealDisplay::WaitFor("the window to appear", [&] {
        found = xdotool(QStringLiteral("search --onlyvisible --all --pid %1 --name ^Tintwell$").arg(process_->processId()));
        return found.ok() || process_->state() == QProcess::NotRunning;
    }, Deadline);
    QVERIFY2(found.ok(), qPrintable(QStringLiteral("the program's window did not appear: ")
                                    + QString::fromLocal8Bit(found.err)));
    const QList<quint32> windows = windowIds(found.out);
    QCOMPARE(windows.size(), 1);
    window_ = windows.constFirst();
    qInfo("window %u shown after %lld ms", window_, clock_.elapsed());
}

void tst_RealWindow::startWindowManager()
{
    QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("openbox")).isEmpty(), "openbox is not installed");
    // A window manager names itself on the root window once it manages the
    // screen; the name an earlier one left is cleared first. Now and then
    // openbox cannot open a display that has just seen a client go: it ends
    // at once and is started again.
    const QStringList property = {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")};
    runTool(QStringLiteral("xprop"), QStringList{QStringLiteral("-remove")} + property);
    windowManagerHome_ = std::make_unique<QTemporaryDir>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), windowManagerHome_->path());
    ToolResult named;
    for (int attempt = 0; attempt < 5; ++attempt) {
        windowManager_ = std::make_unique<QProcess>();
        windowManager_->setProcessEnvironment(environment);
        windowManager_->setProcessChannelMode(QProcess::ForwardedChannels);
        windowManager_->start(QStringLiteral("openbox"), {});
        QVERIFY2(windowManager_->waitForStarted(Deadline), qPrintable(windowManager_->errorString()));
        pollUntil([&] {
            return (named = runTool(QStringLiteral("xprop"), property)).out.contains("window id")
                   || windowManager_->waitForFinished(0);
        });
        if (windowManager_->state() == QProcess::Running)
            break;
        QThread::msleep(500);
    }
    QVERIFY2(windowManager_->state() == QProcess::Running && named.out.contains("window id"),
             qPrintable(QStringLiteral("openbox did not take the screen: ") + QString::fromLocal8Bit(named.out)));
}

quint32 tst_RealWindow::otherWindow(const std::function<bool(quint32)> &accept)
{
    quint32 other = 0;
    pollUntil([&] {
        for (quint32 id : visibleWindowsOf(process_->processId()))
            if (id != window_ && (!accept || accept(id)))
                other = id;
        return other != 0;
    });
    return other;
}

void tst_RealWindow::runAndWait(int mode)
{
    QVERIFY(clickAt(window_, StartCentre));
    QSize size;
    QVERIFY2(pollUntil([&] { return (size = windowSize(window_)) == RunSize; }),
             qPrintable(QStringLiteral("the window did not grow to 270 x 336 for the run; it is %1 x %2")
                            .arg(size.width())
                            .arg(size.height())));

    // The run is over once its last tile is on the screen.
    QStringList mismatches;
    QVERIFY2(pollUntil(
                 [&] {
                     mismatches = previewMismatches(screenshot(window_), mode, lastTileInPreview(mode));
                     return mismatches.isEmpty();
                 },
                 200),
             qPrintable(QStringLiteral("the preview's last tile never showed the finished sheet: ")
                        + mismatches.join(QStringLiteral("; "))));
    qInfo("mode %d finished on screen after %lld ms", mode, clock_.elapsed());
}

void tst_RealWindow::closeAndExpectCleanExit()
{
    QString error;
    QVERIFY2(closer_.send(window_, &error), qPrintable(error));
    QVERIFY2(process_->waitForFinished(Deadline), "the program did not end after its window was closed");
    QCOMPARE(process_->exitStatus(), QProcess::NormalExit);
    QCOMPARE(process_->exitCode(), 0);
    qInfo("program ended after %lld ms", clock_.elapsed());
}

void tst_RealWindow::userSession()
{
    // Start-up: the idle window, frameless under a bare X server.
    launch();
    if (QTest::currentTestFailed())
        return;
    QSize size;
    QVERIFY2(pollUntil([&] { return (size = windowSize(window_)) == IdleSize; }),
             qPrintable(QStringLiteral("the idle window is %1 x %2, not 270 x 52")
                            .arg(size.width())
                            .arg(size.height())));

    // The first run uses the mode selected at start-up, 16million; the whole
    // preview then shows the finished 4096 x 4096 sheet, scaled down.
    runAndWait(Mode16Million);
    if (QTest::currentTestFailed())
        return;
    QImage shot = screenshot(window_);
    QCOMPARE(shot.size(), RunSize);
    QStringList mismatches = previewMismatches(shot, Mode16Million, QRect(QPoint(0, 0), Preview.size()));
    QVERIFY2(mismatches.isEmpty(), qPrintable(mismatches.join(QStringLiteral("; "))));

    // Choosing 64kilo in the list: a click opens its popup, which takes the
    // keyboard; three steps down from 16million and Return select it.
    QVERIFY(clickAt(window_, ListCentre));
    QVERIFY2(pollUntil([&] { return visibleWindowsOf(process_->processId()).size() == 2; }),
             "the list's popup did not open");
    QVERIFY(pressKeys(QStringLiteral("Down Down Down Return")));
    QVERIFY2(pollUntil([&] { return visibleWindowsOf(process_->processId()).size() == 1; }),
             "the list's popup did not close");

    // 64kilo is 256 x 256: the preview is the canvas pixel for pixel.
    runAndWait(Mode64Kilo);
    if (QTest::currentTestFailed())
        return;
    shot = screenshot(window_);
    mismatches = previewMismatches(shot, Mode64Kilo, QRect(QPoint(0, 0), Preview.size()));
    QVERIFY2(mismatches.isEmpty(), qPrintable(mismatches.join(QStringLiteral("; "))));

    // A right click on the preview copies the colour under the pointer as
    // RRGGBB; a second pick replaces the first.
    struct Pick
    {
        QPoint canvas;
        QString code;
    };
    const Pick picks[] = {{{100, 200}, QStringLiteral("90FF20")}, {{30, 70}, QStringLiteral("785D18")}};
    for (const Pick &pick : picks) {
        QCOMPARE(colourCode(SheetFormulas::Colour(Mode64Kilo, pick.canvas.x(), pick.canvas.y())), pick.code);
        const QPoint at = Preview.topLeft() + pick.canvas;
        QCOMPARE(hexCode(shot.pixel(at)), pick.code);
        QVERIFY(clickAt(window_, at, 3));
        QString copied;
        QVERIFY2(pollUntil([&] { return (copied = clipboardText()) == pick.code; }),
                 qPrintable(QStringLiteral("the clipboard holds \"%1\", not \"%2\"").arg(copied, pick.code)));
    }

    // Save: 64kilo brings no size warning, only the save dialog, which
    // proposes <program folder>/64kilo.bmp; Return accepts it.
    QVERIFY(!QFileInfo::exists(savedFile_));
    QVERIFY(clickAt(window_, SaveCentre));
    quint32 dialog = 0;
    QVERIFY2(pollUntil([&] {
                 for (quint32 id : visibleWindowsOf(process_->processId()))
                     if (id != window_)
                         dialog = id;
                 return dialog != 0;
             }),
             "no dialog opened after a click on Save");
    const QString title = windowName(dialog);
    QVERIFY2(title != QStringLiteral("Tintwell"),
             "a window titled as the program (a message box) opened instead of the save dialog");
    // Without a window manager the dialog need not get the keyboard by itself.
    QVERIFY(xdotool(QStringLiteral("windowfocus --sync %1").arg(dialog)).ok());
    QVERIFY(pressKeys(QStringLiteral("Return")));

    constexpr qint64 BmpSize = 54 + 256 * 256 * 3;
    QVERIFY2(pollUntil([&] { return QFileInfo(savedFile_).size() == BmpSize; }),
             qPrintable(QStringLiteral("%1 is not there with %2 bytes").arg(savedFile_).arg(BmpSize)));
    QVERIFY2(pollUntil([&] { return visibleWindowsOf(process_->processId()).size() == 1; }),
             "the save dialog did not close");
    const QImage saved(savedFile_, "BMP");
    QCOMPARE(saved.size(), QSize(256, 256));
    QStringList wrong;
    for (int y = 0; y < saved.height(); ++y)
        for (int x = 0; x < saved.width(); ++x) {
            const QRgb expected = ToRgb32(SheetFormulas::Colour(Mode64Kilo, x, y));
            if ((saved.pixel(x, y) & 0xFFFFFFu) != (expected & 0xFFFFFFu) && wrong.size() < 8)
                wrong << QStringLiteral("(%1,%2): %3, expected %4")
                             .arg(x)
                             .arg(y)
                             .arg(hexCode(saved.pixel(x, y)), hexCode(expected));
        }
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QStringLiteral("; "))));
    removeSavedFile();

    closeAndExpectCleanExit();
}

void tst_RealWindow::closeDuringRun()
{
    launch();
    if (QTest::currentTestFailed())
        return;
    // 16million is the longest run. The window grows as it begins, and the
    // close message follows at once, to be handled between two of its tiles.
    QVERIFY(clickAt(window_, StartCentre));
    QVERIFY2(pollUntil([&] { return windowSize(window_) == RunSize; }, 1), "the run did not begin");
    closeAndExpectCleanExit();
}

// At scale 1.5 a window pixel covers one or two device pixels, and the
// pointer's position reaches the program in whole window pixels: a right
// click on any device pixel of the preview copies the colour painted there.
void tst_RealWindow::pickOnScaledScreen()
{
    launch(QStringLiteral("1.5"));
    if (QTest::currentTestFailed())
        return;
    constexpr double Scale = 1.5;
    const auto device = [](QPoint window) { return QPoint(qRound(window.x() * Scale), qRound(window.y() * Scale)); };
    QVERIFY(clickAt(window_, device(StartCentre)));

    // "16million" has ended once its last tile is on the screen and the
    // picture stands still.
    const QPoint corner = device(Preview.bottomRight());
    QImage shot;
    QImage before;
    QVERIFY2(pollUntil(
                 [&] {
                     before = shot;
                     shot = screenshot(window_);
                     return shot.rect().contains(corner) && shot == before
                            && qRed(shot.pixel(corner)) > 200 && qGreen(shot.pixel(corner)) > 200;
                 },
                 300),
             "the run did not end on the screen");
    QTest::qWait(300); // the final preview is painted with the window's next repaint
    shot = screenshot(window_);

    // Device rows and columns of every kind: a window pixel's first and
    // second device pixel, and one it has alone.
    QStringList wrong;
    for (int i = 0; i < 12; ++i) {
        const QPoint at = device(Preview.topLeft()) + QPoint(17 + 29 * i, 20 + 31 * i + i % 3);
        const QString shown = hexCode(shot.pixel(at));
        // A mark on the clipboard, which the pick replaces.
        QProcess mark;
        mark.start(QStringLiteral("xclip"), {QStringLiteral("-selection"), QStringLiteral("clipboard")});
        QVERIFY(mark.waitForStarted(Deadline));
        mark.write("mark");
        mark.closeWriteChannel();
        QVERIFY(mark.waitForFinished(Deadline));
        QVERIFY(pollUntil([&] { return clipboardText() == QStringLiteral("mark"); }, 20));
        QVERIFY(clickAt(window_, at, 3));
        QString copied;
        QVERIFY(pollUntil([&] { return (copied = clipboardText()) != QStringLiteral("mark"); }, 20));
        if (copied != shown)
            wrong << QStringLiteral("device (%1,%2): copied %3, painted %4").arg(at.x()).arg(at.y()).arg(copied, shown);
    }
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QStringLiteral("; "))));
    closeAndExpectCleanExit();
}

void tst_RealWindow::select64Kilo(int scale)
{
    chooseInList(QStringLiteral("Down Down Down Return"), scale);
}

void tst_RealWindow::chooseInList(const QString &keys, int scale)
{
    const qsizetype before = visibleWindowsOf(process_->processId()).size();
    QVERIFY(clickAt(window_, ListCentre * scale));
    QVERIFY2(pollUntil([&] { return visibleWindowsOf(process_->processId()).size() == before + 1; }),
             "the list's popup did not open");
    QVERIFY(pressKeys(keys));
    QVERIFY2(pollUntil([&] { return visibleWindowsOf(process_->processId()).size() == before; }),
             "the list's popup did not close");
}

quint32 tst_RealWindow::openView(int scale)
{
    const QPoint middle = Preview.center() * scale;
    xdotool(QStringLiteral("mousemove --window %1 %2 %3 click --repeat 2 --delay 80 1")
                .arg(window_).arg(middle.x()).arg(middle.y()));
    quint32 view = 0;
    pollUntil([&] {
        for (quint32 id : visibleWindowsOf(process_->processId()))
            if (id != window_)
                view = id;
        return view != 0;
    });
    if (view != 0) {
        xdotool(QStringLiteral("windowfocus --sync %1").arg(view));
        QThread::msleep(300);
    }
    return view;
}

// The view at 100 % shows the sheet pixel for pixel (64kilo whole, the part of
// 16million around the centre); find 90FF20 lands on its three places; a right
// click at 800 % copies the exact sheet pixel.
void tst_RealWindow::sheetView()
{
    launch();
    if (QTest::currentTestFailed())
        return;
    select64Kilo();
    if (QTest::currentTestFailed())
        return;
    runAndWait(Mode64Kilo);
    if (QTest::currentTestFailed())
        return;
    const quint32 view = openView();
    QVERIFY2(view != 0, "no view opened on a double click on the preview");
    QVERIFY(pressKeys(QStringLiteral("ctrl+1")));
    QStringList mismatches;
    QPoint origin;
    QVERIFY2(pollUntil([&] {
                 mismatches = oneToOneMismatches(screenshot(view), Mode64Kilo, &origin);
                 return mismatches.isEmpty();
             }),
             qPrintable(mismatches.join(QStringLiteral("; "))));

    // Find: each place's pixel in turn at the same spot, the view's centre,
    // outlined a few pixels off and never covered.
    // Typed only once the find field is on the screen: "2" alone is a key of the view.
    const QImage beforeFind = screenshot(view);
    QVERIFY(pressKeys(QStringLiteral("ctrl+f")));
    QVERIFY2(pollUntil([&] { return screenshot(view) != beforeFind; }), "ctrl+f showed no find field");
    QVERIFY(xdotool(QStringLiteral("type 90FF20")).ok());
    QVERIFY(pressKeys(QStringLiteral("Return")));
    // The find zoomed in to 800 % around the first place; back to 100 %.
    QVERIFY(pressKeys(QStringLiteral("ctrl+1")));
    const QPoint places[] = {{100, 200}, {164, 200}, {228, 200}};
    QPoint spot(-1, -1);
    for (const QPoint &place : places) {
        QPoint at;
        QImage shot;
        QVERIFY2(pollUntil([&] {
                     shot = screenshot(view);
                     mismatches = oneToOneMismatches(shot, Mode64Kilo, &origin, {places[0], places[1], places[2]});
                     at = origin + place;
                     return mismatches.isEmpty() && (spot.x() < 0 || at == spot);
                 }),
                 qPrintable(QStringLiteral("place (%1,%2): ").arg(place.x()).arg(place.y())
                            + mismatches.join(QStringLiteral("; "))));
        spot = at;
        QCOMPARE(hexCode(shot.pixel(at)), QStringLiteral("90FF20"));
        // The outline: three pixels above every place the sheet no longer shows.
        for (const QPoint &other : places) {
            const QPoint above = origin + other - QPoint(0, 3);
            QVERIFY(shot.pixel(above) != ToRgb32(SheetFormulas::Colour(Mode64Kilo, other.x(), other.y() - 3)));
        }
        QVERIFY(pressKeys(QStringLiteral("F3")));
    }
    QVERIFY2(QRect(0, 0, windowSize(view).width(), windowSize(view).height()).contains(spot),
             "the found place is not in the view");

    // 800 %: six steps up from 100 %; the right click copies the pixel the
    // screen shows under the pointer.
    QVERIFY(pressKeys(QStringLiteral("Escape")));
    QVERIFY(pressKeys(QStringLiteral("plus plus plus plus plus plus")));
    // The found pixel: the run of 90FF20 nearest the view's centre, 7 pixels
    // wide and high (the grid takes the eighth).
    QImage shot;
    QPoint block(-1, -1);
    QVERIFY2(pollUntil([&] {
                 shot = screenshot(view);
                 if (shot.isNull())
                     return false;
                 const QPoint centre = shot.rect().center();
                 int best = 1 << 30;
                 for (int y = 0; y < shot.height(); ++y)
                     for (int x = 0; x < shot.width(); ++x)
                         if ((shot.pixel(x, y) & 0xFFFFFFu) == 0x90FF20u
                             && (QPoint(x, y) - centre).manhattanLength() < best) {
                             best = (QPoint(x, y) - centre).manhattanLength();
                             block = QPoint(x, y);
                         }
                 if (best == 1 << 30)
                     return false;
                 while ((shot.pixel(block - QPoint(1, 0)) & 0xFFFFFFu) == 0x90FF20u)
                     block.rx()--;
                 while ((shot.pixel(block - QPoint(0, 1)) & 0xFFFFFFu) == 0x90FF20u)
                     block.ry()--;
                 return (shot.pixel(block + QPoint(6, 6)) & 0xFFFFFFu) == 0x90FF20u
                        && (shot.pixel(block + QPoint(7, 3)) & 0xFFFFFFu) != 0x90FF20u;
             }),
             "no 8 x 8 pixel of 90FF20 in the view at 800 %");
    const QPoint pointer = block + QPoint(3, 3);
    const QPoint nextPixel = pointer + QPoint(8, 0);
    const QString expected = hexCode(shot.pixel(nextPixel));
    QCOMPARE(expected, colourCode(SheetFormulas::Colour(Mode64Kilo, places[0].x() + 1, places[0].y())));
    QVERIFY(clickAt(view, nextPixel, 3));
    QString copied;
    QVERIFY2(pollUntil([&] { return (copied = clipboardText()) == expected; }),
             qPrintable(QStringLiteral("the clipboard holds \"%1\", not \"%2\"").arg(copied, expected)));

    // 16million at 100 %.
    chooseInList(QStringLiteral("Up Up Up Return"));
    if (QTest::currentTestFailed())
        return;
    runAndWait(Mode16Million);
    if (QTest::currentTestFailed())
        return;
    QVERIFY(xdotool(QStringLiteral("windowfocus --sync %1").arg(view)).ok());
    QVERIFY(pressKeys(QStringLiteral("ctrl+1")));
    QVERIFY2(pollUntil([&] {
                 mismatches = oneToOneMismatches(screenshot(view), Mode16Million);
                 return mismatches.isEmpty();
             }),
             qPrintable(mismatches.join(QStringLiteral("; "))));
    closeAndExpectCleanExit();
}

// At scale factor 2 the view at 100 % still shows one sheet pixel per device
// (screen) pixel.
void tst_RealWindow::sheetViewScaled()
{
    launch(QStringLiteral("2"));
    if (QTest::currentTestFailed())
        return;
    select64Kilo(2);
    if (QTest::currentTestFailed())
        return;
    QVERIFY(clickAt(window_, StartCentre * 2));
    QVERIFY(pollUntil([&] { return windowSize(window_) == RunSize * 2; }));
    const quint32 view = openView(2);
    QVERIFY2(view != 0, "no view opened on a double click on the preview");
    QVERIFY(pressKeys(QStringLiteral("ctrl+1")));
    QStringList mismatches;
    QVERIFY2(pollUntil([&] {
                 mismatches = oneToOneMismatches(screenshot(view), Mode64Kilo);
                 return mismatches.isEmpty();
             }),
             qPrintable(mismatches.join(QStringLiteral("; "))));
    closeAndExpectCleanExit();
}

// In the Japanese locale the design is written for, under a window manager,
// after a "16million" run: the 48 MB warning and the name the save dialog
// proposes are legible (the M of "16M" and of "48Mbyte", the m of
// "16million" and of ".bmp" show separate stems, not a solid block), and
// after two Saves and a close a fresh home holds the two pictures and
// nothing else: no settings, no history of the dialog.
void tst_RealWindow::japaneseSaves_data()
{
    QTest::addColumn<int>("scale");
    QTest::newRow("scale 1") << 1;
    QTest::newRow("scale 2") << 2;
}

void tst_RealWindow::japaneseSaves()
{
    QFETCH(int, scale);
    startWindowManager();
    if (QTest::currentTestFailed())
        return;
    QTemporaryDir home;
    QVERIFY(home.isValid());
    launch(QString::number(scale), [&](QProcessEnvironment &environment) {
        for (const char *name : {"LC_ALL", "LC_MESSAGES", "LANGUAGE", "XDG_CONFIG_HOME", "XDG_CACHE_HOME",
                                 "XDG_DATA_HOME", "XDG_STATE_HOME"})
            environment.remove(QLatin1String(name));
        environment.insert(QStringLiteral("LANG"), QStringLiteral("ja_JP.UTF-8"));
        environment.insert(QStringLiteral("HOME"), home.path());
    });
    if (QTest::currentTestFailed())
        return;

    // The run has ended once the preview's last corner shows its light
    // colours and the picture stands still.
    QVERIFY(clickAt(window_, StartCentre * scale));
    const QPoint corner = Preview.bottomRight() * scale;
    QImage shot;
    QImage before;
    QVERIFY2(pollUntil(
                 [&] {
                     before = shot;
                     shot = screenshot(window_);
                     return shot.rect().contains(corner) && shot == before && qRed(shot.pixel(corner)) > 200
                            && qGreen(shot.pixel(corner)) > 200;
                 },
                 300),
             "the run did not end on the screen");

    const auto expectStems = [](const QImage &picture, const QRect &glyph, const QString &what) {
        QVERIFY2(hasSeparateStems(picture, glyph),
                 qPrintable(what + QStringLiteral(" is no letter:") + glyphPicture(picture, glyph)));
    };
    // Stands still: two pictures in a row alike (a text cursor blinks).
    const auto stillPicture = [](quint32 window, const QImage &unlike = {}) {
        QImage last;
        QImage now;
        pollUntil([&] {
            last = now;
            now = screenshot(window);
            return !now.isNull() && now == last && now != unlike;
        });
        return now;
    };

    constexpr qint64 BmpSize = 54 + 4096LL * 4096 * 3;
    const QStringList pictures = {QStringLiteral("16million.bmp"), QStringLiteral("second.bmp")};
    for (const QString &name : pictures) {
        QVERIFY(clickAt(window_, SaveCentre * scale));
        const quint32 box = otherWindow();
        QVERIFY2(box != 0, "no warning after a click on Save");
        // "16M色のファイルサイズは48Mbyteになります。": the M of 16M is the
        // third glyph. The y of "byte" alone reaches below the baseline;
        // before it lie b and the M of 48M, where the b may touch the y: then
        // the y's first columns rise to the b's ascender.
        const QImage warning = stillPicture(box);
        const QRect line = firstTextLine(warning);
        const QList<QRect> glyphs = glyphRuns(warning, line);
        QVERIFY2(glyphs.size() > 5,
                 qPrintable(QStringLiteral("no line of the warning found:") + glyphPicture(warning, line)));
        const QRect &firstM = glyphs[2];
        expectStems(warning, firstM, QStringLiteral("The M of \"16M\""));
        if (QTest::currentTestFailed())
            return;
        QList<int> descending;
        for (int i = 0; i < glyphs.size(); ++i)
            if (glyphs[i].bottom() == line.bottom())
                descending << i;
        QVERIFY2(descending.size() == 1 && descending.first() >= 4,
                 qPrintable(QStringLiteral("no y in the warning:") + glyphPicture(warning, line)));
        const QRect &y = glyphs[descending.first()];
        const QRect yStart(y.left(), line.top(), 2 * scale, firstM.top() + firstM.height() / 5 - line.top());
        const bool touchesB = !glyphRuns(warning, yStart).isEmpty();
        expectStems(warning, glyphs[descending.first() - (touchesB ? 1 : 2)],
                    QStringLiteral("The M of \"48Mbyte\""));
        if (QTest::currentTestFailed())
            return;
        QVERIFY(xdotool(QStringLiteral("windowactivate --sync %1").arg(box)).ok());
        QVERIFY(pressKeys(QStringLiteral("Return")));

        // The save dialog opens with the proposed name selected in its name
        // field; End leaves it plain, and the pixels that change are the
        // selection's ground: the field's text lies in them.
        const quint32 dialog = otherWindow([&](quint32 id) { return id != box && windowName(id) != QStringLiteral("Tintwell"); });
        QVERIFY2(dialog != 0, "no save dialog after OK");
        QVERIFY(xdotool(QStringLiteral("windowactivate --sync %1").arg(dialog)).ok());
        const QImage selected = stillPicture(dialog);
        QVERIFY(pressKeys(QStringLiteral("End")));
        const QImage plain = stillPicture(dialog, selected);
        QVERIFY(!plain.isNull() && plain.size() == selected.size());
        QHash<QRgb, int> changed;
        for (int y = 0; y < plain.height(); ++y)
            for (int x = 0; x < plain.width(); ++x)
                if (selected.pixel(x, y) != plain.pixel(x, y))
                    ++changed[selected.pixel(x, y)];
        QVERIFY2(!changed.isEmpty(), "End changed nothing in the save dialog");
        QRgb ground = changed.constBegin().key();
        for (auto it = changed.constBegin(); it != changed.constEnd(); ++it)
            if (it.value() > changed.value(ground))
                ground = it.key();
        QRect field;
        for (int y = 0; y < plain.height(); ++y)
            for (int x = 0; x < plain.width(); ++x)
                if (selected.pixel(x, y) == ground && plain.pixel(x, y) != ground)
                    field |= QRect(x, y, 1, 1);
        // "16million.bmp", and after it maybe the text cursor: a thin line
        // as high as the field.
        QList<QRect> letters = glyphRuns(plain, field);
        if (!letters.isEmpty() && letters.last().width() <= 2 * scale
            && letters.last().height() >= field.height() * 9 / 10)
            letters.removeLast();
        QVERIFY2(letters.size() > 5,
                 qPrintable(QStringLiteral("no name in the save dialog:") + glyphPicture(plain, field)));
        expectStems(plain, letters[2], QStringLiteral("The m of \"16million\""));
        expectStems(plain, letters[letters.size() - 2], QStringLiteral("The m of \".bmp\""));
        if (QTest::currentTestFailed())
            return;

        // Saved into the fresh home, under a name of its own.
        QVERIFY(pressKeys(QStringLiteral("ctrl+a")));
        QVERIFY(xdotool(QStringLiteral("type --delay 20 ") + home.filePath(name)).ok());
        QVERIFY(pressKeys(QStringLiteral("Return")));
        QVERIFY2(pollUntil([&] { return QFileInfo(home.filePath(name)).size() == BmpSize; }),
                 qPrintable(home.filePath(name) + QStringLiteral(" was not saved")));
        QVERIFY2(pollUntil([&] { return visibleWindowsOf(process_->processId()).size() == 1; }),
                 "the save dialog did not close");
    }
    closeAndExpectCleanExit();

    // Only the pictures. fontconfig, the system's font library, writes its
    // cache into ~/.cache/fontconfig when the system's own cache is out of
    // date; that is no file of the program's.
    QStringList left = everythingIn(home.path());
    left.removeIf([](const QString &path) {
        return path == QStringLiteral(".cache") || path.startsWith(QStringLiteral(".cache/fontconfig"));
    });
    QCOMPARE(left, pictures);
}

QTEST_GUILESS_MAIN(tst_RealWindow)
#include "tst_realwindow.moc"
