#pragma once

#include "announce/core/page_gathering.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// The most addresses one IndexNow request may carry.
inline constexpr qsizetype kMaxBatchAddresses = 10000;

// The Content-Type of an IndexNow batch request.
inline constexpr char kIndexNowContentType[] = "application/json; charset=utf-8";

// Addresses of one host sent in one request.
struct AnnounceBatch {
    QString host;
    QStringList addresses;
};

// Each host's addresses cut into batches of at most maxPerBatch, hosts in the groups' order.
QList<AnnounceBatch> makeBatches(const QList<HostGroup>& groups, qsizetype maxPerBatch = kMaxBatchAddresses);

// True when keyLocation names the key file at the host's root, <scheme>://<host>/<key>.txt (or
// is empty): engines look there by themselves, so the request need not say where it is.
bool keyFileAtRoot(const QString& keyLocation, const QString& host, const QString& key);

// The JSON body of an IndexNow batch request:
//   {"host":…,"key":…,"keyLocation":…,"urlList":[…]}
// with keyLocation only when the key file is not at the root.
QByteArray indexNowBody(const QString& host, const QString& key, const QString& keyLocation,
                        const QStringList& addresses);
