#include "dialogs/frmMsgBox.h"

#include "dialogs/MsgBoxLayout.h"
#include "platform/FrameExtents.h"
#include "platform/Screen.h"

#include <QCloseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <cmath>

frmMsgBox::frmMsgBox()
    : platform::FormBase(this)
{
    setWindowTitle(QStringLiteral("TitleBar"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                   | Qt::WindowCloseButtonHint);
    setWindowIcon(platform::NoIcon()); // a plain text window: no icon of the program's
    setModal(true);

    txtMsgBox = new QPlainTextEdit(this);
    txtMsgBox->setReadOnly(true);
    txtMsgBox->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtMsgBox->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    txtMsgBox->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    QFont textFont(QStringLiteral("MS Sans Serif"));
    textFont.setStyleHint(QFont::SansSerif);
    textFont.setPointSizeF(9.6);
    txtMsgBox->setFont(textFont);

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    QFont buttonFont(QStringLiteral("MS Sans Serif"));
    buttonFont.setStyleHint(QFont::SansSerif);
    buttonFont.setPointSizeF(12);
    buttonFont.setBold(true);
    cmdOK->setFont(buttonFont);
    cmdOK->setDefault(true);
    cmdOK->setAutoDefault(true);
    cmdOK->resize(int(std::lround(972 / platform::TwipsPerPixelX())), int(std::lround(432 / platform::TwipsPerPixelY())));
    connect(cmdOK, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
    setTabOrder(txtMsgBox, cmdOK);

    // Fixed from the start, so that the frame the window manager tells in advance is the frame
    // of a window that cannot be resized.
    setFixedSize(int(std::lround(6840 / platform::TwipsPerPixelX())), int(std::lround(6120 / platform::TwipsPerPixelY())));
}

void frmMsgBox::SetText(const QString &text)
{
    m_text = text;
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    txtMsgBox->setPlainText(shown);
}

void frmMsgBox::ShowModal()
{
    txtMsgBox->setFocus();
    exec();
}

void frmMsgBox::Form_Resize()
{
    if (m_busy)
        return;
    m_busy = true;
    const float tppx = float(OpenedOn.tppx), tppy = float(OpenedOn.tppy);
    // The frame as the window manager gives it, asked for before the window is first shown.
    m_frame = platform::FrameMargins(*this);
    const QSize frame(m_frame.left() + m_frame.right(), m_frame.top() + m_frame.bottom());
    const dialogs::MsgBoxWindow w =
        dialogs::MsgBoxWindowRect(tppx, tppy, frame.width() * tppx, frame.height() * tppy,
                                  float(OpenedOn.Width()), float(OpenedOn.Height()));
    // The client placed by its own corner inside the outer rectangle: right whether or not Qt
    // knows the frame yet.
    const QRect outer(int(std::lround(w.left / tppx)) + OpenedOn.pixels.x(), int(std::lround(w.top / tppy)) + OpenedOn.pixels.y(),
                      int(std::lround(w.width / tppx)), int(std::lround(w.height / tppy)));
    const QRect clientRect = outer.marginsRemoved(m_frame);
    const QSize client = clientRect.size();
    setFixedSize(client);
    setGeometry(clientRect);
    const dialogs::MsgBoxControls c = dialogs::MsgBoxControlRects(tppx, tppy, client.width() * tppx, client.height() * tppy,
                                                                  cmdOK->width() * tppx, cmdOK->height() * tppy);
    cmdOK->move(int(std::lround(c.buttonLeft / tppx)), int(std::lround(c.buttonTop / tppy)));
    txtMsgBox->setGeometry(int(std::lround(c.textLeft / tppx)), int(std::lround(c.textTop / tppy)),
                           int(std::lround(c.textWidth / tppx)), int(std::lround(c.textHeight / tppy)));
    m_busy = false;
}

void frmMsgBox::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    Form_Resize();
}

void frmMsgBox::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    Form_Resize();
    // The window manager frames the window a moment after it appears.
    for (int ms : {50, 250})
        QTimer::singleShot(ms, this, [this] { remeasure(); });
}

void frmMsgBox::moveEvent(QMoveEvent *event)
{
    QDialog::moveEvent(event);
    remeasure();
}

void frmMsgBox::remeasure()
{
    // Framed now, and not as told beforehand (a window manager that did not say): laid out again
    // with the frame measured on the framed window.
    if (isVisible() && frameGeometry() != geometry() && platform::FrameMargins(*this) != m_frame)
        Form_Resize();
}

void frmMsgBox::cmdOK_Click()
{
    Unload();
}

void frmMsgBox::closeEvent(QCloseEvent *event)
{
    // The close box does what OK does.
    HandleClose(event);
}
