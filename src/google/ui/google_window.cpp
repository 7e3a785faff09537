#include "google/ui/google_window.h"

#include "common/ui/error_report.h"
#include "common/ui/form_controls.h"
#include "common/ui/widget_placement.h"
#include "google/core/google_access_token.h"
#include "google/core/google_api.h"
#include "google/core/index_check.h"
#include "google/core/search_console_client.h"
#include "google/core/service_account_key.h"
#include "platform/text_codec.h"
#include "submit/core/run_report.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

QString timeText(const QDateTime& time) {
    return time.isNull() ? QString() : time.toUTC().toString(u"yyyy-MM-dd HH:mm 'UTC'"_s);
}

// A sitemap's state in a few words: pending, errors and warnings, what it lists.
QString sitemapStateText(const SitemapState& state) {
    QStringList parts;
    if (state.isPending)
        parts.append(u"processing pending"_s);
    parts.append(u"%1 errors, %2 warnings"_s.arg(QString::number(state.errors), QString::number(state.warnings)));
    for (const SitemapTypeCount& content : state.contents)
        parts.append(u"%1: %2 submitted"_s.arg(displayText(content.type), QString::number(content.submitted)));
    if (state.isSitemapsIndex)
        parts.append(u"a sitemap index"_s);
    return parts.join(u"; "_s);
}

} // namespace

