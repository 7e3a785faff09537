#pragma once

class QComboBox;

// Makes box an editable drop-down box whose typed text stays exactly as typed: no completion,
// no line added to the list, and typed text that equals a line of the list is no pick of that
// line. QComboBox reacts to Return and to leaving the box by making an equal line current and
// emitting activated(); that reaction runs here with the box's signals blocked, so activated()
// means a pick from the drop-down list or by the arrow keys, and nothing else.
void keepTypedText(QComboBox* box);
