#pragma once

#include "platform/Screen.h"
#include "platform/SharedForm.h"

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

// The About window: the icon, "Quorvel", the version and the platform line, OK and Help.
class frmSplash : public QDialog, public platform::FormBase
{
    Q_OBJECT
public:
    frmSplash();

    QFrame *fraSplash = nullptr;
    QLabel *imgLogo = nullptr;
    QLabel *lblProductName = nullptr;
    QLabel *lblVersion = nullptr;
    QLabel *lblPlatform = nullptr;
    QPushButton *cmdOK = nullptr;
    QPushButton *cmdHelp = nullptr;

    void Form_Load() override;
    // Puts the window, frame included, in the middle of `monitor`.
    void CentreOn(const platform::Monitor &monitor);
    void cmdOK_Click();
    void cmdHelp_Click();

protected:
    void closeEvent(QCloseEvent *event) override;
    void reject() override { cmdOK_Click(); } // Esc closes it, like OK
};
