#include "announce/core/sitemap_reader.h"

#include "platform/gzip_inflater.h"
#include "platform/local_file_name.h"
#include "platform/text_codec.h"

#include <QFile>
#include <QSet>
#include <QStringDecoder>
#include <QTime>
#include <QTimeZone>
#include <QXmlStreamReader>

#include <cerrno>
#include <cstring>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// The most characters of a loc or lastmod kept: one past the longest address accepted.
constexpr qsizetype kMaxFieldCharacters = kMaxAddressLength + 1;

// Reads exactly `count` ASCII digits at pos into *value.
bool readDigits(QStringView text, qsizetype pos, int count, int* value) {
    if (pos + count > text.size())
        return false;
    int result = 0;
    for (qsizetype i = pos; i < pos + count; ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return false;
        result = result * 10 + (c - u'0');
    }
    *value = result;
    return true;
}

SitemapContent unreadable(const QString& error, bool limit = false) {
    SitemapContent content;
    content.error = error;
    content.limitReached = limit;
    return content;
}

// The encoding a UTF-16 byte order mark at the start names.
std::optional<QStringConverter::Encoding> utf16Encoding(QByteArrayView bytes) {
    if (bytes.startsWith("\xFF\xFE"))
        return QStringConverter::Utf16LE;
    if (bytes.startsWith("\xFE\xFF"))
        return QStringConverter::Utf16BE;
    return std::nullopt;
}

qsizetype budgetFor(const SitemapLimits& limits, qsizetype addressBudget) {
    return addressBudget < 0 ? limits.maxAddresses : std::min(addressBudget, limits.maxAddresses);
}

QString addressLimitText(qsizetype budget) {
    return u"The limit of addresses was reached: reading stopped after %1 addresses."_s.arg(budget);
}

// The bytes to read: gzip data unpacked, anything else as it is (not copied). On failure, the
// content that reports it.
bool unpack(QByteArrayView& bytes, QByteArray& storage, const SitemapLimits& limits, SitemapContent* failure) {
    QString error;
    bool limit = true;
    if (isGzip(bytes)) {
        storage = gunzip(bytes, limits, &error, &limit);
        bytes = storage;
    } else if (bytes.size() > limits.maxBytes) {
        error = GzipInflater::sizeLimitText(limits.maxBytes);
    } else if (bytes.trimmed().isEmpty()) {
        error = u"The file is empty."_s;
        limit = false;
    }
    if (error.isEmpty())
        return true;
    *failure = unreadable(error, limit);
    return false;
}

SitemapContent readXml(QByteArrayView bytes, const SitemapLimits& limits, qsizetype budget) {
    SitemapContent content;
    content.bytes = bytes.size();
    // The bytes are handed over in slices: given all at once, the reader would hold the whole
    // file decoded (twice its size in UTF-16) until the end.
    constexpr qsizetype kSlice = 256 * 1024;
    QXmlStreamReader xml;
    qsizetype fed = 0;
    const auto feed = [&] {
        if (fed >= bytes.size())
            return false;
        const qsizetype size = std::min(kSlice, bytes.size() - fed);
        xml.addData(QByteArray(bytes.data() + fed, size));
        fed += size;
        return true;
    };
    feed();
    enum class Field { None, Loc, Lastmod };
    Field field = Field::None;
    QString text; // of the field being read
    int depth = 0;
    bool inEntry = false;
    SitemapEntry entry;
    const auto stop = [&](const QString& error, bool limit) {
        content.error = error;
        content.limitReached = limit;
    };
    while (content.error.isEmpty()) {
        if (xml.atEnd()) {
            if (xml.error() == QXmlStreamReader::PrematureEndOfDocumentError && feed())
                continue;
            break;
        }
        switch (xml.readNext()) {
        case QXmlStreamReader::DTD:
            // Declared entities could expand without bound or reach outside the file.
            if (!xml.entityDeclarations().isEmpty() || xml.text().contains("<!ENTITY"_L1))
                stop(u"The file declares XML entities, which sitemaps never need: it was not read."_s, false);
            break;
        case QXmlStreamReader::EntityReference:
            stop(u"The file uses an undeclared XML entity (&%1;): reading stopped."_s.arg(xml.name()), false);
            break;
        case QXmlStreamReader::StartElement: {
            ++depth;
            const QStringView name = xml.name();
            if (depth == 1) {
                if (name == "urlset"_L1) {
                    content.kind = SitemapContent::Kind::UrlSet;
                } else if (name == "sitemapindex"_L1) {
                    content.kind = SitemapContent::Kind::Index;
                } else {
                    stop(
                        u"Not a sitemap: the file starts with <%1> rather than <urlset> or <sitemapindex>."_s.arg(name),
                        false);
                }
            } else if (depth == 2) {
                inEntry = xml.prefix().isEmpty() &&
                          name == (content.kind == SitemapContent::Kind::UrlSet ? "url"_L1 : "sitemap"_L1);
                entry = {};
            } else if (depth == 3 && inEntry && xml.prefix().isEmpty()) {
                field = name == "loc"_L1 ? Field::Loc : name == "lastmod"_L1 ? Field::Lastmod : Field::None;
                text.resize(0); // keeps its capacity for the next field
            }
            break;
        }
        case QXmlStreamReader::Characters:
            // Past the longest address anything kept is refused anyway; more would only cost memory.
            if (depth == 3 && field != Field::None && text.size() < kMaxFieldCharacters)
                text += xml.text().first(std::min(xml.text().size(), kMaxFieldCharacters - text.size()));
            break;
        case QXmlStreamReader::EndElement:
            if (depth == 3 && field != Field::None) {
                if (field == Field::Loc)
                    entry.address = QStringView(text).trimmed().toString();
                else
                    entry.lastmod = parseW3cDate(text);
                field = Field::None;
            } else if (depth == 2 && inEntry) {
                inEntry = false;
                if (entry.address.isEmpty()) {
                    --depth;
                    break;
                }
                if (content.kind == SitemapContent::Kind::UrlSet) {
                    if (content.pages.size() >= budget) {
                        stop(addressLimitText(budget), true);
                        break;
                    }
                    content.pages.append(std::move(entry));
                } else {
                    if (content.childSitemaps.size() >= limits.maxChildSitemaps) {
                        stop(u"The index lists more than %1 child sitemaps: only the first %1 are read."_s.arg(
                                 limits.maxChildSitemaps),
                             true);
                        break;
                    }
                    content.childSitemaps.append(std::move(entry.address));
                }
            }
            --depth;
            break;
        default:
            break;
        }
    }
    if (content.error.isEmpty() && xml.hasError()) {
        content.error = u"The file is not well-formed XML (line %1, column %2: %3): what came before was read."_s.arg(
            QString::number(xml.lineNumber()), QString::number(xml.columnNumber()), xml.errorString());
    }
    if (content.error.isEmpty() && content.kind == SitemapContent::Kind::Unreadable)
        content.error = u"The file holds no sitemap."_s;
    return content;
}

} // namespace

