#pragma once

#include "announce/core/announce_job.h"
#include "announce/core/announce_targets.h"
#include "common/ui/report_file_dialog.h"
#include "platform/clock.h"

#include <QDateTime>
#include <QList>
#include <QUrl>
#include <QWidget>
#include <functional>

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTableView;
class AnnounceChoiceBox;
class GatheredHostsModel;
class GatheredPagesModel;
class HistoryStore;

// What an announcement needs from the rest of the program, taken when it is needed.
struct AnnounceInputs {
    QString siteUrl;
    IndexNowTargets engines;
    QString profilePath; // the open profile's file; empty when never saved
};

// Asks whether to announce although key files are missing (problems: one sentence each).
using KeyFileQuestionFunction = std::function<bool(QWidget* parent, const QStringList& problems)>;

// The Announce Pages window (objectName "AnnounceWindow"): the user gathers addresses (typed or
// pasted, from a text or sitemap file, from a site's sitemaps), sees each with its lastmod and
// what becomes of it, and the counts per host, then announces them to the IndexNow engines of
// the current list in batches. With a history, each page's state is shown (new, changed,
// unchanged, gone from the sitemap) and "What to announce" chooses between what is new or
// changed (the default once the site has a history), every page, and pages changed since a
// date. The announcement itself is an AnnounceJob (the same as the
// command line's): the window hands it what the user chose and shows its progress and records.
// The records of the last announcement are results(); the owner shows them with the run's.
class AnnounceWindow final : public QWidget {
    Q_OBJECT

public:
    // The fetcher must outlive the window.
    explicit AnnounceWindow(Fetcher& fetcher, QWidget* parent = nullptr);
    ~AnnounceWindow() override;

    // Where the Site URL, the engines and their keys come from.
    void setInputs(std::function<AnnounceInputs()> inputs) { m_inputs = std::move(inputs); }
    // Replaces the open dialog of Add From File… (tests answer it without a person).
    void setFileDialog(ReportFileDialogFunction dialog) { m_fileDialog = std::move(dialog); }
    void setStartDirectory(const QString& directory) { m_directory = directory; }
    // Replaces the question asked when a key file is missing (tests answer it without a person).
    void setKeyFileQuestion(KeyFileQuestionFunction question) { m_keyFileQuestion = std::move(question); }
    // The history the announcements are kept in and pages' states come from (nullptr: none).
    // It must outlive the window, or be replaced first.
    void setHistory(HistoryStore* history);
    // What Check Google's Index does with the pages (the Google window inspects them); the
    // button is disabled until it is set.
    void setGoogleIndexCheck(std::function<void(const QList<QUrl>&)> check);

    // Add: takes the typed lines as addresses.
    void addTyped();
    // Add From File…: asks for a file, then reads it (a list of addresses or a sitemap).
    void addFromFile();
    // Add From Sitemap: reads the sitemap (and for an index its sitemaps) named in the box.
    void addFromSitemap();
    // Clear: forgets every address gathered.
    void clearPages();
    // Announce: sends the batches to the engines.
    void announce();
    // Cancel: stops reading sitemaps, or the announcement (its unsent requests are recorded
    // as skipped).
    void cancel();
    // Sends once more the batches of the last announcement that did not succeed.
    void resendFailed();
    // Check Google's Index: hands the selected pages, or when none is selected the pages of the
    // last announcement, to the function given by setGoogleIndexCheck.
    void checkGoogleIndex();
    // The pages Check Google's Index would hand over now.
    QList<QUrl> pagesToCheck() const;

    bool busy() const { return m_job->busy(); }
    bool sending() const { return m_job->sending(); }
    bool canResendFailed() const { return m_job->canResendFailed(); }
    const RunResults& results() const { return m_job->results(); }
    // Not while the job gathers (see AnnounceJob::gathering).
    const PageGathering& gathering() const { return m_job->gathering(); }
    AnnounceJob& job() { return *m_job; }
    QStringList messages() const;

signals:
    // An announcement started: results() were replaced.
    void announcementStarted();
    // The record at index of results() was written.
    void recordWritten(int index);
    void announcementFinished();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void createControls();
    void connectJob();
    // Offers <origin>/sitemap.xml and the Sitemap: lines of the site's robots.txt.
    void offerSitemaps();
    void gather(const AnnounceSource& source);
    void showPages();
    void updateControls();
    void addMessage(const QString& text);
    // Gives the job the choice of What to announce.
    void applyChoice();
    // Until the user chooses, What to announce is "New or changed" when the site has a history
    // and "Every page" otherwise.
    void applyDefaultChoice();
    // A history is kept: the pages have states.
    bool remembers() const;
    // Gives the job the Site URL and the engines whose history decides the pages' states.
    void applyStateTargets();
    void showStates();

    Fetcher& m_fetcher;
    SystemClock m_clock;
    std::function<AnnounceInputs()> m_inputs;
    ReportFileDialogFunction m_fileDialog;
    KeyFileQuestionFunction m_keyFileQuestion;
    std::function<void(const QList<QUrl>&)> m_googleIndexCheck;
    QString m_directory;
    AnnounceJob* m_job = nullptr;
    QString m_robotsOrigin; // whose robots.txt was asked for
    HistoryStore* m_history = nullptr;
    AnnounceCounts m_counts; // as shown: under "new or changed", those the history decides
    QStringList m_stateKey;  // what the job's page states were last worked out for

    QPlainTextEdit* m_typed = nullptr;
    QPushButton* m_add = nullptr;
    QPushButton* m_addFile = nullptr;
    QPushButton* m_clear = nullptr;
    QComboBox* m_sitemap = nullptr;
    QPushButton* m_addSitemap = nullptr;
    GatheredPagesModel* m_pagesModel = nullptr;
    GatheredHostsModel* m_hostsModel = nullptr;
    QTableView* m_pages = nullptr;
    QTableView* m_hosts = nullptr;
    QLabel* m_summary = nullptr;
    QLabel* m_states = nullptr;
    AnnounceChoiceBox* m_choice = nullptr;
    QRadioButton* m_oneOfGroup = nullptr;
    QRadioButton* m_allEngines = nullptr;
    QPlainTextEdit* m_messages = nullptr;
    QProgressBar* m_progress = nullptr;
    QLabel* m_waiting = nullptr;
    QPushButton* m_announce = nullptr;
    QPushButton* m_cancel = nullptr;
    QPushButton* m_checkGoogle = nullptr;
};
