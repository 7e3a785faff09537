#include "platform/local_file_name.h"

#include "platform/text_codec.h"

#include <sys/stat.h>

namespace {

constexpr char16_t kEscapeBase = 0xDC00; // U+DC80 … U+DCFF stand for the bytes 0x80 … 0xFF

} // namespace

QString decodeLocalFileName(QByteArrayView bytes) {
    if (isValidUtf8(bytes))
        return QString::fromUtf8(bytes);
    QString name;
    name.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        const qsizetype length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        if (i + length <= bytes.size() && isValidUtf8(bytes.sliced(i, length))) {
            name += QString::fromUtf8(bytes.sliced(i, length));
            i += length;
        } else {
            name += QChar(char16_t(kEscapeBase + lead));
            ++i;
        }
    }
    return name;
}

QByteArray encodeLocalFileName(QStringView name) {
    QByteArray bytes;
    bytes.reserve(name.size());
    qsizetype plain = 0;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t unit = name[i].unicode();
        const bool escaped =
            unit >= kEscapeBase + 0x80 && unit <= kEscapeBase + 0xFF && (i == 0 || !name[i - 1].isHighSurrogate());
        if (!escaped)
            continue;
        bytes += name.sliced(plain, i - plain).toUtf8();
        bytes += static_cast<char>(unit - kEscapeBase);
        plain = i + 1;
    }
    bytes += name.sliced(plain).toUtf8();
    return bytes;
}

bool localFileExists(const QString& name) {
    struct stat status {};
    return !name.isEmpty() && ::stat(encodeLocalFileName(name).constData(), &status) == 0;
}
