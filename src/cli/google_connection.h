#pragma once

#include <QString>
#include <memory>

struct CommandLine;
struct ProfileFields;
class Clock;
class Fetcher;
class GoogleAccessToken;
class SearchConsoleClient;

// Google Search Console for a command-line job: the access token in GOOGLE_OAUTH_ACCESS_TOKEN,
// else the service-account key of --google-key, else the profile's key file (a relative path
// taken from the profile's folder); then the account's property that matches the Site URL.
class GoogleConnection {
public:
    enum class Outcome {
        NoKey,     // neither a token nor a key file was given
        BadInput,  // the key file or the Site URL cannot be used
        Failed,    // Google refused, or no property matches the Site URL
        Connected, // client() and property() may be used
    };

    // fetcher and clock must outlive the connection.
    GoogleConnection(Fetcher& fetcher, const Clock& clock);
    ~GoogleConnection();

    // Signs in and picks the property, waiting in an event loop; *problem says why not (said
    // only, never holding key material). A key file readable by others is warned of on standard error.
    Outcome connect(const CommandLine& command, const ProfileFields& fields, QString* problem);

    SearchConsoleClient& client() { return *m_client; }
    const QString& property() const { return m_property; }

private:
    std::unique_ptr<GoogleAccessToken> m_token;
    std::unique_ptr<SearchConsoleClient> m_client;
    QString m_property;
};
