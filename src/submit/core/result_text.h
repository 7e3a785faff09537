#pragma once

#include "submit/core/result_record.h"

#include <QString>

// The texts a record is shown by, the same in the Results window and on the command line. Outside
// text in them (titles, addresses, errors, page text) has its control characters escaped; on one
// line it is cut to kMaxShownText characters (see displayText).

// The Engine column's text: the engine's title, and for a batch how many addresses it held.
QString resultEngineText(const ResultRecord& record);
// The Status column's text: the HTTP status, else the network error's text.
QString resultStatusText(const ResultRecord& record);
// A record's status and meaning on one line, as a tooltip shows them.
QString resultSummary(const ResultRecord& record);
// Everything a record holds, as the details pane shows it (selectable, copyable).
QString resultDetails(const ResultRecord& record);
