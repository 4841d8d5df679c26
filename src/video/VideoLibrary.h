#pragma once

// The doorway to the video module: FFmpeg's libraries are loaded with it,
// the first time a recording is opened, and stay loaded. Until then the
// program carries none of them.

#include "video/VideoFrames.h"

#include <memory>

namespace VideoLibrary {

// The module's file name.
inline constexpr char FileName[] = "tintwell-video.so";

// The module, loaded on the first call: beside the program (the build tree),
// then in the installed library folder. Null and `error` set to a sentence
// naming the module and where it was looked for when it cannot be loaded.
VideoFrames::Module *Load(QString &error);

// Whether `fileName` should be read as a recording: a file whose content Qt's
// picture readers do not recognise and FFmpeg's do (the module is loaded to
// ask). Standard input ("-") is told by its head, read for it.
bool IsRecording(const QString &fileName);

// Opens `fileName` as a recording (standard input for "-": from its head on,
// as a stream), its decoded frames within `limitMB` MB (0: no limit). Null
// and `error` set to a sentence when the module cannot be loaded or the
// recording cannot be read. A file is decoded as `decoding` says; standard
// input on the decoder's threads.
std::unique_ptr<VideoFrames::Reader> Open(const QString &fileName, int limitMB, QString &error,
                                          VideoFrames::Decoding decoding = VideoFrames::Decoding::Threads);

// For a file that is no picture Qt recognises, when the module could not be
// loaded to tell whether it is a recording: the sentence saying so (to add
// to the picture reader's error). Empty otherwise.
QString UnreadableNote(const QString &fileName);

} // namespace VideoLibrary
