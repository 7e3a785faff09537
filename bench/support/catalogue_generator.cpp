#include "support/catalogue_generator.h"

#include "catalogue/core/engine_catalogue.h"

#include <QFile>

namespace {

QByteArray number(int n) {
    return QByteArray::number(n);
}

QByteArray engineTitle(int i) {
    return "Search Engine " + QByteArray::number(i).rightJustified(3, '0');
}

void appendKey(QByteArray& out, const QByteArray& key, const QByteArray& value) {
    out += key;
    out += '=';
    out += value;
    out += '\n';
}

} // namespace

QByteArray fullCapacityCatalogue() {
    QByteArray out;
    out.reserve(16 * 1024 * 1024);
    out += "; A catalogue at full capacity for benchmarks.\n[Engine]\n";
    appendKey(out, "Amount", number(kMaxEngines));
    for (int i = 1; i <= kMaxEngines; ++i)
        appendKey(out, "Title" + number(i), engineTitle(i));
    for (int i = 1; i <= kMaxEngines; ++i) {
        out += "\n[" + engineTitle(i) + "]\n";
        appendKey(out, "Url", "https://engine" + number(i) + ".example.com/submit");
        appendKey(out, "var", number(kMaxVariables));
        for (int j = 1; j <= kMaxVariables; ++j) {
            appendKey(out, "var" + number(j), "field" + number(j));
            appendKey(out, "var_value" + number(j), "VAR" + number((j - 1) % 30 + 1));
        }
        appendKey(out, "Option", number(kMaxOptionLists));
        for (int k = 1; k <= kMaxOptionLists; ++k) {
            appendKey(out, "Error" + number(k), "Please choose from option list " + number(k));
            appendKey(out, "Option_Title" + number(k), "Option list " + number(k));
            appendKey(out, "Item" + number(k), number(kMaxChoices));
            appendKey(out, "Value" + number(k), number(kMaxChoices));
            for (int m = 1; m <= kMaxChoices; ++m)
                appendKey(out, "Item" + number(k) + '-' + number(m), "Choice " + number(m) + " of list " + number(k));
            for (int m = 1; m <= kMaxChoices; ++m)
                appendKey(out, "Value" + number(k) + '-' + number(m), "code-" + number(k) + '-' + number(m));
        }
    }
    return out;
}

QString writeFullCapacityCatalogue(const QString& directory) {
    const QString path = directory + QStringLiteral("/Engine.dat");
    QFile file(path);
    const QByteArray bytes = fullCapacityCatalogue();
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return {};
    return path;
}
