#pragma once

#include "catalogue/core/engine_catalogue.h"
#include "common/ui/report_file_dialog.h"
#include "google/ui/google_window.h"
#include "indexnow/ui/indexnow_key_window.h"
#include "profile/core/profile_snapshot.h"
#include "profile/ui/profile_commands.h"
#include "submit/core/run_controller.h"

#include <QMainWindow>
#include <array>
#include <functional>
#include <future>
#include <memory>

class AnnounceWindow;
class EngineDataPage;
class NetworkFetcher;
class ProfilePage;
class MessageLogView;
class QAction;
class QButtonGroup;
class QGroupBox;
class QToolButton;
class ResultsWindow;
class SubmitNowPage;
class TForm2;
class TForm3;
class WindowHistory;

// Asks a question with Yes and No buttons (No the default); true for Yes.
using QuestionFunction = std::function<bool(QWidget* parent, const QString& question)>;
bool askYesNo(QWidget* parent, const QString& question);

// The main window (Form1): five pages chosen by a column of page buttons, the File, Run and
// Help menus, and the message log under the pages. It owns the program-wide state: the start
// directory, the engine catalogue, the profile snapshot and (through the file commands) the
// current profile file name.
//
// The catalogue is read on a worker thread once the window is shown, so that a large Engine.dat
// does not hold up the first frame; its titles are listed as soon as it is read, and catalogue()
// waits for it (or reads it, when the window was never shown). Nothing else can reach an engine
// before then: the engine lists are empty until the titles arrive. Closing the window never
// waits for the reading: it is asked to stop and left to end by itself.
class TForm1 : public QMainWindow, public ProfileHost, private RunInputs, private IndexNowKeyHost, private GoogleHost {
    Q_OBJECT

public:
    // The pages, in the order of their buttons.
    enum Page { ContactInfo, SiteInfo, EngineData, SubmitNow, SpecialOffer, PageCount };

    // Creates the window and runs FormCreate: the start directory is the current directory,
    // and Engine.dat is read from it, or from the data folders when it has none.
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // The test window and the About box, created after this window (FormCreate does not use them).
    void setCompanionWindows(TForm2* testWindow, TForm3* aboutBox);

    MessageLogView* messageLog() const { return m_log; }
    QAction* saveAction() const { return m_save; }
    // The Results window, made at first use.
    ResultsWindow* resultsWindow();
    SubmitNowPage* submitNowPage() const { return m_submitNow; }
    ProfileCommands* profileCommands() const { return m_profileCommands; }

    // What the profile file commands need (see ProfileHost).
    void ClearData() override;
    void ReadData() override;
    const ProfileSnapshot& snapshot() const override { return m_snapshot; }
    void setFields(const ProfileFields& fields) override;
    // The engine catalogue, once it is read (waits for the reading to finish).
    Engine_Type& catalogue() override;
    void showCatalogue() override;
    void setSaveEnabled(bool enabled) override;
    void setCaption(const QString& caption) override;
    const QString& startDirectory() const override { return m_startDirectory; }
    QWidget* dialogParent() override { return this; }

    // The fields as the controls hold them now.
    ProfileFields currentFields() const;
    // Enables or disables the four page buttons other than Submit Now (during a run).
    void setPageButtonsEnabled(bool enabled);
    // Which page is shown.
    Page currentPage() const;

