#include "platform/Module1.h"

#include <QDesktopServices>
#include <QDeadlineTimer>
#include <QString>
#include <QUrl>

namespace Module1 {

std::int32_t GetTickCount()
{
    // The monotonic clock's milliseconds (since boot on Linux), reduced to 32 bits.
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(QDeadlineTimer::current().deadline()));
}

void ShellOpen(QWidget *window, const QString &text)
{
    // The desktop services open the address for the whole session; the
    // window plays no part in the request.
    Q_UNUSED(window);
    QDesktopServices::openUrl(QUrl::fromUserInput(text));
}

} // namespace Module1
