#include "dialogs/KeyHelp.h"

#include "dialogs/frmMsgBox.h"

namespace dialogs {

QString KeyHelpText()
{
    const QString crlf = QStringLiteral("\r\n");
    return QStringLiteral("Help Keys:") + crlf + crlf + QStringLiteral("ESC - Exit") + crlf + crlf
        + QStringLiteral("F1 - This Screen") + crlf + crlf + QStringLiteral("F2-F10 - 2-10 Second Delay") + crlf + crlf
        + QStringLiteral("F12 - No Delay") + crlf + QStringLiteral("Enter - Change Picture") + crlf
        + QStringLiteral("Space - Change Picture") + crlf;
}

void ShowKeyHelp(QWidget &opener)
{
    frmMsgBox &box = platform::SharedForm<frmMsgBox>::Get();
    box.OpenedOn = platform::MonitorOf(opener);
    box.Form_Resize();
    box.SetText(KeyHelpText());
    box.setWindowTitle(QStringLiteral("Help For Quorvel"));
    box.ShowModal();
}

} // namespace dialogs
