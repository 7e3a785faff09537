#include "announce/ui/announce_window.h"

#include "announce/core/announce_texts.h"
#include "announce/ui/address_file_dialog.h"
#include "announce/ui/announce_choice_box.h"
#include "announce/ui/gathered_hosts_model.h"
#include "announce/ui/gathered_pages_model.h"
#include "history/core/history_store.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// The site's origin, scheme://host[:port], or empty when siteUrl is not a web address.
QString originOf(const QString& siteUrl) {
    const QUrl site(siteUrl.trimmed(), QUrl::TolerantMode);
    if (!site.isValid() || (site.scheme() != "http"_L1 && site.scheme() != "https"_L1) || site.host().isEmpty())
        return {};
    return site.adjusted(QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment | QUrl::RemoveUserInfo)
        .toString(QUrl::FullyEncoded);
}

bool askKeyFileQuestion(QWidget* parent, const QStringList& problems) {
    const QString text = problems.join(u'\n') +
                         u"\n\nThe engines refuse the pages of a host whose key file they cannot read. "
                         u"Announce anyway?"_s;
    return QMessageBox::question(parent, u"Announce Pages"_s, text, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

// The addresses of an announcement's batches, each once, in the order they were sent.
QList<QUrl> announcedPages(const RunResults& results) {
    QList<QUrl> pages;
    QSet<QString> seen;
    for (const ResultRecord& record : results.records) {
        if (!record.isBatch())
            continue;
        const QJsonArray list = QJsonDocument::fromJson(record.batchBody).object().value("urlList"_L1).toArray();
        for (const QJsonValue& value : list) {
            const QString address = value.toString();
            if (!address.isEmpty() && !seen.contains(address)) {
                seen.insert(address);
                pages.append(QUrl(address));
            }
        }
    }
    return pages;
}

} // namespace

AnnounceWindow::AnnounceWindow(Fetcher& fetcher, QWidget* parent)
    : QWidget(parent, Qt::Window), m_fetcher(fetcher), m_fileDialog(askAddressFileName),
      m_keyFileQuestion(askKeyFileQuestion) {
    setObjectName(u"AnnounceWindow"_s);
    setWindowTitle(u"Announce Pages"_s);
    // Only the main window's closing ends the program, even while this window is open.
    setAttribute(Qt::WA_QuitOnClose, false);
    resize(640, 560);

    m_job = new AnnounceJob(m_fetcher, m_clock, this);
    createControls();
    connectJob();
    showPages();
}

AnnounceWindow::~AnnounceWindow() = default;

void AnnounceWindow::connectJob() {
    connect(m_job, &AnnounceJob::message, this, [this](const QString& text) { addMessage(text); });
    connect(m_job, &AnnounceJob::gatheringProgress, this, [this](int read, int known, qsizetype addresses) {
        m_progress->setRange(0, std::max(known, 1));
        m_progress->setValue(read);
        m_summary->setText(u"Reading: %1 of %2 read, %3."_s.arg(QString::number(read), QString::number(known),
                                                                countedText(addresses, u"address", u"addresses")));
    });
    connect(m_job, &AnnounceJob::countsChanged, this, &AnnounceWindow::showPages);
    connect(m_job, &AnnounceJob::statesChanged, this, [this] {
        applyDefaultChoice();
        showPages();
    });
    connect(m_job, &AnnounceJob::idle, this, [this] {
        // The states worked out while gathering may show that the site has a history.
        applyDefaultChoice();
        showPages();
        updateControls();
    });
    connect(m_job, &AnnounceJob::sitemapsFound, this, [this](const QStringList& listed) {
        for (const QString& sitemap : listed) {
            if (m_sitemap->findText(sitemap) < 0)
                m_sitemap->addItem(sitemap);
        }
        if (!listed.isEmpty())
            addMessage(u"The site's robots.txt lists %1: they are offered in the Sitemap box."_s.arg(
                countedText(listed.size(), u"sitemap", u"sitemaps")));
    });
    connect(m_job, &AnnounceJob::keyFileQuestion, this, [this](const QStringList& problems) {
        // Asked once the signal has returned: the job is waiting for the answer.
        QMetaObject::invokeMethod(
            this, [this, problems] { m_job->answerKeyFileQuestion(m_keyFileQuestion(this, problems)); },
            Qt::QueuedConnection);
    });
    connect(m_job, &AnnounceJob::announcementStarted, this, [this] {
        emit announcementStarted();
        updateControls();
    });
    connect(m_job, &AnnounceJob::sendProgress, this, [this](int done, int total) {
        m_progress->setRange(0, std::max(total, 1));
        m_progress->setValue(done);
    });
    connect(m_job, &AnnounceJob::waiting, this, [this](int, const QString& text) { m_waiting->setText(text + u'.'); });
    connect(m_job, &AnnounceJob::recorded, this, [this](int index) {
        m_waiting->clear();
        emit recordWritten(index);
    });
    connect(m_job, &AnnounceJob::recordChanged, this, &AnnounceWindow::recordWritten);
    connect(m_job, &AnnounceJob::announcementFinished, this, [this] {
        m_waiting->clear();
        if (!m_job->results().records.isEmpty())
            addMessage(u"Run > Results… shows each answer."_s);
        // The pages just announced are unchanged now: their states are worked out afresh.
        if (remembers()) {
            m_stateKey.clear();
            applyStateTargets();
        }
        updateControls();
        emit announcementFinished();
    });
}

void AnnounceWindow::createControls() {
    const auto button = [this](const char* name, const QString& caption, void (AnnounceWindow::*handler)()) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QString::fromLatin1(name));
        connect(b, &QPushButton::clicked, this, handler);
        return b;
    };
    const auto table = [this](const char* name, QAbstractItemModel* model) {
        auto* view = new QTableView(this);
        view->setObjectName(QString::fromLatin1(name));
        view->setModel(model);
        view->setSelectionBehavior(QAbstractItemView::SelectRows);
        view->setEditTriggers(QAbstractItemView::NoEditTriggers);
        view->setWordWrap(false);
        view->verticalHeader()->setVisible(false);
        // Fixed row heights keep a list of a million addresses quick.
        view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
        view->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
        return view;
    };

    auto* typedCaption = new QLabel(u"Addresses, one a line:"_s, this);
    m_typed = new QPlainTextEdit(this);
    m_typed->setObjectName(u"TypedAddresses"_s);
    m_typed->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_typed->setTabChangesFocus(true);
    // Four lines show; the rest of the window is the list.
    m_typed->setFixedHeight(4 * m_typed->fontMetrics().lineSpacing() + 12);
    typedCaption->setBuddy(m_typed);
    m_typed->setAccessibleName(typedCaption->text());
    m_add = button("AddTyped", u"Add"_s, &AnnounceWindow::addTyped);
    m_addFile = button("AddFromFile", u"Add From File\u2026"_s, &AnnounceWindow::addFromFile);
    m_clear = button("ClearPages", u"Clear"_s, &AnnounceWindow::clearPages);

    auto* sitemapCaption = new QLabel(u"Sitemap:"_s, this);
    m_sitemap = new QComboBox(this);
    m_sitemap->setObjectName(u"SitemapAddress"_s);
    m_sitemap->setEditable(true);
    m_sitemap->setInsertPolicy(QComboBox::NoInsert);
    m_sitemap->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    sitemapCaption->setBuddy(m_sitemap);
    m_sitemap->setAccessibleName(sitemapCaption->text());
    m_sitemap->lineEdit()->setAccessibleName(sitemapCaption->text());
    m_addSitemap = button("AddFromSitemap", u"Add From Sitemap"_s, &AnnounceWindow::addFromSitemap);

    m_pagesModel = new GatheredPagesModel(this);
    m_pages = table("PagesTable", m_pagesModel);
    m_pages->setAccessibleName(u"Pages"_s);
    m_pages->setColumnWidth(GatheredPagesModel::AddressColumn, 300);
    m_pages->setColumnWidth(GatheredPagesModel::LastmodColumn, 150);
    m_pages->horizontalHeader()->setStretchLastSection(true);
    m_hostsModel = new GatheredHostsModel(this);
    m_hosts = table("HostsTable", m_hostsModel);
    m_hosts->setAccessibleName(u"Hosts"_s);
    m_hosts->setColumnWidth(GatheredHostsModel::HostColumn, 200);
    m_hosts->setColumnWidth(GatheredHostsModel::PagesColumn, 60);
    m_hosts->setColumnWidth(GatheredHostsModel::DuplicatesColumn, 70);
    m_hosts->horizontalHeader()->setStretchLastSection(true);
    m_summary = new QLabel(this);
    m_summary->setObjectName(u"PagesSummary"_s);

    m_states = new QLabel(this);
    m_states->setObjectName(u"PageStates"_s);
    m_states->setWordWrap(true);
    m_states->hide();

    m_choice = new AnnounceChoiceBox(this);
    connect(m_choice, &AnnounceChoiceBox::choiceChanged, this, &AnnounceWindow::applyChoice);

    m_oneOfGroup = new QRadioButton(u"One engine of each shared group"_s, this);
    m_oneOfGroup->setObjectName(u"OneOfSharedGroup"_s);
    m_oneOfGroup->setChecked(true);
    m_allEngines = new QRadioButton(u"Every engine"_s, this);
    m_allEngines->setObjectName(u"EveryEngine"_s);
    // The pages' states are kept per engine (or shared group): the engines chosen decide them.
    connect(m_allEngines, &QRadioButton::toggled, this, &AnnounceWindow::applyStateTargets);

    m_messages = new QPlainTextEdit(this);
    m_messages->setObjectName(u"AnnounceMessages"_s);
    m_messages->setReadOnly(true);
    m_messages->setAccessibleName(u"Messages"_s);
    m_messages->setMaximumBlockCount(2000);
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(u"AnnounceProgress"_s);
    m_progress->setValue(0);
    m_waiting = new QLabel(this);
    m_waiting->setObjectName(u"WaitCountdown"_s);
    m_announce = button("Announce", u"Announce"_s, &AnnounceWindow::announce);
    m_cancel = button("CancelAnnounce", u"Cancel"_s, &AnnounceWindow::cancel);
    m_checkGoogle = button("CheckGoogleIndex", u"Check Google's Index"_s, &AnnounceWindow::checkGoogleIndex);
    m_checkGoogle->setToolTip(u"Asks Google Search Console whether the selected pages are indexed (when none is "
                              u"selected, the pages of the last announcement)."_s);

    auto* gather = new QGridLayout;
    gather->addWidget(typedCaption, 0, 0, 1, 2);
    gather->addWidget(m_typed, 1, 0, 3, 1);
    gather->addWidget(m_add, 1, 1);
    gather->addWidget(m_addFile, 2, 1);
    gather->addWidget(m_clear, 3, 1, Qt::AlignTop);
    auto* sitemapRow = new QHBoxLayout;
    sitemapRow->addWidget(sitemapCaption);
    sitemapRow->addWidget(m_sitemap, 1);
    sitemapRow->addWidget(m_addSitemap);
    gather->addLayout(sitemapRow, 4, 0, 1, 2);

    auto* lists = new QSplitter(Qt::Vertical, this);
    lists->addWidget(m_pages);
    lists->addWidget(m_hosts);
    lists->addWidget(m_messages);
    lists->setStretchFactor(0, 4);
    lists->setStretchFactor(1, 1);
    lists->setStretchFactor(2, 1);

    auto* engines = new QVBoxLayout;
    engines->addStretch(1);
    engines->addWidget(m_oneOfGroup);
    engines->addWidget(m_allEngines);
    auto* options = new QHBoxLayout;
    options->addWidget(m_choice);
    options->addStretch(1);
    options->addLayout(engines);
    auto* sendRow = new QHBoxLayout;
    sendRow->addWidget(m_progress, 1);
    sendRow->addWidget(m_checkGoogle);
    sendRow->addWidget(m_announce);
    sendRow->addWidget(m_cancel);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addLayout(gather);
    layout->addWidget(lists, 1);
    layout->addWidget(m_summary);
    layout->addWidget(m_states);
    layout->addLayout(options);
    layout->addWidget(m_waiting);
    layout->addLayout(sendRow);
    updateControls();
}

void AnnounceWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    offerSitemaps();
    if (!busy()) {
        applyStateTargets();
        applyDefaultChoice();
    }
}

void AnnounceWindow::offerSitemaps() {
    const QString siteUrl = m_inputs ? m_inputs().siteUrl : QString();
    const QString origin = originOf(siteUrl);
    if (origin.isEmpty() || origin == m_robotsOrigin)
        return;
    const QString previousDefault = m_robotsOrigin.isEmpty() ? QString() : m_robotsOrigin + "/sitemap.xml"_L1;
    const QString typed = m_sitemap->currentText();
    m_robotsOrigin = origin;
    m_sitemap->clear();
    m_sitemap->addItem(origin + "/sitemap.xml"_L1);
    if (!typed.isEmpty() && typed != previousDefault)
        m_sitemap->setEditText(typed);
    m_job->findSitemaps(siteUrl);
}

void AnnounceWindow::setHistory(HistoryStore* history) {
    m_history = history;
    if (m_history)
        m_history->open(); // reads an existing history (never makes one), so that its states can be shown
    m_job->setHistory(history, HistoryJob::Face::Window);
    m_stateKey.clear();
    applyStateTargets();
    applyDefaultChoice();
    showPages();
}

void AnnounceWindow::applyStateTargets() {
    if (!m_inputs)
        return;
    const AnnounceInputs inputs = m_inputs();
    const SharedEngines mode = m_allEngines->isChecked() ? SharedEngines::All : SharedEngines::OneOnly;
    // The states are worked out again only when something they depend on changed.
    QStringList stateKey{inputs.siteUrl, QString::number(static_cast<int>(mode))};
    for (const AnnounceTarget& target : inputs.engines.targets)
        stateKey << target.title << target.shares;
    if (stateKey == m_stateKey)
        return;
    m_stateKey = stateKey;
    m_job->setSiteUrl(inputs.siteUrl);
    m_job->setStateTargets(inputs.engines.targets, mode);
}

