#include "announce/core/announce_texts.h"

QString countedText(qsizetype count, QStringView one, QStringView many) {
    return QString::number(count) + QLatin1Char(' ') + (count == 1 ? one : many);
}
