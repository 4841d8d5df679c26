#include "lut/CubeFile.h"

#include "Texts.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <string_view>

namespace CubeFile {

namespace {

TINTWELL_TR_CONTEXT("CubeFile");

QString quoted(std::string_view text)
{
    return QLatin1Char('\'') + QString::fromUtf8(text.data(), qsizetype(text.size())) + QLatin1Char('\'');
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

// The words of a line, split at spaces and tabs.
std::vector<std::string_view> wordsOf(std::string_view line)
{
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && isSpace(line[i]))
            ++i;
        const std::size_t start = i;
        while (i < line.size() && !isSpace(line[i]))
            ++i;
        if (i > start)
            words.push_back(line.substr(start, i - start));
    }
    return words;
}

// A number in the C form: an optional sign, digits with an optional '.', an
// optional exponent. Says why it is not one in `why`.
bool parseNumber(std::string_view word, double &value, QString &why)
{
    std::string_view digits = word;
    if (!digits.empty() && digits.front() == '+')
        digits.remove_prefix(1);
    const char *end = digits.data() + digits.size();
    const auto [stop, error] = std::from_chars(digits.data(), end, value, std::chars_format::general);
    const bool plainStart = !digits.empty() && digits.front() != '+'
                            && (std::isdigit(static_cast<unsigned char>(digits.front())) || digits.front() == '-'
                                || digits.front() == '.');
    if (error == std::errc() && stop == end && plainStart && std::isfinite(value))
        return true;
    if (word.find(',') != std::string_view::npos)
        why = tr("%1 is not a number: the decimal point is '.', not ','").arg(quoted(word));
    else if (error == std::errc::result_out_of_range)
        why = tr("%1 is out of range").arg(quoted(word));
    else
        why = tr("%1 is not a number").arg(quoted(word));
    return false;
}

bool parseInteger(std::string_view word, int &value)
{
    const char *end = word.data() + word.size();
    const auto [stop, error] = std::from_chars(word.data(), end, value);
    return error == std::errc() && stop == end;
}

bool sameKeyword(std::string_view word, std::string_view keyword)
{
    if (word.size() != keyword.size())
        return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(word[i])) != keyword[i])
            return false;
    }
    return true;
}

enum Keyword { Title, Size3d, Size1d, DomainMin, DomainMax, Range3d, Range1d, KeywordCount };
constexpr std::string_view KeywordNames[KeywordCount] = {
    "TITLE", "LUT_3D_SIZE", "LUT_1D_SIZE", "DOMAIN_MIN", "DOMAIN_MAX", "LUT_3D_INPUT_RANGE", "LUT_1D_INPUT_RANGE"};

struct Parser
{
    ReadError &error;
    int keywordLine[KeywordCount] = {};
    int size3d = 0;
    int size1d = 0;
    double domainMin[3] = {0, 0, 0};
    double domainMax[3] = {1, 1, 1};
    double range3d[2] = {0, 1};
    double range1d[2] = {0, 1};
    std::vector<float> data;
    qint64 dataLines = 0;
    int firstDataLine = 0;

    bool fail(int line, const QString &what)
    {
        error = {line, what};
        return false;
    }

    bool numbers(int line, const std::vector<std::string_view> &words, std::size_t first, double *out, int count)
    {
        if (words.size() != first + std::size_t(count))
            return fail(line, tr("%1 needs %2 numbers").arg(quoted(words[0])).arg(count));
        for (int i = 0; i < count; ++i) {
            QString why;
            if (!parseNumber(words[first + std::size_t(i)], out[i], why))
                return fail(line, why);
        }
        return true;
    }

    bool size(int line, const std::vector<std::string_view> &words, int largest, int &out)
    {
        if (words.size() != 2 || !parseInteger(words[1], out))
            return fail(line, tr("%1 needs one whole number").arg(quoted(words[0])));
        if (out < 2 || out > largest)
            return fail(line, tr("%1 %2 is not between 2 and %3").arg(quoted(words[0])).arg(out).arg(largest));
        return true;
    }

