#include "diagnosis/Steps.h"

// Each step's maker, in its own file.
std::unique_ptr<Step> MakeChannelOrder();
std::unique_ptr<Step> MakeYcbcrEncode();
std::unique_ptr<Step> MakeChromaResolution();
std::unique_ptr<Step> MakeYcbcrDecode();
std::unique_ptr<Step> MakePrimariesConversion();
std::unique_ptr<Step> MakeToneCurve();
std::unique_ptr<Step> MakeBitDepth();

const std::vector<StepRow> &StepRows()
{
    // The channels are told first (every other step's samples depend on
    // them), then the bits each channel keeps (from the values it takes
    // alone), then the Y'CbCr path with a curve fitted after each candidate,
    // then what needs the path: dither, and the chroma resolution on the
    // sheet's sharp edges. A conversion of the primaries acts on what the
    // path decodes (as a player converts for its screen); it is fitted before
    // the path, whose misreadings it would otherwise be taken for, and again
    // after it. The tone curve explains what is left, and the path's
    // candidates are judged by what it leaves. A display's curve acts on the
    // decoded picture, and the bits a framebuffer keeps are cut after it.
    static const std::vector<StepRow> rows = {
        {MakeChannelOrder, {0}},
        {MakeYcbcrEncode, {2}},
        {MakeChromaResolution, {4}},
        {MakeYcbcrDecode, {}},
        {MakePrimariesConversion, {1, 3}},
        {MakeToneCurve, {5}},
        {MakeBitDepth, {1, 3}},
    };
    return rows;
}
