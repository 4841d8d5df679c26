#include "platform/Module1.h"

#include <QDeadlineTimer>
#include <QDesktopServices>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QUrl>
#include <QWidget>

namespace Module1 {

std::int32_t GetTickCount()
{
    // The monotonic clock's milliseconds (since boot on Linux), reduced to 32 bits.
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(QDeadlineTimer::current().deadline()));
}

void ShellOpen(QWidget *window, const QString &text, const std::function<void()> &failed)
{
    if (text.isEmpty())
        return;
    const QUrl url = QUrl::fromUserInput(text);
    const auto report = [failed] {
        if (failed)
            failed();
    };

    // The desktop's opener says whether it found a program for the address;
    // Qt would start it and not listen. It may run as long as the browser it
    // starts, so it is never waited for: its answer comes as a signal.
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty()) {
        if (!QDesktopServices::openUrl(url))
            report();
        return;
    }
    // Not owned by the window: an opener still running when the program ends
    // keeps running (deleting the QProcess would kill it).
    auto *process = new QProcess;
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    QObject::connect(process, &QProcess::finished, window,
                     [report](int exitCode, QProcess::ExitStatus status) {
                         if (status != QProcess::NormalExit || exitCode != 0)
                             report();
                     });
    QObject::connect(process, &QProcess::errorOccurred, window, [report](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            report();
    });
    QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
    QObject::connect(process, &QProcess::errorOccurred, process, [process](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            process->deleteLater();
    });
    process->start(opener, {QString::fromUtf8(url.toEncoded())});
}

} // namespace Module1