    bool keyword(int line, std::string_view text, const std::vector<std::string_view> &words)
    {
        int which = 0;
        while (which < KeywordCount && !sameKeyword(words[0], KeywordNames[which]))
            ++which;
        if (which == KeywordCount)
            return fail(line, tr("unknown keyword %1").arg(quoted(words[0])));
        if (dataLines > 0)
            return fail(line, tr("%1 after the table's data").arg(quoted(words[0])));
        if (keywordLine[which] != 0)
            return fail(line, tr("%1 stands twice (first on line %2)").arg(quoted(words[0])).arg(keywordLine[which]));
        keywordLine[which] = line;
        switch (Keyword(which)) {
        case Title: {
            const std::string_view rest = text.substr(text.find(words[0]) + words[0].size());
            const std::size_t open = rest.find('"');
            if (open != std::string_view::npos && rest.find('"', open + 1) == std::string_view::npos)
                return fail(line, tr("the title has no closing '\"'"));
            return true;
        }
        case Size3d:
            return size(line, words, Largest3dSize, size3d);
        case Size1d:
            return size(line, words, Largest1dSize, size1d);
        case DomainMin:
            return numbers(line, words, 1, domainMin, 3);
        case DomainMax:
            return numbers(line, words, 1, domainMax, 3);
        case Range3d:
            return numbers(line, words, 1, range3d, 2);
        case Range1d:
            return numbers(line, words, 1, range1d, 2);
        case KeywordCount:
            break;
        }
        return true;
    }

    qint64 expectedLines() const { return qint64(size1d) + qint64(size3d) * size3d * size3d; }

    // Checks what the keywords say, once the data begins.
    bool startData(int line, qint64 bytesLeft)
    {
        if (size1d == 0 && size3d == 0)
            return fail(line, tr("the data begins before LUT_3D_SIZE or LUT_1D_SIZE"));
        const bool domain = keywordLine[DomainMin] || keywordLine[DomainMax];
        if (domain && (keywordLine[Range3d] || keywordLine[Range1d]))
            return fail(line, tr("DOMAIN_MIN/DOMAIN_MAX and LUT_*_INPUT_RANGE cannot both set the input range"));
        if (keywordLine[Range3d] && size3d == 0)
            return fail(keywordLine[Range3d], tr("LUT_3D_INPUT_RANGE without LUT_3D_SIZE"));
        if (keywordLine[Range1d] && size1d == 0)
            return fail(keywordLine[Range1d], tr("LUT_1D_INPUT_RANGE without LUT_1D_SIZE"));
        for (int c = 0; c < 3; ++c) {
            if (!(domainMin[c] < domainMax[c]))
                return fail(keywordLine[DomainMax] ? keywordLine[DomainMax] : keywordLine[DomainMin],
                            tr("DOMAIN_MIN is not below DOMAIN_MAX"));
        }
        if (!(range3d[0] < range3d[1]))
            return fail(keywordLine[Range3d], tr("the input range's minimum is not below its maximum"));
        if (!(range1d[0] < range1d[1]))
            return fail(keywordLine[Range1d], tr("the input range's minimum is not below its maximum"));
        // Every data line takes at least six bytes ("0 0 0" and its end):
        // memory is taken for no more lines than the rest of the file can
        // hold, whatever the sizes claim.
        data.reserve(std::size_t(std::min(expectedLines(), bytesLeft / 6 + 1)) * 3);
        firstDataLine = line;
        return true;
    }

    bool dataLine(int line, const std::vector<std::string_view> &words)
    {
        if (dataLines == expectedLines())
            return fail(line, tr("more data lines than the %1 the sizes call for").arg(expectedLines()));
        if (words.size() != 3)
            return fail(line, tr("a data line needs 3 numbers, not %1").arg(words.size()));
        for (const std::string_view word : words) {
            double value;
            QString why;
            if (!parseNumber(word, value, why))
                return fail(line, why);
            data.push_back(float(value));
        }
        ++dataLines;
        return true;
    }