GoogleWindow::GoogleWindow(GoogleHost& host, Fetcher& fetcher, QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      m_host(host), m_token(std::make_unique<GoogleAccessToken>(fetcher, m_clock)),
      m_client(std::make_unique<SearchConsoleClient>(fetcher, *m_token, m_clock)),
      m_check(std::make_unique<IndexCheck>(*m_client)) {
    setObjectName(u"GoogleWindow"_s);
    setWindowTitle(u"Google Search Console"_s);
    // Only the main window's closing ends the program.
    setAttribute(Qt::WA_QuitOnClose, false);

    auto* keyCaption = new QLabel(u"Service-account key file:"_s, this);
    m_keyFile = new QLineEdit(this);
    m_keyFile->setObjectName(u"KeyFileEdit"_s);
    labelControl(keyCaption, m_keyFile);
    QPushButton* choose = addButton(this, "ChooseKeyButton", u"Choose\u2026"_s);
    m_keyStatus = addTextLabel(this, "KeyStatus");

    m_connect = addButton(this, "ConnectButton", u"Connect"_s);
    auto* propertyCaption = new QLabel(u"Property:"_s, this);
    m_properties = new QComboBox(this);
    m_properties->setObjectName(u"PropertyBox"_s);
    labelControl(propertyCaption, m_properties);
    m_connectStatus = addTextLabel(this, "ConnectStatus");
    auto* sitemapsCaption = new QLabel(u"Sitemaps Google has for the property:"_s, this);
    m_sitemaps = new QTreeWidget(this);
    m_sitemaps->setObjectName(u"SitemapList"_s);
    m_sitemaps->setRootIsDecorated(false);
    m_sitemaps->setHeaderLabels({u"Sitemap"_s, u"Submitted"_s, u"Downloaded"_s, u"State"_s});
    labelControl(sitemapsCaption, m_sitemaps);

    auto* pagesCaption = new QLabel(u"Pages to check, one address a line:"_s, this);
    m_pages = new QPlainTextEdit(this);
    m_pages->setObjectName(u"PagesEdit"_s);
    m_pages->setTabChangesFocus(true);
    m_pages->setFixedHeight(72);
    labelControl(pagesCaption, m_pages);
    m_checkIndex = addButton(this, "CheckIndexButton", u"Check Google's Index"_s);
    m_saveReport = addButton(this, "SaveReportButton", u"Save Report As\u2026"_s);
    QPushButton* close = addButton(this, "CloseButton", u"Close"_s);
    auto* tableCaption = new QLabel(u"Google's index status:"_s, this);
    m_table = new QTableWidget(0, 5, this);
    m_table->setObjectName(u"IndexTable"_s);
    m_table->setHorizontalHeaderLabels(
        {u"Page"_s, u"Indexed"_s, u"Coverage"_s, u"Last crawl"_s, u"Google's canonical"_s});
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    labelControl(tableCaption, m_table);
    m_checkStatus = addTextLabel(this, "CheckStatus");

    auto* keyRow = new QHBoxLayout;
    keyRow->addWidget(keyCaption);
    keyRow->addWidget(m_keyFile, 1);
    keyRow->addWidget(choose);
    auto* connectRow = new QHBoxLayout;
    connectRow->addWidget(m_connect);
    connectRow->addWidget(propertyCaption);
    connectRow->addWidget(m_properties, 1);
    auto* checkRow = new QHBoxLayout;
    checkRow->addWidget(m_checkIndex);
    checkRow->addWidget(m_saveReport);
    checkRow->addStretch(1);
    checkRow->addWidget(close);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addLayout(keyRow);
    layout->addWidget(m_keyStatus);
    layout->addWidget(addRule(this));
    layout->addLayout(connectRow);
    layout->addWidget(m_connectStatus);
    layout->addWidget(sitemapsCaption);
    layout->addWidget(m_sitemaps, 1);
    layout->addWidget(addRule(this));
    layout->addWidget(pagesCaption);
    layout->addWidget(m_pages);
    layout->addLayout(checkRow);
    layout->addWidget(tableCaption);
    layout->addWidget(m_table, 2);
    layout->addWidget(m_checkStatus);
    resize(640, 620);

    connect(choose, &QPushButton::clicked, this, &GoogleWindow::chooseKeyFile);
    connect(m_keyFile, &QLineEdit::editingFinished, this, [this] { useKeyFile(m_keyFile->text().trimmed()); });
    connect(m_connect, &QPushButton::clicked, this, &GoogleWindow::connectToGoogle);
    connect(m_properties, &QComboBox::currentIndexChanged, this, &GoogleWindow::propertyChosen);
    connect(m_checkIndex, &QPushButton::clicked, this, &GoogleWindow::checkIndex);
    connect(m_saveReport, &QPushButton::clicked, this, &GoogleWindow::saveReport);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    connect(m_pages, &QPlainTextEdit::textChanged, this, &GoogleWindow::updateButtons);

    m_check->setPageDone([this](int row, const UrlInspection& inspection) { showInspection(row, inspection); });
    m_check->setFinished([this] {
        m_checkStatus->setText(m_check->summary());
        updateButtons();
    });
    updateButtons();
}

GoogleWindow::~GoogleWindow() {
    // Hiding the window as it goes ends the key box's editing, which must not reach the key.
    disconnect(m_keyFile, nullptr, this, nullptr);
    disconnect(m_properties, nullptr, this, nullptr);
    // The check and the client answer into this window: they go first.
    m_check.reset();
    m_client.reset();
}

void GoogleWindow::showWindow() {
    if (isHidden())
        reloadKeyFile();
    show();
    raise();
    activateWindow();
}

void GoogleWindow::reloadKeyFile() {
    m_keyFile->setText(QDir::toNativeSeparators(m_host.googleKeyFile()));
    loadKey();
}

QString GoogleWindow::property() const {
    return m_properties->currentIndex() >= 0 ? m_properties->currentText() : QString();
}

void GoogleWindow::setHistory(HistoryStore* history) {
    m_check->setHistory(history);
}

void GoogleWindow::checkPages(const QList<QUrl>& pages) {
    showWindow();
    QStringList lines;
    for (const QUrl& page : pages)
        lines.append(page.toString(QUrl::FullyEncoded));
    m_pages->setPlainText(lines.join(u'\n'));
    if (pages.isEmpty())
        return;
    m_check->cancel();
    if (!property().isEmpty()) {
        checkIndex();
        return;
    }
    m_checkWhenConnected = true;
    if (!m_keyUsable) {
        m_checkStatus->setText(u"Choose the service-account key file and connect: the pages are checked then."_s);
        return;
    }
    m_checkStatus->setText(u"The pages are checked once connected."_s);
    connectToGoogle();
}

void GoogleWindow::chooseKeyFile() {
    const QString current = m_keyFile->text().trimmed();
    ProfileFileDialog request;
    request.kind = ProfileFileDialog::Open;
    request.parent = this;
    request.directory = current.isEmpty() ? m_host.startDirectory() : QFileInfo(current).path();
    request.offeredName = current;
    request.nameFilter = u"Service-Account Keys (*.json)"_s;
    request.defaultSuffix = u"json"_s;
    const QString path = m_keyDialog(request);
    if (path.isEmpty())
        return;
    m_keyFile->setText(QDir::toNativeSeparators(path));
    useKeyFile(path);
}

void GoogleWindow::useKeyFile(const QString& path) {
    if (path != m_host.googleKeyFile()) {
        m_host.setGoogleKeyFile(path);
        // Another account may see other properties: connect again.
        ++m_sitemapRequest;
        m_properties->clear();
        m_sitemaps->clear();
        m_connectStatus->clear();
    }
    loadKey();
}

void GoogleWindow::loadKey() {
    const QString path = m_keyFile->text().trimmed();
    QStringList said;
    m_keyUsable = false;
    if (path.isEmpty()) {
        m_token->setKey(nullptr);
        said.append(u"Choose the JSON key of a Google Cloud service account, and add the account as a user of the "
                    u"site's property in Search Console (Settings > Users and permissions)."_s);
    } else {
        const ServiceAccountKey::Loaded loaded = ServiceAccountKey::load(path);
        m_token->setKey(loaded.key);
        if (loaded.key) {
            m_keyUsable = true;
            said.append(u"The key signs in as %1."_s.arg(loaded.key->clientEmail()));
            if (!loaded.warning.isEmpty())
                said.append(loaded.warning);
        } else {
            said.append(loaded.problem);
        }
    }
    if (m_token->usesEnvironment()) {
        m_keyUsable = true;
        said.append(u"The access token in %1 is used instead of the key."_s.arg(
            QString::fromLatin1(GoogleAccessToken::kEnvironmentVariable)));
    }
    m_keyStatus->setText(said.join(u' '));
    updateButtons();
}

void GoogleWindow::connectToGoogle() {
    if (m_connecting || !m_keyUsable)
        return;
    m_connecting = true;
    ++m_sitemapRequest;
    m_properties->clear();
    m_sitemaps->clear();
    m_connectStatus->setText(u"Connecting to Google Search Console\u2026"_s);
    updateButtons();
    m_client->listProperties([this](const PropertyList& list) {
        m_connecting = false;
        if (!list.problem.isEmpty()) {
            m_connectStatus->setText(list.problem);
            updateButtons();
            return;
        }
        const QString who = m_token->account().isEmpty() ? u"The account"_s : m_token->account();
        if (list.properties.isEmpty()) {
            m_connectStatus->setText(u"%1 is not a user of any Search Console property: add it in Search Console "
                                     u"under Settings > Users and permissions."_s.arg(who));
            updateButtons();
            return;
        }
        const QStringList urls = list.siteUrls();
        const QString siteUrl = m_host.siteUrl().trimmed();
        const QString matching = matchingProperty(urls, QUrl(siteUrl, QUrl::StrictMode));
        m_properties->blockSignals(true);
        m_properties->addItems(urls);
        m_properties->setCurrentIndex(matching.isEmpty() ? -1 : static_cast<int>(urls.indexOf(matching)));
        m_properties->blockSignals(false);
        if (matching.isEmpty()) {
            m_connectStatus->setText(
                u"Connected: %1 can use %2 properties, none of which matches the Site URL \"%3\". Choose the "
                u"property to work with."_s.arg(who, QString::number(urls.size()), displayText(siteUrl)));
        } else {
            m_connectStatus->setText(u"Connected: %1 can use %2 properties; %3 matches the Site URL."_s.arg(
                who, QString::number(urls.size()), matching));
            propertyChosen();
        }
        updateButtons();
    });
}

void GoogleWindow::propertyChosen() {
    const QString chosen = property();
    m_sitemaps->clear();
    updateButtons();
    emit propertyChanged();
    if (chosen.isEmpty())
        return;
    if (m_checkWhenConnected) {
        m_checkWhenConnected = false;
        checkIndex();
    }
    const quint64 request = ++m_sitemapRequest;
    m_client->listSitemaps(chosen, [this, request](const SitemapList& list) {
        if (request == m_sitemapRequest)
            showSitemaps(list);
    });
}

void GoogleWindow::showSitemaps(const SitemapList& list) {
    m_sitemaps->clear();
    if (!list.problem.isEmpty()) {
        m_connectStatus->setText(list.problem);
        return;
    }
    for (const SitemapState& state : list.sitemaps) {
        auto* item = new QTreeWidgetItem(m_sitemaps,
                                         {displayText(state.path), timeText(state.lastSubmitted),
                                          state.lastDownloaded.isNull() ? u"not yet"_s : timeText(state.lastDownloaded),
                                          sitemapStateText(state)});
        item->setToolTip(0, state.sentence());
    }
    if (list.sitemaps.isEmpty()) {
        m_connectStatus->setText(u"Google has no sitemap for %1 yet: submit one in Search Console, or announce the "
                                 u"site's sitemap."_s.arg(property()));
    }
    m_sitemaps->resizeColumnToContents(0);
}

void GoogleWindow::checkIndex() {
    const QString chosen = property();
    if (chosen.isEmpty() || m_check->running())
        return;
    QList<QUrl> pages;
    for (const QString& line : m_pages->toPlainText().split(u'\n')) {
        if (!line.trimmed().isEmpty())
            pages.append(QUrl(line.trimmed(), QUrl::StrictMode));
    }
    if (pages.isEmpty())
        return;
    m_table->setRowCount(0);
    m_table->setRowCount(static_cast<int>(pages.size()));
    for (int row = 0; row < pages.size(); ++row) {
        m_table->setItem(row, 0, new QTableWidgetItem(displayText(pages[row].toString(QUrl::FullyEncoded))));
        m_table->setItem(row, 1, new QTableWidgetItem(u"waiting"_s));
    }
    m_checkStatus->setText(u"Asking Google about %1 pages, at most 10 a second\u2026"_s.arg(pages.size()));
    m_check->start(chosen, pages);
    updateButtons();
}

void GoogleWindow::showInspection(int row, const UrlInspection& inspection) {
    const QString indexed =
        !inspection.inspected() ? u"not inspected"_s : (inspection.indexed() ? u"indexed"_s : u"not indexed"_s);
    const QString coverage = inspection.inspected() ? displayText(inspection.coverageState) : inspection.problem;
    const QStringList cells{
        indexed, coverage,
        inspection.inspected() && inspection.lastCrawlTime.isNull() ? u"never"_s : timeText(inspection.lastCrawlTime),
        displayText(inspection.googleCanonical)};
    for (int column = 0; column < cells.size(); ++column) {
        auto* item = new QTableWidgetItem(cells[column]);
        item->setToolTip(cells[column]);
        m_table->setItem(row, column + 1, item);
    }
    m_checkStatus->setText(u"%1 of %2 pages answered."_s.arg(QString::number(m_check->answeredCount()),
                                                             QString::number(m_check->inspections().size())));
}

void GoogleWindow::saveReport() {
    if (m_check->running() || m_check->results().records.isEmpty())
        return;
    const QString path = m_reportDialog(this, m_host.startDirectory());
    if (path.isEmpty())
        return;
    if (const QString error = saveRunReport(path, m_check->results()); !error.isEmpty()) {
        showErrorReport(this, error);
        return;
    }
    m_checkStatus->setText(m_check->summary() + u" Report saved to %1."_s.arg(QDir::toNativeSeparators(path)));
}

void GoogleWindow::updateButtons() {
    m_connect->setEnabled(m_keyUsable && !m_connecting);
    m_properties->setEnabled(m_properties->count() > 0 && !m_connecting);
    m_checkIndex->setEnabled(!property().isEmpty() && !m_check->running() &&
                             !m_pages->toPlainText().trimmed().isEmpty());
    m_saveReport->setEnabled(!m_check->running() && !m_check->results().records.isEmpty());
}