void AnnounceWindow::applyChoice() {
    m_job->setChoice(m_choice->choice(), m_choice->changedSince());
}

bool AnnounceWindow::remembers() const {
    return m_history && m_history->isUsable();
}

void AnnounceWindow::applyDefaultChoice() {
    m_choice->setHistoryKept(remembers());
    if (!busy())
        m_choice->offerDefault(m_job->siteHasHistory());
}

void AnnounceWindow::gather(const AnnounceSource& source) {
    applyStateTargets();
    applyDefaultChoice();
    m_job->gather({source});
    showPages();
    updateControls();
}

void AnnounceWindow::addTyped() {
    if (busy())
        return;
    gather({AnnounceSource::Kind::Text, m_typed->toPlainText()});
    m_typed->clear();
}

void AnnounceWindow::addFromFile() {
    if (busy())
        return;
    const QString path = m_fileDialog(this, m_directory);
    if (path.isEmpty())
        return;
    m_summary->setText(u"Reading %1…"_s.arg(path));
    gather({AnnounceSource::Kind::File, path});
}

void AnnounceWindow::addFromSitemap() {
    if (busy())
        return;
    const QUrl url(m_sitemap->currentText().trimmed(), QUrl::StrictMode);
    if (!url.isValid() || (url.scheme() != "http"_L1 && url.scheme() != "https"_L1) || url.host().isEmpty()) {
        addMessage(u"The sitemap's address must be a web address starting with http:// or https://."_s);
        return;
    }
    gather({AnnounceSource::Kind::Web, url.toString(QUrl::FullyEncoded)});
}

