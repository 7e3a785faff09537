#pragma once

#include <QByteArray>

class ServiceAccountKey;

// The sign-in assertion of a service account (a JWT signed with RS256) that Google's token
// address trades for an access token: header {"alg":"RS256","typ":"JWT"}; claims iss (the
// account), scope (Search Console), aud (the key's token_uri), iat and exp.

// The longest lifetime Google accepts for an assertion, in seconds.
inline constexpr qint64 kJwtLifetimeSeconds = 3600;

// Base64url without padding, as JWTs use it.
QByteArray base64Url(const QByteArray& data);

// The signed assertion issued at issuedAt (seconds since 1970, UTC); empty when signing failed.
QByteArray signedAssertion(const ServiceAccountKey& key, qint64 issuedAt);

// The body of the token request (application/x-www-form-urlencoded) for the assertion.
QByteArray tokenRequestBody(const QByteArray& assertion);