QDateTime parseW3cDate(QStringView text) {
    text = text.trimmed();
    int year = 0, month = 1, day = 1, hour = 0, minute = 0, second = 0, millisecond = 0, offset = 0;
    if (!readDigits(text, 0, 4, &year))
        return {};
    qsizetype pos = 4;
    const auto at = [&](qsizetype i, char16_t c) {
        return i < text.size() && text[i] == c;
    };
    if (at(pos, u'-')) {
        if (!readDigits(text, pos + 1, 2, &month))
            return {};
        pos += 3;
        if (at(pos, u'-')) {
            if (!readDigits(text, pos + 1, 2, &day))
                return {};
            pos += 3;
            if (at(pos, u'T')) {
                if (!readDigits(text, pos + 1, 2, &hour) || !at(pos + 3, u':') ||
                    !readDigits(text, pos + 4, 2, &minute))
                    return {};
                pos += 6;
                if (at(pos, u':')) {
                    if (!readDigits(text, pos + 1, 2, &second))
                        return {};
                    pos += 3;
                    if (at(pos, u'.')) {
                        const qsizetype first = ++pos;
                        for (int scale = 100; pos < text.size() && text[pos].isDigit(); ++pos, scale /= 10)
                            millisecond += (text[pos].unicode() - u'0') * scale;
                        if (pos == first)
                            return {};
                    }
                }
                // The zone: "Z", "±hh:mm", or (leniently) none, read as UTC.
                if (at(pos, u'Z')) {
                    ++pos;
                } else if (at(pos, u'+') || at(pos, u'-')) {
                    int zoneHours = 0, zoneMinutes = 0;
                    if (!readDigits(text, pos + 1, 2, &zoneHours) || !at(pos + 3, u':') ||
                        !readDigits(text, pos + 4, 2, &zoneMinutes) || zoneHours > 14 || zoneMinutes > 59)
                        return {};
                    offset = (zoneHours * 60 + zoneMinutes) * 60 * (text[pos] == u'-' ? -1 : 1);
                    pos += 6;
                }
            }
        }
    }
    if (pos != text.size())
        return {};
    const QDate date(year, month, day);
    const QTime time(hour, minute, second, millisecond);
    if (!date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time, QTimeZone::utc()).addSecs(-offset);
}

bool isGzip(QByteArrayView bytes) {
    return bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0x1f &&
           static_cast<unsigned char>(bytes[1]) == 0x8b;
}

QByteArray gunzip(QByteArrayView compressed, const SitemapLimits& limits, QString* error, bool* limitReached) {
    GzipInflater inflater(limits.maxBytes, limits.maxCompressionRatio);
    QByteArray out;
    out.reserve(static_cast<qsizetype>(std::min<qint64>(limits.maxBytes, compressed.size() * 8 + 4096)));
    const bool whole = inflater.feed(compressed, out) && inflater.finish();
    *error = inflater.errorText();
    if (limitReached)
        *limitReached = inflater.problem() == GzipInflater::Problem::TooLarge ||
                        inflater.problem() == GzipInflater::Problem::RatioTooHigh;
    if (!whole)
        return {};
    return out;
}

