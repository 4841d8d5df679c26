#include "picture/ColourProfile.h"

#include "Texts.h"

#include <QCoreApplication>
#include <QJsonArray>

#include <lcms2.h>
#include <lcms2_plugin.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace ColourProfile {

namespace {

TINTWELL_TR_CONTEXT("ColourProfile");

using Primaries::Matrix3;
using Primaries::Vector3;
using Primaries::Xy;

constexpr Xy D50 {0.3457, 0.3585};
constexpr Xy D65 {0.3127, 0.3290};

// LittleCMS takes its memory through this, so that a profile from a stranger
// asking for more than MostMemory (a profile of the largest size
// takes a few megabytes) is refused like a damaged one.
constexpr std::size_t MostMemory = std::size_t(64) << 20;

struct Budget
{
    std::size_t used = 0;
};

struct alignas(std::max_align_t) Header
{
    std::size_t size;
};

void *budgetMalloc(cmsContext context, cmsUInt32Number size)
{
    auto *budget = static_cast<Budget *>(cmsGetContextUserData(context));
    if (budget && budget->used + size > MostMemory)
        return nullptr;
    auto *header = static_cast<Header *>(std::malloc(sizeof(Header) + size));
    if (!header)
        return nullptr;
    header->size = size;
    if (budget)
        budget->used += size;
    return header + 1;
}

void budgetFree(cmsContext context, void *pointer)
{
    if (!pointer)
        return;
    Header *header = static_cast<Header *>(pointer) - 1;
    if (auto *budget = static_cast<Budget *>(cmsGetContextUserData(context)))
        budget->used -= std::min(budget->used, header->size);
    std::free(header);
}

void *budgetRealloc(cmsContext context, void *pointer, cmsUInt32Number size)
{
    void *grown = budgetMalloc(context, size);
    if (grown && pointer) {
        const Header *header = static_cast<Header *>(pointer) - 1;
        std::memcpy(grown, pointer, std::min<std::size_t>(header->size, size));
        budgetFree(context, pointer);
    }
    return grown;
}

// One LittleCMS context for one piece of work: its own memory budget and
// the last error it reported.
class Context
{
public:
    Context()
    {
        plugin_.base.Magic = cmsPluginMagicNumber;
        plugin_.base.ExpectedVersion = 2060;
        plugin_.base.Type = cmsPluginMemHandlerSig;
        plugin_.base.Next = nullptr;
        plugin_.MallocPtr = budgetMalloc;
        plugin_.FreePtr = budgetFree;
        plugin_.ReallocPtr = budgetRealloc;
        context_ = cmsCreateContext(&plugin_, &budget_);
        if (context_)
            cmsSetLogErrorHandlerTHR(context_, [](cmsContext, cmsUInt32Number, const char *text) {
                lastError() = QString::fromLocal8Bit(text);
            });
        lastError().clear();
    }
    ~Context()
    {
        if (context_)
            cmsDeleteContext(context_);
    }
    Context(const Context &) = delete;
    Context &operator=(const Context &) = delete;

