#pragma once

#include "submit/core/result_record.h"

#include <QDateTime>
#include <QList>
#include <QString>

// The values the history keeps and gives back.

// One Submit run or announcement.
struct HistoryJob {
    enum class Kind { Submit, Announcement };
    enum class Face { Window, CommandLine };

    qint64 id = -1;
    Kind kind = Kind::Submit;
    Face face = Face::Window;
    QDateTime started;  // when written: now when invalid; read back in local time
    QDateTime finished; // null while going (or when the job was cut short)
    QString profilePath;
    QString siteHost;          // the Site URL's host, lower case
    QString dateRule;          // how pages were chosen by date ("every page", "since 2026-12-01", …)
    QStringList sharedNotices; // as RunResults has them
    // Filled by listings: how many records said OK, ERROR and SKIPPED.
    int okCount = 0;
    int errorCount = 0;
    int skippedCount = 0;
};

// A page of an announcement as the history sees it.
struct HistoryPage {
    QString address;
    QDateTime lastmod; // invalid when the sitemap gave none
    bool gone = false; // sent because it left the sitemap
};

// Where one engine of a site stands: its last Submit and its last announcement.
struct EngineStanding {
    QString title;
    ResultRecord::Verdict submitVerdict = ResultRecord::Verdict::Pending; // Pending: never submitted
    QDateTime submitTime;
    ResultRecord::Verdict announceVerdict = ResultRecord::Verdict::Pending; // Pending: never announced
    QDateTime announceTime;
};
