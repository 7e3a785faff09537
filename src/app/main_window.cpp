#include "app/main_window.h"

#include "announce/core/announce_targets.h"
#include "announce/ui/announce_window.h"
#include "app/about_box.h"
#include "app/message_log_view.h"
#include "app/offer_page.h"
#include "app/test_window.h"
#include "app/window_history.h"
#include "catalogue/core/shared_groups.h"
#include "catalogue/ui/engine_data_page.h"
#include "common/ui/error_report.h"
#include "common/ui/widget_placement.h"
#include "net/core/network_fetcher.h"
#include "platform/app_environment.h"
#include "profile/core/profile_check.h"
#include "profile/ui/contact_info_page.h"
#include "profile/ui/site_info_page.h"
#include "submit/core/request_builder.h"
#include "submit/core/result_text.h"
#include "submit/core/run_report.h"
#include "submit/ui/results_window.h"
#include "submit/ui/submit_now_page.h"

#include <QButtonGroup>
#include <QCoreApplication>
#include <QDir>
#include <QGroupBox>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>
#include <QWindow>

#include <mutex>
#include <stop_token>
#include <system_error>
#include <thread>

namespace {

constexpr int kClientWidth = 479;
constexpr int kClientHeight = 388;
constexpr QRect kPagePlace(92, 0, 381, 313);

struct PageButtonPlace {
    const char* name;
    const char* caption;
    const char* picture;
    int top;
};

constexpr PageButtonPlace kPageButtons[TForm1::PageCount] = {
    {"SpeedButton1", "Contact Info", ":/pages/contact.png", 16},
    {"SpeedButton2", "Site Info", ":/pages/site.png", 80},
    {"SpeedButton3", "Engine Data", ":/pages/engines.png", 144},
    {"SpeedButton4", "Submit Now", ":/pages/submit.png", 208},
    {"SpeedButton12", "Special Offer", ":/pages/offer.png", 280},
};

} // namespace

TForm1::TForm1(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Torvane 2000"));
    // Fixed border: minimise and close, no maximise.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    createMenu();
    createPages();

    // The client area below the menu bar is fixed; the window takes its size from it.
    adjustSize();
    setFixedSize(sizeHint());
    // Centred at every start; nothing about the window is remembered.
    if (const QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());

    FormCreate();
}

// What the window and its catalogue reader share: the stop request, and a lock that keeps the
// window from going away while the reader reports to it.
struct TForm1::CatalogueReading {
    std::mutex mutex;
    std::stop_source stop;
};

TForm1::~TForm1() {
    // The windows that make requests go before the fetcher they use (a child made before them).
    delete m_announce;
    delete m_keyWindow;
    delete m_googleWindow;
    // The history goes before the pages (children): the run keeps no pointer to it.
    m_submitNow->setJournal(nullptr);
    if (m_catalogueReader) {
        const std::lock_guard lock(m_catalogueReader->mutex);
        m_catalogueReader->stop.request_stop();
    }
}

void TForm1::createMenu() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("File"));
    file->setObjectName(QStringLiteral("File1"));
    const auto addItem = [](QMenu* menu, const char* name, const QString& caption) {
        QAction* action = menu->addAction(caption);
        action->setObjectName(QString::fromLatin1(name));
        return action;
    };
    m_profileCommands = new ProfileCommands(*this, this);
    connect(addItem(file, "New1", QStringLiteral("New")), &QAction::triggered, m_profileCommands,
            &ProfileCommands::New1Click);
    connect(addItem(file, "Open1", QStringLiteral("Open")), &QAction::triggered, m_profileCommands,
            &ProfileCommands::Open1Click);
    m_save = addItem(file, "Save1", QStringLiteral("Save"));
    connect(m_save, &QAction::triggered, m_profileCommands, &ProfileCommands::Save1Click);
    connect(addItem(file, "Saveas1", QStringLiteral("Save As")), &QAction::triggered, m_profileCommands,
            &ProfileCommands::Saveas1Click);
    QAction* exit = addItem(file, "Exit1", QStringLiteral("Exit"));
    connect(exit, &QAction::triggered, this, &TForm1::Exit1Click);

    createRunMenu();

    QMenu* help = menuBar()->addMenu(QStringLiteral("Help"));
    help->setObjectName(QStringLiteral("Help1"));
    QAction* about = addItem(help, "About1", QStringLiteral("About"));
    connect(about, &QAction::triggered, this, &TForm1::About1Click);
}

