#pragma once

#include "platform/Screen.h"
#include "platform/SharedForm.h"

#include <QDialog>
#include <QMargins>

class QPlainTextEdit;
class QPushButton;

// The program's text window: read-only text that wraps, with a vertical scroll bar, and an OK
// button that closes it (Enter and Esc too, also from the text). Closing destroys it.
class frmMsgBox : public QDialog, public platform::FormBase
{
    Q_OBJECT
public:
    frmMsgBox();

    QPlainTextEdit *txtMsgBox = nullptr;
    QPushButton *cmdOK = nullptr;

    // The text as given, CR LF line ends and all.
    void SetText(const QString &text);
    QString Text() const { return m_text; }
    // Shows the window modally; returns once it has been closed.
    void ShowModal();
    platform::Monitor OpenedOn = platform::PrimaryMonitor(); // the monitor it is centred on

    void Form_Resize();
    void cmdOK_Click();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void reject() override { cmdOK_Click(); }

private:
    void remeasure();
    bool m_busy = false;
    QMargins m_frame; // the frame the layout counted
    QString m_text;
};
