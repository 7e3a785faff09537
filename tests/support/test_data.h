#pragma once

#include <QString>

// Where the tests' own data files live (tests/data in the source tree).
inline QString testDataPath(const QString& name) {
    return QStringLiteral(TORVANE_TEST_DATA_DIR "/") + name;
}
