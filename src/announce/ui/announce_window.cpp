#include "announce/ui/announce_window.h"

#include "common/ui/discarded_user_settings.h"

#include <QApplication>
#include <QBrush>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSplitter>
#include <QTableView>
#include <QThreadPool>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

// "1 batch", "2 batches".
QString counted(qsizetype count, QStringView one, QStringView many) {
    return QString::number(count) + QLatin1Char(' ') + (count == 1 ? one : many);
}

constexpr qint64 kRobotsMaxBytes = 512 * 1024;

// The site's origin, scheme://host[:port], or empty when siteUrl is not a web address.
QString originOf(const QString& siteUrl) {
    const QUrl site(siteUrl.trimmed(), QUrl::TolerantMode);
    if (!site.isValid() || (site.scheme() != "http"_L1 && site.scheme() != "https"_L1) || site.host().isEmpty())
        return {};
    return site.adjusted(QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment | QUrl::RemoveUserInfo)
        .toString(QUrl::FullyEncoded);
}

} // namespace

void GatheredPagesModel::show(const PageGathering* gathering, const QDateTime& changedSince) {
    beginResetModel();
    m_gathering = gathering;
    m_changedSince = changedSince;
    endResetModel();
}

int GatheredPagesModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !m_gathering ? 0 : static_cast<int>(m_gathering->pages().size());
}

int GatheredPagesModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant GatheredPagesModel::data(const QModelIndex& index, int role) const {
    if (!m_gathering || index.row() < 0 || index.row() >= m_gathering->pages().size())
        return {};
    const GatheredPage& page = m_gathering->pages().at(index.row());
    const bool accepted = page.status == GatheredPage::Status::Accepted;
    const bool leftOut =
        accepted && m_changedSince.isValid() && page.lastmod.isValid() && page.lastmod < m_changedSince;
    if (role == Qt::ForegroundRole && (!accepted || leftOut))
        return QBrush(page.status == GatheredPage::Status::Refused ? QColor(0x99, 0, 0) : QColor(0x70, 0x70, 0x70));
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    switch (index.column()) {
    case AddressColumn:
        return page.address;
    case LastmodColumn:
        return page.lastmod.isValid() ? page.lastmod.toString(Qt::ISODate) : QString();
    case StatusColumn:
        switch (page.status) {
        case GatheredPage::Status::Duplicate:
            return u"Duplicate (removed)"_s;
        case GatheredPage::Status::Refused:
            return QString(u"Refused: "_s + page.reason);
        case GatheredPage::Status::Accepted:
            if (leftOut)
                return u"Not changed since the date: left out"_s;
            return m_gathering->hosts().at(page.host).foreign ? u"To announce (another host than the site's)"_s
                                                              : u"To announce"_s;
        }
    }
    return {};
}

QVariant GatheredPagesModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const char* const kHeaders[ColumnCount] = {"Address", "Last modified", "Status"};
    return section >= 0 && section < ColumnCount ? QString::fromLatin1(kHeaders[section]) : QVariant();
}

void GatheredHostsModel::show(const PageGathering* gathering) {
    beginResetModel();
    m_gathering = gathering;
    endResetModel();
}

int GatheredHostsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !m_gathering ? 0 : static_cast<int>(m_gathering->hosts().size());
}

int GatheredHostsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant GatheredHostsModel::data(const QModelIndex& index, int role) const {
    if (!m_gathering || index.row() < 0 || index.row() >= m_gathering->hosts().size())
        return {};
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    const HostCount& host = m_gathering->hosts().at(index.row());
    switch (index.column()) {
    case HostColumn:
        return host.host;
    case PagesColumn:
        return QString::number(host.accepted);
    case DuplicatesColumn:
        return QString::number(host.duplicates);
    case NoteColumn:
        return host.foreign ? u"Not the Site URL's host: the engines refuse it unless it serves the key too."_s
                            : QString();
    }
    return {};
}

QVariant GatheredHostsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const char* const kHeaders[ColumnCount] = {"Host", "Pages", "Duplicates", "Note"};
    return section >= 0 && section < ColumnCount ? QString::fromLatin1(kHeaders[section]) : QVariant();
}

