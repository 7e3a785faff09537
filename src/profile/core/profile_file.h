#pragma once

#include "catalogue/core/engine_catalogue.h"
#include "profile/core/profile_snapshot.h"

#include <QString>

class IniFile;

// Profile files (".tvp"): the Contact Info and Site Info fields and, in one section per
// catalogue engine named by its title, whether the engine is in the current list and what was
// chosen in its option lists.
//
// Values are stored so that every text reads back exactly as it was written:
//   - A piece of a value with a blank (space or tab) at either end, or whose first and last
//     characters are the same quote character (" or ', at least two characters), is written
//     inside one more pair of double quotes, which the reader strips again.
//   - A value is split into lines: CR LF, a lone LF and a lone CR each end one line (the same
//     rule that ends the file's own lines). Line 1 goes under the value's own key, lines 2 … N
//     under "<key>_Line2" … "<key>_LineN". A line longer than IniFile::kMaxValueBytes bytes in
//     UTF-8 is cut on character boundaries into pieces of at most that many: the first stays
//     under the line's key (so a reader that knows only "<key>=" gets the value's start) and the
//     rest follow under "<line key>_More2", "<line key>_More3" …; an empty one ends the line.
//   - A value with more than one line or piece also gets "<key>_Lines" = "N,<check>": the
//     check is the first 16 hexadecimal digits of the SHA-1 of "<key>"'s value as read. The
//     continuation keys are read only while the check matches, so a writer that rewrites only
//     "<key>=" leaves a file that reads back as that writer's value. Lines are joined with
//     CR LF; reading stops early at the first missing line key, so a damaged count cannot run
//     away. A one-line value written over a key that had lines sets "<key>_Lines" to 1.
//   - Files written without these rules read as before: a raw value reads as the service
//     returns it (at most IniFile::kMaxValueBytes), a key without "<key>_Lines" is a single
//     line, and a plain count "<key>_Lines" = N joins lines 1 … N, each one key.
// An engine's section is the one named by the UTF-8 bytes of its title; when the file has
// none, the one named by the title's Windows-1252 bytes (files written on older systems, as
// the catalogue's own sections may be); else a new one in UTF-8.

// Reads a profile from an INI file in memory: returns the fields and sets every catalogue
// engine's Selected (1 or 0) and, by its Option, Option1/OptVal1 and Option2/OptVal2. Missing
// keys read as empty (Selected as 0); an option list without values takes its OptVal from its
// Option text. Engines with one title share a section. Sections and keys it does not name are
// ignored; nothing is validated or reported.
ProfileFields ReadDataFile(const IniFile& file, Engine_Type& catalogue);

// Reads the profile file at path. A missing, unreadable, empty or foreign file reads as a
// file with every key missing.
ProfileFields ReadDataFile(const QString& path, Engine_Type& catalogue);

// Writes the snapshot's fields and every engine's choices into file, in file order: the
// fifteen "Contact Info" keys, the eleven "Site Info" keys ("Google_Key_File" after them when the
// key file's path is set or the file has the key), then one section per engine in
// catalogue order with "Selected", "OptVal1", "OptVal2", "Option1", "Option2" as the engine's
// option lists call for. An engine's Selected other than 1 becomes 0. An engine whose title
// cannot name a section (the INI service refuses it: empty, holding "]" or a line break, or
// with a blank at either end) gets no section; the rest is written. Returns an empty string,
// or the service's error text when it refused a value (the in-memory file is then half written
// and must not be saved).
QString WriteDataFile(IniFile& file, const ProfileSnapshot& snapshot, Engine_Type& catalogue);

// Writes the profile into the file at path, keeping every line of an existing file that the
// program does not write, and saves the whole file atomically. Returns an empty string on
// success, else the error text ("Unable to write to <path>"); the file on disk is then
// unchanged.
QString WriteDataFile(const QString& path, const ProfileSnapshot& snapshot, Engine_Type& catalogue);
