#include "window/FormDesign.h"

#include "generation/ColorValue.h"
#include "generation/Sheets.h"
#include "tintwellconfig.h"
#include "window/ButtonPicture.h"
#include "window/Design.h"
#include "window/LinkLabel.h"
#include "window/Twips.h"

#include <QApplication>
#include <QComboBox>
#include <QFont>
#include <QIcon>
#include <QLabel>
#include <QPushButton>

#include <algorithm>

namespace {

// The face of every control's text.
const QString FontFace = QStringLiteral("ＭＳ ゴシック");

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

QPushButton *pictureButton(QWidget *form, const char *name, const QString &picture, int pictureSize,
                           const QString &tip)
{
    auto *button = new QPushButton(form);
    button->setObjectName(QLatin1String(name));
    button->setIcon(ButtonPicture::Load(picture));
    button->setIconSize(QSize(pictureSize, pictureSize));
    button->setToolTip(tip);
    button->setFont(designFont(Design::NormalPointSize));
    return button;
}

template<typename Label = QLabel>
Label *label(QWidget *form, const char *name, const QString &caption, Qt::Alignment alignment, double pointSize,
             bool bold = false)
{
    auto *l = new Label(form);
    l->setObjectName(QLatin1String(name));
    l->setText(caption);
    l->setAlignment(alignment | Qt::AlignVCenter);
    l->setFont(designFont(pointSize, bold));
    return l;
}

void setColour(QWidget *widget, QPalette::ColorRole role, const QColor &colour)
{
    QPalette palette = widget->palette();
    palette.setColor(role, colour);
    widget->setPalette(palette);
}

} // namespace

void FormDesign::SetUpFonts()
{
    // The proportional gothic first: at 9 points a half-width letter of the
    // fixed-pitch IPAGothic has six pixels, and its m comes out as a solid
    // block (antialiased, or from the face's own small bitmaps) or as an n
    // (hinted without antialiasing). The proportional face gives the m its
    // width and is drawn smoothly at every size; the texts need less room.
    const QStringList legible = {QStringLiteral("IPAPGothic"),       QStringLiteral("IPAexGothic"),
                                 QStringLiteral("Noto Sans CJK JP"), QStringLiteral("IPAGothic"),
                                 QStringLiteral("VL PGothic"),       QStringLiteral("VL Gothic")};
    QFont::insertSubstitutions(FontFace, legible);

    // Everything else takes the platform's default face, which fontconfig
    // resolves to the fixed-pitch IPAGothic in a Japanese locale: the same
    // blocks in the 48 MB warning and in the names the save dialog proposes.
    // The platform's own face stays last, for a system without these faces.
    QFont standard = QApplication::font();
    standard.setFamilies(legible + QStringList{standard.family()});
    QApplication::setFont(standard);
}

