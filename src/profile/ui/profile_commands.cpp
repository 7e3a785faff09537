#include "profile/ui/profile_commands.h"

#include "common/ui/discarded_user_settings.h"
#include "common/ui/error_report.h"
#include "profile/core/profile_file.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

void setUpProfileFileDialog(QFileDialog& dialog, const ProfileFileDialog& request) {
    const bool save = request.kind == ProfileFileDialog::Save;
    // Qt's own dialog: a desktop's native one keeps lists of recent files of its own.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // Open accepts a name whether or not the file exists: a missing file opens empty.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    dialog.setNameFilter(request.nameFilter);
    dialog.setDefaultSuffix(request.defaultSuffix);
    dialog.setSizeGripEnabled(true);
    dialog.setDirectory(request.directory);
    if (!request.offeredName.isEmpty())
        dialog.selectFile(request.offeredName);
}

QString showProfileFileDialog(const ProfileFileDialog& request) {
    // Made first, so that it outlives the dialog: the dialog leaves no settings file behind.
    const DiscardedUserSettings noSettings;
    QFileDialog dialog(request.parent);
    setUpProfileFileDialog(dialog, request);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    const QStringList chosen = dialog.selectedFiles();
    return chosen.isEmpty() ? QString() : chosen.constFirst();
}

ProfileCommands::ProfileCommands(ProfileHost& host, QObject* parent)
    : QObject(parent), m_host(host), m_dialog(showProfileFileDialog) {}

void ProfileCommands::setFileDialog(ProfileFileDialogFunction dialog) {
    m_dialog = std::move(dialog);
}

void ProfileCommands::New1Click() {
    m_host.ClearData();
}

void ProfileCommands::Open1Click() {
    const QString name = askFileName(ProfileFileDialog::Open);
    if (!name.isEmpty())
        readFile(name, name);
}

bool ProfileCommands::openLocalFile(const QByteArray& path) {
    struct stat status {};
    if (path.isEmpty() || ::stat(path.constData(), &status) != 0 || S_ISDIR(status.st_mode))
        return false;
    const QString decoded = QFile::decodeName(path);
    const QString name = QFileInfo(decoded).absoluteFilePath();
    if (QFile::encodeName(decoded) == path) {
        readFile(name, name);
        return true;
    }
    // The name's bytes do not survive decoding: the file is reached through a descriptor that
    // only names it (opening it reads nothing, so a FIFO cannot block here) and its /proc link.
    const int descriptor = ::open(path.constData(), O_PATH | O_CLOEXEC);
    if (descriptor < 0)
        return false;
    readFile(name, u"/proc/self/fd/%1"_s.arg(descriptor));
    ::close(descriptor);
    m_fileName.clear(); // no name to save under
    return true;
}

void ProfileCommands::readFile(const QString& name, const QString& readPath) {
    m_host.ClearData();
    m_fileName = name;
    m_host.setFields(ReadDataFile(readPath, m_host.catalogue()));
    m_host.showCatalogue();
    m_host.setSaveEnabled(false);
    showFileNameInCaption(u"Torvane 2001 - "_s);
}

void ProfileCommands::Save1Click() {
    if (m_fileName.isEmpty()) {
        Saveas1Click();
        return;
    }
    m_host.ReadData();
    if (writeCurrentFile())
        m_host.setSaveEnabled(false);
}

void ProfileCommands::Saveas1Click() {
    const QString name = askFileName(ProfileFileDialog::Save);
    if (name.isEmpty())
        return;
    // The name is current even when the write below fails, so a later Save tries it again.
    m_fileName = name;
    m_host.ReadData();
    if (!writeCurrentFile())
        return;
    m_host.setSaveEnabled(false);
    showFileNameInCaption(u"Torvane 2000 - "_s);
}

QString ProfileCommands::askFileName(ProfileFileDialog::Kind kind) {
    QString& last = kind == ProfileFileDialog::Open ? m_lastOpenName : m_lastSaveName;
    const QString name = m_dialog({kind, m_host.dialogParent(), m_host.startDirectory(), last});
    if (!name.isEmpty())
        last = name;
    return name;
}

bool ProfileCommands::writeCurrentFile() {
    const QString error = WriteDataFile(m_fileName, m_host.snapshot(), m_host.catalogue());
    if (error.isEmpty())
        return true;
    showErrorReport(m_host.dialogParent(), error);
    return false;
}

void ProfileCommands::showFileNameInCaption(const QString& prefix) {
    m_host.setCaption(prefix + m_fileName.mid(m_fileName.lastIndexOf(u'/') + 1));
}