    void finish(ColourLut &lut) const
    {
        lut = ColourLut();
        const bool domain = keywordLine[DomainMin] || keywordLine[DomainMax];
        const auto axes = [&](int size, const double *range) {
            std::array<LutAxis, 3> result;
            for (int c = 0; c < 3; ++c)
                result[std::size_t(c)] = domain ? LutAxis::Even(size, domainMin[c], domainMax[c])
                                                : LutAxis::Even(size, range[0], range[1]);
            return result;
        };
        if (size1d > 0) {
            LutCurves curves;
            curves.axes = axes(size1d, range1d);
            for (int c = 0; c < 3; ++c) {
                curves.values[std::size_t(c)].resize(std::size_t(size1d));
                for (int i = 0; i < size1d; ++i)
                    curves.values[std::size_t(c)][std::size_t(i)] = data[3 * std::size_t(i) + std::size_t(c)];
            }
            lut.curves = std::move(curves);
        }
        if (size3d > 0) {
            LutTable table;
            table.axes = axes(size3d, range3d);
            table.nodes.assign(data.begin() + 3 * std::ptrdiff_t(size1d), data.end());
            lut.table = std::move(table);
        }
    }
};

// Line `number` (from 1) of `bytes` as text to quote in a message: at most
// 60 characters, nothing for a line that is empty or not plain text.
QString lineText(const QByteArray &bytes, int number)
{
    qsizetype start = 0;
    for (int line = 1; line < number && start >= 0; ++line) {
        start = bytes.indexOf('\n', start);
        if (start >= 0)
            ++start;
    }
    if (start < 0 || start >= bytes.size())
        return {};
    qsizetype end = bytes.indexOf('\n', start);
    if (end < 0)
        end = bytes.size();
    const QByteArray line = bytes.mid(start, std::min<qsizetype>(end - start, 60)).trimmed();
    for (const char c : line)
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t')
            return {};
    return QString::fromUtf8(line);
}

} // namespace

bool Read(const QByteArray &bytes, ColourLut &lut, ReadError &error)
{
    Parser parser {error, {}, 0, 0, {0, 0, 0}, {1, 1, 1}, {0, 1}, {0, 1}, {}, 0, 0};
    const std::string_view all(bytes.constData(), std::size_t(bytes.size()));
    if (all.find('\0') != std::string_view::npos)
        return parser.fail(1 + int(std::count(all.begin(), all.begin() + qsizetype(all.find('\0')), '\n')),
                           tr("a NUL byte: this is not a text file"));
    // A byte-order mark, as some Windows tools write, is not part of the text.
    std::size_t start = all.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
    int line = 0;
    while (start < all.size()) {
        ++line;
        std::size_t end = all.find('\n', start);
        if (end == std::string_view::npos)
            end = all.size();
        std::string_view text = all.substr(start, end - start);
        const qint64 bytesLeft = qint64(all.size() - start);
        start = end + 1;

        // A comment runs from '#' to the end of the line, except in a title.
        std::vector<std::string_view> words = wordsOf(text);
        if (!words.empty() && !sameKeyword(words[0], "TITLE") && text.find('#') != std::string_view::npos) {
            text = text.substr(0, text.find('#'));
            words = wordsOf(text);
        }
        if (words.empty())
            continue;
        const char first = words[0].front();
        const bool isData = std::isdigit(static_cast<unsigned char>(first)) || first == '-' || first == '+'
                            || first == '.';
        if (!isData) {
            if (!parser.keyword(line, text, words))
                return false;
            continue;
        }
        if (parser.dataLines == 0 && !parser.startData(line, bytesLeft))
            return false;
        if (!parser.dataLine(line, words))
            return false;
    }
    if (parser.size1d == 0 && parser.size3d == 0)
        return parser.fail(std::max(line, 1), tr("there is no LUT_3D_SIZE or LUT_1D_SIZE line"));
    if (parser.dataLines == 0 && !parser.startData(std::max(line, 1), 0))
        return false;
    if (parser.dataLines < parser.expectedLines())
        return parser.fail(std::max(line, 1), tr("the file ends after %1 of its %2 data lines")
                                                  .arg(parser.dataLines)
                                                  .arg(parser.expectedLines()));
    parser.finish(lut);
    return true;
}