AnnounceWindow::AnnounceWindow(Fetcher& fetcher, QWidget* parent)
    : QWidget(parent, Qt::Window), m_fetcher(fetcher), m_fileDialog(askAddressFileName) {
    setObjectName(u"AnnounceWindow"_s);
    setWindowTitle(u"Announce Pages"_s);
    // Only the main window's closing ends the program, even while this window is open.
    setAttribute(Qt::WA_QuitOnClose, false);
    resize(640, 560);

    m_sitemaps = new SitemapGatherer(m_fetcher, SitemapLimits{}, this);
    m_sender = new AnnounceSender(m_fetcher, m_clock, this);
    createControls();

    connect(m_sitemaps, &SitemapGatherer::progress, this, [this](int read, int known, qsizetype addresses) {
        m_progress->setRange(0, known);
        m_progress->setValue(read);
        m_summary->setText(u"Reading sitemaps: %1 of %2 read, %3 addresses."_s.arg(
            QString::number(read), QString::number(known), QString::number(addresses)));
    });
    connect(m_sitemaps, &SitemapGatherer::finished, this, &AnnounceWindow::sitemapsRead);
    connect(m_sender, &AnnounceSender::progress, this, [this](int done, int total) {
        m_progress->setRange(0, std::max(total, 1));
        m_progress->setValue(done);
    });
    connect(m_sender, &AnnounceSender::waiting, this, [this](int secondsLeft, const QString& why) {
        m_waiting->setText(u"%1 Sending again in %2 s."_s.arg(why, QString::number(secondsLeft)));
    });
    connect(m_sender, &AnnounceSender::recorded, this, [this] {
        m_waiting->clear();
        emit recordWritten(static_cast<int>(m_sender->results().records.size()) - 1);
    });
    connect(m_sender, &AnnounceSender::finished, this, [this] {
        m_waiting->clear();
        int ok = 0;
        int failed = 0;
        for (const ResultRecord& record : m_sender->results().records)
            (record.verdict == ResultRecord::Verdict::Ok ? ok : failed) += 1;
        addMessage(u"%1: %2 answered OK, %3 not (Run > Results… shows each answer)."_s.arg(
            m_sender->wasCancelled() ? u"Cancelled"_s : u"Done"_s, counted(ok, u"batch", u"batches"),
            QString::number(failed)));
        updateControls();
        emit announcementFinished();
    });
    showPages();
}

AnnounceWindow::~AnnounceWindow() = default;

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
    m_pages->setColumnWidth(GatheredPagesModel::AddressColumn, 300);
    m_pages->setColumnWidth(GatheredPagesModel::LastmodColumn, 150);
    m_pages->horizontalHeader()->setStretchLastSection(true);
    m_hostsModel = new GatheredHostsModel(this);
    m_hosts = table("HostsTable", m_hostsModel);
    m_hosts->setColumnWidth(GatheredHostsModel::HostColumn, 200);
    m_hosts->setColumnWidth(GatheredHostsModel::PagesColumn, 60);
    m_hosts->setColumnWidth(GatheredHostsModel::DuplicatesColumn, 70);
    m_hosts->horizontalHeader()->setStretchLastSection(true);
    m_summary = new QLabel(this);
    m_summary->setObjectName(u"PagesSummary"_s);

    m_filter = new QCheckBox(u"Only pages changed since"_s, this);
    m_filter->setObjectName(u"ChangedSinceFilter"_s);
    m_since = new QDateEdit(QDate::currentDate().addDays(-7), this);
    m_since->setObjectName(u"ChangedSince"_s);
    m_since->setCalendarPopup(true);
    m_since->setDisplayFormat(u"yyyy-MM-dd"_s);
    m_since->setAccessibleName(m_filter->text());
    m_since->setEnabled(false);
    connect(m_filter, &QCheckBox::toggled, m_since, &QWidget::setEnabled);
    connect(m_filter, &QCheckBox::toggled, this, &AnnounceWindow::showPages);
    connect(m_since, &QDateEdit::dateChanged, this, [this] {
        if (m_filter->isChecked())
            showPages();
    });
    m_oneOfGroup = new QRadioButton(u"One engine of each shared group"_s, this);
    m_oneOfGroup->setObjectName(u"OneOfSharedGroup"_s);
    m_oneOfGroup->setChecked(true);
    m_allEngines = new QRadioButton(u"Every engine"_s, this);
    m_allEngines->setObjectName(u"EveryEngine"_s);

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

    auto* options = new QHBoxLayout;
    options->addWidget(m_filter);
    options->addWidget(m_since);
    options->addStretch(1);
    options->addWidget(m_oneOfGroup);
    options->addWidget(m_allEngines);
    auto* sendRow = new QHBoxLayout;
    sendRow->addWidget(m_progress, 1);
    sendRow->addWidget(m_announce);
    sendRow->addWidget(m_cancel);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addLayout(gather);
    layout->addWidget(lists, 1);
    layout->addWidget(m_summary);
    layout->addLayout(options);
    layout->addWidget(m_waiting);
    layout->addLayout(sendRow);
    updateControls();
}

void AnnounceWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    offerSitemaps();
}