void AnnounceWindow::clearPages() {
    if (busy())
        return;
    m_job->clear();
    showPages();
}

void AnnounceWindow::showStates() {
    if (!remembers() || m_job->phase() == AnnounceJob::Phase::Gathering || m_job->gathering().acceptedCount() == 0) {
        m_states->hide();
        return;
    }
    QString text = u"%1 new, %2 changed, %3 unchanged, %4 gone from the sitemap."_s.arg(
        QString::number(m_job->stateCount(PageState::New)), QString::number(m_job->stateCount(PageState::Changed)),
        QString::number(m_job->stateCount(PageState::Unchanged)), QString::number(m_job->stateCount(PageState::Gone)));
    const QString why = m_job->goneNotWorkedOut();
    if (!why.isEmpty())
        text += u' ' + why;
    m_states->setText(text);
    m_states->show();
}

void AnnounceWindow::showPages() {
    // While the job gathers, the worker thread writes the gathering: the tables show nothing.
    if (m_job->phase() == AnnounceJob::Phase::Gathering) {
        m_pagesModel->show(nullptr, false);
        m_hostsModel->show(nullptr, nullptr);
        showStates();
        return;
    }
    const PageGathering& gathering = m_job->gathering();
    m_counts = m_job->counts();
    AnnounceCounts& counts = m_counts;
    if (m_job->choice() == AnnounceChoice::NewOrChanged && remembers()) {
        // The pages the history finds new or changed, and the gone ones, are announced.
        counts.hostPages.fill(0, gathering.hosts().size());
        counts.toAnnounce = m_job->gonePages().size();
        for (qsizetype i = 0; i < gathering.pages().size(); ++i) {
            const GatheredPage& page = gathering.pages()[i];
            const PageState state = m_job->pageState(i).state;
            if (page.status == GatheredPage::Status::Accepted && state != PageState::Unchanged) {
                ++counts.hostPages[page.host];
                ++counts.toAnnounce;
            }
        }
    }
    const QDateTime since = m_job->changedSince();
    m_pagesModel->show(m_job, remembers());
    m_hostsModel->show(&gathering, &counts);
    // "New or changed" sends the pages in those states and the gone ones, not every page the date keeps.
    const qsizetype toAnnounce = remembers() && m_job->choice() == AnnounceChoice::NewOrChanged
                                     ? m_job->stateCount(PageState::New) + m_job->stateCount(PageState::Changed) +
                                           m_job->stateCount(PageState::Gone)
                                     : counts.toAnnounce;
    QString text = u"%1: %2 to announce, %3 removed, %4 refused"_s.arg(
        countedText(gathering.pages().size(), u"address", u"addresses"), QString::number(toAnnounce),
        countedText(gathering.duplicateCount(), u"duplicate", u"duplicates"),
        QString::number(gathering.refusedCount()));
    if (since.isValid() && m_job->choice() == AnnounceChoice::ChangedSince)
        text +=
            u", %1 not changed since %2"_s.arg(QString::number(counts.leftOut), m_choice->date().toString(Qt::ISODate));
    m_summary->setText(text + u'.');
    showStates();
    updateControls();
}

