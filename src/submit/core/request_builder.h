#pragma once

#include "catalogue/core/engine_catalogue.h"
#include "platform/local_addresses.h"
#include "profile/core/profile_snapshot.h"
#include "submit/core/submission_list.h"

#include <QString>
#include <QStringList>
#include <QStringView>
#include <optional>

// The placeholder a value text stands for: n when the text, upper-cased, equals "VAR<n>" as a
// whole (n = 1 … 30); 0 for any other text ("VAR31", " VAR3", "VAR03" are literals).
int placeholderNumber(QStringView valueText);

// text encoded as a browser encodes a GET form's value (application/x-www-form-urlencoded over
// UTF-8): ASCII letters, digits and "-._*" kept, a blank as "+", every other byte as %XX with
// upper-case hex digits.
QString percentEncodeFormValue(QStringView text);

// Builds request URLs from the engine catalogue and one profile snapshot.
//
// A request URL is the engine's Url, "?" (also when Url already holds one), then its variables'
// name=value pairs in order, joined by "&"; an engine without variables gives Url + "?=". Field
// names and literal values go in exactly as the catalogue writes them; values that come from a
// placeholder carry the user's data and are percent-encoded, so an "&", "=", "#" or line break
// in that data cannot cut or forge a form field.
//
// Make one builder per Submit or Test. The local addresses (VAR30) are looked up the first time
// a variable needs them and kept for the builder's life: at most one lookup per build, and none
// when no engine uses VAR30. The catalogue and the snapshot must outlive the builder.
class RequestBuilder {
public:
    RequestBuilder(const Engine_Type& engines, const ProfileSnapshot& snapshot,
                   LocalAddressLookup localAddresses = GetLocalIPList);

    // The value sent for a variable, before encoding (GetVarData). engineIndex indexes
    // engines.Items and variableIndex the engine's variables, both from 0. Placeholders VAR1 …
    // VAR27 give the snapshot's values; VAR28 / VAR29 the engine's OptVal1 / OptVal2, empty when
    // that is "N/A" in any letter case; VAR30 every local address followed by CR LF. Any other
    // text comes back unchanged. Empty when either index is out of range.
    QString GetVarData(int engineIndex, int variableIndex);

    // The request URL of engines.Items[engineIndex]; empty when the index is out of range.
    QString requestUrl(int engineIndex);

    // The request URL of the first engine titled exactly line; empty when there is no line
    // (std::nullopt) or no engine has that title. Used by the Test listing.
    QString requestUrlForLine(const std::optional<QString>& line);

    // Fills list from the current list's lines, in display order: for every line k whose title
    // is in the catalogue (first engine of that title), entry k gets the engine's title and a
    // freshly built request URL, and Count becomes the number of lines. Entries of lines that
    // find no engine, and entries at and beyond Count, are left as they were; Count stays as it
    // was when no line finds an engine (Submit empties the list before building it). Items grows
    // to hold every line and never shrinks.
    void buildSubmissionList(const QStringList& currentLines, Submit_Type& list);

private:
    // The unencoded value of placeholder n (1 … 30) for engine.
    QString placeholderValue(const Engine_Data& engine, int n);
    QString localAddressText();

    const Engine_Type& engines_;
    const ProfileSnapshot& snapshot_;
    LocalAddressLookup lookUpLocalAddresses_;
    std::optional<QString> localAddressText_;
};
