#include "indexnow/ui/indexnow_key_window.h"

#include "common/ui/error_report.h"
#include "common/ui/form_controls.h"
#include "indexnow/core/key_file_check.h"
#include "platform/atomic_file.h"

#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

IndexNowKeyWindow::IndexNowKeyWindow(IndexNowKeyHost& host, Fetcher& fetcher, QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      m_host(host), m_fetcher(fetcher) {
    setObjectName(u"IndexNowKeyWindow"_s);
    setWindowTitle(u"IndexNow Key"_s);
    // Only the main window's closing ends the program.
    setAttribute(Qt::WA_QuitOnClose, false);

    auto* keyCaption = new QLabel(u"IndexNow key:"_s, this);
    m_key = new QLineEdit(this);
    m_key->setObjectName(u"KeyEdit"_s);
    m_key->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    keyCaption->setBuddy(m_key);
    QPushButton* generate = addButton(this, "GenerateButton", u"Generate"_s);
    m_keyMessage = addTextLabel(this, "KeyMessage");

    m_address = addTextLabel(this, "KeyFileAddress");
    m_save = addButton(this, "SaveKeyFileButton", u"Save Key File\u2026"_s);
    m_check = addButton(this, "CheckButton", u"Check"_s);
    m_fileStatus = addTextLabel(this, "KeyFileStatus");

    auto* useForAllText = addTextLabel(this, "UseForAllText");
    useForAllText->setText(u"Every engine that asks for an IndexNow key is sent the same key: give it this one, "
                           u"and Add or Add All on the Engine Data page takes them."_s);
    m_useForAll = addButton(this, "UseForAllButton", u"Use for All IndexNow Engines"_s);
    m_useForAllStatus = addTextLabel(this, "UseForAllStatus");
    QPushButton* close = addButton(this, "CloseButton", u"Close"_s);

    auto* keyRow = new QHBoxLayout;
    keyRow->addWidget(keyCaption);
    keyRow->addWidget(m_key, 1);
    keyRow->addWidget(generate);
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(m_save);
    fileRow->addWidget(m_check);
    fileRow->addStretch(1);
    auto* useRow = new QHBoxLayout;
    useRow->addWidget(m_useForAll);
    useRow->addStretch(1);
    useRow->addWidget(close);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addLayout(keyRow);
    layout->addWidget(m_keyMessage);
    layout->addWidget(addRule(this));
    layout->addWidget(m_address);
    layout->addLayout(fileRow);
    layout->addWidget(m_fileStatus);
    layout->addWidget(addRule(this));
    layout->addWidget(useForAllText);
    layout->addLayout(useRow);
    layout->addWidget(m_useForAllStatus);
    layout->addStretch(1);
    setFixedWidth(460);
    // Room for two-line messages, so that the window does not jump as they change.
    setMinimumHeight(320);

    connect(m_key, &QLineEdit::textChanged, this, &IndexNowKeyWindow::keyChanged);
    connect(generate, &QPushButton::clicked, this, &IndexNowKeyWindow::generateKey);
    connect(m_save, &QPushButton::clicked, this, &IndexNowKeyWindow::saveKeyFile);
    connect(m_check, &QPushButton::clicked, this, &IndexNowKeyWindow::checkKeyFile);
    connect(m_useForAll, &QPushButton::clicked, this, &IndexNowKeyWindow::useForAllEngines);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    keyChanged();
}

void IndexNowKeyWindow::showWindow() {
    if (isHidden()) {
        m_key->setText(indexNowKeyInUse(m_host.catalogue(), m_host.currentEngineLines()));
        m_fileStatus->clear();
        m_useForAllStatus->clear();
        keyChanged();
    }
    show();
    raise();
    activateWindow();
}

QString IndexNowKeyWindow::key() const {
    return m_key->text();
}

void IndexNowKeyWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    // The Site URL may have been changed in the main window meanwhile.
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        showAddress();
}

void IndexNowKeyWindow::keyChanged() {
    const QString problem = indexNowKeyProblem(key());
    m_keyMessage->setText(problem.isEmpty() ? u"The key is valid."_s : problem);
    QPalette palette = this->palette();
    if (!problem.isEmpty())
        palette.setColor(QPalette::WindowText, Qt::darkRed);
    m_keyMessage->setPalette(palette);
    m_useForAllStatus->clear();
    showAddress();
    updateButtons();
}

