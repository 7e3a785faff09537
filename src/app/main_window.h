#pragma once

#include "catalogue/core/engine_catalogue.h"
#include "profile/core/profile_snapshot.h"

#include <QMainWindow>
#include <array>

class ContactInfoPage;
class EngineDataPage;
class MessageLogView;
class QAction;
class QButtonGroup;
class QGroupBox;
class QToolButton;
class SiteInfoPage;
class TForm2;
class TForm3;

// The main window (Form1): five pages chosen by a column of page buttons, the File and Help
// menus, and the message log under the pages. It owns the program-wide state: the start
// directory, the engine catalogue, the profile snapshot and the current profile file name.
class TForm1 : public QMainWindow {
    Q_OBJECT

public:
    // The pages, in the order of their buttons.
    enum Page { ContactInfo, SiteInfo, EngineData, SubmitNow, SpecialOffer, PageCount };

    // Creates the window and runs FormCreate: the start directory is the current directory,
    // and Engine.dat is read from it.
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // The test window and the About box, created after this window (FormCreate does not use them).
    void setCompanionWindows(TForm2* testWindow, TForm3* aboutBox);

    const QString& startDirectory() const { return m_startDirectory; }
    Engine_Type& catalogue() { return m_catalogue; }
    const ProfileSnapshot& snapshot() const { return m_snapshot; }
    MessageLogView* messageLog() const { return m_log; }
    QAction* saveAction() const { return m_save; }

    // Empties every profile field, the description, the message log and the option boxes' texts.
    void ClearData();
    // Takes the profile snapshot from the fields.
    void ReadData();
    // The fields as the controls hold them now.
    ProfileFields currentFields() const;
    // Sets every field from fields (the country text runs no code look-up).
    void setFields(const ProfileFields& fields);
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

private:
    void FormCreate();
    void createMenu();
    void createPages();
    void showPage(Page page);
    // The modified rule: any profile edit or engine choice enables File > Save.
    void markModified();

    QString m_startDirectory;
    Engine_Type m_catalogue;
    ProfileSnapshot m_snapshot;

    QAction* m_save = nullptr; // Save1
    QButtonGroup* m_pageButtons = nullptr;
    std::array<QToolButton*, PageCount> m_pageButton = {};
    std::array<QGroupBox*, PageCount> m_pages = {};
    ContactInfoPage* m_contactInfo = nullptr;
    SiteInfoPage* m_siteInfo = nullptr;
    EngineDataPage* m_engineData = nullptr;
    MessageLogView* m_log = nullptr;
    TForm2* m_testWindow = nullptr; // Form2
    TForm3* m_aboutBox = nullptr;   // Form3
};
