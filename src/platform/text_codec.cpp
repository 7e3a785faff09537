#include "platform/text_codec.h"

#include <QStringDecoder>

#include <algorithm>
#include <array>

namespace {

// Windows-1252 code points of the bytes 0x80 … 0x9F; the five bytes the code page leaves
// undefined map to the C1 control with the same number, as Windows does.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// Length of the UTF-8 sequence starting at bytes[i], or 0 when it is not well-formed.
qsizetype utf8SequenceLength(QByteArrayView bytes, qsizetype i) {
    const auto byte = [&](qsizetype k) {
        return static_cast<unsigned char>(bytes[k]);
    };
    const unsigned char lead = byte(i);
    if (lead < 0x80)
        return 1;
    qsizetype length = 0;
    char32_t minimum = 0;
    char32_t code = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        minimum = 0x80;
        code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        minimum = 0x800;
        code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        minimum = 0x10000;
        code = lead & 0x07;
    } else {
        return 0;
    }
    if (i + length > bytes.size())
        return 0;
    for (qsizetype k = 1; k < length; ++k) {
        const unsigned char next = byte(i + k);
        if ((next & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (next & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

} // namespace

bool isValidUtf8(QByteArrayView bytes) {
    for (qsizetype i = 0; i < bytes.size();) {
        const qsizetype length = utf8SequenceLength(bytes, i);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

QString decodeFileText(QByteArrayView bytes) {
    if (isValidUtf8(bytes)) {
        // QString::fromUtf8() would drop a byte order mark at the start; in a value it is text.
        QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
        return utf8.decode(bytes);
    }
    QString text;
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        text.append(byte >= 0x80 && byte <= 0x9F ? QChar(kCp1252High[byte - 0x80]) : QChar(char16_t(byte)));
    }
    return text;
}

QByteArray encodeFileText(const QString& text) {
    return text.toUtf8();
}

std::optional<QByteArray> encodeWindows1252(const QString& text) {
    QByteArray bytes;
    bytes.reserve(text.size());
    for (const QChar c : text) {
        const char16_t code = c.unicode();
        if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) {
            bytes.append(static_cast<char>(code));
            continue;
        }
        // The bytes 0x80 … 0x9F: found by their code point (the five undefined ones by their own).
        const auto found = std::find(kCp1252High.begin(), kCp1252High.end(), code);
        if (found == kCp1252High.end())
            return std::nullopt;
        bytes.append(static_cast<char>(0x80 + (found - kCp1252High.begin())));
    }
    return bytes;
}

QByteArrayView cutOnCharacterBoundary(QByteArrayView bytes, qsizetype maxBytes) {
    if (bytes.size() <= maxBytes)
        return bytes;
    if (maxBytes <= 0)
        return bytes.first(0);
    // Step back over continuation bytes to the start of the character that the cut would split.
    qsizetype cut = maxBytes;
    qsizetype back = cut;
    while (back > 0 && back > cut - 4 && (static_cast<unsigned char>(bytes[back]) & 0xC0) == 0x80)
        --back;
    if (back < cut && utf8SequenceLength(bytes, back) > cut - back)
        cut = back;
    return bytes.first(cut);
}

QStringView cutOnCharacter(QStringView text, qsizetype maxUnits) {
    if (text.size() <= maxUnits)
        return text;
    if (maxUnits <= 0)
        return text.first(0);
    if (text.at(maxUnits - 1).isHighSurrogate() && text.at(maxUnits).isLowSurrogate())
        --maxUnits;
    return text.first(maxUnits);
}

namespace {

QString escapeControls(QStringView text, qsizetype maxChars, bool keepLayout) {
    QString shown;
    shown.reserve(qMin(text.size(), maxChars + 8));
    qsizetype characters = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (characters == maxChars) {
            shown += u'…';
            break;
        }
        const char16_t unit = text.at(i).unicode();
        if ((unit < 0x20 || (unit >= 0x7f && unit < 0xa0)) && !(keepLayout && (unit == u'\n' || unit == u'\t'))) {
            shown += QStringLiteral("\\x%1").arg(static_cast<uint>(unit), 2, 16, QLatin1Char('0'));
        } else {
            shown += text.at(i);
            if (QChar::isHighSurrogate(unit) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
                shown += text.at(++i);
        }
        ++characters;
    }
    return shown;
}

} // namespace

QString displayText(QStringView text, qsizetype maxChars) {
    return escapeControls(text, maxChars, false);
}

QString terminalText(QStringView text) {
    return escapeControls(text, text.size(), true);
}
