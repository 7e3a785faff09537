#pragma once

#include "catalogue/core/engine_catalogue.h"
#include "indexnow/core/indexnow_key.h"
#include "profile/ui/profile_commands.h"

#include <QString>
#include <QStringList>
#include <QUrl>
#include <QWidget>

class Fetcher;
class QLabel;
class QLineEdit;
class QPushButton;

// What the IndexNow Key window needs from the main window.
class IndexNowKeyHost {
public:
    virtual ~IndexNowKeyHost() = default;

    virtual Engine_Type& catalogue() = 0;
    // The lines of the current engine list, top to bottom.
    virtual QStringList currentEngineLines() const = 0;
    // The Site URL as the Site Info page holds it now.
    virtual QString siteUrl() const = 0;
    // Where the save dialog opens.
    virtual const QString& startDirectory() const = 0;
    // Engines' option choices were changed as if typed in their boxes: the option panel shows
    // them, and the modified rule enables File > Save.
    virtual void engineOptionsChanged() = 0;
};

// Run > IndexNow Key… (objectName "IndexNowKeyWindow"): the key in use, editable and checked
// against the key rule as it is typed; Generate makes a new key; Save Key File… writes
// "<key>.txt" and says where the site must serve it; Check fetches it from there and says what it
// found, without blocking the window; Use for All IndexNow Engines gives every engine that takes
// the key this key, as if typed in each engine's box. It is shown without modality.
class IndexNowKeyWindow final : public QWidget {
    Q_OBJECT

public:
    // host and fetcher must outlive the window.
    IndexNowKeyWindow(IndexNowKeyHost& host, Fetcher& fetcher, QWidget* parent = nullptr);

    // Shows the window in front. When it was hidden, the key box first shows the key in use and
    // what an earlier save or check said is cleared.
    void showWindow();
    // Replaces the save dialog (tests answer it without a person).
    void setFileDialog(ProfileFileDialogFunction dialog) { m_dialog = std::move(dialog); }

    QString key() const;

    // The buttons' handlers.
    void generateKey();
    void saveKeyFile();
    void checkKeyFile();
    void useForAllEngines();

protected:
    void changeEvent(QEvent* event) override;

private:
    // The rule message, the key file's address and the buttons, for the key as it stands.
    void keyChanged();
    // Where the key file must be reachable; empty with a reason in problem when unknown.
    KeyFileAddress keyFileAddress() const;
    void showAddress();
    void updateButtons();

    IndexNowKeyHost& m_host;
    Fetcher& m_fetcher;
    ProfileFileDialogFunction m_dialog = showProfileFileDialog;
    QString m_lastSaveName; // what the save dialog offers again
    bool m_checking = false;

    QLineEdit* m_key = nullptr;          // KeyEdit
    QLabel* m_keyMessage = nullptr;      // KeyMessage
    QLabel* m_address = nullptr;         // KeyFileAddress
    QLabel* m_fileStatus = nullptr;      // KeyFileStatus: what a save or check said
    QLabel* m_useForAllStatus = nullptr; // UseForAllStatus
    QPushButton* m_save = nullptr;       // SaveKeyFileButton
    QPushButton* m_check = nullptr;      // CheckButton
    QPushButton* m_useForAll = nullptr;  // UseForAllButton
};
