#pragma once

#include "announce/core/announce_sender.h"
#include "announce/core/announce_targets.h"
#include "announce/core/page_gathering.h"
#include "announce/core/sitemap_gatherer.h"
#include "common/ui/report_file_dialog.h"
#include "platform/clock.h"

#include <QAbstractTableModel>
#include <QDateTime>
#include <QWidget>
#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTableView;

// The gathered addresses as table rows: Address, Last modified, Status (what becomes of it).
class GatheredPagesModel final : public QAbstractTableModel {
public:
    enum Column { AddressColumn, LastmodColumn, StatusColumn, ColumnCount };

    explicit GatheredPagesModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}
    // gathering must outlive the model, or be replaced first. Pages last modified before
    // changedSince (when valid) are shown as left out.
    void show(const PageGathering* gathering, const QDateTime& changedSince);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    const PageGathering* m_gathering = nullptr;
    QDateTime m_changedSince;
};

// The hosts of the gathered addresses: Host, Pages, Duplicates, Note.
class GatheredHostsModel final : public QAbstractTableModel {
public:
    enum Column { HostColumn, PagesColumn, DuplicatesColumn, NoteColumn, ColumnCount };

    explicit GatheredHostsModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}
    void show(const PageGathering* gathering);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    const PageGathering* m_gathering = nullptr;
};

// What an announcement needs from the rest of the program, taken when it is needed.
struct AnnounceInputs {
    QString siteUrl;
    IndexNowTargets engines;
};

// The Announce Pages window (objectName "AnnounceWindow"): the user gathers addresses (typed or
// pasted, from a text or sitemap file, from a site's sitemaps), sees each with its lastmod and
// what becomes of it, and the counts per host, then announces them to the IndexNow engines of
// the current list in batches. Every request (robots.txt, sitemaps, batches) goes through the
// fetcher and answers later: the window never waits, and a file is read on a worker thread.
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

    bool busy() const;
    bool sending() const { return m_sender->state() != AnnounceSender::State::Idle; }
    bool canResendFailed() const;
    const RunResults& results() const { return m_sender->results(); }
    const PageGathering& gathering() const { return *m_gathering; }
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
    // Offers <origin>/sitemap.xml and the Sitemap: lines of the site's robots.txt.
    void offerSitemaps();
    void fileRead(const QString& path, const SitemapContent& content, const QString& error);
    void sitemapsRead();
    void take(const QList<SitemapEntry>& entries);
    void ensureGathering();
    void showPages();
    void updateControls();
    void addMessage(const QString& text);
    QDateTime changedSince() const;

    Fetcher& m_fetcher;
    SystemClock m_clock;
    std::function<AnnounceInputs()> m_inputs;
    ReportFileDialogFunction m_fileDialog;
    QString m_directory;
    std::unique_ptr<PageGathering> m_gathering;
    SitemapGatherer* m_sitemaps = nullptr;
    AnnounceSender* m_sender = nullptr;
    bool m_readingFile = false;
    QString m_robotsOrigin; // whose robots.txt was asked for
    Fetcher::RequestId m_robotsRequest = 0;

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
    QCheckBox* m_filter = nullptr;
    QDateEdit* m_since = nullptr;
    QRadioButton* m_oneOfGroup = nullptr;
    QRadioButton* m_allEngines = nullptr;
    QPlainTextEdit* m_messages = nullptr;
    QProgressBar* m_progress = nullptr;
    QLabel* m_waiting = nullptr;
    QPushButton* m_announce = nullptr;
    QPushButton* m_cancel = nullptr;
};

// The open dialog of Add From File…: text and sitemap files, or any file. Returns the full
// path, or an empty string when the user cancels.
QString askAddressFileName(QWidget* parent, const QString& directory);
