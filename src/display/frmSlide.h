#pragma once

#include "display/PictureBox.h"
#include "platform/SharedForm.h"
#include "platform/StretchImage.h"

#include <QLabel>
#include <QWidget>

// The viewer: an ordinary window that shows the file chosen in the browser at its natural size
// (reduced to fit the screen), titled with its path. Keys other than Esc go to the browser.
class frmSlide : public QWidget, public platform::FormBase
{
    Q_OBJECT
public:
    frmSlide();

    display::PictureBox picSlide;
    platform::StretchImage *imgSlide = nullptr;
    QLabel *lblCannot = nullptr; // "Cannot show this picture", centred, when the file cannot be shown

    void ChangePicture(const QString &PictureName);
    void Form_Load() override;
    void Form_Resize();
    void Form_KeyDown(int KeyCode, int Shift);

protected:
    void closeEvent(QCloseEvent *event) override { HandleClose(event); }
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    QString m_shown; // the file on show, "" when none is
};