void TForm1::createPages() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("ClientArea"));
    client->setFixedSize(kClientWidth, kClientHeight);
    setCentralWidget(client);

    auto* buttonFrame = placeFrame<QGroupBox>(client, "GroupBox0", 4, 0, 82, 377);
    m_pageButtons = new QButtonGroup(this);
    m_pageButtons->setExclusive(true);
    for (int page = 0; page < PageCount; ++page) {
        const PageButtonPlace& place = kPageButtons[page];
        auto* button = placeWidget<QToolButton>(buttonFrame, place.name, 8, place.top, 65, 57);
        button->setText(QString::fromLatin1(place.caption));
        button->setAccessibleName(button->text());
        button->setIcon(QIcon(QString::fromLatin1(place.picture)));
        button->setIconSize(QSize(32, 32));
        button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        button->setCheckable(true);
        button->setAutoRaise(true);
        m_pageButtons->addButton(button, page);
        m_pageButton[page] = button;
    }
    connect(m_pageButtons, &QButtonGroup::idClicked, this, [this](int page) {
        switch (page) {
        case ContactInfo:
            SpeedButton1Click();
            break;
        case SiteInfo:
            SpeedButton2Click();
            break;
        case EngineData:
            SpeedButton3Click();
            break;
        case SubmitNow:
            SpeedButton4Click();
            break;
        case SpecialOffer:
            SpeedButton12Click();
            break;
        }
    });

    m_log = new MessageLogView(client);
    m_log->setGeometry(92, 320, 381, 57);

    m_profilePages = {new ContactInfoPage(client), new SiteInfoPage(client)};
    m_engineData = new EngineDataPage(m_catalogue, *m_log, client);
    m_submitNow = new SubmitNowPage(*m_log, *this, client);
    // The Special Offer page is made once the first frame is drawn (see offerPage).
    m_pages = {m_profilePages[0], m_profilePages[1], m_engineData, m_submitNow, nullptr};
    for (QGroupBox* page : m_pages) {
        if (page)
            page->setGeometry(kPagePlace);
    }

    for (ProfilePage* page : m_profilePages)
        connect(page, &ProfilePage::modified, this, &TForm1::markModified);
    connect(m_engineData, &EngineDataPage::modified, this, &TForm1::markModified);
    connect(m_submitNow, &SubmitNowPage::pageButtonsEnabledChanged, this, &TForm1::setPageButtonsEnabled);
    connect(m_engineData->testButton(), &QPushButton::clicked, this, &TForm1::Button1Click);

    m_fetcher = new NetworkFetcher(this);
    m_submitNow->setKeyFileFetcher(m_fetcher);
    m_history = std::make_unique<WindowHistory>();
    m_history->journal().setMessageHandler([this](const QString& message) { m_log->appendLine(message); });
    m_submitNow->setJournal(&m_history->journal());

    connect(m_submitNow, &SubmitNowPage::resultsChanged, this, [this](int index) {
        // A run that starts makes its records the ones shown.
        if (index < 0 && m_submitNow->runActive())
            showRunResults(false);
        if (!m_announcementResults && m_pastJob < 0 && m_results) {
            if (index < 0) // the records may be others now (see SubmitNowPage::results)
                m_results->setResults(&m_submitNow->results());
            m_results->recordChanged(index);
        }
        if (index < 0 && !m_submitNow->runActive())
            listJobs(); // the run is in the history now
        if (index < 0)
            updateRunActions();
    });
    connect(m_log, &MessageLogView::lineDoubleClicked, this, [this](int line) {
        if (const int record = recordOfLogLine(line); record >= 0) {
            showRunResults(false);
            showResults(record);
        }
    });
    m_log->setLineToolTip([this](int line) {
        const int record = recordOfLogLine(line);
        return record >= 0 ? resultSummary(m_submitNow->results().records.at(record)) : QString();
    });
    updateRunActions();
}

