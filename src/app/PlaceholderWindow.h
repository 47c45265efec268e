#pragma once

#include <QListWidget>

// Until the browser exists: a plain window listing the picture files of the start folder.
class PlaceholderWindow : public QListWidget
{
    Q_OBJECT
public:
    explicit PlaceholderWindow(const QString &folder, QWidget *parent = nullptr);
};
