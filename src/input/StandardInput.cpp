#include "input/StandardInput.h"

#include <cerrno>
#include <cstring>

#include <unistd.h>

namespace StandardInput {

namespace {

struct State
{
    bool headRead = false;
    bool ended = false;
    QByteArray head;
    // All of it, once read to its end.
    QByteArray all;
    bool allRead = false;
    QString error;
};

State &state()
{
    static State read;
    return read;
}

// Up to `size` more bytes onto `bytes`; false on an error (errno set).
bool readSome(QByteArray &bytes, qsizetype size, bool &ended)
{
    const qsizetype start = bytes.size();
    bytes.resize(start + size);
    qsizetype filled = 0;
    while (filled < size) {
        const ssize_t got = ::read(Descriptor(), bytes.data() + start + filled, std::size_t(size - filled));
        if (got > 0) {
            filled += got;
        } else if (got == 0) {
            ended = true;
            break;
        } else if (errno != EINTR) {
            bytes.resize(start + filled);
            return false;
        }
    }
    bytes.resize(start + filled);
    return true;
}

} // namespace

const QByteArray &Head()
{
    State &s = state();
    if (!s.headRead) {
        s.headRead = true;
        if (!readSome(s.head, HeadSize, s.ended))
            s.error = QString::fromLocal8Bit(std::strerror(errno));
    }
    return s.head;
}

bool ReadAll(QByteArray &all, QString &reason)
{
    State &s = state();
    if (!s.allRead) {
        s.all = Head();
        constexpr qsizetype Piece = 1 << 20;
        while (s.error.isEmpty() && !s.ended)
            if (!readSome(s.all, Piece, s.ended))
                s.error = QString::fromLocal8Bit(std::strerror(errno));
        s.allRead = true;
    }
    all = s.all;
    reason = s.error;
    return s.error.isEmpty();
}

int Descriptor()
{
    return STDIN_FILENO;
}

} // namespace StandardInput
