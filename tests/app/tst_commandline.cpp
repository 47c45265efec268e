// What the command line asks for: options, and the folder an argument names.

#include "app/CommandLine.h"
#include "base/FileSys.h"

#include <QTest>

using namespace app;

class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void argumentTextKeepsBytes();
    void options_data();
    void options();
    void argumentPath_data();
    void argumentPath();
};

void TestCommandLine::argumentTextKeepsBytes()
{
    const char *const argv[] = {"quorvel", "/tmp/caf\xe9", "and", "\xff\xfe x", nullptr};
    QCOMPARE(ArgumentText(4, argv), QByteArray("/tmp/caf\xe9 and \xff\xfe x"));
    QCOMPARE(ArgumentText(1, argv), QByteArray());
    // Decoded for the program, the bytes come back unchanged.
    const QByteArray text = ArgumentText(2, argv);
    QCOMPARE(base::EncodePath(base::DecodeName(text.constData(), size_t(text.size()))), text);
}

void TestCommandLine::options_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("exists");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("out"); // a line the output starts with
    QTest::addColumn<QByteArray>("err"); // the whole error output
    const QByteArray usage = "Usage: quorvel [FOLDER | PICTURE]\n";
    QTest::newRow("help") << QByteArray("--help") << false << 0 << usage << QByteArray();
    QTest::newRow("h") << QByteArray("-h") << false << 0 << usage << QByteArray();
    QTest::newRow("version") << QByteArray("--version") << false << 0 << QByteArray("Quorvel 1.0.24\n") << QByteArray();
    QTest::newRow("mistyped") << QByteArray("-v") << false << 2 << QByteArray()
                              << "quorvel: unknown option: -v\n" + usage;
    QTest::newRow("option and more") << QByteArray("--help me") << false << 2 << QByteArray()
                                     << "quorvel: unknown option: --help me\n" + usage;
    QTest::newRow("control characters kept to one line") << QByteArray("-a\nb\x1b") << false << 2 << QByteArray()
                                                         << "quorvel: unknown option: -a?b?\n" + usage;
    QTest::newRow("folder named like an option") << QByteArray("-v") << true << -1 << QByteArray() << QByteArray();
    QTest::newRow("folder") << QByteArray("/home/x/-v") << false << -1 << QByteArray() << QByteArray();
    QTest::newRow("nothing") << QByteArray() << false << -1 << QByteArray() << QByteArray();
}

void TestCommandLine::options()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, exists);
    QFETCH(int, status);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);
    QByteArray asked;
    const OptionAnswer answer = AnswerOption(text, [&](const QByteArray &path) {
        asked = path;
        return exists;
    });
    QCOMPARE(answer.exitStatus, status);
    QVERIFY2(answer.out.startsWith(out) && (out.isEmpty() == answer.out.isEmpty()), answer.out.constData());
    QCOMPARE(answer.err, err);
    if (exists)
        QCOMPARE(asked, text); // the whole text is looked for, unchanged
}

void TestCommandLine::argumentPath_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("working");
    QTest::addColumn<QString>("path");
    QTest::newRow("absolute") << "/data/pics" << "/home/u" << "/data/pics";
    QTest::newRow("absolute, untidy") << "/data//pics/./x/../" << "/home/u" << "/data/pics";
    QTest::newRow("relative") << "pics" << "/home/u" << "/home/u/pics";
    QTest::newRow("relative with ..") << "../v/./pics/" << "/home/u" << "/home/v/pics";
    QTest::newRow("dot") << "." << "/home/u" << "/home/u";
    QTest::newRow("above the root") << "../../.." << "/home" << "/";
    QTest::newRow("from the root") << "pics" << "/" << "/pics";
    QTest::newRow("blanks are part of the name") << " a b " << "/w" << "/w/ a b ";
    // A name that is not UTF-8 (its bytes escaped by DecodeName), in the argument and the working folder.
    QTest::newRow("not UTF-8") << QString::fromUtf16(u"../caf\xdce9") << QString::fromUtf16(u"/x\xdcff/y")
                               << QString::fromUtf16(u"/x\xdcff/caf\xdce9");
}

void TestCommandLine::argumentPath()
{
    QFETCH(QString, text);
    QFETCH(QString, working);
    QFETCH(QString, path);
    QCOMPARE(ArgumentPath(text, working), path);
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
