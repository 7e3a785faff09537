#pragma once

#include "common/ui/report_file_dialog.h"
#include "google/core/search_console_answers.h"
#include "platform/clock.h"
#include "profile/ui/profile_commands.h"

#include <QList>
#include <QString>
#include <QUrl>
#include <QWidget>
#include <memory>

class Fetcher;
class GoogleAccessToken;
class HistoryStore;
class IndexCheck;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;
class QTreeWidget;
class SearchConsoleClient;

// What the Google Search Console window needs from the main window.
class GoogleHost {
public:
    virtual ~GoogleHost() = default;

    // The Site URL as the Site Info page holds it now.
    virtual QString siteUrl() const = 0;
    // The profile's Google key file path; setting another one is a profile edit (File > Save).
    virtual QString googleKeyFile() const = 0;
    virtual void setGoogleKeyFile(const QString& path) = 0;
    // Where the file dialogs open.
    virtual const QString& startDirectory() const = 0;
};

// Run > Google Search Console… (objectName "GoogleWindow"): the service-account key file (only
// its path is kept, in the profile), Connect, which lists the account's properties and picks the
// one matching the Site URL (or lets the owner pick), the sitemaps Google has for the property
// with their state, and "Check Google's index" for the pages typed or pasted into it, with a
// table of the answers that Save Report As… writes. An access token in GOOGLE_OAUTH_ACCESS_TOKEN
// is used instead of the key when set. Every call runs without blocking the window; every
// failure is said in words. It is shown without modality.
class GoogleWindow final : public QWidget {
    Q_OBJECT

public:
    // host and fetcher must outlive the window.
    GoogleWindow(GoogleHost& host, Fetcher& fetcher, QWidget* parent = nullptr);
    ~GoogleWindow() override;

    // Shows the window in front; when it was hidden, the key file box shows the profile's.
    void showWindow();
    // Shows the profile's key file again (another profile was opened) and loads it.
    void reloadKeyFile();
    // Replace the dialogs (tests answer them without a person).
    void setKeyFileDialog(ProfileFileDialogFunction dialog) { m_keyDialog = std::move(dialog); }
    void setReportDialog(ReportFileDialogFunction dialog) { m_reportDialog = std::move(dialog); }

    // The property chosen; empty before a connection. propertyChanged() says when it changes.
    QString property() const;
    // The client of the connection, for announcements that submit sitemaps to the property.
    SearchConsoleClient& client() { return *m_client; }
    // Where the latest inspection of each page is kept (null: nowhere); must outlive the window.
    void setHistory(HistoryStore* history);
    // Shows the window and checks pages (connecting first when needed: the check starts once
    // a property is chosen).
    void checkPages(const QList<QUrl>& pages);
    const IndexCheck& indexCheck() const { return *m_check; }

    // The buttons' handlers.
    void chooseKeyFile();
    void connectToGoogle();
    void checkIndex();
    void saveReport();

signals:
    void propertyChanged();

private:
    // Takes the key file box's path: into the profile when it changed, and loaded.
    void useKeyFile(const QString& path);
    void loadKey();
    void propertyChosen();
    void showSitemaps(const SitemapList& list);
    void showInspection(int row, const UrlInspection& inspection);
    void updateButtons();

    GoogleHost& m_host;
    SystemClock m_clock;
    std::unique_ptr<GoogleAccessToken> m_token;
    std::unique_ptr<SearchConsoleClient> m_client;
    std::unique_ptr<IndexCheck> m_check;
    ProfileFileDialogFunction m_keyDialog = showProfileFileDialog;
    ReportFileDialogFunction m_reportDialog = askReportFileName;
    bool m_keyUsable = false;
    bool m_connecting = false;
    bool m_checkWhenConnected = false; // checkPages() waits for a property
    quint64 m_sitemapRequest = 0;      // the listing whose answer is shown; older ones are dropped

    QLineEdit* m_keyFile = nullptr;      // KeyFileEdit
    QLabel* m_keyStatus = nullptr;       // KeyStatus
    QPushButton* m_connect = nullptr;    // ConnectButton
    QComboBox* m_properties = nullptr;   // PropertyBox
    QLabel* m_connectStatus = nullptr;   // ConnectStatus
    QTreeWidget* m_sitemaps = nullptr;   // SitemapList
    QPlainTextEdit* m_pages = nullptr;   // PagesEdit
    QPushButton* m_checkIndex = nullptr; // CheckIndexButton
    QPushButton* m_saveReport = nullptr; // SaveReportButton
    QTableWidget* m_table = nullptr;     // IndexTable
    QLabel* m_checkStatus = nullptr;     // CheckStatus
};
