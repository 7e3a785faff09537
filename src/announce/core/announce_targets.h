#pragma once

#include "announce/core/announce_sender.h"
#include "catalogue/core/engine_catalogue.h"

#include <QList>
#include <QString>
#include <QStringList>

// The engines an announcement goes to, and why some engines of the list cannot take it.
struct IndexNowTargets {
    QList<AnnounceTarget> targets;
    QStringList problems; // one sentence per engine left out, and one when none is left
};

// The IndexNow engines of the current list (currentList: its lines, engine titles, in their
// order): every engine that takes the IndexNow key, with the catalogue's Url, the key typed as
// its option, its Shares group, and the key file's address for the site at siteUrl (see
// indexNowKeyFileAddress; empty when the Site URL is not a web address). An engine without a
// valid key or without an http(s) Url is left out with a problem saying so.
IndexNowTargets indexNowTargets(const Engine_Type& catalogue, const QStringList& currentList, const QString& siteUrl);
