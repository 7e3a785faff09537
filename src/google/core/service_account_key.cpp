#include "google/core/service_account_key.h"

#include "google/core/crypto_library.h"
#include "google/core/google_api.h"
#include "platform/text_codec.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <cstring>

using namespace Qt::StringLiterals;

namespace {

// Overwrites the bytes in place, so that the key's text does not linger in freed memory.
void wipe(QByteArray& bytes) {
    if (!bytes.isEmpty())
        explicit_bzero(bytes.data(), static_cast<size_t>(bytes.size()));
    bytes.clear();
}

void wipe(QString& text) {
    if (!text.isEmpty())
        explicit_bzero(text.data(), static_cast<size_t>(text.size()) * sizeof(QChar));
    text.clear();
}

QString shownPath(const QString& path) {
    return displayText(QDir::toNativeSeparators(path));
}

QString notAKey(const QString& path, const QString& why) {
    return u"%1 is not a Google service-account key: %2. Choose the JSON key of a service account (Google Cloud "
           u"console, IAM & Admin > Service accounts > Keys > Add key > JSON)."_s.arg(shownPath(path), why);
}

} // namespace

ServiceAccountKey::ServiceAccountKey(QString path, QString clientEmail, QUrl tokenUri, evp_pkey_st* privateKey)
    : m_path(std::move(path)), m_clientEmail(std::move(clientEmail)), m_tokenUri(std::move(tokenUri)),
      m_privateKey(privateKey) {}

ServiceAccountKey::~ServiceAccountKey() {
    // A key exists only when the library was loaded.
    CryptoLibrary::get()->freeKey(m_privateKey);
}

ServiceAccountKey::Loaded ServiceAccountKey::load(const QString& path) {
    Loaded loaded;
    const QFileInfo info(path);
    if (!info.exists()) {
        loaded.problem = u"The key file %1 does not exist."_s.arg(shownPath(path));
        return loaded;
    }
    if (!info.isFile()) {
        loaded.problem = u"The key file %1 is not a regular file."_s.arg(shownPath(path));
        return loaded;
    }
    if (info.size() > kMaxFileBytes)
        return {{}, notAKey(path, u"the file is larger than a key file can be"_s), {}};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        loaded.problem =
            u"The key file %1 could not be read: %2."_s.arg(shownPath(path), displayText(file.errorString()));
        return loaded;
    }
    QByteArray content = file.read(kMaxFileBytes + 1);
    file.close();

    QJsonParseError error{};
    QJsonObject json = QJsonDocument::fromJson(content, &error).object();
    wipe(content);
    if (error.error != QJsonParseError::NoError || json.isEmpty())
        return {{}, notAKey(path, u"it is not a JSON object"_s), {}};
    const QString type = json.value("type"_L1).toString();
    if (type != "service_account"_L1) {
        json = {};
        return {{},
                notAKey(path, type.isEmpty() ? u"it names no type"_s : u"its type is \"%1\""_s.arg(displayText(type))),
                {}};
    }
    const QString clientEmail = json.value("client_email"_L1).toString();
    const QString tokenText = json.value("token_uri"_L1).toString(u"https://oauth2.googleapis.com/token"_s);
    QString pem = json.value("private_key"_L1).toString();
    json = {};
    if (clientEmail.isEmpty() || pem.isEmpty()) {
        wipe(pem);
        return {
            {}, notAKey(path, clientEmail.isEmpty() ? u"it has no client_email"_s : u"it has no private_key"_s), {}};
    }
    const QUrl tokenUri(tokenText, QUrl::StrictMode);
    if (!isAllowedGoogleAddress(tokenUri)) {
        wipe(pem);
        return {{}, notAKey(path, u"its token_uri \"%1\" is not an https address"_s.arg(displayText(tokenText))), {}};
    }

    const CryptoLibrary* crypto = CryptoLibrary::get();
    if (!crypto) {
        wipe(pem);
        loaded.problem = u"The private key in %1 could not be read: the cryptography library %2 is missing or "
                         u"incomplete. Install OpenSSL's library (Debian: libssl3) and choose the key again."_s.arg(
                             shownPath(path), QString::fromLatin1(CryptoLibrary::fileName()));
        return loaded;
    }
    QByteArray pemBytes = pem.toUtf8();
    wipe(pem);
    EVP_PKEY* privateKey = nullptr;
    if (BIO* bio = crypto->newMemoryBuffer(pemBytes.constData(), static_cast<int>(pemBytes.size()))) {
        privateKey = crypto->readPrivateKey(bio, nullptr, nullptr, nullptr);
        crypto->freeBuffer(bio);
    }
    wipe(pemBytes);
    if (!privateKey || crypto->keyType(privateKey) != EVP_PKEY_RSA) {
        crypto->freeKey(privateKey);
        loaded.problem = u"The private key in %1 could not be read: it is damaged or not an RSA key. Make a new key "
                         u"for the service account in Google Cloud and choose it."_s.arg(shownPath(path));
        return loaded;
    }

    loaded.key.reset(new ServiceAccountKey(path, clientEmail, tokenUri, privateKey));
    const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::ReadOther;
    if (info.permissions() & others) {
        loaded.warning =
            u"The key file %1 can be read by other users: anyone on this machine can use this key. Make it "
            u"readable by you only (chmod 600)."_s.arg(shownPath(path));
    }
    return loaded;
}

QByteArray ServiceAccountKey::sign(const QByteArray& data) const {
    QByteArray signature;
    const CryptoLibrary& crypto = *CryptoLibrary::get();
    EVP_MD_CTX* context = crypto.newDigestContext();
    size_t length = 0;
    if (context && crypto.digestSignInit(context, nullptr, crypto.sha256(), nullptr, m_privateKey) == 1 &&
        crypto.digestSign(context, nullptr, &length, reinterpret_cast<const unsigned char*>(data.constData()),
                          static_cast<size_t>(data.size())) == 1) {
        signature.resize(static_cast<qsizetype>(length));
        if (crypto.digestSign(context, reinterpret_cast<unsigned char*>(signature.data()), &length,
                              reinterpret_cast<const unsigned char*>(data.constData()),
                              static_cast<size_t>(data.size())) == 1)
            signature.resize(static_cast<qsizetype>(length));
        else
            signature.clear();
    }
    crypto.freeDigestContext(context);
    return signature;
}