void TForm1::createRunMenu() {
    QMenu* run = menuBar()->addMenu(QStringLiteral("Run"));
    run->setObjectName(QStringLiteral("Run1"));
    QAction* results = run->addAction(QStringLiteral("Results\u2026"));
    results->setObjectName(QStringLiteral("Results1"));
    connect(results, &QAction::triggered, this, [this] { showResults(); });
    m_saveReport = run->addAction(QStringLiteral("Save Report As\u2026"));
    m_saveReport->setObjectName(QStringLiteral("SaveReportAs1"));
    connect(m_saveReport, &QAction::triggered, this, &TForm1::saveReportAs);
    m_submitFailedAgain = run->addAction(QStringLiteral("Submit Failed Again"));
    m_submitFailedAgain->setObjectName(QStringLiteral("SubmitFailedAgain1"));
    connect(m_submitFailedAgain, &QAction::triggered, this, &TForm1::submitFailedAgain);
    m_forget = run->addAction(QStringLiteral("Forget This Site's History\u2026"));
    m_forget->setObjectName(QStringLiteral("ForgetSiteHistory1"));
    connect(m_forget, &QAction::triggered, this, &TForm1::forgetSiteHistory);
    connect(run, &QMenu::aboutToShow, this, &TForm1::runMenuAboutToShow);
    run->addSeparator();
    QAction* key = run->addAction(QStringLiteral("IndexNow Key\u2026"));
    key->setObjectName(QStringLiteral("IndexNowKey1"));
    connect(key, &QAction::triggered, this, &TForm1::showIndexNowKeyWindow);
    m_announcePages = run->addAction(QStringLiteral("Announce Pages\u2026"));
    m_announcePages->setObjectName(QStringLiteral("AnnouncePages1"));
    connect(m_announcePages, &QAction::triggered, this, &TForm1::showAnnouncePages);
    QAction* google = run->addAction(QStringLiteral("Google Search Console\u2026"));
    google->setObjectName(QStringLiteral("GoogleSearchConsole1"));
    connect(google, &QAction::triggered, this, &TForm1::showGoogleWindow);
}

void TForm1::showGoogleWindow() {
    if (!m_googleWindow) {
        m_googleWindow = new GoogleWindow(*this, *m_fetcher, this);
        m_googleWindow->setHistory(&m_history->store()); // keeps the latest inspection of each page
        connect(m_googleWindow, &GoogleWindow::propertyChanged, this, &TForm1::shareGoogleConnection);
    }
    centreOverOnFirstShow(m_googleWindow, this);
    m_googleWindow->showWindow();
}

// While the Google window is connected, announcements submit their sitemaps to its property too.
void TForm1::shareGoogleConnection() {
    if (m_announce)
        m_announce->job().setGoogle(m_googleWindow ? &m_googleWindow->client() : nullptr,
                                    m_googleWindow ? m_googleWindow->property() : QString());
}

void TForm1::setGoogleKeyFile(const QString& path) {
    m_googleKeyFile = path;
    markModified();
}

void TForm1::showIndexNowKeyWindow() {
    if (!m_keyWindow)
        m_keyWindow = new IndexNowKeyWindow(*this, *m_fetcher, this);
    centreOverOnFirstShow(m_keyWindow, this);
    m_keyWindow->showWindow();
}

QStringList TForm1::currentEngineLines() const {
    return m_engineData->currentLines();
}

QString TForm1::siteUrl() const {
    return currentFields().Site_URL;
}

void TForm1::engineOptionsChanged() {
    m_engineData->refreshOptions();
    markModified();
}

