#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QUrl>

// The addresses of Google's Search Console API and the rules for which addresses Torvane
// sends a Google credential to.
//
// The two API bases are https://www.googleapis.com (properties and sitemaps) and
// https://searchconsole.googleapis.com (URL inspection). For tests, the environment variable
// TORVANE_GOOGLE_API names one local stand-in for both; plain http to a loopback address is then
// allowed as well.

inline constexpr const char* kGoogleApiEnvironment = "TORVANE_GOOGLE_API";
inline constexpr const char* kGoogleScope = "https://www.googleapis.com/auth/webmasters";

QString webmastersApiBase();    // "https://www.googleapis.com", or the stand-in
QString searchConsoleApiBase(); // "https://searchconsole.googleapis.com", or the stand-in

// True when a Google credential may be sent to url: https, or (only while TORVANE_GOOGLE_API is
// set) http to 127.0.0.1, ::1 or localhost.
bool isAllowedGoogleAddress(const QUrl& url);

// One part of an API path, every byte but letters, digits and "-._~" percent-encoded:
// "https://www.example.com/" -> "https%3A%2F%2Fwww.example.com%2F".
QByteArray encodedPathPart(const QString& text);

QUrl sitesAddress();                                               // GET: the account's properties
QUrl sitemapsAddress(const QString& property);                     // GET: a property's sitemaps
QUrl sitemapAddress(const QString& property, const QString& feed); // PUT: submit; GET: read back
QUrl inspectionAddress();                                          // POST: URL inspection

// The property that stands for siteUrl among properties: the URL-prefix property equal to it
// (a missing "/" after the host does not count), else "sc-domain:<host>" of its host, or of the
// host without "www.". Empty when none matches.
QString matchingProperty(const QStringList& properties, const QUrl& siteUrl);

// True when page lies in property: under the URL prefix, or on the domain or a subdomain of it.
bool propertyCovers(const QString& property, const QUrl& page);