bool ReadFile(const QString &fileName, ColourLut &lut, QString &error)
{
    QFile file(fileName);
    const QString name = QDir::toNativeSeparators(fileName);
    if (QFileInfo(fileName).isDir() || !file.open(QIODevice::ReadOnly)) {
        error = tr("Could not read the look-up table %1: %2")
                    .arg(name, QFileInfo(fileName).isDir() ? tr("It is a folder.") : file.errorString());
        return false;
    }
    // Read a piece at a time: QIODevice::read(n) takes n bytes of memory
    // before it reads, so one read of the largest size would ask for 1 GiB
    // for every small table.
    constexpr qint64 Piece = qint64(1) << 20;
    QByteArray bytes;
    while (bytes.size() <= LargestFile) {
        const QByteArray piece = file.read(Piece);
        if (piece.isEmpty())
            break;
        bytes += piece;
    }
    if (file.error() != QFileDevice::NoError) {
        error = tr("Could not read the look-up table %1: %2").arg(name, file.errorString());
        return false;
    }
    if (bytes.size() > LargestFile) {
        error = tr("%1: the file is larger than a .cube file of LUT_3D_SIZE 256 can be.").arg(name);
        return false;
    }
    ReadError readError;
    if (Read(bytes, lut, readError))
        return true;
    error = QStringLiteral("%1: line %2: %3").arg(name).arg(readError.line).arg(readError.what);
    const QString quoted = lineText(bytes, readError.line);
    if (!quoted.isEmpty())
        error += QStringLiteral(": '%1'").arg(quoted);
    return false;
}

bool Write(const LutTable &table, const QString &title, QIODevice &device, QString &reason)
{
    ColourLut lut;
    lut.table = table;
    return Write(lut, title, device, reason);
}

bool Write(const ColourLut &lut, const QString &title, QIODevice &device, QString &reason)
{
    QString cleanTitle = title;
    cleanTitle.replace(QLatin1Char('"'), QLatin1Char('\'')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    QByteArray out = "TITLE \"" + cleanTitle.toUtf8() + "\"\n";
    // Resolve's order: both sizes, then the curves' data, then the table's.
    if (lut.curves)
        out += "LUT_1D_SIZE " + QByteArray::number(lut.curves->axes[0].size()) + '\n';
    if (lut.table)
        out += "LUT_3D_SIZE " + QByteArray::number(lut.table->axes[0].size()) + '\n';

    constexpr qsizetype ChunkBytes = 1 << 20;
    const auto flush = [&] {
        // A write the disk takes only part of (a file size limit, a disk
        // filling up) gives no reason; the next one, of the rest, does.
        for (qsizetype written = 0; written < out.size();) {
            const qint64 taken = device.write(out.constData() + written, out.size() - written);
            if (taken <= 0) {
                reason = device.errorString();
                return false;
            }
            written += qsizetype(taken);
        }
        out.clear();
        return true;
    };
    // Six decimals keep a 16-bit level (1/65535) and an identity within
    // 1e-6; written from the value in millionths, digit by digit.
    const auto put = [&](float value, char after) {
        char number[32];
        char *end = number + sizeof number;
        char *p = end;
        *--p = after;
        long long millionths = std::llround(double(value) * 1e6);
        const bool negative = millionths < 0; // never "-0.000000": 0 has no sign
        if (negative)
            millionths = -millionths;
        for (int digit = 0; digit < 6; ++digit, millionths /= 10)
            *--p = char('0' + millionths % 10);
        *--p = '.';
        do {
            *--p = char('0' + millionths % 10);
            millionths /= 10;
        } while (millionths > 0);
        if (negative)
            *--p = '-';
        out.append(p, end - p);
    };
    out.reserve(ChunkBytes + 64);
    if (lut.curves)
        for (std::size_t i = 0; i < lut.curves->values[0].size(); ++i) {
            put(lut.curves->values[0][i], ' ');
            put(lut.curves->values[1][i], ' ');
            put(lut.curves->values[2][i], '\n');
            if (out.size() >= ChunkBytes && !flush())
                return false;
        }
    if (lut.table) {
        const int size = lut.table->axes[0].size();
        const std::size_t count = std::size_t(size) * std::size_t(size) * std::size_t(size);
        for (std::size_t i = 0; i < count; ++i) {
            const float *node = lut.table->nodes.data() + 3 * i;
            put(node[0], ' ');
            put(node[1], ' ');
            put(node[2], '\n');
            if (out.size() >= ChunkBytes && !flush())
                return false;
        }
    }
    return flush();
}

} // namespace CubeFile