    // Page buttons.
    void SpeedButton1Click() { showPage(ContactInfo); }
    void SpeedButton2Click() { showPage(SiteInfo); }
    void SpeedButton3Click() { showPage(EngineData); }
    void SpeedButton4Click() { showPage(SubmitNow); }
    void SpeedButton12Click() { showPage(SpecialOffer); }
    // File > Exit: closes the window, asking nothing.
    void Exit1Click();
    // The Engine Data page's hidden Test button: shows the request URL of the available list's
    // focused engine in the test window.
    void Button1Click();
    // Help > About: disables this window and shows the About box, which enables it again when
    // it closes.
    void About1Click();
    // Run > Results…: shows the Results window; a double-click on an engine's log line shows
    // it with that engine's record selected.
    void showResults(int record = -1);
    // Run > Save Report As…: asks for a file name and writes the report of the job the Results
    // window shows (the last run, or a past job chosen there) (CSV or JSON by its extension); a
    // failed write is reported like a failed profile save.
    void saveReportAs();
    // Run > Submit Failed Again: shows the Submit Now page and runs the failed engines again; when
    // the results are an announcement's, sends its failed batches again instead. It works on the
    // past job chosen in the Results window, else on the last run, else (nothing run since the
    // start) on the profile's last Submit run in the history.
    void submitFailedAgain();
    // Run > Forget This Site's History: after a question, removes the Site URL's host's jobs and
    // pages from the history. Disabled while a job runs or when no history is kept.
    void forgetSiteHistory();
    // The window's history (see WindowHistory).
    WindowHistory& history() { return *m_history; }
    // Replaces the Yes/No question (tests answer it without a person).
    void setQuestion(QuestionFunction question) { m_question = std::move(question); }
    // Run > Announce Pages…: shows the Announce Pages window (made at its first use).
    void showAnnouncePages();
    // The Announce Pages window; nullptr until it was first shown.
    AnnounceWindow* announceWindow() const { return m_announce; }
    // The records the Results window, Save Report As… and Submit Failed Again work on: the last
    // run's, or the last announcement's when one was made since.
    const RunResults& lastResults() const;
    // The records the Results window shows: a past job's when one is chosen there, else lastResults().
    const RunResults& shownResults() const;
    // Replaces the report's file dialog (tests answer it without a person).
    void setReportFileDialog(ReportFileDialogFunction dialog) { m_reportDialog = std::move(dialog); }
    // Run > IndexNow Key…: shows the IndexNow Key window, made at its first use.
    void showIndexNowKeyWindow();
    // The IndexNow Key window; null until it was first shown.
    IndexNowKeyWindow* indexNowKeyWindow() const { return m_keyWindow; }
    // Run > Google Search Console…: shows the Google Search Console window, made at its first use.
    void showGoogleWindow();
    // The Google Search Console window; null until it was first shown.
    GoogleWindow* googleWindow() const { return m_googleWindow; }

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void startReadingCatalogue();
    void createMenu();
    void createPages();
    void showPage(Page page);
    // The Special Offer page, made at the first call.
    QGroupBox* offerPage();
    // The modified rule: any profile edit or engine choice enables File > Save.
    void markModified();
    void createRunMenu();
    // Enables the Run menu's items as the last run and the run state allow.
    void updateRunActions();
    // The record of the last run written on a log line, or −1.
    int recordOfLogLine(int line) const;
    // Which records the Results window and the Run menu work on.
    void showRunResults(bool announcement);
    void shareGoogleConnection();
    // The past job of id chosen in the Results window (-1: the last run).
    void showJob(qint64 id);
    // Lists the jobs in the Results window, when it is made.
    void listJobs();
    void runMenuAboutToShow();
    bool jobRunning() const;

    // What a run needs from the window.
    QStringList validationLines() const override;
    bool currentListEmpty() const override;
    Submit_Type buildSubmissionList() override;
    Submit_Type buildSubmissionList(const QStringList& titles) override;
    QString profilePath() const override;
    QStringList sharedGroupNotices(const QStringList& titles) const override;

    // What the IndexNow Key window needs.
    QStringList currentEngineLines() const override;
    QString siteUrl() const override;
    void engineOptionsChanged() override;

    // What the Google Search Console window needs.
    QString googleKeyFile() const override { return m_googleKeyFile; }
    void setGoogleKeyFile(const QString& path) override;

    QString m_startDirectory;
    QString m_catalogueDirectory; // the folder whose Engine.dat is read (see locateCatalogueFolder)
    Engine_Type m_catalogue;
    std::future<Engine_Type> m_catalogueReading; // valid while the catalogue is being read
    struct CatalogueReading;
    std::shared_ptr<CatalogueReading> m_catalogueReader; // shared with the reading thread
    bool m_catalogueTaken = false;
    ProfileSnapshot m_snapshot;

    QAction* m_save = nullptr; // Save1
    QAction* m_saveReport = nullptr;
    QAction* m_submitFailedAgain = nullptr;
    QAction* m_forget = nullptr;
    std::unique_ptr<WindowHistory> m_history;
    qint64 m_pastJob = -1;        // the past job the Results window shows; -1: the last run
    RunResults m_pastResults;     // its records
    bool m_historyFailed = false; // the profile's last Submit run in the history has failed engines
    QuestionFunction m_question = askYesNo;
    ResultsWindow* m_results = nullptr;
    NetworkFetcher* m_fetcher = nullptr; // the requests made beside the browser (key-file checks, announcing)
    IndexNowKeyWindow* m_keyWindow = nullptr;
    GoogleWindow* m_googleWindow = nullptr; // made at its first use
    QString m_googleKeyFile;                // the profile's, kept here as no page shows it
    QAction* m_announcePages = nullptr;
    AnnounceWindow* m_announce = nullptr; // made at its first use
    bool m_announcementResults = false;   // the last results are the announcement's
    ReportFileDialogFunction m_reportDialog = askReportFileName;
    QButtonGroup* m_pageButtons = nullptr;
    std::array<QToolButton*, PageCount> m_pageButton = {};
    std::array<QGroupBox*, PageCount> m_pages = {};
    std::array<ProfilePage*, 2> m_profilePages = {}; // Contact Info, Site Info
    EngineDataPage* m_engineData = nullptr;
    SubmitNowPage* m_submitNow = nullptr;
    ProfileCommands* m_profileCommands = nullptr;
    MessageLogView* m_log = nullptr;
    TForm2* m_testWindow = nullptr; // Form2
    TForm3* m_aboutBox = nullptr;   // Form3
};
