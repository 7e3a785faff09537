#include "platform/json_text.h"

#include <QString>

void appendJsonString(QByteArray& out, QStringView text) {
    static constexpr char kHex[] = "0123456789abcdef";
    const QByteArray utf8 = text.toUtf8();
    out.reserve(out.size() + utf8.size() + 2);
    out.append('"');
    qsizetype plain = 0; // the start of the bytes not yet written
    for (qsizetype i = 0; i < utf8.size(); ++i) {
        const auto byte = static_cast<unsigned char>(utf8[i]);
        // U+2028 and U+2029 are E2 80 A8 and E2 80 A9 in UTF-8.
        const bool separator = byte == 0xE2 && i + 2 < utf8.size() && static_cast<unsigned char>(utf8[i + 1]) == 0x80 &&
                               (static_cast<unsigned char>(utf8[i + 2]) & 0xFE) == 0xA8;
        if (byte >= 0x20 && byte != '"' && byte != '\\' && !separator)
            continue;
        out.append(utf8.constData() + plain, i - plain);
        plain = i + 1;
        switch (byte) {
        case '"':
            out.append("\\\"");
            break;
        case '\\':
            out.append("\\\\");
            break;
        case '\b':
            out.append("\\b");
            break;
        case '\f':
            out.append("\\f");
            break;
        case '\n':
            out.append("\\n");
            break;
        case '\r':
            out.append("\\r");
            break;
        case '\t':
            out.append("\\t");
            break;
        default:
            if (separator) {
                out.append(static_cast<unsigned char>(utf8[i + 2]) == 0xA8 ? "\\u2028" : "\\u2029");
                i += 2;
                plain = i + 1;
            } else {
                out.append("\\u00").append(kHex[byte >> 4]).append(kHex[byte & 0xf]);
            }
            break;
        }
    }
    out.append(utf8.constData() + plain, utf8.size() - plain);
    out.append('"');
}

QByteArray jsonString(QStringView text) {
    QByteArray out;
    appendJsonString(out, text);
    return out;
}
