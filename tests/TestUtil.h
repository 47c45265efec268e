#pragma once

// Helpers shared by the tests.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>

#include <functional>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testutil {

inline bool writeFile(const QString &path, const QByteArray &bytes = QByteArray("x"))
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Column 0 of an ordered list, row by row.
template <class List>
QStringList column0(const List &l)
{
    QStringList out;
    for (int i = 0; i < int(l.ListCount()); ++i)
        out << l.List(i, 0).toString();
    return out;
}

// Permission tests mean nothing to root, who may read and write anything: run the body in a
// child process as the unprivileged user "nobody". The body's result (a text) comes back; a
// body that crashes gives "<crashed>". Without root the body runs in this process.
inline QByteArray runUnprivileged(const std::function<QByteArray()> &body)
{
    if (::geteuid() != 0)
        return body();
    int fds[2];
    if (::pipe(fds) != 0)
        return "<no pipe>";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(3);
        const QByteArray out = body();
        const ssize_t written = ::write(fds[1], out.constData(), size_t(out.size()));
        ::_exit(written == out.size() ? 0 : 4);
    }
    ::close(fds[1]);
    QByteArray result;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0)
        result.append(buf, n);
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return "<crashed>";
    return result;
}

// Lets "nobody" walk into the folder (a QTemporaryDir is private to its owner).
inline void openUp(const QString &path)
{
    ::chmod(QFile::encodeName(path).constData(), 0755);
}

} // namespace testutil
