#include "TextCheck.h"

#include <QVarLengthArray>

#include <algorithm>

#include <utility>

using namespace Qt::StringLiterals;

namespace {

bool isControl(char32_t c)
{
    return c < 0x20 || (c >= 0x7f && c <= 0x9f);
}

// A character as a field name may show it: bad ones as \uXXXX.
void appendShown(QString &out, char32_t c)
{
    if (isControl(c) || QChar::isSurrogate(c))
        out += u"\\u%1"_s.arg(uint(c), 4, 16, QLatin1Char('0'));
    else
        out += QString::fromUcs4(&c, 1);
}

QString shown(QStringView text)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            appendShown(out, QChar::surrogateToUcs4(c, text[i + 1]));
            ++i;
        } else {
            appendShown(out, c.unicode());
        }
    }
    return out;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The four hex digits of a \u escape at pos as one UTF-16 unit, or -1.
int hexUnit(QByteArrayView json, qsizetype pos)
{
    if (pos + 4 > json.size())
        return -1;
    int unit = 0;
    for (qsizetype i = pos; i < pos + 4; ++i) {
        const int digit = hexDigit(json[i]);
        if (digit < 0)
            return -1;
        unit = unit * 16 + digit;
    }
    return unit;
}

// The code point of the UTF-8 sequence at pos and its length; length 0 for a stray byte, an
// overlong form, anything above U+10FFFF or a cut-off sequence.
std::pair<char32_t, int> decodeUtf8(QByteArrayView json, qsizetype pos)
{
    const auto lead = uchar(json[pos]);
    int length = 0;
    uchar low = 0x80;
    uchar high = 0xbf;
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        low = lead == 0xe0 ? 0xa0 : low; // encoded surrogates are refused as surrogates
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        low = lead == 0xf0 ? 0x90 : low;
        high = lead == 0xf4 ? 0x8f : high;
    } else {
        return { 0, 0 };
    }
    if (pos + length > json.size())
        return { 0, 0 };
    char32_t code = lead & (0x7f >> length);
    for (int i = 1; i < length; ++i) {
        const auto next = uchar(json[pos + i]);
        if (next < (i == 1 ? low : 0x80) || next > (i == 1 ? high : 0xbf))
            return { 0, 0 };
        code = (code << 6) | (next & 0x3f);
    }
    return { code, length };
}

struct ScannedString {
    qsizetype end = 0; // just past the closing quote
    bool clean = true;
    QString text; // decoded, bad parts shown escaped
};

// The JSON string whose opening quote is just before pos.
ScannedString scanString(QByteArrayView json, qsizetype pos)
{
    ScannedString scan;
    const auto character = [&scan](char32_t c) {
        scan.clean = scan.clean && !isControl(c) && !QChar::isSurrogate(c);
        appendShown(scan.text, c);
    };
    while (pos < json.size()) {
        const auto byte = uchar(json[pos]);
        if (byte == '"') {
            scan.end = pos + 1;
            return scan;
        }
        if (byte >= 0x80) {
            const auto [code, length] = decodeUtf8(json, pos);
            if (length == 0) {
                scan.clean = false;
                scan.text += u"\\x%1"_s.arg(uint(byte), 2, 16, QLatin1Char('0'));
                ++pos;
            } else {
                character(code);
                pos += length;
            }
            continue;
        }
        if (byte != '\\' || pos + 1 >= json.size()) {
            character(byte);
            ++pos;
            continue;
        }
        const char escape = json[pos + 1];
        pos += 2;
        static constexpr std::pair<char, char32_t> named[]
            = { { 'b', 0x08 }, { 'f', 0x0c }, { 'n', 0x0a }, { 'r', 0x0d }, { 't', 0x09 } };
        const auto *name = std::find_if(std::begin(named), std::end(named),
            [escape](const auto &entry) { return entry.first == escape; });
        const int unit = escape == 'u' ? hexUnit(json, pos) : -1;
        if (name != std::end(named)) {
            character(name->second);
        } else if (unit < 0) {
            character(uchar(escape)); // \" \\ \/ (the parser has refused anything else)
        } else {
            pos += 4;
            const int next = json.sliced(pos).startsWith("\\u") ? hexUnit(json, pos + 2) : -1;
            if (QChar::isHighSurrogate(char32_t(unit)) && next >= 0
                && QChar::isLowSurrogate(char32_t(next))) {
                character(QChar::surrogateToUcs4(char16_t(unit), char16_t(next)));
                pos += 6;
            } else {
                character(char32_t(unit));
            }
        }
    }
    scan.end = json.size();
    return scan;
}

} // namespace

std::optional<QString> TextCheck::uncleanField(QByteArrayView json)
{
    struct Level {
        bool object;
        bool expectsKey;
    };
    QVarLengthArray<Level, 8> levels;
    QString member;
    qsizetype pos = 0;
    while (pos < json.size()) {
        const char c = json[pos];
        if (c == '"') {
            const bool isKey = !levels.isEmpty() && levels.last().expectsKey;
            ScannedString scan = scanString(json, pos + 1);
            if (isKey && levels.size() == 1)
                member = std::move(scan.text);
            if (!scan.clean)
                return member;
            pos = scan.end;
            continue;
        }
        if (c == '{' || c == '[') {
            levels.append({ c == '{', c == '{' });
        } else if ((c == '}' || c == ']') && !levels.isEmpty()) {
            levels.removeLast();
        } else if ((c == ',' || c == ':') && !levels.isEmpty() && levels.last().object) {
            levels.last().expectsKey = c == ',';
        }
        ++pos;
    }
    return std::nullopt;
}

std::optional<QString> TextCheck::uncleanField(const QJsonObject &textFields)
{
    for (auto it = textFields.begin(); it != textFields.end(); ++it) {
        if (!isCleanText(it.key()))
            return shown(it.key());
        if (!isCleanText(it.value().toString()))
            return it.key();
    }
    return std::nullopt;
}

bool TextCheck::isCleanText(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        else if (c.isSurrogate() || isControl(c.unicode()))
            return false;
    }
    return true;
}
