#pragma once

#include "catalogue/core/engine_catalogue.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QUrl>

// The IndexNow key: one secret the site owner sets up once. The site proves it is theirs by
// serving a text file named after the key and holding just the key; every engine that takes
// the key (see takesIndexNowKey) is sent it as the engine's typed option.

inline constexpr int kIndexNowKeyMinLength = 8;
inline constexpr int kIndexNowKeyMaxLength = 128;

// What is wrong with key as an IndexNow key, in one sentence for the user; empty when it is a
// valid key: 8 to 128 characters, each a letter a-z or A-Z, a digit or "-". A character outside
// that set is named first, since it must go whatever the length.
QString indexNowKeyProblem(const QString& key);

// A new key: 32 hexadecimal digits (128 bits) from the system's cryptographic random source.
QString generateIndexNowKey();

// The key file: its name "<key>.txt" and its contents, exactly the key's bytes without a line
// break. Meant for a valid key (which is plain ASCII).
QString indexNowKeyFileName(const QString& key);
QByteArray indexNowKeyFileBytes(const QString& key);

// Where the key file must be reachable for the site at siteUrl: the site's scheme and host
// (with its port, when the site URL names one), then "/<key>.txt". When siteUrl is not an
// http or https address with a host, url is empty and problem says so.
struct KeyFileAddress {
    QUrl url;
    QString problem;
};
KeyFileAddress indexNowKeyFileAddress(const QString& siteUrl, const QString& key);

// The caption of the option list in which an engine asks for the key.
inline constexpr QLatin1StringView kIndexNowKeyOptionTitle("IndexNow key");

// True for an engine whose first option list is titled "IndexNow key".
bool takesIndexNowKey(const Engine_Data& engine);

// The key in use: the typed option (Option1) of the first engine in currentList (the lines of
// the current list, in their order) that takes the key; empty when none does.
QString indexNowKeyInUse(const Engine_Type& catalogue, const QStringList& currentList);

// Gives every engine of the catalogue that takes the key (chosen or not) the key as its typed
// option, as chooseOption() stores a text typed into the engine's option box. Returns how many
// engines' choices changed (0 when all held the key already).
int applyIndexNowKey(Engine_Type& catalogue, const QString& key);
