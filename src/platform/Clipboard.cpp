#include "platform/Clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QString>

namespace Clipboard {

void Clear()
{
    QGuiApplication::clipboard()->clear(QClipboard::Clipboard);
}

void SetText(const QString &text)
{
    QGuiApplication::clipboard()->setText(text, QClipboard::Clipboard);
}

} // namespace Clipboard
