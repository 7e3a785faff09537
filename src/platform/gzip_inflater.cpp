#include "platform/gzip_inflater.h"

#include <zlib.h>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// Small files may compress as well as they like.
constexpr qint64 kRatioFreeBytes = 1024 * 1024;

} // namespace

struct GzipInflater::Stream {
    z_stream zlib{};
    bool started = false;
};

GzipInflater::GzipInflater(qint64 maxBytes, qint64 maxRatio)
    : m_stream(std::make_unique<Stream>()), m_maxBytes(std::max<qint64>(maxBytes, 0)), m_maxRatio(maxRatio) {
    m_stream->started = inflateInit2(&m_stream->zlib, 16 + MAX_WBITS) == Z_OK;
    if (!m_stream->started)
        m_problem = Problem::Damaged;
}

GzipInflater::~GzipInflater() {
    if (m_stream->started)
        inflateEnd(&m_stream->zlib);
}

QString GzipInflater::sizeLimitText(qint64 maxBytes) {
    return u"The file is larger than %1 bytes uncompressed: it was not read."_s.arg(maxBytes);
}

QString GzipInflater::errorText() const {
    switch (m_problem) {
    case Problem::None:
        break;
    case Problem::Damaged:
        return u"The compressed file is damaged or cut short: it was not read."_s;
    case Problem::TooLarge:
        return sizeLimitText(m_maxBytes);
    case Problem::RatioTooHigh:
        return u"The compressed file unpacks to more than %1 times its size: it was not read."_s.arg(m_maxRatio);
    }
    return {};
}

bool GzipInflater::stop(Problem problem) {
    m_problem = problem;
    return false;
}

bool GzipInflater::feed(QByteArrayView compressed, QByteArray& out) {
    if (m_problem != Problem::None)
        return false;
    z_stream& stream = m_stream->zlib;
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
    stream.avail_in = static_cast<uInt>(compressed.size());
    char buffer[64 * 1024];
    while (true) {
        if (m_memberEnded) {
            if (stream.avail_in == 0)
                return true;
            m_earlierMembers += static_cast<qint64>(stream.total_in); // inflateReset() zeroes total_in
            inflateReset(&stream);
            m_memberEnded = false;
        }
        stream.next_out = reinterpret_cast<Bytef*>(buffer);
        stream.avail_out = sizeof buffer;
        const int status = inflate(&stream, Z_NO_FLUSH);
        if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR)
            return stop(Problem::Damaged);
        const qint64 produced = static_cast<qint64>(sizeof buffer - stream.avail_out);
        if (m_unpacked + produced > m_maxBytes) {
            out.append(buffer, static_cast<qsizetype>(m_maxBytes - m_unpacked));
            m_unpacked = m_maxBytes;
            return stop(Problem::TooLarge);
        }
        out.append(buffer, static_cast<qsizetype>(produced));
        m_unpacked += produced;
        const qint64 consumed = m_earlierMembers + static_cast<qint64>(stream.total_in);
        if (m_unpacked > kRatioFreeBytes && m_unpacked > consumed * m_maxRatio)
            return stop(Problem::RatioTooHigh);
        if (status == Z_STREAM_END)
            m_memberEnded = true;
        else if (stream.avail_out != 0)
            return true; // every byte given was taken and nothing waits to come out
    }
}

bool GzipInflater::finish() {
    if (m_problem != Problem::None)
        return false;
    return m_memberEnded || stop(Problem::Damaged);
}
