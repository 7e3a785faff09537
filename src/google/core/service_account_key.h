#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <memory>

struct evp_pkey_st;

// A Google service-account key, read from the JSON file that Google Cloud gives for it. Only the
// loaded private key is kept (inside libcrypto); the copies of the key's text that reading made are
// overwritten as soon as it is loaded, and the text is never logged, copied or written anywhere.
class ServiceAccountKey {
public:
    // What reading a key file gave: the key, or a sentence that says why there is none. A key
    // file that other users of the machine can read still loads, with a warning.
    struct Loaded {
        std::shared_ptr<const ServiceAccountKey> key;
        QString problem; // empty when key is set
        QString warning; // "… anyone on this machine can use this key …", or empty
    };

    // Key files are a few kilobytes; a larger file is certainly something else.
    static constexpr qint64 kMaxFileBytes = 64 * 1024;

    static Loaded load(const QString& path);

    ~ServiceAccountKey();
    ServiceAccountKey(const ServiceAccountKey&) = delete;
    ServiceAccountKey& operator=(const ServiceAccountKey&) = delete;

    const QString& clientEmail() const { return m_clientEmail; }
    const QUrl& tokenUri() const { return m_tokenUri; }
    const QString& path() const { return m_path; }

    // The RS256 (RSASSA-PKCS1-v1_5 with SHA-256) signature of data; empty when signing failed.
    QByteArray sign(const QByteArray& data) const;

private:
    ServiceAccountKey(QString path, QString clientEmail, QUrl tokenUri, evp_pkey_st* privateKey);

    QString m_path;
    QString m_clientEmail;
    QUrl m_tokenUri;
    evp_pkey_st* m_privateKey;
};
