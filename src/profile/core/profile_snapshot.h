#pragma once

#include <QString>
#include <array>

// The texts of the Contact Info and Site Info fields, exactly as the controls hold them.
struct ProfileFields {
    QString Company;                // Edit1
    QString Email;                  // Edit2
    QString First_Name;             // Edit3
    QString Last_Name;              // Edit4
    QString Street;                 // Edit5
    QString City;                   // Edit6
    QString State;                  // Edit7
    QString Zip;                    // Edit8
    QString Country;                // text of ComboBox9
    QString Country_ID;             // Edit9
    QString Phone;                  // Edit10
    QString Fax;                    // Edit11
    QString Password;               // Edit12
    QString Site_Title;             // Edit13
    QString Site_URL;               // Edit14
    std::array<QString, 8> Keyword; // Edit15 … Edit22
    QString Description;            // whole text of Memo1, lines separated by CR LF
    // The path of the Google service-account key file (Run > Google Search Console); never the key.
    QString Google_Key_File = {};

    bool operator==(const ProfileFields&) const = default;
};

// The profile snapshot: the 27 values that "VAR1" … "VAR27" stand for, plus Business and CEO,
// which nothing sets.
struct ProfileSnapshot {
    static constexpr int kValueCount = 27;

    ProfileFields fields;
    QString Full_Name;    // First_Name + " " + Last_Name
    QString Keyword_List; // Keyword1, then ",keyword" for every non-empty keyword 2 … 8
    QString Keyword_Line; // the eight keywords joined by single blanks
    QString Business;     // always empty
    QString CEO;          // always empty

    // Value n (1 … 27) in snapshot order; empty outside that range.
    QString value(int n) const;
};

// Takes the snapshot of the fields (ReadData).
ProfileSnapshot ReadData(const ProfileFields& fields);
