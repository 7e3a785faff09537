#include "cli/google_connection.h"

#include "cli/command_line.h"
#include "cli/job_input.h"
#include "google/core/google_access_token.h"
#include "google/core/google_api.h"
#include "google/core/search_console_client.h"
#include "google/core/service_account_key.h"
#include "platform/text_codec.h"
#include "profile/core/profile_snapshot.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace {

// The key file to use: --google-key, else the profile's (a relative path there is taken from the
// profile's folder). Empty when there is none.
QString keyFilePath(const CommandLine& command, const ProfileFields& fields) {
    if (!command.googleKey.isEmpty())
        return command.googleKey;
    if (fields.Google_Key_File.isEmpty())
        return {};
    return QFileInfo(command.profile).absoluteDir().absoluteFilePath(fields.Google_Key_File);
}

} // namespace

GoogleConnection::GoogleConnection(Fetcher& fetcher, const Clock& clock)
    : m_token(std::make_unique<GoogleAccessToken>(fetcher, clock)),
      m_client(std::make_unique<SearchConsoleClient>(fetcher, *m_token, clock)) {}

GoogleConnection::~GoogleConnection() {
    m_client.reset(); // it answers through the token: it goes first
}

GoogleConnection::Outcome GoogleConnection::connect(const CommandLine& command, const ProfileFields& fields,
                                                    QString* problem) {
    m_property.clear();
    const QUrl siteUrl(fields.Site_URL.trimmed(), QUrl::StrictMode);
    if (!m_token->usesEnvironment()) {
        const QString keyPath = keyFilePath(command, fields);
        if (keyPath.isEmpty()) {
            *problem = u"No Google service-account key: give --google-key FILE, or choose the key file in Run > "
                       u"Google Search Console\u2026 and save the profile."_s;
            return Outcome::NoKey;
        }
        const ServiceAccountKey::Loaded loaded = ServiceAccountKey::load(keyPath);
        if (!loaded.key) {
            *problem = loaded.problem;
            return Outcome::BadInput;
        }
        if (!loaded.warning.isEmpty())
            printError(loaded.warning);
        m_token->setKey(loaded.key);
    }
    if (!siteUrl.isValid() || siteUrl.host().isEmpty()) {
        *problem = u"The profile's Site URL \"%1\" is not a web address: fill it in on the Site Info page."_s.arg(
            displayText(fields.Site_URL));
        return Outcome::BadInput;
    }

    QEventLoop loop;
    PropertyList properties;
    m_client->listProperties([&](const PropertyList& list) {
        properties = list;
        loop.quit();
    });
    loop.exec();
    if (!properties.problem.isEmpty()) {
        *problem = properties.problem;
        return Outcome::Failed;
    }
    m_property = matchingProperty(properties.siteUrls(), siteUrl);
    if (m_property.isEmpty()) {
        const QString shownList = properties.properties.isEmpty() ? u"none"_s : properties.siteUrls().join(u", "_s);
        *problem = u"No Search Console property of the account matches the Site URL %1 (the account has: %2). Add "
                   u"the service account as a user of the site's property in Search Console under Settings > Users "
                   u"and permissions."_s.arg(displayText(siteUrl.toString(QUrl::FullyEncoded)), displayText(shownList));
        return Outcome::Failed;
    }
    return Outcome::Connected;
}
