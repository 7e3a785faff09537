#include "history/core/history_location.h"

#include <QDir>
#include <QUrl>
#include <QUrlQuery>

using namespace Qt::StringLiterals;

namespace {

bool isPostgresUrl(const QString& value) {
    return value.startsWith("postgresql://"_L1, Qt::CaseInsensitive) ||
           value.startsWith("postgres://"_L1, Qt::CaseInsensitive);
}

HistoryLocation postgresLocation(const QString& value) {
    HistoryLocation location;
    const QUrl url(value, QUrl::StrictMode);
    const QString database = url.path().mid(1);
    if (!url.isValid() || database.isEmpty() || database.contains(u'/')) {
        location.problem = u"The history address is not of the form postgresql://user@host:port/dbname."_s;
        return location;
    }
    location.kind = HistoryLocation::Kind::Postgres;
    location.host = url.host();
    location.port = url.port(-1);
    location.user = url.userName();
    location.password = url.password();
    location.database = database;
    const QUrlQuery query(url);
    for (const auto& [key, item] : query.queryItems(QUrl::FullyDecoded))
        location.options.append(key + u'=' + item);
    return location;
}

} // namespace

QString HistoryLocation::display() const {
    switch (kind) {
    case Kind::None:
        return {};
    case Kind::SqliteFile:
        return QDir::toNativeSeparators(path);
    case Kind::Postgres:
        break;
    }
    QUrl url;
    url.setScheme(u"postgresql"_s);
    url.setHost(host);
    url.setPort(port);
    url.setUserName(user);
    url.setPath(u'/' + database);
    return url.toString();
}

QString defaultHistoryPath(const QProcessEnvironment& env) {
    QString state = env.value(u"XDG_STATE_HOME"_s);
    if (!QDir::isAbsolutePath(state)) {
        const QString home = env.value(u"HOME"_s, QDir::homePath());
        state = home + u"/.local/state"_s;
    }
    return QDir::cleanPath(state + u"/torvane/history.sqlite"_s);
}

HistoryLocation historyLocation(const QString& explicitValue, bool noHistory, const QProcessEnvironment& env) {
    HistoryLocation location;
    if (noHistory)
        return location;
    QString value = explicitValue.trimmed();
    if (value.isEmpty())
        value = env.value(u"TORVANE_HISTORY"_s).trimmed();
    if (isPostgresUrl(value))
        return postgresLocation(value);
    location.kind = HistoryLocation::Kind::SqliteFile;
    location.path =
        value.isEmpty() ? defaultHistoryPath(env) : QDir::cleanPath(QDir::current().absoluteFilePath(value));
    return location;
}
