#pragma once

#include <QByteArray>

// Moments for the benchmarks, written only when QUORVEL_BENCH_TRACE names a file: one line per
// event, "<CLOCK_MONOTONIC in ms> <event>". Costs nothing otherwise.
namespace platform {

bool Tracing();
void Trace(const QByteArray &event);
// Watches the window thread while tracing: every stall longer than 16 ms is written as
// "stall <ms>". Call once the application object exists.
void WatchStalls();

} // namespace platform