SitemapContent readSitemap(QByteArrayView bytes, const SitemapLimits& limits, qsizetype addressBudget) {
    QByteArray storage;
    SitemapContent failure;
    if (!unpack(bytes, storage, limits, &failure))
        return failure;
    return readXml(bytes, limits, budgetFor(limits, addressBudget));
}

SitemapContent readAddressList(QByteArrayView bytes, const SitemapLimits& limits, qsizetype addressBudget) {
    QByteArray storage;
    SitemapContent failure;
    if (!unpack(bytes, storage, limits, &failure))
        return failure;
    if (const auto encoding = utf16Encoding(bytes)) {
        // Read as UTF-8 from here on; the text was checked whole.
        QStringDecoder decoder(*encoding);
        const QString text = decoder.decode(bytes.sliced(2));
        if (decoder.hasError())
            return unreadable(u"The file begins as UTF-16 text but is not valid UTF-16: it was not read."_s);
        storage = text.toUtf8();
        bytes = storage;
    }
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes = bytes.sliced(3);
    const qsizetype budget = budgetFor(limits, addressBudget);
    SitemapContent content;
    content.kind = SitemapContent::Kind::TextList;
    content.bytes = bytes.size();
    qsizetype pos = 0;
    while (pos < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', pos);
        if (end < 0)
            end = bytes.size();
        const QByteArrayView line = bytes.sliced(pos, end - pos).trimmed();
        pos = end + 1;
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        if (content.pages.size() >= budget) {
            content.error = addressLimitText(budget);
            content.limitReached = true;
            break;
        }
        // A line that is not UTF-8 is shown as well as it can be, never announced.
        if (isValidUtf8(line))
            content.pages.append({QString::fromUtf8(line), {}});
        else
            content.pages.append({QString::fromUtf8(line), {}, u"The line is not UTF-8 text."_s});
    }
    return content;
}

SitemapContent readAddressFile(QByteArrayView bytes, const SitemapLimits& limits, qsizetype addressBudget) {
    QByteArray storage;
    SitemapContent failure;
    if (!unpack(bytes, storage, limits, &failure))
        return failure;
    QByteArrayView start = bytes.startsWith("\xEF\xBB\xBF") ? bytes.sliced(3) : bytes;
    QByteArray decodedStart;
    if (const auto encoding = utf16Encoding(bytes)) { // the XML reader knows UTF-16 too
        QStringDecoder decoder(*encoding);
        const QString text = decoder(bytes.sliced(2).first(std::min<qsizetype>(bytes.size() - 2, 512)));
        decodedStart = text.toUtf8();
        start = decodedStart;
    }
    start = start.trimmed();
    if (start.startsWith('<'))
        return readXml(bytes, limits, budgetFor(limits, addressBudget));
    return readAddressList(bytes, limits, addressBudget);
}

QStringList robotsSitemaps(QByteArrayView robotsTxt, const QUrl& base) {
    QStringList found;
    QSet<QString> seen;
    for (QByteArrayView rest = robotsTxt; !rest.isEmpty();) {
        qsizetype end = rest.indexOf('\n');
        if (end < 0)
            end = rest.size();
        QByteArrayView line = rest.first(end);
        rest = rest.sliced(std::min(end + 1, rest.size()));
        if (const qsizetype comment = line.indexOf('#'); comment >= 0)
            line = line.first(comment);
        line = line.trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon < 0 || line.first(colon).trimmed().compare("sitemap", Qt::CaseInsensitive) != 0)
            continue;
        const QUrl url = base.resolved(QUrl::fromEncoded(line.sliced(colon + 1).trimmed().toByteArray()));
        const QString scheme = url.scheme().toLower();
        if (!url.isValid() || url.host().isEmpty() || (scheme != "http"_L1 && scheme != "https"_L1))
            continue;
        const QString address = url.toString(QUrl::FullyEncoded);
        if (!seen.contains(address)) {
            seen.insert(address);
            found.append(address);
        }
    }
    return found;
}

SitemapContent readAddressFileAt(const QString& path, qsizetype addressBudget, QString* error,
                                 const SitemapLimits& limits) {
    // Only a regular file is read (a pipe or a device could block, never end, or act on being
    // opened), checked before opening and again on what was opened. The name goes to the system
    // as the command line gave it.
    const QByteArray name = encodeLocalFileName(path);
    struct stat status {};
    if (::stat(name.constData(), &status) != 0 || !S_ISREG(status.st_mode)) {
        *error = u"%1: not a file that can be read."_s.arg(path);
        return {};
    }
    const int descriptor = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        *error = u"%1: %2"_s.arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return {};
    }
    QFile file;
    if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode) ||
        !file.open(descriptor, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(descriptor);
        *error = u"%1: not a file that can be read."_s.arg(path);
        return {};
    }
    const QByteArray bytes = file.read(limits.maxBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        *error = u"%1: %2"_s.arg(path, file.errorString());
        return {};
    }
    if (bytes.size() > limits.maxBytes) {
        *error = u"%1: larger than %2 bytes, not read."_s.arg(path, QString::number(limits.maxBytes));
        return {};
    }
    return readAddressFile(bytes, limits, addressBudget);
}
