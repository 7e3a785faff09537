#pragma once

#include "profile/core/profile_snapshot.h"

#include <QStringList>

// The completeness check run before a submission (CheckDataError): one message-log line for every
// missing item, in a fixed order; no lines means the profile is complete. It tests presence only:
// a text counts as empty when it has no characters at all (nothing is trimmed), the country passes
// when either its name or its code is filled, the keywords when any of the eight is filled, and
// the description is judged on its whole text. Fax is not required.
QStringList CheckDataError(const ProfileFields& fields);
