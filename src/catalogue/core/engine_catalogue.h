#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <array>
#include <stop_token>

class IniFile;

// Capacities of the engine table.
inline constexpr int kMaxEngines = 500;
inline constexpr int kMaxVariables = 50;
inline constexpr int kMaxOptionLists = 2;
inline constexpr int kMaxChoices = 100;

// The form fields of one engine: "var", "var<j>", "var_value<j>".
// Names and Values always hold exactly Count entries (Count is clamped to 0 … kMaxVariables).
struct Variable_Data {
    qint32 Count = 0;
    QList<QString> Names;
    QList<QString> Values;
};

// The choices of one option list: "Item<k>", "Item<k>-<m>". Items holds exactly Count entries.
struct Item_Data {
    qint32 Count = 0;
    QList<QString> Items;
};

// The submitted values of one option list: "Value<k>", "Value<k>-<m>". Count (clamped to
// 0 … kMaxChoices) only says whether the list has values (> 0); when it does, Values holds one
// entry per choice of the list (as many as Item_Data::Count), else it is empty.
struct Value_Data {
    qint32 Count = 0;
    QList<QString> Values;
};

// One engine: its catalogue data and the user's choices for it. Arrays that the catalogue
// numbers from 1 are indexed from 0 here (Option_Title[0] is "Option_Title1").
struct Engine_Data {
    QString Title;
    qint32 Option = 0; // number of option lists, clamped to 0 … kMaxOptionLists
    std::array<QString, kMaxOptionLists> Option_Title;
    std::array<Item_Data, kMaxOptionLists> Item;
    std::array<Value_Data, kMaxOptionLists> Value;
    Variable_Data Variable;
    qint16 Selected = 0; // 1 while the engine is in the current list
    QString Option1;
    QString Option2;
    QString OptVal1;
    QString OptVal2;
    std::array<QString, kMaxOptionLists> Error;
    QString Url;
    // "Shares": the name of a group of engines that pass what they receive on to each other, so
    // that one of them is enough; empty when the engine shares with none (older catalogues).
    QString Shares;
};

// The engine catalogue. Items holds exactly Count entries (Count clamped to 0 … kMaxEngines),
// in the order of their title numbers in the file.
struct Engine_Type {
    qint32 Count = 0;
    QList<Engine_Data> Items;

    // Title lookup: the index (from 0) of the first entry whose Title equals title exactly
    // (letter case significant), or -1. Answered from an index of the titles built at the first
    // look-up and again whenever entries were added or removed since; titles themselves are
    // never changed after loading.
    int indexOfTitle(const QString& title) const;

private:
    mutable QHash<QString, int> m_titleIndex;
    mutable qsizetype m_indexedCount = -1;
};

// Loads the catalogue from an INI file already in memory. Keys are read in this order:
// "Amount" and "Title<i>" in section "Engine"; then, in the section named by the title's bytes,
// "Url", "Shares", "var", "var<j>" and "var_value<j>" for each field, "Option", and for each option list k
// "Error<k>", "Option_Title<k>", "Item<k>", "Value<k>", then "Item<k>-<m>" for each choice,
// each followed by "Value<k>-<m>" only when Value<k> > 0. Numbers are written without leading
// zeros ("Title01" is not "Title1"). Every count is clamped to 0 … its capacity (a negative
// count reads as 0), so nothing is stored past a capacity and Option is always 0, 1 or 2.
// Texts are at most IniFile::kMaxValueBytes bytes long. The user's choice fields keep their
// start values.
Engine_Type ReadEngineFile(const IniFile& file);

// Loads startDirectory + "/Engine.dat". A missing or unreadable file (or one that is not a
// regular file) gives an empty catalogue and no message. Only what the catalogue can hold is
// kept while reading, so memory follows the catalogue, not the file. A stop requested while
// reading ends it early with an empty catalogue.
Engine_Type ReadEngineFile(const QString& startDirectory, std::stop_token stop = {});

// Loads the catalogue file at path as the above does. *error (when given) receives why the file
// gave no catalogue: it is missing, or it could not be read (the INI service's error text); it is
// left empty for a file that was read, even one that names no engine.
Engine_Type ReadEngineFileAt(const QString& path, QString* error = nullptr, std::stop_token stop = {});

// The folder whose Engine.dat is the catalogue: startDirectory when it holds an Engine.dat;
// otherwise the first of the data folders ($XDG_DATA_HOME, then each of $XDG_DATA_DIRS, as
// QStandardPaths lists them) with a torvane/Engine.dat, as that folder's torvane/; otherwise
// installedFolder (the program's own share/torvane) when it holds one; otherwise startDirectory,
// whose absent file then gives the empty catalogue as before.
QString locateCatalogueFolder(const QString& startDirectory, const QString& installedFolder);