void AnnounceWindow::offerSitemaps() {
    const QString origin = originOf(m_inputs ? m_inputs().siteUrl : QString());
    if (origin.isEmpty() || origin == m_robotsOrigin)
        return;
    const QString previousDefault = m_robotsOrigin.isEmpty() ? QString() : m_robotsOrigin + "/sitemap.xml"_L1;
    const QString typed = m_sitemap->currentText();
    m_robotsOrigin = origin;
    m_sitemap->clear();
    m_sitemap->addItem(origin + "/sitemap.xml"_L1);
    if (!typed.isEmpty() && typed != previousDefault)
        m_sitemap->setEditText(typed);

    m_fetcher.cancel(m_robotsRequest);
    FetchRequest request;
    request.url = QUrl(origin + "/robots.txt"_L1);
    request.maxBodyBytes = kRobotsMaxBytes;
    m_robotsRequest = m_fetcher.fetch(request, this, [this, url = request.url, origin](const FetchReply& reply) {
        if (origin != m_robotsOrigin || reply.httpStatus != 200)
            return;
        const QStringList listed = robotsSitemaps(reply.body, url);
        for (const QString& sitemap : listed) {
            if (m_sitemap->findText(sitemap) < 0)
                m_sitemap->addItem(sitemap);
        }
        if (!listed.isEmpty())
            addMessage(
                u"The site's robots.txt lists %1 sitemaps: they are offered in the Sitemap box."_s.arg(listed.size()));
    });
}

void AnnounceWindow::ensureGathering() {
    if (m_gathering && !m_gathering->pages().isEmpty())
        return;
    // The Site URL of the moment decides which hosts are the site's.
    m_gathering = std::make_unique<PageGathering>(m_inputs ? m_inputs().siteUrl : QString());
    showPages();
}

void AnnounceWindow::take(const QList<SitemapEntry>& entries) {
    ensureGathering();
    if (!m_gathering->add(entries))
        addMessage(m_gathering->limitMessage());
    showPages();
}

void AnnounceWindow::addTyped() {
    if (busy())
        return;
    QList<SitemapEntry> entries;
    const QStringList lines = m_typed->toPlainText().split(u'\n');
    for (const QString& line : lines) {
        if (const QString address = line.trimmed(); !address.isEmpty())
            entries.append({address, {}});
    }
    take(entries);
    m_typed->clear();
}

void AnnounceWindow::addFromFile() {
    if (busy())
        return;
    const QString path = m_fileDialog(this, m_directory);
    if (path.isEmpty())
        return;
    ensureGathering();
    m_readingFile = true;
    updateControls();
    m_summary->setText(u"Reading %1…"_s.arg(path));
    const qsizetype budget = m_gathering->remaining();
    // Read on a worker thread; the answer comes back through the application object, which
    // outlives the window, and is dropped when the window is gone.
    QThreadPool::globalInstance()->start([window = QPointer<AnnounceWindow>(this), path, budget] {
        QString error;
        SitemapContent content = readAddressFileAt(path, budget, &error);
        QMetaObject::invokeMethod(
            qApp,
            [window, path, content = std::move(content), error] {
                if (window)
                    window->fileRead(path, content, error);
            },
            Qt::QueuedConnection);
    });
}

void AnnounceWindow::fileRead(const QString& path, const SitemapContent& content, const QString& error) {
    m_readingFile = false;
    if (!error.isEmpty())
        addMessage(error);
    else if (!content.error.isEmpty())
        addMessage(u"%1: %2"_s.arg(path, content.error));
    if (content.kind == SitemapContent::Kind::Index) {
        for (const QString& child : content.childSitemaps) {
            if (m_sitemap->count() < 1000 && m_sitemap->findText(child) < 0)
                m_sitemap->addItem(child);
        }
        addMessage(u"%1 is a sitemap index of %2 sitemaps: they are offered in the Sitemap box."_s.arg(
            path, QString::number(content.childSitemaps.size())));
    }
    if (!content.pages.isEmpty())
        addMessage(u"%1: %2 addresses."_s.arg(path, QString::number(content.pages.size())));
    take(content.pages);
    updateControls();
}

void AnnounceWindow::addFromSitemap() {
    if (busy())
        return;
    const QUrl url(m_sitemap->currentText().trimmed(), QUrl::StrictMode);
    if (!url.isValid() || (url.scheme() != "http"_L1 && url.scheme() != "https"_L1) || url.host().isEmpty()) {
        addMessage(u"The sitemap's address must be a web address starting with http:// or https://."_s);
        return;
    }
    ensureGathering();
    m_sitemaps->start(url, m_gathering->remaining());
    updateControls();
}

void AnnounceWindow::sitemapsRead() {
    for (const QString& message : m_sitemaps->messages())
        addMessage(message);
    addMessage(u"Read %1 sitemaps: %2 addresses."_s.arg(QString::number(m_sitemaps->sitemapsRead()),
                                                        QString::number(m_sitemaps->pages().size())));
    take(m_sitemaps->pages());
    updateControls();
}

