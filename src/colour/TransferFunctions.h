#pragma once

// The curves that take a signal (0 to 1) to light and back, from their
// published definitions: ITU-R BT.2100's PQ (SMPTE ST 2084) and HLG, with
// HLG's system gamma and its luminance-based OOTF; ITU-R BT.1886 for a
// display of a given white and black; IEC 61966-2-1 (sRGB); a pure power.
//
// Light is absolute (cd/m²) where the curve is absolute (PQ, HLG on a
// display of a given peak, BT.1886 on a display of a given white), and
// relative (1 = white) for sRGB and the powers. A negative value in gives the
// curve's value at 0 (a signal below black is black), except where said.
//
// Plain C++: the deep sheet, its diagnosis and the benchmark's re-simulated
// chains all use these and nothing else.

#include <array>
#include <string_view>

namespace TransferFunctions {

using Rgb = std::array<double, 3>;

// Every curve a capture's numbers may be encoded with.
enum class Curve {
    Pq,     // BT.2100 PQ: absolute, 0 to 10,000 cd/m²
    Hlg,    // BT.2100 HLG on a display of a given peak
    Bt1886, // a display with a pure 2.4 power between its black and white
    Srgb,   // IEC 61966-2-1
    Gamma22,
    Linear,
};

// "PQ", "HLG", "BT.1886", "sRGB", "gamma 2.2", "linear".
std::string_view Name(Curve curve);
// FFmpeg's name of the transfer characteristics a stream is tagged with for
// the curve ("smpte2084", "arib-std-b67", "bt709", "iec61966-2-1",
// "gamma22", "linear").
std::string_view FfmpegName(Curve curve);

// The peak of PQ, and the peak of an HLG display the curve is made for.
inline constexpr double PqPeak = 10000;
inline constexpr double HlgNominalPeak = 1000;
// BT.2408's reference white for HDR: where graphics and SDR content sit.
inline constexpr double Bt2408White = 203;

// PQ (SMPTE ST 2084): the EOTF, signal to cd/m², and its inverse. A negative
// signal or light gives 0.
double PqToNits(double signal);
double NitsToPq(double nits);

// HLG's OETF: scene light E (0 to 1, 1 the camera's peak) to the signal, and
// its inverse.
double HlgOetf(double scene);
double HlgInverseOetf(double signal);
// The system gamma of an HLG display of `peakNits`: 1.2 at 1,000 cd/m²,
// 1.2 + 0.42 log10(peak / 1000) elsewhere (BT.2100, note 5e; BT.2390).
double HlgSystemGamma(double peakNits);
// The OOTF on scene light (0 to 1) for a display of `peakNits` (black 0):
// Fd = peak * Ys^(gamma - 1) * E, Ys the BT.2020 luminance of the scene
// colour. Its inverse from display light in cd/m².
Rgb HlgOotf(const Rgb &scene, double peakNits);
Rgb HlgInverseOotf(const Rgb &display, double peakNits);
// How a display applies the OOTF: on the luminance, as BT.2100 defines it,
// or on each channel alone, as zimg 3.0.4 (FFmpeg's zscale) does on RGB:
// greys come out alike, saturated colours do not.
enum class HlgOotfMode { Luminance, PerChannel };
// The EOTF (signal to cd/m² on a display of `peakNits` and `blackNits`, the
// black lift of BT.2100's Table 5 included) and its inverse.
Rgb HlgToNits(const Rgb &signal, double peakNits, double blackNits = 0,
              HlgOotfMode mode = HlgOotfMode::Luminance);
Rgb NitsToHlg(const Rgb &nits, double peakNits, double blackNits = 0, HlgOotfMode mode = HlgOotfMode::Luminance);

// BT.1886: L = a * max(V + b, 0)^2.4 on a display of `whiteNits` and
// `blackNits`; with a black of 0 a pure power of 2.4 times the white.
double Bt1886ToNits(double signal, double whiteNits, double blackNits = 0);
double NitsToBt1886(double nits, double whiteNits, double blackNits = 0);

// IEC 61966-2-1: the sRGB curve on relative light (1 = white).
double SrgbToLinear(double signal);
double LinearToSrgb(double linear);

// A curve on relative light for a display of `whiteNits` (black 0; HLG's
// peak is its white), channel by channel where the curve is, through the
// luminance for HLG: signal to cd/m² and back.
Rgb ToNits(Curve curve, const Rgb &signal, double whiteNits);
Rgb FromNits(Curve curve, const Rgb &nits, double whiteNits);

} // namespace TransferFunctions
