#include "picture/EmbeddedProfile.h"

#include "Texts.h"

#include <QCoreApplication>
#include <QIODevice>
#include <QtEndian>

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <map>

namespace EmbeddedProfile {

namespace {

TINTWELL_TR_CONTEXT("EmbeddedProfile");

QString tooLarge(qint64 bytes)
{
    return tr("its ICC profile of %1 bytes is larger than the %2 MB taken").arg(bytes).arg(MostBytes >> 20);
}

// `length` bytes from `at`; empty when the file ends first.
QByteArray readAt(QIODevice &device, qint64 at, qint64 length)
{
    if (at < 0 || length <= 0 || length > device.size() - at || !device.seek(at))
        return {};
    QByteArray bytes = device.read(length);
    return bytes.size() == length ? bytes : QByteArray();
}

// zlib's stream inflated, within MostBytes; empty and `why` set when it is
// damaged or larger.
QByteArray inflated(const QByteArray &compressed, QString &why)
{
    z_stream stream {};
    if (inflateInit(&stream) != Z_OK) {
        why = tr("its ICC profile could not be unpacked");
        return {};
    }
    QByteArray out;
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(compressed.constData()));
    stream.avail_in = uInt(compressed.size());
    int status = Z_OK;
    char buffer[16384];
    while (status == Z_OK) {
        stream.next_out = reinterpret_cast<Bytef *>(buffer);
        stream.avail_out = sizeof buffer;
        status = inflate(&stream, Z_NO_FLUSH);
        out.append(buffer, qsizetype(sizeof buffer - stream.avail_out));
        if (out.size() > MostBytes) {
            inflateEnd(&stream);
            why = tooLarge(qint64(stream.total_out)) + tr(" (unpacked)");
            return {};
        }
        if (status == Z_BUF_ERROR && stream.avail_in == 0)
            break;
    }
    inflateEnd(&stream);
    if (status != Z_STREAM_END) {
        why = tr("its ICC profile is damaged (the compressed data %1)")
                  .arg(status == Z_BUF_ERROR ? tr("ends early") : tr("is not zlib's"));
        return {};
    }
    return out;
}

void findInPng(QIODevice &device, Embedded &found)
{
    const qint64 size = device.size();
    for (qint64 at = 8; at + 12 <= size;) {
        const QByteArray head = readAt(device, at, 8);
        if (head.isEmpty())
            return;
        const qint64 length = qFromBigEndian<quint32>(head.constData());
        const QByteArray type = head.mid(4, 4);
        if (length > size - at - 12)
            return; // the reader refuses a file cut off
        // Colour chunks come before the pixels.
        if (type == "IDAT" || type == "IEND")
            return;
        if (type == "iCCP" && found.icc.isEmpty() && found.refused.isEmpty()) {
            if (length > MostBytes) {
                found.refused = tooLarge(length) + tr(" (packed)");
            } else {
                const QByteArray data = readAt(device, at + 8, length);
                // A name of 1 to 79 bytes, its end, the method (0: zlib), the data.
                const qsizetype end = data.indexOf('\0');
                if (end < 1 || end > 79 || end + 2 > data.size() || data.at(end + 1) != 0)
                    found.refused = tr("its iCCP chunk is malformed");
                else
                    found.icc = inflated(data.mid(end + 2), found.refused);
            }
        } else if (type == "cICP") {
            const QByteArray data = readAt(device, at + 8, length);
            if (data.size() == 4)
                found.cicp = Cicp {std::uint8_t(data[0]), std::uint8_t(data[1]), std::uint8_t(data[2]), data[3] != 0};
            else
                found.refused = tr("its cICP chunk is malformed (%1 bytes, not 4)").arg(length);
        } else if (type == "sRGB") {
            found.srgbChunk = true;
        }
        at += 12 + length;
    }
}

void findInJpeg(QIODevice &device, Embedded &found)
{
    // ICC_PROFILE segments, numbered from 1 of a count.
    static const QByteArray Signature("ICC_PROFILE\0", 12);
    std::map<int, QByteArray> parts;
    int count = 0;
    bool malformed = false;
    qint64 total = 0;
    const qint64 size = device.size();
    for (qint64 at = 2; at + 4 <= size;) {
        const QByteArray marker = readAt(device, at, 2);
        if (marker.isEmpty() || std::uint8_t(marker[0]) != 0xFF)
            break;
        const std::uint8_t code = std::uint8_t(marker[1]);
        if (code == 0xFF) { // fill byte
            ++at;
            continue;
        }
        if (code == 0xDA || code == 0xD9) // the scan, or the end: no more profile
            break;
        if ((code >= 0xD0 && code <= 0xD7) || code == 0x01) {
            at += 2;
            continue;
        }
        const QByteArray lengthBytes = readAt(device, at + 2, 2);
        if (lengthBytes.isEmpty())
            break;
        const qint64 length = qFromBigEndian<quint16>(lengthBytes.constData());
        if (length < 2)
            break;
        if (code == 0xE2 && length >= 2 + 14) {
            const QByteArray data = readAt(device, at + 4, length - 2);
            if (data.startsWith(Signature)) {
                const int number = std::uint8_t(data[12]);
                const int of = std::uint8_t(data[13]);
                if (number < 1 || of < 1 || number > of || (count != 0 && of != count) || parts.count(number))
                    malformed = true;
                count = of;
                total += data.size() - 14;
                if (total > MostBytes) {
                    found.refused = tooLarge(total);
                    return;
                }
                parts[number] = data.mid(14);
            }
        }
        at += 2 + length;
    }
    if (parts.empty())
        return;
    if (malformed || int(parts.size()) != count) {
        found.refused = tr("its ICC profile is split into %1 parts, of which %2 are there or numbered wrongly")
                            .arg(count)
                            .arg(parts.size());
        return;
    }
    for (const auto &[number, part] : parts)
        found.icc += part;
}

void findInTiff(QIODevice &device, Embedded &found)
{
    const QByteArray head = readAt(device, 0, 8);
    if (head.isEmpty())
        return;
    const bool little = head.startsWith("II");
    const auto u16 = [little](const char *p) {
        return little ? qFromLittleEndian<quint16>(p) : qFromBigEndian<quint16>(p);
    };
    const auto u32 = [little](const char *p) {
        return little ? qFromLittleEndian<quint32>(p) : qFromBigEndian<quint32>(p);
    };
    if (u16(head.constData() + 2) != 42) // BigTIFF (43) keeps its tags otherwise
        return;
    const qint64 directory = u32(head.constData() + 4);
    const QByteArray countBytes = readAt(device, directory, 2);
    if (countBytes.isEmpty())
        return;
    const int entries = u16(countBytes.constData());
    const QByteArray table = readAt(device, directory + 2, qint64(entries) * 12);
    constexpr int IccTag = 34675;
    for (int i = 0; i < entries && !table.isEmpty(); ++i) {
        const char *entry = table.constData() + qsizetype(i) * 12;
        if (u16(entry) != IccTag)
            continue;
        const int type = u16(entry + 2);
        const qint64 length = u32(entry + 4);
        if (type != 1 && type != 7) {
            found.refused = tr("its ICC profile tag is of type %1, not bytes").arg(type);
            return;
        }
        if (length > MostBytes) {
            found.refused = tooLarge(length);
            return;
        }
        found.icc = length <= 4 ? QByteArray(entry + 8, qsizetype(length)) : readAt(device, u32(entry + 8), length);
        if (found.icc.isEmpty())
            found.refused = tr("its ICC profile tag points past the end of the file");
        return;
    }
}

void findInWebp(QIODevice &device, Embedded &found)
{
    const QByteArray head = readAt(device, 0, 12);
    if (head.isEmpty() || !head.startsWith("RIFF") || head.mid(8, 4) != "WEBP")
        return;
    const qint64 size = device.size();
    for (qint64 at = 12; at + 8 <= size;) {
        const QByteArray chunk = readAt(device, at, 8);
        if (chunk.isEmpty())
            return;
        const qint64 length = qFromLittleEndian<quint32>(chunk.constData() + 4);
        if (chunk.startsWith("ICCP")) {
            if (length > MostBytes)
                found.refused = tooLarge(length);
            else if (length > size - at - 8)
                found.refused = tr("its ICC profile chunk reaches past the end of the file");
            else
                found.icc = readAt(device, at + 8, length);
            return;
        }
        // The picture's own chunks come after the profile.
        if (chunk.startsWith("VP8 ") || chunk.startsWith("VP8L") || chunk.startsWith("ANMF"))
            return;
        at += 8 + length + (length & 1);
    }
}

} // namespace

Embedded Find(QIODevice &device, const QByteArray &format)
{
    Embedded found;
    if (!device.isOpen() || device.isSequential())
        return found;
    const qint64 start = device.pos();
    if (format == "png")
        findInPng(device, found);
    else if (format == "jpeg")
        findInJpeg(device, found);
    else if (format == "tiff")
        findInTiff(device, found);
    else if (format == "webp")
        findInWebp(device, found);
    device.seek(start);
    return found;
}

} // namespace EmbeddedProfile
