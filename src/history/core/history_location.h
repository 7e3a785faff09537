#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// Where the history of Submit runs and announcements is kept.
//
// By default an SQLite file, $XDG_STATE_HOME/torvane/history.sqlite (~/.local/state/torvane/
// when XDG_STATE_HOME is unset or not an absolute path). The environment variable
// TORVANE_HISTORY, or a value given on the command line, names another file or a PostgreSQL
// database as postgresql://user@host:port/dbname (postgres:// too; ?key=value pairs are passed
// to the server connection, e.g. sslmode=require). A password is taken from the URL when it
// holds one, else the PostgreSQL client library looks in PGPASSWORD and ~/.pgpass itself.
struct HistoryLocation {
    enum class Kind { None, SqliteFile, Postgres };

    Kind kind = Kind::None;
    QString path; // SqliteFile: the file

    // Postgres: the connection. An empty host or a port of -1 leave the client library's
    // defaults (PGHOST, PGPORT, the local socket).
    QString host;
    int port = -1;
    QString user;
    QString password; // only from the URL; never shown
    QString database;
    QStringList options; // "key=value" pairs from the URL's query

    // Why a value given could not be used (the kind is then None); empty otherwise.
    QString problem;

    // How messages name the history: the file's path, or the URL without its password.
    QString display() const;
};

// The history to use. explicitValue is the command line's file or URL (empty when none was
// given); noHistory asks for none. The order: noHistory, explicitValue, TORVANE_HISTORY in env,
// the default file. Nothing is made or read here.
HistoryLocation historyLocation(const QString& explicitValue = {}, bool noHistory = false,
                                const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment());

// The default file for env (see above).
QString defaultHistoryPath(const QProcessEnvironment& env);