void AnnounceWindow::clearPages() {
    if (busy())
        return;
    m_gathering.reset();
    showPages();
}

QDateTime AnnounceWindow::changedSince() const {
    return m_filter->isChecked() ? QDateTime(m_since->date(), QTime(0, 0)) : QDateTime();
}

void AnnounceWindow::showPages() {
    if (!m_gathering)
        m_gathering = std::make_unique<PageGathering>();
    m_pagesModel->show(m_gathering.get(), changedSince());
    m_hostsModel->show(m_gathering.get());
    qsizetype leftOut = 0;
    qsizetype toAnnounce = 0;
    const QDateTime since = changedSince();
    if (since.isValid()) {
        for (const HostGroup& group : m_gathering->groups(since, &leftOut))
            toAnnounce += group.addresses.size();
    } else {
        toAnnounce = m_gathering->acceptedCount();
    }
    QString text = u"%1 addresses: %2 to announce, %3 duplicates removed, %4 refused"_s.arg(
        QString::number(m_gathering->pages().size()), QString::number(toAnnounce),
        QString::number(m_gathering->duplicateCount()), QString::number(m_gathering->refusedCount()));
    if (since.isValid())
        text += u", %1 not changed since %2"_s.arg(QString::number(leftOut), m_since->date().toString(Qt::ISODate));
    m_summary->setText(text + u'.');
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
    const QList<HostGroup> groups = m_gathering->groups(changedSince());
    if (groups.isEmpty()) {
        addMessage(u"No address to announce."_s);
        return;
    }
    const QList<AnnounceBatch> batches = makeBatches(groups);
    const QList<AnnounceTarget> targets =
        chooseTargets(inputs.engines.targets, m_allEngines->isChecked() ? SharedEngines::All : SharedEngines::OneOnly);
    qsizetype addresses = 0;
    for (const HostGroup& group : groups)
        addresses += group.addresses.size();
    QStringList titles;
    for (const AnnounceTarget& target : targets)
        titles.append(target.title);
    addMessage(u"Announcing %1 of %2 in %3 to %4."_s.arg(
        counted(addresses, u"address", u"addresses"), counted(groups.size(), u"host", u"hosts"),
        counted(batches.size(), u"batch", u"batches"), titles.join(u", "_s)));
    m_sender->start(planAnnouncement(batches, targets));
    emit announcementStarted();
    updateControls();
}

void AnnounceWindow::resendFailed() {
    if (busy() || !canResendFailed())
        return;
    const QList<AnnounceRequest> requests = requestsToResend(m_sender->results().records);
    addMessage(u"Sending again the %1 that did not succeed."_s.arg(counted(requests.size(), u"batch", u"batches")));
    m_sender->start(requests);
    emit announcementStarted();
    updateControls();
}

bool AnnounceWindow::canResendFailed() const {
    if (sending())
        return false;
    const QList<ResultRecord>& records = m_sender->results().records;
    return std::any_of(records.begin(), records.end(), [](const ResultRecord& record) {
        return record.isBatch() && record.failed() && !record.batchBody.isEmpty();
    });
}

void AnnounceWindow::cancel() {
    if (m_sitemaps->busy())
        m_sitemaps->cancel();
    else
        m_sender->cancel();
}

bool AnnounceWindow::busy() const {
    return m_readingFile || m_sitemaps->busy() || sending();
}

void AnnounceWindow::updateControls() {
    const bool idle = !busy();
    for (QWidget* control : {static_cast<QWidget*>(m_add), static_cast<QWidget*>(m_addFile),
                             static_cast<QWidget*>(m_clear), static_cast<QWidget*>(m_addSitemap)})
        control->setEnabled(idle);
    m_announce->setEnabled(idle && m_gathering && m_gathering->acceptedCount() > 0);
    m_cancel->setEnabled(m_sitemaps->busy() || sending());
}

void AnnounceWindow::addMessage(const QString& text) {
    m_messages->appendPlainText(text);
}

QStringList AnnounceWindow::messages() const {
    return m_messages->toPlainText().split(u'\n', Qt::SkipEmptyParts);
}

QString askAddressFileName(QWidget* parent, const QString& directory) {
    // Made first, so that it outlives the dialog: the dialog leaves no settings file behind.
    const DiscardedUserSettings noSettings;
    QFileDialog dialog(parent, u"Add From File"_s, directory);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters({u"Address lists and sitemaps (*.txt *.xml *.gz)"_s, u"All files (*)"_s});
    if (dialog.exec() != QDialog::Accepted)
        return {};
    const QStringList chosen = dialog.selectedFiles();
    return chosen.isEmpty() ? QString() : chosen.constFirst();
}
