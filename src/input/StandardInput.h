#pragma once

// Standard input, read once for everyone who reads it. Its head comes first,
// so that what it holds can be told by its content (a picture, a
// recording); then the rest is read as the reader needs it: all at once for
// a picture, which is decoded in memory, or as a stream for a recording,
// whose frames are decoded as they come. Nothing is read twice, and nothing
// is read before someone asks.

#include <QByteArray>
#include <QString>

namespace StandardInput {

// Enough for Qt's readers and FFmpeg's demuxers to know a format by.
inline constexpr qsizetype HeadSize = 64 * 1024;

// Its first HeadSize bytes, fewer when it ends before: read on the first
// call, kept after. Empty when it is empty or cannot be read.
const QByteArray &Head();

// All of it: the head and the rest. False and `reason` set when it cannot be
// read; an empty input is read, and empty.
bool ReadAll(QByteArray &all, QString &reason);

// The descriptor the rest is read from, after the head.
int Descriptor();

} // namespace StandardInput
