#include "cli/job_input.h"

#include "catalogue/core/engine_selection.h"
#include "platform/app_environment.h"
#include "platform/ini_file.h"
#include "platform/text_codec.h"
#include "profile/core/profile_file.h"

#include <QDir>
#include <QFileInfo>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

void writeLine(std::FILE* stream, const QString& line) {
    const QByteArray bytes = terminalText(line).toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fflush(stream);
}

// A message as one sentence: with a full stop at its end.
QString sentence(const QString& text) {
    return text.endsWith(u'.') ? text : text + u'.';
}

QString readInput(const QString& profilePath, const QString& cataloguePath, JobInput& input) {
    const QString catalogueFile = jobCataloguePath(cataloguePath);
    QString error;
    input.catalogue = ReadEngineFileAt(catalogueFile, &error);
    if (!error.isEmpty())
        return error;
    if (input.catalogue.Count == 0)
        return u"The catalogue %1 names no engine"_s.arg(displayText(QFileInfo(catalogueFile).absoluteFilePath()));

    // A profile the window would open as empty is a mistake on the command line.
    const QFileInfo profile(profilePath);
    input.profilePath = profile.absoluteFilePath();
    if (!profile.exists())
        return u"The profile %1 does not exist"_s.arg(displayText(input.profilePath));
    const IniFile file = IniFile::load(profilePath);
    if (!file.loadError().isEmpty())
        return file.loadError();
    input.fields = ReadDataFile(file, input.catalogue);
    input.currentList = currentListTitles(input.catalogue);
    return {};
}

} // namespace

QString jobCataloguePath(const QString& cataloguePath) {
    if (!cataloguePath.isEmpty())
        return cataloguePath;
    return locateCatalogueFolder(QDir::currentPath(), installedDataFolder()) + u"/Engine.dat"_s;
}

QString loadJobInput(const QString& profilePath, const QString& cataloguePath, JobInput& input) {
    const QString error = readInput(profilePath, cataloguePath, input);
    return error.isEmpty() ? error : sentence(error);
}

void printLine(const QString& line) {
    writeLine(stdout, line);
}

void printError(const QString& line) {
    writeLine(stderr, line);
}
