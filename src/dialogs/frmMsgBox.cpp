#include "dialogs/frmMsgBox.h"

#include "dialogs/MsgBoxLayout.h"
#include "platform/Screen.h"

#include <QCloseEvent>
#include <QPlainTextEdit>
#include <QPushButton>

#include <cmath>

frmMsgBox::frmMsgBox()
    : platform::FormBase(this)
{
    setWindowTitle(QStringLiteral("TitleBar"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
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

    resize(int(std::lround(6840 / platform::TwipsPerPixelX())), int(std::lround(6120 / platform::TwipsPerPixelY())));
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
    const float tppx = float(platform::TwipsPerPixelX()), tppy = float(platform::TwipsPerPixelY());
    const QSize frame = frameGeometry().size() - geometry().size();
    const dialogs::MsgBoxWindow w =
        dialogs::MsgBoxWindowRect(tppx, tppy, frame.width() * tppx, frame.height() * tppy,
                                  float(platform::ScreenWidth()), float(platform::ScreenHeight()));
    move(int(std::lround(w.left / tppx)), int(std::lround(w.top / tppy)));
    const QSize client(int(std::lround(w.width / tppx)) - frame.width(), int(std::lround(w.height / tppy)) - frame.height());
    setFixedSize(client);
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
