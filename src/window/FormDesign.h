#pragma once

// The window's controls, built from its design (Design.h) the way a form
// designer's generated class builds them: setupUi creates every control in
// tab order with its texts, fonts, colours and pictures, and placeControls
// puts each at its design place in pixels of the window's screen. The window
// keeps the controls' behaviour; this class only holds them.

#include <QCoreApplication>

#include <array>

class LinkLabel;
class QComboBox;
class QLabel;
class QPushButton;
class QWidget;

class FormDesign
{
    Q_DECLARE_TR_FUNCTIONS(FormDesign)

public:
    // Maps the design's face "ＭＳ ゴシック", missing outside Windows, to an
    // installed Japanese gothic face, and makes the same face the program's
    // default (message boxes, file dialogs, the full-size view), at the
    // platform's size. Once per program, before any window.
    static void SetUpFonts();

    void setupUi(QWidget *form);
    void placeControls(QWidget *form);

    QPushButton *Command1 = nullptr;
    QPushButton *Command2 = nullptr;
    QPushButton *Command3 = nullptr;
    QComboBox *Combo1 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    LinkLabel *Label3 = nullptr;
    QLabel *Label4 = nullptr;
    std::array<QLabel *, 3> RGBc = {};
    std::array<QWidget *, 2> Line1 = {};
};
