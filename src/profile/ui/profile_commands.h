#pragma once

#include "catalogue/core/engine_catalogue.h"
#include "profile/core/profile_snapshot.h"

#include <QObject>
#include <QString>
#include <functional>

class QFileDialog;
class QWidget;

// What the File menu commands need from the main window.
class ProfileHost {
public:
    virtual ~ProfileHost() = default;

    // Empties the profile fields, the message log and the option boxes' texts.
    virtual void ClearData() = 0;
    // Takes the profile snapshot from the fields; snapshot() then returns it.
    virtual void ReadData() = 0;
    virtual const ProfileSnapshot& snapshot() const = 0;
    // Puts fields into the controls. Setting the country box's text runs no code look-up, so
    // the country code box gets fields.Country_ID as it is.
    virtual void setFields(const ProfileFields& fields) = 0;
    virtual Engine_Type& catalogue() = 0;
    // Empties both engine lists and fills them again from the engines' Selected flags.
    virtual void showCatalogue() = 0;
    // Enables or disables File > Save.
    virtual void setSaveEnabled(bool enabled) = 0;
    // Sets the window caption.
    virtual void setCaption(const QString& caption) = 0;
    // Where the file dialogs open.
    virtual const QString& startDirectory() const = 0;
    // The parent of the file dialogs and of the error report.
    virtual QWidget* dialogParent() = 0;
};

// What a profile file dialog is asked to show. The program's other files (the IndexNow key
// file) are asked for through the same dialog, with their own filter and suffix.
struct ProfileFileDialog {
    enum Kind { Open, Save };

    Kind kind = Open;
    QWidget* parent = nullptr;
    QString directory;   // where the dialog opens
    QString offeredName; // the name chosen last in this dialog (empty at first)
    QString nameFilter = QStringLiteral("Torvane Files (*.tvp)");
    QString defaultSuffix = QStringLiteral("tvp");
};

// Shows a profile file dialog and returns the chosen full path, or an empty string when the
// user cancels.
using ProfileFileDialogFunction = std::function<QString(const ProfileFileDialog&)>;

// The file dialog of the program: a QFileDialog set up as below, run modally. It reads no
// settings and leaves none behind.
QString showProfileFileDialog(const ProfileFileDialog& request);

// Gives dialog the settings of a profile file dialog: Qt's own dialog (never the desktop's),
// the request's filter and default suffix ("Torvane Files (*.tvp)", "tvp"), resizable, opening in the request's
// directory; an offered name is selected as the full path it is (so the dialog then shows its
// folder and accepting it means that very file). The open dialog accepts any name, the save
// dialog asks before overwriting.
void setUpProfileFileDialog(QFileDialog& dialog, const ProfileFileDialog& request);

// The File menu commands New, Open, Save and Save As, and the current file name.
class ProfileCommands : public QObject {
    Q_OBJECT

public:
    explicit ProfileCommands(ProfileHost& host, QObject* parent = nullptr);

    // The full path of the profile file last opened or saved; empty until then.
    const QString& fileName() const { return m_fileName; }

    // Replaces the file dialogs (tests answer them without a person).
    void setFileDialog(ProfileFileDialogFunction dialog);

    // New: empties the fields and nothing else.
    void New1Click();
    // Open: asks for a file, then reads it into the fields and the engine choices.
    void Open1Click();
    // What Open does once a name is chosen, for a file named elsewhere (on the command line):
    // path is the name's bytes as the system has them. Only a path that names an existing file
    // other than a folder is opened; returns whether it was. The open dialog offers what it did
    // before. A name that is not valid UTF-8 cannot be held as text: that file is read through
    // a descriptor, its caption shows the name as far as it decodes, and Save asks for a name.
    bool openLocalFile(const QByteArray& path);
    // Save: writes to the current file, or asks for a name first when there is none.
    void Save1Click();
    // Save As: asks for a name, then writes there.
    void Saveas1Click();

private:
    // Shows the dialog of kind; returns the chosen name, empty when cancelled.
    QString askFileName(ProfileFileDialog::Kind kind);
    // Reads the file at readPath into the fields and the engine choices, under the name name.
    void readFile(const QString& name, const QString& readPath);
    // Writes the snapshot to the current file; on failure reports the error and returns false.
    bool writeCurrentFile();
    void showFileNameInCaption(const QString& prefix);

    ProfileHost& m_host;
    ProfileFileDialogFunction m_dialog;
    QString m_fileName;
    QString m_lastOpenName; // what the open dialog offers again
    QString m_lastSaveName; // what the save dialog offers again
};
