#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

// Every file the generator writes, by path relative to the output folder.
class SampleSet
{
public:
    struct Entry
    {
        QString path;
        // The file's bytes; empty means the encoder failed.
        std::function<QByteArray()> bytes;
    };

    static QList<Entry> entries();

    // Hidden file that marks a folder as written by this tool, so it may be written again.
    static QString markerName() { return QStringLiteral(".quorvel-samples"); }
};
