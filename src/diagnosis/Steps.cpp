#include "diagnosis/Steps.h"

// Each step's maker, in its own file.
std::unique_ptr<Step> MakeChannelOrder();
std::unique_ptr<Step> MakeYcbcrEncode();
std::unique_ptr<Step> MakeChromaResolution();
std::unique_ptr<Step> MakeYcbcrDecode();
std::unique_ptr<Step> MakeBitDepth();
std::unique_ptr<Step> MakeToneCurve();

const std::vector<StepRow> &StepRows()
{
    // The channels are told first (every other step's samples depend on
    // them), then the bits each channel keeps (from the values it takes
    // alone), then the Y'CbCr path with a curve fitted after each candidate,
    // then what needs the path: dither, and the chroma resolution on the
    // sheet's sharp edges. The tone curve ends the chain: it explains what is
    // left, and the path's candidates are judged by what it leaves.
    static const std::vector<StepRow> rows = {
        {MakeChannelOrder, {0}},
        {MakeYcbcrEncode, {2}},
        {MakeChromaResolution, {4}},
        {MakeYcbcrDecode, {}},
        {MakeBitDepth, {1, 3}},
        {MakeToneCurve, {5}},
    };
    return rows;
}
