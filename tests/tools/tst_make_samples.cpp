// Runs the sample generator and checks what it writes: every kind decodes with Qt's own readers
// (metafiles are walked record by record instead), and a folder it did not write is kept.


#include <QDirIterator>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

namespace {

int runGenerator(const QStringList &args)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY")); // it must not need one
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(QUORVEL_MAKE_SAMPLES), args);
    if (!process.waitForFinished(60000))
        return -1; // hung: the destructor kills it
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

quint16 u16(const QByteArray &b, qsizetype at) { return qFromLittleEndian<quint16>(b.constData() + at); }
quint32 u32(const QByteArray &b, qsizetype at) { return qFromLittleEndian<quint32>(b.constData() + at); }

// Walks a metafile as a strict player would: the length is the file's, every record fits, pens
// and brushes stay within the declared handle table and are live when selected or deleted, and
// the end record closes the file. Empty when sound.
QString checkMetafile(const QByteArray &b)
{
    qsizetype pos = b.startsWith("\xD7\xCD\xC6\x9A") ? 22 : 0; // placeable header
    if (b.size() < pos + 18 || qsizetype(u32(b, pos + 6)) * 2 != b.size() - pos)
        return QStringLiteral("bad header length");
    const int declaredObjects = u16(b, pos + 10);
    QList<bool> objects; // handle slots, true while alive
    for (pos += 18; pos < b.size(); pos += qsizetype(u32(b, pos)) * 2) {
        const quint32 words = b.size() - pos >= 6 ? u32(b, pos) : 0;
        if (words < 3 || pos + qsizetype(words) * 2 > b.size())
            return QStringLiteral("record at %1 does not fit").arg(pos);
        const quint16 function = u16(b, pos + 4);
        const int n = words > 3 ? u16(b, pos + 6) : -1;
        if (function == 0x0000)
            return words == 3 && pos + 6 == b.size() ? QString() : QStringLiteral("bad or early end record");
        if (function == 0x02FA || function == 0x02FC) { // pen and brush take the lowest free slot
            if (!objects.contains(false))
                objects.append(false);
            objects[objects.indexOf(false)] = true;
            if (objects.size() > declaredObjects)
                return QStringLiteral("more objects than the header declares, at %1").arg(pos);
        } else if (function == 0x012D || function == 0x01F0) { // select, delete
            if (n < 0 || n >= objects.size() || !objects.at(n))
                return QStringLiteral("record at %1 uses dead object %2").arg(pos).arg(n);
            if (function == 0x01F0)
                objects[n] = false;
        }
    }
    return QStringLiteral("no end record");
}

} // namespace

class TestMakeSamples : public QObject
{
    Q_OBJECT

    QTemporaryDir m_out;

private slots:
    void initTestCase()
    {
        QVERIFY(m_out.isValid());
        QCOMPARE(runGenerator({m_out.path()}), 0);
    }

    void folderHoldsEveryKind()
    {
        // Every picture decodes as the kind its name says, whatever the letter case, in the
        // folder and both levels below it; not-a-picture.jpg is there and must not decode.
        const QHash<QString, QByteArray> kinds{{"jpg", "jpeg"}, {"jpeg", "jpeg"}, {"bmp", "bmp"}, {"gif", "gif"},
                                               {"ico", "ico"}, {"cur", "ico"}, {"wmf", {}}};
        QSet<QString> found, folders;
        QDirIterator it(m_out.path(), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next(), suffix = it.fileInfo().suffix().toLower();
            const QString name = QDir(m_out.path()).relativeFilePath(path);
            if (name == QLatin1String("not-a-picture.jpg")) {
                QVERIFY(it.fileInfo().size() > 0);
                QVERIFY(QImage(path).isNull());
                folders << name;
            } else if (suffix == QLatin1String("wmf")) {
                QCOMPARE(checkMetafile(readAll(path)), QString());
            } else if (kinds.contains(suffix)) {
                QImageReader reader(path);
                QCOMPARE(reader.format(), kinds.value(suffix));
                QVERIFY2(!reader.read().isNull(), qPrintable(name));
            }
            if (kinds.contains(suffix))
                found << suffix;
            folders << QFileInfo(name).path();
        }
        QCOMPARE(found, QSet<QString>(kinds.keyBegin(), kinds.keyEnd()));
        for (const char *folder : {"not-a-picture.jpg", "More", "More/Deeper"})
            QVERIFY2(folders.contains(QLatin1String(folder)), folder);
        // One larger than a screen, one much taller than wide.
        QCOMPARE(QImage(m_out.filePath(QStringLiteral("Alpine Panorama.jpg"))).size(), QSize(2600, 1500));
        QCOMPARE(QImage(m_out.filePath(QStringLiteral("Lighthouse.jpeg"))).size(), QSize(600, 1800));
    }

    void foreignFolderIsKept()
    {
        // Its own folder may be written again, as every build does.
        QCOMPARE(runGenerator({m_out.path()}), 0);

        // A folder with someone else's files is left alone unless asked.
        QTemporaryDir foreign;
        QVERIFY(foreign.isValid());
        const QString mine = foreign.filePath(QStringLiteral("Sunset.JPG"));
        QFile file(mine);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("my own picture");
        file.close();
        QCOMPARE(runGenerator({foreign.path()}), 2);
        QCOMPARE(readAll(mine), QByteArray("my own picture"));
        QCOMPARE(QDir(foreign.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).size(), 1);
        QCOMPARE(runGenerator({QStringLiteral("--force"), foreign.path()}), 0);
        QVERIFY(readAll(mine).startsWith("\xFF\xD8"));
    }

};

QTEST_MAIN(TestMakeSamples)
#include "tst_make_samples.moc"
