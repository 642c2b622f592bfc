#include "FileNames.h"

#include <QList>
#include <algorithm>

namespace {

constexpr char32_t EscapeBase = 0x10FE00;
constexpr char32_t EscapeLast = EscapeBase + 0x7F;

bool IsEscape(char32_t codePoint)
{
    return codePoint >= EscapeBase && codePoint <= EscapeLast;
}

// Strict UTF-8: no overlong forms, no encoded surrogates, nothing above U+10FFFF, so that only
// names whose bytes re-encode identically are taken as text.
bool DecodeUtf8(const QByteArray &bytes, QList<char32_t> &codePoints)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.constData());
    const auto *end = p + bytes.size();
    codePoints.reserve(bytes.size());
    while (p < end) {
        const unsigned char lead = *p++;
        if (lead < 0x80) {
            codePoints.append(lead);
            continue;
        }
        int more;
        char32_t codePoint;
        char32_t minimum;
        if (lead >= 0xC2 && lead <= 0xDF) {
            more = 1, codePoint = lead & 0x1F, minimum = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            more = 2, codePoint = lead & 0x0F, minimum = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            more = 3, codePoint = lead & 0x07, minimum = 0x10000;
        } else {
            return false;
        }
        if (end - p < more)
            return false;
        for (int i = 0; i < more; ++i, ++p) {
            if ((*p & 0xC0) != 0x80)
                return false;
            codePoint = (codePoint << 6) | (*p & 0x3F);
        }
        if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF) ||
            IsEscape(codePoint))
            return false;
        codePoints.append(codePoint);
    }
    return true;
}

} // namespace

QString FileNameToText(const QByteArray &name)
{
    // Most names are plain ASCII, which reads the same in every form.
    if (std::all_of(name.cbegin(), name.cend(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return QString::fromLatin1(name);
    QList<char32_t> codePoints;
    if (DecodeUtf8(name, codePoints))
        return QString::fromUcs4(codePoints.constData(), codePoints.size());

    QString text;
    text.reserve(name.size() * 2);
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            text.append(QChar(char16_t(byte)));
        } else {
            const char32_t escaped = EscapeBase + (byte - 0x80);
            text.append(QChar::highSurrogate(escaped));
            text.append(QChar::lowSurrogate(escaped));
        }
    }
    return text;
}

QByteArray TextToFileName(const QString &text)
{
    QByteArray name;
    name.reserve(text.size() * 3);
    qsizetype plainStart = 0;
    const auto flushPlain = [&](qsizetype end) {
        if (end > plainStart)
            name.append(QStringView(text).mid(plainStart, end - plainStart).toUtf8());
    };
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        const QChar high = text.at(i);
        const QChar low = text.at(i + 1);
        if (!high.isHighSurrogate() || !low.isLowSurrogate())
            continue;
        const char32_t codePoint = QChar::surrogateToUcs4(high, low);
        if (!IsEscape(codePoint)) {
            ++i;
            continue;
        }
        flushPlain(i);
        name.append(static_cast<char>(0x80 + (codePoint - EscapeBase)));
        plainStart = i + 2;
        ++i;
    }
    flushPlain(text.size());
    return name;
}
