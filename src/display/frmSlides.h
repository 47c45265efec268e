#pragma once

#include "display/PictureBox.h"
#include "platform/SharedForm.h"
#include "platform/StretchImage.h"

#include <QCursor>
#include <QSet>
#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <functional>

// The show: a black, borderless window over the whole screen, without a visible pointer, that
// steps through ShowList on a delay or on Enter and Space.
class frmSlides : public QWidget, public platform::FormBase
{
    Q_OBJECT
public:
    frmSlides();

    // The show order: "Random", or anything else for name order. Set by the browser before a show.
    QString Tag;

    display::PictureBox picSlide;
    platform::StretchImage *imgSlide = nullptr;
    QTimer tmrChange;
    QString tmrChangeTag; // position of the picture on screen in ShowList; "" before the first
    int16_t TimeDelay = 5;
    QCursor MouseIcon;    // the invisible pointer of the show

    bool ChangePicture(bool FromStartup);
    QString NextPicture(int32_t &Position);

    void Form_Load() override;
    void Form_QueryUnload(bool &cancel, int unloadMode) override;
    void Form_Unload() override;
    void Form_Resize();
    void Form_KeyUp(int KeyCode, int Shift);
    void tmrChange_Timer();

    // Monotonic milliseconds; the delay is measured on it, so a change of the wall clock never
    // freezes or rushes the show. Tests put in their own.
    std::function<qint64()> Clock;
    // The picture last asked to be decoded ahead, if any (for tests and measurements).
    const QString &AheadName() const { return m_aheadName; }

protected:
    void closeEvent(QCloseEvent *event) override { HandleClose(event); }
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void endShow();
    void decodeNextAhead();
    qint64 m_shownAt = 0;
    QSet<int> m_pressed; // keys whose press this window received and whose release is still due
    bool m_changing = false; // a change is decoding: the timer waits for it
    QString m_aheadName;
};