void TForm1::showAnnouncePages() {
    if (!m_announce) {
        m_announce = new AnnounceWindow(*m_fetcher, this);
        m_announce->setStartDirectory(m_startDirectory);
        m_announce->setInputs([this] {
            const QString siteUrl = currentFields().Site_URL;
            return AnnounceInputs{siteUrl, indexNowTargets(catalogue(), m_engineData->currentLines(), siteUrl),
                                  profilePath()};
        });
        // The window's, not only its job's: the pages' states and "New or changed" come from it.
        m_announce->setHistory(&m_history->store());
        connect(m_announce, &AnnounceWindow::announcementStarted, this, [this] {
            showRunResults(true);
            if (m_results)
                m_results->recordChanged(-1);
            updateRunActions();
        });
        connect(m_announce, &AnnounceWindow::recordWritten, this, [this](int index) {
            if (m_announcementResults && m_pastJob < 0 && m_results)
                m_results->recordChanged(index);
        });
        connect(m_announce, &AnnounceWindow::announcementFinished, this, [this] {
            if (m_announcementResults && m_pastJob < 0 && m_results)
                m_results->recordChanged(-1);
            listJobs();
            updateRunActions();
        });
        m_announce->setGoogleIndexCheck([this](const QList<QUrl>& pages) {
            showGoogleWindow();
            m_googleWindow->checkPages(pages);
        });
        shareGoogleConnection();
    }
    centreOverOnFirstShow(m_announce, this);
    m_announce->show();
    m_announce->raise();
    m_announce->activateWindow();
}

void TForm1::FormCreate() {
    m_startDirectory = QDir::currentPath();
    m_catalogueDirectory = locateCatalogueFolder(m_startDirectory, installedDataFolder());
    ClearData();
    m_save->setEnabled(false);
    showPage(ContactInfo);
}

void TForm1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // The catalogue is read once the first frame is drawn: the window's first exposure paints
    // it, and a call queued from there runs right after.
    if (!m_catalogueTaken && !m_catalogueReading.valid() && windowHandle())
        windowHandle()->installEventFilter(this);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == windowHandle() && event->type() == QEvent::Expose && windowHandle()->isExposed()) {
        windowHandle()->removeEventFilter(this);
        QMetaObject::invokeMethod(
            this,
            [this] {
                startReadingCatalogue();
                offerPage();
            },
            Qt::QueuedConnection);
    }
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::startReadingCatalogue() {
    if (m_catalogueTaken || m_catalogueReading.valid())
        return;
    // The titles are listed when the reading is done (or earlier, when catalogue() is asked).
    // The thread is detached, so that closing the window never waits for it: the window's
    // destructor asks it to stop, and it then hands nothing over.
    std::promise<Engine_Type> result;
    std::future<Engine_Type> reading = result.get_future();
    auto reader = std::make_shared<CatalogueReading>();
    std::thread thread;
    try {
        thread = std::thread([this, reader, result = std::move(result), directory = m_catalogueDirectory]() mutable {
            const std::stop_token stop = reader->stop.get_token();
            std::exception_ptr failure;
            Engine_Type catalogue;
            try {
                catalogue = ReadEngineFile(directory, stop);
            } catch (...) {
                failure = std::current_exception();
            }
            const std::lock_guard lock(reader->mutex);
            if (stop.stop_requested())
                return;
            if (failure)
                result.set_exception(failure);
            else
                result.set_value(std::move(catalogue));
            QMetaObject::invokeMethod(
                this, [this] { this->catalogue(); }, Qt::QueuedConnection);
        });
    } catch (const std::system_error&) {
        // No thread to spare: the file is read here instead.
        catalogue();
        return;
    }
    m_catalogueReading = std::move(reading);
    m_catalogueReader = std::move(reader);
    thread.detach();
}

Engine_Type& TForm1::catalogue() {
    if (!m_catalogueTaken) {
        m_catalogue = m_catalogueReading.valid() ? m_catalogueReading.get() : ReadEngineFile(m_catalogueDirectory);
        m_catalogueTaken = true;
        showCatalogue();
        // Selecting from the program runs no click handler: the option panel stays hidden.
        m_engineData->selectFirstLines();
    }
    return m_catalogue;
}

void TForm1::showCatalogue() {
    m_engineData->showCatalogue();
}

void TForm1::setSaveEnabled(bool enabled) {
    m_save->setEnabled(enabled);
}

