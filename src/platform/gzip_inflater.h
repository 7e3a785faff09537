#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <memory>

// Unpacks gzip data as it arrives, member after member (files joined with `cat a.gz b.gz` are
// one file), within two limits: at most maxBytes unpacked, and past the first MiB at most
// maxRatio unpacked bytes per compressed byte, counted over the whole input (a small bomb must
// not take the memory of a big file). Sitemap files and answers sent with
// "Content-Encoding: gzip" are held to the same limits, with the same messages.
class GzipInflater {
public:
    enum class Problem { None, Damaged, TooLarge, RatioTooHigh };

    GzipInflater(qint64 maxBytes, qint64 maxRatio);
    ~GzipInflater();
    GzipInflater(const GzipInflater&) = delete;
    GzipInflater& operator=(const GzipInflater&) = delete;

    // Unpacks more input, appending to out. False once a problem stopped it (then and later):
    // past maxBytes, out holds the data up to exactly maxBytes.
    bool feed(QByteArrayView compressed, QByteArray& out);
    // At the end of the input: false (the problem Damaged) unless the input ended with a whole member.
    bool finish();

    Problem problem() const { return m_problem; }
    // What stopped unpacking, for the user; empty without a problem.
    QString errorText() const;
    qint64 unpackedBytes() const { return m_unpacked; }

    // The message for a file past maxBytes, compressed or not.
    static QString sizeLimitText(qint64 maxBytes);

private:
    struct Stream;

    bool stop(Problem problem);

    std::unique_ptr<Stream> m_stream;
    qint64 m_maxBytes;
    qint64 m_maxRatio;
    qint64 m_unpacked = 0;
    qint64 m_earlierMembers = 0; // compressed bytes of the members before the current one
    bool m_memberEnded = false;
    Problem m_problem = Problem::None;
};
