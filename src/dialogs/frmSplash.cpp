#include "dialogs/frmSplash.h"

#include "dialogs/AboutText.h"
#include "dialogs/KeyHelp.h"
#include "forms/ProgramIcon.h"
#include "platform/Screen.h"

#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QPushButton>

#include <cmath>

namespace {

int px(double twips)
{
    return int(std::lround(twips / platform::TwipsPerPixelX()));
}

int py(double twips)
{
    return int(std::lround(twips / platform::TwipsPerPixelY()));
}

QRect twipRect(double left, double top, double width, double height)
{
    return platform::ToPixelRect(left, top, width, height);
}

QFont designFont(const char *family, double points, bool bold)
{
    QFont f(QString::fromLatin1(family));
    f.setStyleHint(QFont::SansSerif); // where the family is missing: a sans-serif of that size
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

QLabel *label(QWidget *parent, const QString &text, const QRect &rect, const QFont &font)
{
    auto *l = new QLabel(text, parent);
    l->setGeometry(rect);
    l->setAlignment(Qt::AlignCenter);
    l->setFont(font);
    return l;
}

} // namespace

frmSplash::frmSplash()
    : platform::FormBase(this)
{
    // A fixed dialog frame with no title bar, no system menu and no buttons on it.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::MSWindowsFixedSizeDialogHint);
    setWindowTitle(QString());
    setModal(true);
    setFixedSize(px(7212), py(5304));

    fraSplash = new QFrame(this);
    fraSplash->setFrameShape(QFrame::Box);
    fraSplash->setGeometry(twipRect(60, 0, 7080, 5220));
    fraSplash->setAutoFillBackground(true);

    imgLogo = new QLabel(fraSplash);
    imgLogo->setGeometry(twipRect(120, 540, 1344, 1464));
    imgLogo->setScaledContents(true);
    imgLogo->setPixmap(QPixmap::fromImage(forms::ProgramIcon16()));

    lblProductName = label(fraSplash, QStringLiteral("Quorvel"), twipRect(1560, 720, 5412, 792), designFont("Arial", 32.4, true));
    lblVersion = label(fraSplash, QString(), twipRect(1560, 1380, 5412, 360), designFont("Arial", 15.6, true));
    lblPlatform = label(fraSplash, dialogs::PlatformText(), twipRect(1560, 1800, 5412, 360), designFont("Arial", 15.6, true));

    cmdOK = new QPushButton(QStringLiteral("OK"), fraSplash);
    cmdOK->setGeometry(twipRect(5580, 3180, 1392, 492));
    cmdOK->setFont(designFont("MS Sans Serif", 13.8, true));
    cmdOK->setDefault(true);
    cmdHelp = new QPushButton(QStringLiteral("Help"), fraSplash);
    cmdHelp->setGeometry(twipRect(5580, 3900, 1392, 492));
    cmdHelp->setFont(designFont("MS Sans Serif", 13.8, true));
    cmdHelp->setAutoDefault(false);
    setTabOrder(cmdOK, cmdHelp);
    connect(cmdOK, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
    connect(cmdHelp, &QPushButton::clicked, this, [this] { cmdHelp_Click(); });
    cmdOK->setFocus();
    winId(); // made now, so that Form_Load centres the window with its frame
}

void frmSplash::CentreOn(const platform::Monitor &monitor)
{
    move(platform::CentredOn(monitor, frameGeometry().size()));
}

void frmSplash::Form_Load()
{
    CentreOn(platform::PrimaryMonitor());
    QPalette p = fraSplash->palette();
    p.setColor(QPalette::Window, p.color(QPalette::Button));
    fraSplash->setPalette(p);
    lblVersion->setText(dialogs::VersionText(QUORVEL_VERSION_MAJOR, QUORVEL_VERSION_MINOR, QUORVEL_VERSION_PATCH));
}

void frmSplash::cmdOK_Click()
{
    hide(); // ends the modal show; the About command then destroys the window
}

void frmSplash::cmdHelp_Click()
{
    dialogs::ShowKeyHelp(*this);
}

void frmSplash::closeEvent(QCloseEvent *event)
{
    event->ignore();
    cmdOK_Click();
}
