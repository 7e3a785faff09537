#pragma once

#include "catalogue/core/engine_catalogue.h"

#include <QList>
#include <QString>
#include <QStringList>

// The rules of moving engines between the available and the current list and of choosing an
// engine's options. The page owns the lists: it collects the selected lines, calls these, then
// moves the lines and writes the log lines they name.

// The order of both engine lists: alphabetical without regard to letter case (equal texts keep
// their insertion order when sorted stably).
bool engineListSortsBefore(const QString& a, const QString& b);

// The current list as the page shows it for a catalogue just read or opened: the titles of the
// engines whose Selected is 1, in the lists' order.
QStringList currentListTitles(const Engine_Type& catalogue);

// What the page does after Add or Remove.
struct EngineMoves {
    // Positions, in the lines handed in, of the lines that move to the other list (ascending,
    // so in the order the page visited them).
    QList<qsizetype> moved;
    // Lines to append to the message log, in this order.
    QStringList logLines;
};

// Add: `lines` are the selected lines of the available list, from the last line of the list to
// the first (so refused engines log in reverse alphabetical order). For each line the first
// entry with that title is taken:
//   - none: the line is passed over and stays;
//   - Option != 0 and Option1 empty: refused, one log line "[" + Title + "]  " + Error[k] for
//     each option list k = 1 … Option; the line stays and Selected stays 0;
//   - otherwise: Selected := 1 and the line moves.
// Only option list 1 is tested: an engine with two lists moves once its first has a choice.
EngineMoves addEngines(Engine_Type& catalogue, const QStringList& lines);

// Remove: `lines` are the selected lines of the current list, from the last to the first. Every
// line moves back, found or not; a found entry gets Selected := 0. The option choices stay, so
// an engine added again needs no new choice. No log lines.
EngineMoves removeEngines(Engine_Type& catalogue, const QStringList& lines);

// An option choice in option list `list` (1 or 2; any other number changes nothing) of engine:
// Option1 (Option2) := text, and OptVal1 (OptVal2) :=
//   - when Value[list].Count > 0: the value of the picked choice. pickedPosition is the
//     position (from 0) of the choice the user picked in the box, -1 when the text was typed;
//     it counts only when that choice's text is the box's text. Otherwise the first choice
//     whose text equals text exactly gives its value, and when none does, text itself. No
//     value is ever read from outside the list;
//   - otherwise: text itself.
void chooseOption(Engine_Data& engine, int list, const QString& text, int pickedPosition);