    cmsContext get() const { return context_; }
    static QString &lastError()
    {
        thread_local QString error;
        return error;
    }

private:
    cmsPluginMemHandler plugin_ {};
    Budget budget_;
    cmsContext context_ = nullptr;
};

struct ProfileCloser
{
    void operator()(void *profile) const { cmsCloseProfile(profile); }
};
using Profile = std::unique_ptr<void, ProfileCloser>;

struct TransformDeleter
{
    void operator()(void *transform) const { cmsDeleteTransform(transform); }
};
using Transform = std::unique_ptr<void, TransformDeleter>;

Xy xyOf(const Vector3 &xyz)
{
    const double sum = xyz[0] + xyz[1] + xyz[2];
    return sum > 0 ? Xy {xyz[0] / sum, xyz[1] / sum} : Xy {0, 0};
}

bool near(const Xy &a, const Xy &b, double tolerance)
{
    return std::abs(a.x - b.x) <= tolerance && std::abs(a.y - b.y) <= tolerance;
}

QString whiteName(const Xy &white)
{
    if (near(white, D65, 0.001))
        return QStringLiteral("D65");
    if (near(white, D50, 0.001))
        return QStringLiteral("D50");
    return QStringLiteral("%1,%2").arg(white.x, 0, 'f', 4).arg(white.y, 0, 'f', 4);
}

std::optional<Primaries::Set> knownSet(const Description &d)
{
    for (const Primaries::Set set : Primaries::Sets) {
        const Primaries::Definition &known = Primaries::Of(set);
        if (near(d.red, known.red, 0.002) && near(d.green, known.green, 0.002) && near(d.blue, known.blue, 0.002)
            && near(d.white, known.white, 0.002))
            return set;
    }
    return std::nullopt;
}

// The curve a grey ramp follows, by name when it is a known one.
QString curveName(const std::array<double, 65> &luminance)
{
    struct Known
    {
        const char *name;
        Primaries::Transfer transfer;
    };
    constexpr Known Curves[] = {
        {"sRGB", Primaries::Transfer::Srgb},       {"gamma 2.2", Primaries::Transfer::Gamma22},
        {"gamma 2.4", Primaries::Transfer::Gamma24}, {"BT.709", Primaries::Transfer::Bt709},
        {"linear", Primaries::Transfer::Linear},
    };
    const auto worst = [&](const auto &curve) {
        double most = 0;
        for (std::size_t i = 1; i < luminance.size(); ++i)
            most = std::max(most, std::abs(luminance[i] - curve(double(i) / 64.0)));
        return most;
    };
    for (const Known &known : Curves)
        if (worst([&](double v) { return Primaries::ToLinear(known.transfer, v); }) < 0.002)
            return QLatin1String(known.name);
    // A power law, fitted where it is far from black.
    double sum = 0;
    int count = 0;
    for (std::size_t i = 8; i < luminance.size(); ++i)
        if (luminance[i] > 0) {
            sum += std::log(luminance[i]) / std::log(double(i) / 64.0);
            ++count;
        }
    const double gamma = count > 0 ? sum / count : 0;
    if (gamma > 0.1 && worst([&](double v) { return std::pow(v, gamma); }) < 0.004)
        return QStringLiteral("gamma %1").arg(gamma, 0, 'f', 2);
    return QStringLiteral("table");
}

// H.273's code points for primaries and transfer, as far as we name them.
std::optional<Primaries::Set> cicpPrimaries(int code)
{
    switch (code) {
    case 1: return Primaries::Set::Bt709;
    case 5: return Primaries::Set::Bt601_625;
    case 6:
    case 7: return Primaries::Set::Bt601_525;
    case 9: return Primaries::Set::Bt2020;
    case 12: return Primaries::Set::DisplayP3;
    default: return std::nullopt;
    }
}

QString cicpTransfer(int code)
{
    switch (code) {
    case 1:
    case 6:
    case 14:
    case 15: return QStringLiteral("BT.709");
    case 4: return QStringLiteral("gamma 2.2");
    case 5: return QStringLiteral("gamma 2.8");
    case 8: return QStringLiteral("linear");
    case 13: return QStringLiteral("sRGB");
    case 16: return QStringLiteral("PQ");
    case 18: return QStringLiteral("HLG");
    default: return QStringLiteral("code %1").arg(code);
    }
}

QString setName(Primaries::Set set)
{
    const std::string_view name = Primaries::Of(set).name;
    return QString::fromLatin1(name.data(), qsizetype(name.size()));
}

QString primariesText(const Description &d)
{
    if (d.set)
        return setName(*d.set);
    return QStringLiteral("R %1,%2 G %3,%4 B %5,%6")
        .arg(d.red.x, 0, 'f', 4)
        .arg(d.red.y, 0, 'f', 4)
        .arg(d.green.x, 0, 'f', 4)
        .arg(d.green.y, 0, 'f', 4)
        .arg(d.blue.x, 0, 'f', 4)
        .arg(d.blue.y, 0, 'f', 4);
}

} // namespace

