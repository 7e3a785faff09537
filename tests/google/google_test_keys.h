#pragma once

// Key pairs for the Google tests, made with libcrypto, and the checks Google's sign-in makes
// of an assertion: the RS256 signature against the public half, then the claims.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <memory>
#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

struct PkeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
using Pkey = std::unique_ptr<EVP_PKEY, PkeyFree>;

inline Pkey makeRsaKey() {
    return Pkey(EVP_RSA_gen(2048));
}

inline Pkey makeEcKey() {
    return Pkey(EVP_EC_gen("P-256"));
}

// The private key as PKCS #8 PEM, as Google Cloud writes it into key files.
inline QByteArray privatePem(EVP_PKEY* key) {
    BIO* bio = BIO_new(BIO_s_mem());
    PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr);
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio, &data);
    QByteArray pem(data, length);
    BIO_free(bio);
    return pem;
}

// A service-account key file as Google Cloud gives it, with these fields.
inline QByteArray keyJson(const QByteArray& pem, const QString& clientEmail, const QString& tokenUri,
                          const QString& type = QStringLiteral("service_account")) {
    QJsonObject json{{QStringLiteral("type"), type},
                     {QStringLiteral("project_id"), QStringLiteral("torvane-test")},
                     {QStringLiteral("private_key_id"), QStringLiteral("0123abcd")},
                     {QStringLiteral("client_email"), clientEmail},
                     {QStringLiteral("client_id"), QStringLiteral("1234567890")},
                     {QStringLiteral("token_uri"), tokenUri}};
    if (!pem.isEmpty())
        json.insert(QStringLiteral("private_key"), QString::fromLatin1(pem));
    return QJsonDocument(json).toJson();
}

inline bool writeFile(const QString& path, const QByteArray& content, QFileDevice::Permissions permissions) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size() &&
           file.setPermissions(permissions);
}

inline constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

// The claims of a JWT whose RS256 signature the public half of key verifies, with its header
// checked; an empty object when anything is wrong.
inline QJsonObject verifiedClaims(const QByteArray& jwt, EVP_PKEY* key) {
    const QList<QByteArray> parts = jwt.split('.');
    if (parts.size() != 3)
        return {};
    const auto decoded = [](const QByteArray& part) {
        return QByteArray::fromBase64(part, QByteArray::Base64UrlEncoding | QByteArray::AbortOnBase64DecodingErrors);
    };
    const QJsonObject header = QJsonDocument::fromJson(decoded(parts[0])).object();
    if (header.value(QStringLiteral("alg")).toString() != QStringLiteral("RS256") ||
        header.value(QStringLiteral("typ")).toString() != QStringLiteral("JWT") || parts[2].contains('='))
        return {};
    const QByteArray signingInput = parts[0] + '.' + parts[1];
    const QByteArray signature = decoded(parts[2]);
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    const bool good = EVP_DigestVerifyInit(context, nullptr, EVP_sha256(), nullptr, key) == 1 &&
                      EVP_DigestVerify(context, reinterpret_cast<const unsigned char*>(signature.constData()),
                                       static_cast<size_t>(signature.size()),
                                       reinterpret_cast<const unsigned char*>(signingInput.constData()),
                                       static_cast<size_t>(signingInput.size())) == 1;
    EVP_MD_CTX_free(context);
    return good ? QJsonDocument::fromJson(decoded(parts[1])).object() : QJsonObject();
}