void FormDesign::setupUi(QWidget *form)
{
    form->setObjectName(QStringLiteral("mainform"));
    form->setWindowTitle(tr("Tintwell"));
    form->setWindowIcon(QIcon(QStringLiteral(":/tintwell.png")));
    // A fixed single border with the close box only.
    form->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                         | Qt::MSWindowsFixedSizeDialogHint);

    // Created in tab order.
    Command1 = pictureButton(form, "Command1", QStringLiteral(":/start.bmp"), Design::RunPictureSize, tr("Start"));
    Label1 = label(form, "Label1", tr("time"), Qt::AlignRight, Design::TimePointSize);
    Combo1 = new QComboBox(form);
    Combo1->setObjectName(QStringLiteral("Combo1"));
    Combo1->setEditable(false);
    Combo1->setFont(designFont(Design::NormalPointSize));
    // The design's narrow list: trimmed padding keeps the longest entry legible.
    Combo1->setStyleSheet(QStringLiteral("QComboBox { padding: 0px 0px 0px 3px; }"));
    // The entries name the sheets and the files Save proposes: not translated.
    for (const Sheet &sheet : Sheets::All)
        Combo1->addItem(QString::fromLatin1(sheet.name.data(), static_cast<qsizetype>(sheet.name.size())), 0);
    Combo1->setCurrentIndex(-1);
    Command2 = pictureButton(form, "Command2", QStringLiteral(":/save.bmp"), Design::SavePictureSize,
                             tr("Save Picture"));
    Label2 = label(form, "Label2", tr("mSec"), Qt::AlignRight, Design::NormalPointSize);
    Command3 = pictureButton(form, "Command3", QStringLiteral(":/stop.bmp"), Design::RunPictureSize, tr("STOP"));

    const QString homePage = QString::fromUtf8(TintwellConfig::HomePage);
    Label3 = label<LinkLabel>(form, "Label3", homePage, Qt::AlignLeft, Design::LinkPointSize, true);
    Label3->setTag(homePage);
    Label3->setToolTip(tr("Version Up"));
    Label3->setCursor(Qt::WhatsThisCursor);
    setColour(Label3, QPalette::WindowText, form->palette().color(QPalette::Dark));

    Label4 = label(form, "Label4", tr("RGB"), Qt::AlignHCenter, Design::NormalPointSize);
    Label4->setToolTip(tr("RightClick to Copy RGBcode"));
    Label4->setAutoFillBackground(true);

    static constexpr std::array<ColorValue, 3> channelBack = {Design::RedChannelBack, Design::GreenChannelBack,
                                                              Design::BlueChannelBack};
    const std::array<QColor, 3> channelText = {toQColor(Design::RedChannelText),
                                               form->palette().color(QPalette::ButtonText),
                                               toQColor(Design::BlueChannelText)};
    for (std::size_t i = 0; i < RGBc.size(); ++i) {
        const QByteArray name = "RGBc(" + QByteArray::number(static_cast<int>(i)) + ")";
        RGBc[i] = label(form, name.constData(), QStringLiteral("FF"), Qt::AlignHCenter, Design::NormalPointSize);
        setColour(RGBc[i], QPalette::Window, toQColor(channelBack[i]));
        setColour(RGBc[i], QPalette::WindowText, channelText[i]);
        RGBc[i]->setAutoFillBackground(true);
    }

    // The design's swatch reaches 0.6 pixels into the list's bottom edge:
    // both keep their places, and the list is drawn whole, above the swatch.
    Combo1->raise();

    // The separator lines are drawn on the window; clicks go through them.
    static constexpr std::array<QPalette::ColorRole, 2> lineRole = {QPalette::Dark, QPalette::Light};
    for (std::size_t i = 0; i < Line1.size(); ++i) {
        Line1[i] = new QWidget(form);
        Line1[i]->setObjectName(QStringLiteral("Line1(%1)").arg(i));
        Line1[i]->setAttribute(Qt::WA_TransparentForMouseEvents);
        setColour(Line1[i], QPalette::Window, form->palette().color(lineRole[i]));
        Line1[i]->setAutoFillBackground(true);
    }

    // Labels never take the focus, but for the link, which Tab reaches last;
    // a right click on a control stays there.
    for (QWidget *control : form->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        if (qobject_cast<QLabel *>(control) && control != Label3)
            control->setFocusPolicy(Qt::NoFocus);
        if (!control->testAttribute(Qt::WA_TransparentForMouseEvents))
            control->setAttribute(Qt::WA_NoMousePropagation);
    }
    QWidget::setTabOrder(Command1, Combo1);
    QWidget::setTabOrder(Combo1, Command2);
    QWidget::setTabOrder(Command2, Command3);
    QWidget::setTabOrder(Command3, Label3);
}

void FormDesign::placeControls(QWidget *form)
{
    const auto place = [form](QWidget *control, const Design::Box &box) {
        control->setGeometry(Twips::ToPixelsX(*form, box.left), Twips::ToPixelsY(*form, box.top),
                             Twips::ToPixelsX(*form, box.width), Twips::ToPixelsY(*form, box.height));
    };
    place(Command1, Design::Command1);
    place(Command2, Design::Command2);
    place(Command3, Design::Command3);
    place(Label1, Design::Label1);
    place(Label2, Design::Label2);
    place(Combo1, Design::Combo1);
    // Where the style needs more room than the design gives, the list grows
    // to the right, up to the channel labels, rather than cut its text.
    const int room = Twips::ToPixelsX(*form, Design::RGBc[0].left) - Combo1->x();
    Combo1->resize(std::clamp(Combo1->sizeHint().width(), Combo1->width(), std::max(room, Combo1->width())),
                   Combo1->height());
    place(Label3, Design::Label3);
    place(Label4, Design::Label4);
    for (std::size_t i = 0; i < RGBc.size(); ++i)
        place(RGBc[i], Design::RGBc[i]);
    for (std::size_t i = 0; i < Line1.size(); ++i) {
        const Design::Line &line = Design::Line1[i];
        Line1[i]->setGeometry(Twips::ToPixelsX(*form, line.x1), Twips::ToPixelsY(*form, line.y1),
                              Twips::ToPixelsX(*form, line.x2 - line.x1), line.thicknessPixels);
    }
    form->setFixedSize(Twips::ToPixelsX(*form, Design::ClientWidth), Twips::ToPixelsY(*form, Design::ClientHeight));
}