void AnnounceWindow::announce() {
    if (busy())
        return;
    const AnnounceInputs inputs = m_inputs ? m_inputs() : AnnounceInputs{};
    for (const QString& problem : inputs.engines.problems)
        addMessage(problem);
    if (inputs.engines.targets.isEmpty())
        return;
    m_job->setProfilePath(inputs.profilePath);
    m_job->announce(inputs.engines.targets, m_allEngines->isChecked() ? SharedEngines::All : SharedEngines::OneOnly);
    updateControls();
}

void AnnounceWindow::resendFailed() {
    m_job->resendFailed();
    updateControls();
}

void AnnounceWindow::cancel() {
    m_job->cancel();
}

void AnnounceWindow::setGoogleIndexCheck(std::function<void(const QList<QUrl>&)> check) {
    m_googleIndexCheck = std::move(check);
    updateControls();
}

QList<QUrl> AnnounceWindow::pagesToCheck() const {
    QList<QUrl> pages;
    QModelIndexList rows = m_pages->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end());
    for (const QModelIndex& row : std::as_const(rows)) {
        const QString address = m_pagesModel->announcedAddress(row.row());
        if (!address.isEmpty())
            pages.append(QUrl(address));
    }
    return pages.isEmpty() ? announcedPages(m_job->results()) : pages;
}

void AnnounceWindow::checkGoogleIndex() {
    if (!m_googleIndexCheck)
        return;
    const QList<QUrl> pages = pagesToCheck();
    if (pages.isEmpty()) {
        addMessage(u"Select the pages to check in the list, or announce them first."_s);
        return;
    }
    m_googleIndexCheck(pages);
}

void AnnounceWindow::updateControls() {
    const bool idle = !busy();
    for (QWidget* control : {static_cast<QWidget*>(m_add), static_cast<QWidget*>(m_addFile),
                             static_cast<QWidget*>(m_clear), static_cast<QWidget*>(m_addSitemap)})
        control->setEnabled(idle);
    m_announce->setEnabled(idle && m_job->gathering().acceptedCount() > 0);
    m_cancel->setEnabled(!idle);
    m_checkGoogle->setEnabled(static_cast<bool>(m_googleIndexCheck));
}

void AnnounceWindow::addMessage(const QString& text) {
    m_messages->appendPlainText(text);
}

QStringList AnnounceWindow::messages() const {
    return m_messages->toPlainText().split(u'\n', Qt::SkipEmptyParts);
}
