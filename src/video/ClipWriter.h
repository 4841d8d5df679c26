#pragma once

// A sheet as a lossless clip: FFV1 with bgr0 in Matroska, or libx264rgb at
// qp 0 in MP4, tagged as what it is (full range, RGB, BT.709 primaries,
// sRGB transfer), so that players and ffmpeg decode every pixel as drawn.

#include "video/VideoFrames.h"

namespace ClipWriter {

bool Write(const QImage &sheet, VideoFrames::ClipFormat format, int frames, int fps, QIODevice &device,
           QString &reason);

// The sheet as Y'CbCr data made as `recipe` says (YcbcrPlanes), tagged as it
// says: FFV1 in Matroska, or libx264 at qp 0 (lossless) in MP4.
bool WriteYcbcr(const QImage &sheet, const VideoFrames::YcbcrRecipe &recipe, VideoFrames::ClipFormat format,
                int frames, int fps, QIODevice &device, QString &reason);

// The deep sheet (RGBX64) as `clip` says: FFV1 gbrp10/gbrp12 in Matroska,
// or x265 lossless Main 10 (BT.2020 Y'CbCr 4:2:0, limited range) in MP4;
// tagged with its primaries and transfer, its mastering display and
// content light on the stream (and, in HEVC, in every frame's SEI).
bool WriteDeep(const QImage &sheet, const VideoFrames::DeepClip &clip, VideoFrames::ClipFormat format, int frames,
               int fps, QIODevice &device, QString &reason);

} // namespace ClipWriter