Description DescribeIcc(const QByteArray &icc)
{
    Description d;
    d.source = QStringLiteral("ICC");
    const auto refuse = [&](const QString &why) {
        d.refused = why;
        return d;
    };
    if (icc.size() > EmbeddedProfile::MostBytes)
        return refuse(tr("the ICC profile is larger than %1 MB").arg(EmbeddedProfile::MostBytes >> 20));
    Context context;
    if (!context.get())
        return refuse(tr("LittleCMS could not start"));
    const Profile profile(cmsOpenProfileFromMemTHR(context.get(), icc.constData(), cmsUInt32Number(icc.size())));
    if (!profile) {
        const QString why = Context::lastError();
        return refuse(tr("the ICC profile is malformed%1").arg(why.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(why)));
    }
    char text[256] = {};
    if (cmsGetProfileInfoASCII(profile.get(), cmsInfoDescription, "en", "US", text, sizeof text) > 0)
        d.description = QString::fromLatin1(text).trimmed();
    if (cmsGetColorSpace(profile.get()) != cmsSigRgbData)
        return refuse(tr("the ICC profile \"%1\" is not for RGB numbers").arg(d.description));

    // The primaries and the grey ramp as the profile takes them to the
    // connection space (XYZ under D50), then back under the profile's own white.
    const Profile xyz(cmsCreateXYZProfileTHR(context.get()));
    const Transform toXyz(xyz ? cmsCreateTransformTHR(context.get(), profile.get(), TYPE_RGB_DBL, xyz.get(),
                                                      TYPE_XYZ_DBL, INTENT_RELATIVE_COLORIMETRIC,
                                                      cmsFLAGS_NOOPTIMIZE | cmsFLAGS_NOCACHE)
                              : nullptr);
    if (!toXyz) {
        const QString why = Context::lastError();
        return refuse(tr("the ICC profile \"%1\" cannot be used%2")
                          .arg(d.description, why.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(why)));
    }
    const auto through = [&](const Vector3 &rgb) {
        cmsCIEXYZ out {};
        cmsDoTransform(toXyz.get(), rgb.data(), &out, 1);
        return Vector3 {out.X, out.Y, out.Z};
    };
    Matrix3 back = {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
    if (const auto *chad = static_cast<const cmsFloat64Number *>(cmsReadTag(profile.get(), cmsSigChromaticAdaptationTag))) {
        Matrix3 adaptation {};
        for (std::size_t i = 0; i < 9; ++i)
            adaptation[i / 3][i % 3] = chad[i];
        back = Primaries::Inverse(adaptation);
    } else if (const auto *white = static_cast<const cmsCIEXYZ *>(cmsReadTag(profile.get(), cmsSigMediaWhitePointTag))) {
        // Version 2 profiles without 'chad' give their own white here.
        const Xy media = xyOf({white->X, white->Y, white->Z});
        if (media.y > 0 && !near(media, D50, 0.001))
            back = Primaries::Adaptation(D50, media);
    }
    const auto chromaticity = [&](const Vector3 &rgb) { return xyOf(Primaries::Apply(back, through(rgb))); };
    d.red = chromaticity({1, 0, 0});
    d.green = chromaticity({0, 1, 0});
    d.blue = chromaticity({0, 0, 1});
    d.white = chromaticity({1, 1, 1});
    d.set = knownSet(d);
    d.whiteName = whiteName(d.white);
    std::array<double, 65> luminance {};
    const double top = through({1, 1, 1})[1];
    for (std::size_t i = 0; i < luminance.size(); ++i) {
        const double v = double(i) / 64.0;
        luminance[i] = top > 0 ? through({v, v, v})[1] / top : 0;
    }
    d.transfer = curveName(luminance);
    d.readable = true;
    return d;
}

Description DescribeCicp(const EmbeddedProfile::Cicp &cicp)
{
    Description d;
    d.source = QStringLiteral("cICP");
    if (cicp.matrix != 0) {
        d.refused = tr("its cICP says the numbers are Y'CbCr (matrix %1), which PNG does not hold").arg(cicp.matrix);
        return d;
    }
    d.set = cicpPrimaries(cicp.primaries);
    if (d.set) {
        const Primaries::Definition &known = Primaries::Of(*d.set);
        d.red = known.red;
        d.green = known.green;
        d.blue = known.blue;
        d.white = known.white;
        d.whiteName = whiteName(d.white);
    }
    d.description = d.set ? setName(*d.set) : QStringLiteral("primaries code %1").arg(cicp.primaries);
    d.transfer = cicpTransfer(cicp.transfer);
    d.fullRange = cicp.fullRange;
    d.readable = true;
    return d;
}

std::optional<Description> Describe(const EmbeddedProfile::Embedded &embedded)
{
    std::optional<Description> icc;
    if (!embedded.icc.isEmpty())
        icc = DescribeIcc(embedded.icc);
    if (embedded.cicp) {
        Description d = DescribeCicp(*embedded.cicp);
        if (icc)
            d.alsoThere = Text(*icc);
        return d;
    }
    if (icc)
        return icc;
    if (!embedded.refused.isEmpty()) {
        Description d;
        d.source = QStringLiteral("ICC");
        d.refused = embedded.refused;
        return d;
    }
    if (embedded.srgbChunk) {
        Description d;
        d.source = QStringLiteral("sRGB chunk");
        d.description = QStringLiteral("sRGB");
        const Primaries::Definition &srgb = Primaries::Of(Primaries::Set::Bt709);
        d.red = srgb.red;
        d.green = srgb.green;
        d.blue = srgb.blue;
        d.white = srgb.white;
        d.set = Primaries::Set::Bt709;
        d.whiteName = whiteName(d.white);
        d.transfer = QStringLiteral("sRGB");
        d.readable = true;
        return d;
    }
    return std::nullopt;
}

QString Text(const Description &d)
{
    if (!d.readable)
        return tr("refused: %1").arg(d.refused);
    QString text = d.source == QLatin1String("ICC") ? QStringLiteral("ICC \"%1\": ").arg(d.description)
                                                    : d.source + QStringLiteral(": ");
    text += QStringLiteral("primaries %1").arg(d.set || d.source == QLatin1String("ICC") ? primariesText(d) : d.description);
    if (!d.whiteName.isEmpty() && d.source == QLatin1String("ICC"))
        text += QStringLiteral(", white %1").arg(d.whiteName);
    text += QStringLiteral(", transfer %1").arg(d.transfer);
    if (d.source == QLatin1String("cICP"))
        text += d.fullRange ? QStringLiteral(", full range") : QStringLiteral(", limited range");
    if (!d.alsoThere.isEmpty())
        text += QStringLiteral(" (over %1)").arg(d.alsoThere);
    return text;
}

QJsonObject Json(const Description &d)
{
    if (!d.readable)
        return {{QStringLiteral("source"), d.source}, {QStringLiteral("refused"), d.refused}};
    QJsonObject object {{QStringLiteral("source"), d.source},
                        {QStringLiteral("description"), d.description},
                        {QStringLiteral("transfer"), d.transfer}};
    if (d.set)
        object.insert(QStringLiteral("primaries"), setName(*d.set));
    if (d.red.y > 0)
        object.insert(QStringLiteral("chromaticities"),
                      QJsonArray {d.red.x, d.red.y, d.green.x, d.green.y, d.blue.x, d.blue.y, d.white.x, d.white.y});
    if (!d.whiteName.isEmpty())
        object.insert(QStringLiteral("white"), d.whiteName);
    if (d.source == QLatin1String("cICP"))
        object.insert(QStringLiteral("full_range"), d.fullRange);
    return object;
}

QByteArray Make(Primaries::Set set)
{
    Context context;
    if (!context.get())
        return {};
    const Primaries::Definition &known = Primaries::Of(set);
    const cmsCIExyY white {known.white.x, known.white.y, 1.0};
    const cmsCIExyYTRIPLE primaries {{known.red.x, known.red.y, 1.0},
                                     {known.green.x, known.green.y, 1.0},
                                     {known.blue.x, known.blue.y, 1.0}};
    // ICC's parametric curve 4: Y = (aX + b)^g from X = d, cX below.
    cmsToneCurve *curve = nullptr;
    switch (known.transfer) {
    case Primaries::Transfer::Srgb: {
        const cmsFloat64Number p[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
        curve = cmsBuildParametricToneCurve(context.get(), 4, p);
        break;
    }
    case Primaries::Transfer::AdobeRgb: {
        const cmsFloat64Number p[1] = {563.0 / 256.0};
        curve = cmsBuildParametricToneCurve(context.get(), 1, p);
        break;
    }
    default: {
        // BT.709's camera curve undone: the video sets' own.
        const cmsFloat64Number p[5] = {1 / 0.45, 1 / 1.099, 0.099 / 1.099, 1 / 4.5, 0.081};
        curve = cmsBuildParametricToneCurve(context.get(), 4, p);
        break;
    }
    }
    if (!curve)
        return {};
    cmsToneCurve *curves[3] = {curve, curve, curve};
    const Profile profile(cmsCreateRGBProfileTHR(context.get(), &white, &primaries, curves));
    cmsFreeToneCurve(curve);
    if (!profile)
        return {};
    const std::string_view name = known.name;
    const std::string description = set == Primaries::Set::Bt709 ? std::string("sRGB") : std::string(name);
    cmsMLU *mlu = cmsMLUalloc(context.get(), 1);
    const bool described = mlu && cmsMLUsetASCII(mlu, "en", "US", description.c_str())
                           && cmsWriteTag(profile.get(), cmsSigProfileDescriptionTag, mlu);
    cmsMLU *copyright = cmsMLUalloc(context.get(), 1);
    const bool free = copyright && cmsMLUsetASCII(copyright, "en", "US", "No copyright, use freely")
                      && cmsWriteTag(profile.get(), cmsSigCopyrightTag, copyright);
    cmsMLUfree(mlu);
    cmsMLUfree(copyright);
    if (!described || !free)
        return {};
    cmsUInt32Number bytes = 0;
    if (!cmsSaveProfileToMem(profile.get(), nullptr, &bytes) || bytes == 0)
        return {};
    QByteArray icc(qsizetype(bytes), Qt::Uninitialized);
    if (!cmsSaveProfileToMem(profile.get(), icc.data(), &bytes))
        return {};
    return icc;
}

} // namespace ColourProfile
