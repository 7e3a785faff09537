#pragma once

#include "announce/core/announce_sender.h"
#include "catalogue/core/engine_catalogue.h"

#include <QList>
#include <QStringList>

// The engines to announce pages to: every engine of currentList (the current list's lines, in
// their order; the first engine of each title) that takes the IndexNow key, with the endpoint
// its catalogue entry names as Url, the key it is sent as its option (OptVal1, as a submission
// sends it), its Shares group, and the key file at the host's root.
QList<AnnounceTarget> indexNowTargets(const Engine_Type& catalogue, const QStringList& currentList);