void TForm1::setCaption(const QString& caption) {
    setWindowTitle(caption);
}

void TForm1::ClearData() {
    for (ProfilePage* page : m_profilePages)
        page->clearFields();
    m_googleKeyFile.clear();
    if (m_googleWindow)
        m_googleWindow->reloadKeyFile();
    m_log->clear();
    m_engineData->clearOptionTexts();
}

ProfileFields TForm1::currentFields() const {
    ProfileFields fields;
    for (const ProfilePage* page : m_profilePages)
        page->readFields(fields);
    fields.Google_Key_File = m_googleKeyFile;
    return fields;
}

void TForm1::setFields(const ProfileFields& fields) {
    for (ProfilePage* page : m_profilePages)
        page->setFields(fields);
    m_googleKeyFile = fields.Google_Key_File;
    if (m_googleWindow)
        m_googleWindow->reloadKeyFile();
}

void TForm1::ReadData() {
    m_snapshot = ::ReadData(currentFields());
}

QStringList TForm1::validationLines() const {
    return CheckDataError(currentFields());
}

bool TForm1::currentListEmpty() const {
    return m_engineData->currentList()->count() == 0;
}

Submit_Type TForm1::buildSubmissionList() {
    return buildSubmissionList(m_engineData->currentLines());
}

Submit_Type TForm1::buildSubmissionList(const QStringList& titles) {
    ReadData();
    Submit_Type list;
    // One builder per run: the local addresses are looked up at most once.
    RequestBuilder builder(catalogue(), m_snapshot);
    builder.buildSubmissionList(titles, list);
    return list;
}

QString TForm1::profilePath() const {
    return m_profileCommands->fileName();
}

QStringList TForm1::sharedGroupNotices(const QStringList& titles) const {
    QStringList notices;
    for (const SharedGroup& group : sharedGroups(m_catalogue, titles))
        notices.append(sharedGroupNotice(group));
    return notices;
}

void TForm1::markModified() {
    m_save->setEnabled(true);
}

void TForm1::setPageButtonsEnabled(bool enabled) {
    for (int page = 0; page < PageCount; ++page) {
        if (page != SubmitNow)
            m_pageButton[page]->setEnabled(enabled);
    }
}

TForm1::Page TForm1::currentPage() const {
    return static_cast<Page>(m_pageButtons->checkedId());
}

void TForm1::showPage(Page page) {
    if (page == SpecialOffer)
        offerPage();
    m_pageButton[page]->setChecked(true);
    for (int other = 0; other < PageCount; ++other) {
        if (m_pages[other])
            m_pages[other]->setVisible(other == page);
    }
}

QGroupBox* TForm1::offerPage() {
    // Hidden at start, and its pictures and link font cost more to load than the rest of the
    // window: it is made right after the first frame, or when it is first asked for before that.
    // Its animation runs from then on.
    if (!m_pages[SpecialOffer]) {
        auto* page = new OfferPage(centralWidget());
        page->setGeometry(kPagePlace);
        page->setVisible(currentPage() == SpecialOffer);
        m_pages[SpecialOffer] = page;
    }
    return m_pages[SpecialOffer];
}

void TForm1::setCompanionWindows(TForm2* testWindow, TForm3* aboutBox) {
    m_testWindow = testWindow;
    m_aboutBox = aboutBox;
    connect(m_aboutBox, &TForm3::closed, this, [this] { setEnabled(true); });
}

void TForm1::About1Click() {
    if (!m_aboutBox)
        return;
    setEnabled(false);
    m_aboutBox->showBox();
}

void TForm1::Button1Click() {
    if (!m_testWindow)
        return;
    // A request is about to be tried: the web engine starts now if it has not yet.
    m_submitNow->prepareBrowser();
    m_testWindow->clearText();
    ReadData();
    // With no focused line the window shows an empty line.
    RequestBuilder builder(catalogue(), m_snapshot);
    m_testWindow->appendLine(builder.requestUrlForLine(m_engineData->focusedAvailableLine()));
    m_testWindow->showWindow();
}

void TForm1::Exit1Click() {
    close();
}
