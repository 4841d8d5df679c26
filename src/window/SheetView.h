#pragma once

// The view window: the sheet at full resolution beside the main window, with
// a status line (the pixel under the pointer, its tile and colour, the zoom)
// and a find bar that looks a colour up in the table of sheets and marks
// every place it lies. It reads the main window's canvas in place and is
// told of changes by the main window's run signals; a pick asks the main
// window to show and copy the colour, as its own right click does.
//
// A capture opened in it is shown in one of its faces (the sheet, the
// capture, their difference, the capture fixed), each a row of one table
// from which the keys, the key overlay and the title are made; the results
// dock beside it gives the diagnosis's verdict first.

#include "generation/ColorValue.h"
#include "generation/Sheets.h"
#include "video/VideoFrames.h"

#include <QMainWindow>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class Canvas;
class Capture;
struct CaptureResults;
template<typename T>
class QFutureWatcher;
class QLabel;
class QLineEdit;
class QPushButton;
class ResultsDock;
class ToneCurvePlot;
class ZoomedSheet;

class SheetView : public QMainWindow
{
    Q_OBJECT

public:
    explicit SheetView(const Canvas &canvas, QWidget *parent = nullptr);
    ~SheetView() override;

    ZoomedSheet *sheet() const { return sheet_; }

    // Shows the view beside `near` (never over it) within the screen it is
    // on, or raises and activates it when it is open already.
    void present(QWidget *near);

    // What the main window's run signals tell the view.
    void runStarted();
    void canvasChanged(const QRect &area);
    void runEnded();

    // Goes to the first place of `colour` on the sheet and marks them all;
    // false when the sheet does not hold it (the find bar then offers the
    // nearest colour it holds).
    bool find(ColorValue colour);
    // Steps through the places found, around.
    void findNext();
    void findPrevious();

    // The sheet the view shows: the capture's, else the one of the canvas's
    // size; none before the first run or in a picture holding no sheet.
    std::optional<Mode> mode() const;

    // A capture: opened instead of what the view showed, with its sheet
    // found and measured; a file that cannot be read gets a message naming
    // it and the reason, and the view stays as it was.
    bool openCapture(const QString &fileName);
    // Asks for a picture to open (Ctrl+O).
    void openWithDialog();
    // Back to the window's canvas.
    void closeCapture();
    const Capture *capture() const { return capture_.get(); }
    // A recording's frame, opened in place of the one shown (the slider of
    // the results does this); the results come as for a capture opened.
    void showFrame(std::int64_t frame);

    // What the view paints of a capture, at the same place: the sheet, the
    // capture, their difference, or the capture through its fix.
    enum class Face { Sheet, Capture, Difference, Fixed };
    Face face() const { return face_; }
    void setFace(Face face);
    // Space: between the capture and the fixed capture, or the sheet when
    // the sheet was the last of the two shown.
    void flipFace();

    ResultsDock *results() const { return results_; }
    // The tone-curve plots of the capture; none before they are first shown.
    ToneCurvePlot *plots() const { return plots_; }
    void toggleResults();
    void showPlots();
    void toggleKeys();
    // P: a recording shown as the next player shows it (mpv, GStreamer,
    // ffmpeg, Chromium, Firefox), then as its tags say again.
    void showByNextPlayer();
    VideoFrames::Player player() const { return player_; }

signals:
    // A pick in the view: the main window shows and copies it.
    void picked(ColorValue colour);
    // The diagnosis of the capture shown is in (its verdict, its fix).
    void diagnosed();
    // The census and diagnosis of the capture shown are in.
    void examined();
    // A frame asked for with showFrame() is shown (or could not be).
    void frameShown();

protected:
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void addShortcuts();
    void openFind();
    void closeFind();
    void findTyped();
    void goToPlace(std::size_t index);
    void offerNearest();
    void toggleFullScreen();
    void escape();
    void showChrome();
    void showPointed(std::optional<QPoint> pixel);
    void showZoom(double zoom);
    void showTitle();
    void forgetFound();
    void showFace();
    void startAtSheet();
    void examine(bool census);
    void showResults();
    void takeCapture(std::shared_ptr<Capture> capture);
    void showMessage(const QString &text);
    void pick(QPoint pixel);
    void placeKeys();
    void showResultsPanel(bool shown);
    void stopTasks();

    std::shared_ptr<Capture> capture_;
    // Whose rules recordings are shown by.
    VideoFrames::Player player_ = VideoFrames::Player::Default;
    QFutureWatcher<CaptureResults> *examining_ = nullptr;
    QFutureWatcher<std::shared_ptr<Capture>> *openingFrame_ = nullptr;
    bool diagnosedTold_ = false;
    Face face_ = Face::Capture;
    // What Space flips the capture with: the sheet or the fixed capture,
    // whichever was shown last.
    Face partner_ = Face::Fixed;
    ResultsDock *results_ = nullptr;
    ToneCurvePlot *plots_ = nullptr;
    QLabel *keys_ = nullptr;
    QLabel *message_ = nullptr;
    // The folder of the last file opened in this session; never stored.
    QString lastFolder_;
    bool resultsWanted_ = false;

    const Canvas &canvas_;
    QWidget *centre_ = nullptr;
    ZoomedSheet *sheet_ = nullptr;
    QWidget *findBar_ = nullptr;
    QLineEdit *findText_ = nullptr;
    QLabel *findMessage_ = nullptr;
    QPushButton *goNearest_ = nullptr;
    QLabel *pointed_ = nullptr;
    QLabel *zoomShown_ = nullptr;

    // The last colour found, its places, and which one the view is at.
    std::optional<ColorValue> found_;
    std::vector<SheetPlace> places_;
    std::size_t at_ = 0;
    // A colour the sheet does not hold, and the nearest one it does.
    struct Offer
    {
        ColorValue asked;
        ColorValue nearest;
    };
    std::optional<Offer> offer_;
    bool wasMaximized_ = false;
};