KeyFileAddress IndexNowKeyWindow::keyFileAddress() const {
    return indexNowKeyFileAddress(m_host.siteUrl(), key());
}

void IndexNowKeyWindow::showAddress() {
    if (!indexNowKeyProblem(key()).isEmpty()) {
        m_address->setText(u"The key file is a text file named after the key, holding just the key, at the root "
                           u"of your site."_s);
        return;
    }
    const KeyFileAddress address = keyFileAddress();
    if (!address.problem.isEmpty()) {
        m_address->setText(u"The key file %1 holds just the key and goes to the root of your site. %2 Fill it in "
                           u"on the Site Info page."_s.arg(indexNowKeyFileName(key()), address.problem));
        return;
    }
    m_address->setText(u"The key file %1 holds just the key. Put it at the root of your site: it must be "
                       u"reachable at %2"_s.arg(indexNowKeyFileName(key()), address.url.toDisplayString()));
}

void IndexNowKeyWindow::updateButtons() {
    const bool valid = indexNowKeyProblem(key()).isEmpty();
    m_save->setEnabled(valid);
    m_check->setEnabled(valid && !m_checking);
    m_useForAll->setEnabled(valid);
}

void IndexNowKeyWindow::generateKey() {
    m_key->setText(generateIndexNowKey());
}

void IndexNowKeyWindow::saveKeyFile() {
    const QString key = this->key();
    if (!indexNowKeyProblem(key).isEmpty())
        return;
    const QString folder = m_lastSaveName.isEmpty() ? m_host.startDirectory() : QFileInfo(m_lastSaveName).path();
    ProfileFileDialog request;
    request.kind = ProfileFileDialog::Save;
    request.parent = this;
    request.directory = folder;
    request.offeredName = QDir(folder).filePath(indexNowKeyFileName(key));
    request.nameFilter = u"Text Files (*.txt)"_s;
    request.defaultSuffix = u"txt"_s;
    const QString path = m_dialog(request);
    if (path.isEmpty())
        return;
    m_lastSaveName = path;
    if (const QString error = saveFileAtomically(path, indexNowKeyFileBytes(key)); !error.isEmpty()) {
        m_fileStatus->clear();
        showErrorReport(this, error);
        return;
    }
    const KeyFileAddress address = keyFileAddress();
    QString text = u"Saved %1."_s.arg(QDir::toNativeSeparators(path));
    if (address.problem.isEmpty())
        text += u" Upload it to the root of your site: it must be reachable at %1"_s.arg(address.url.toDisplayString());
    m_fileStatus->setText(text);
}

void IndexNowKeyWindow::checkKeyFile() {
    const QString key = this->key();
    if (m_checking || !indexNowKeyProblem(key).isEmpty())
        return;
    const KeyFileAddress address = keyFileAddress();
    if (!address.problem.isEmpty()) {
        m_fileStatus->setText(address.problem);
        return;
    }
    m_checking = true;
    updateButtons();
    m_fileStatus->setText(keyFileCheckingSentence(address.url));
    ::checkKeyFile(m_fetcher, address.url, key, this, [this](const KeyFileCheck& check) {
        m_checking = false;
        updateButtons();
        m_fileStatus->setText(check.sentence());
    });
}

void IndexNowKeyWindow::useForAllEngines() {
    const QString key = this->key();
    if (!indexNowKeyProblem(key).isEmpty())
        return;
    Engine_Type& catalogue = m_host.catalogue();
    const auto takers = std::count_if(catalogue.Items.cbegin(), catalogue.Items.cend(), takesIndexNowKey);
    const int changed = applyIndexNowKey(catalogue, key);
    if (changed > 0)
        m_host.engineOptionsChanged();
    if (takers == 0) {
        m_useForAllStatus->setText(u"No engine of the catalogue asks for an IndexNow key."_s);
    } else if (changed == 0) {
        m_useForAllStatus->setText(u"All %1 IndexNow engines have this key already."_s.arg(takers));
    } else {
        m_useForAllStatus->setText(u"All %1 IndexNow engines have this key now."_s.arg(takers));
    }
}
