// The reader of a picture's embedded profile: any bytes, taken as the PNG,
// JPEG, TIFF or WebP file their first bytes say they are (or else as an ICC
// profile on their own), give a profile described, a profile refused with a
// reason, or none; never a fault, and LittleCMS never past its budget.

#include "FuzzTarget.h"
#include "picture/ColourProfile.h"
#include "picture/EmbeddedProfile.h"

#include <QBuffer>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzTarget::Start();
    return 0;
}

namespace {

QByteArray formatOf(const QByteArray &bytes)
{
    if (bytes.startsWith("\x89PNG\r\n\x1a\n"))
        return "png";
    if (bytes.startsWith("\xff\xd8"))
        return "jpeg";
    if (bytes.startsWith("II*") || bytes.startsWith("MM\0*"))
        return "tiff";
    if (bytes.startsWith("RIFF"))
        return "webp";
    return {};
}

void check(const ColourProfile::Description &description)
{
    FuzzTarget::Require(description.readable == description.refused.isEmpty(),
                        "a profile is either described or refused with a reason");
    FuzzTarget::Require(!ColourProfile::Text(description).isEmpty(), "a profile's line says something");
    ColourProfile::Json(description);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const QByteArray format = formatOf(bytes);
    if (format.isEmpty()) {
        check(ColourProfile::DescribeIcc(bytes));
        return 0;
    }
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    const EmbeddedProfile::Embedded embedded = EmbeddedProfile::Find(buffer, format);
    FuzzTarget::Require(buffer.pos() == 0, "the device is left where it was");
    FuzzTarget::Require(embedded.icc.size() <= EmbeddedProfile::MostBytes, "a profile taken is within the limit");
    if (const std::optional<ColourProfile::Description> description = ColourProfile::Describe(embedded))
        check(*description);
    return 0;
}
