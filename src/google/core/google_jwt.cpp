#include "google/core/google_jwt.h"

#include "google/core/google_api.h"
#include "google/core/service_account_key.h"

#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::StringLiterals;

QByteArray base64Url(const QByteArray& data) {
    return data.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

QByteArray signedAssertion(const ServiceAccountKey& key, qint64 issuedAt) {
    const QByteArray header = R"({"alg":"RS256","typ":"JWT"})";
    const QJsonObject claims{
        {u"iss"_s, key.clientEmail()},
        {u"scope"_s, QString::fromLatin1(kGoogleScope)},
        {u"aud"_s, key.tokenUri().toString(QUrl::FullyEncoded)},
        {u"iat"_s, issuedAt},
        {u"exp"_s, issuedAt + kJwtLifetimeSeconds},
    };
    const QByteArray signingInput =
        base64Url(header) + '.' + base64Url(QJsonDocument(claims).toJson(QJsonDocument::Compact));
    const QByteArray signature = key.sign(signingInput);
    return signature.isEmpty() ? QByteArray() : signingInput + '.' + base64Url(signature);
}

QByteArray tokenRequestBody(const QByteArray& assertion) {
    return "grant_type=" + QByteArray("urn:ietf:params:oauth:grant-type:jwt-bearer").toPercentEncoding() +
           "&assertion=" + assertion.toPercentEncoding();
}
