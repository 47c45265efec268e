#include "platform/Trace.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <ctime>

namespace platform {

namespace {

double processMs()
{
    // The process's own CPU clock is no use here: wall time from the process's start, which
    // /proc gives in clock ticks since boot; now on the same clock.
    static const double startMs = [] {
        QFile stat(QStringLiteral("/proc/self/stat"));
        if (!stat.open(QIODevice::ReadOnly))
            return 0.0;
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        // After the name: field 22 of the whole line is the 20th here.
        return fields.size() > 19 ? fields[19].toDouble() * 1000.0 / double(sysconf(_SC_CLK_TCK)) : 0.0;
    }();
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return double(now.tv_sec) * 1000.0 + double(now.tv_nsec) / 1e6 - startMs;
}

QFile *traceFile()
{
    static QFile *file = [] () -> QFile * {
        const QString path = qEnvironmentVariable("QUORVEL_BENCH_TRACE");
        if (path.isEmpty())
            return nullptr;
        auto *f = new QFile(path);
        if (!f->open(QIODevice::Append | QIODevice::Unbuffered)) {
            delete f;
            return nullptr;
        }
        return f;
    }();
    return file;
}

} // namespace

bool Tracing()
{
    return traceFile() != nullptr;
}

void Trace(const QByteArray &event)
{
    if (QFile *f = traceFile())
        f->write(QByteArray::number(processMs(), 'f', 1) + ' ' + event + '\n');
}

void WatchStalls()
{
    if (!Tracing())
        return;
    static QElapsedTimer since;
    since.start();
    auto *tick = new QTimer(QCoreApplication::instance());
    tick->setTimerType(Qt::PreciseTimer);
    tick->setInterval(5);
    QObject::connect(tick, &QTimer::timeout, [] {
        const qint64 gap = since.restart();
        if (gap > 16)
            Trace("stall " + QByteArray::number(gap));
    });
    tick->start();
}

} // namespace platform
