#pragma once

#include <QString>
#include <QStringView>

// A count and what it counts, in agreement: "1 batch", "2 batches", "0 addresses".
QString countedText(qsizetype count, QStringView one, QStringView many);
