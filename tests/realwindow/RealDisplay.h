#pragma once

// What the real-window drivers share: an X server of their own and waits on
// conditions.
//
// The server is Xvfb on a display number it chooses itself (-displayfd), so
// two tests starting at the same moment, or another job's server, never race
// for a number; DISPLAY then names it for every program the driver starts.
// A wait polls its condition until it holds or its deadline passes; nothing
// is timed. How long each kind of wait took is kept, and the longest are
// reported at the end, so that the deadlines can be checked against what a
// loaded machine needs.

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QMap>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QTest>
#include <QThread>

#include <functional>

namespace RealDisplay {

// The longest each kind of wait took, in ms.
inline QMap<QString, qint64> &longestWaits()
{
    static QMap<QString, qint64> longest;
    return longest;
}

// Calls `check` every `intervalMs` until it holds or `deadlineMs` pass;
// `what` names the kind of wait in the report.
inline bool WaitFor(const char *what, const std::function<bool()> &check, int deadlineMs, int intervalMs = 100)
{
    QElapsedTimer took;
    took.start();
    const QDeadlineTimer deadline(deadlineMs);
    bool held = false;
    for (;;) {
        if ((held = check()))
            break;
        if (deadline.hasExpired())
            break;
        // Events of the driver's own objects (a QProcess) go on meanwhile.
        QTest::qWait(intervalMs);
    }
    qint64 &longest = longestWaits()[QLatin1String(what)];
    longest = std::max(longest, took.elapsed());
    return held;
}

// One line a kind of wait: the longest it took against the deadline.
inline void ReportWaits(int deadlineMs)
{
    for (auto i = longestWaits().cbegin(); i != longestWaits().cend(); ++i)
        qInfo("longest wait for %s: %lld ms (deadline %d ms)", qPrintable(i.key()), i.value(), deadlineMs);
}

// Starts Xvfb with one screen of `screen` ("1600x1200x24") and points DISPLAY
// at it; empty when it runs, else why not. The server ends with `server`.
inline QString Start(QProcess &server, const QString &screen, int deadlineMs)
{
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (xvfb.isEmpty())
        return QStringLiteral("Xvfb is not installed");
    // The display number on standard output once the server listens.
    server.setProcessChannelMode(QProcess::SeparateChannels);
    server.setStandardErrorFile(QProcess::nullDevice());
    // -noreset: an X server resets when its last client leaves, and refuses
    // the clients that come meanwhile (the next program, a window manager).
    server.start(xvfb, {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                        QStringLiteral("0"), screen, QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                        QStringLiteral("-noreset")});
    if (!server.waitForStarted(deadlineMs))
        return QStringLiteral("Xvfb did not start: ") + server.errorString();
    const QDeadlineTimer deadline(deadlineMs);
    QByteArray said;
    while (!said.contains('\n') && !deadline.hasExpired() && server.state() == QProcess::Running) {
        server.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())));
        said += server.readAllStandardOutput();
    }
    bool ok = false;
    const int display = said.trimmed().toInt(&ok);
    if (!ok)
        return QStringLiteral("Xvfb gave no display number (%1)")
            .arg(server.state() == QProcess::Running ? QStringLiteral("still running")
                                                     : QStringLiteral("ended with %1").arg(server.exitCode()));
    qputenv("DISPLAY", QByteArray(":") + QByteArray::number(display));
    // And answering.
    const auto answers = [] {
        QProcess info;
        info.start(QStringLiteral("xdpyinfo"), {});
        return info.waitForFinished(10'000) && info.exitStatus() == QProcess::NormalExit && info.exitCode() == 0;
    };
    if (!WaitFor("the X server to answer", answers, deadlineMs))
        return QStringLiteral("Xvfb on :%1 does not answer").arg(display);
    return {};
}

inline void Stop(QProcess &server)
{
    server.terminate();
    if (!server.waitForFinished(10'000))
        server.kill();
    server.waitForFinished(-1);
}

} // namespace RealDisplay
