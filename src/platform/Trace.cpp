#include "platform/Trace.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <ctime>

namespace platform {

namespace {

double monotonicMs()
{
    // The clock the benchmark reads too, so that it can count from the program's exec.
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) * 1000.0 + double(now.tv_nsec) / 1e6;
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
        f->write(QByteArray::number(monotonicMs(), 'f', 1) + ' ' + event + '\n');
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
