#include "cli/report_target.h"

#include "platform/text_codec.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

QString shown(const QString& path) {
    return displayText(QDir::toNativeSeparators(path));
}

// Whether a and b name the same existing file: one canonical path, or one device and inode.
bool sameFile(const QString& a, const QString& b) {
    const QString canonicalA = QFileInfo(a).canonicalFilePath();
    if (canonicalA.isEmpty())
        return false;
    if (canonicalA == QFileInfo(b).canonicalFilePath())
        return true;
    struct stat statA = {};
    struct stat statB = {};
    return ::stat(QFile::encodeName(a).constData(), &statA) == 0 &&
           ::stat(QFile::encodeName(b).constData(), &statB) == 0 && statA.st_dev == statB.st_dev &&
           statA.st_ino == statB.st_ino;
}

} // namespace

QString reportTargetProblem(const QString& path, const JobFiles& files) {
    if (!path.endsWith(".json"_L1, Qt::CaseInsensitive) && !path.endsWith(".csv"_L1, Qt::CaseInsensitive))
        return u"--report: the report's name must end in .json or .csv: %1."_s.arg(shown(path));

    const struct {
        const QString& file;
        QString role;
    } inputs[] = {{files.profile, u"the profile"_s}, {files.catalogue, u"the catalogue"_s}};
    for (const auto& input : inputs) {
        if (!input.file.isEmpty() && sameFile(path, input.file))
            return u"--report: %1 is %2; the report would replace it."_s.arg(shown(path), input.role);
    }
    for (const QString& source : files.sources) {
        if (sameFile(path, source))
            return u"--report: %1 is a source of the job; the report would replace it."_s.arg(shown(path));
    }

    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        return u"--report: %1 is not a file."_s.arg(shown(path));
    if (info.exists() && !info.isWritable())
        return u"--report: %1 cannot be written to."_s.arg(shown(path));
    const QString folder = info.absolutePath();
    if (!QFileInfo(folder).isDir())
        return u"--report: the folder %1 does not exist."_s.arg(shown(folder));
    // A file made and removed again there: permissions, a read-only file system and the owner
    // all have their say, as they will when the report is written.
    QTemporaryFile probe(folder + u"/.torvane-report-XXXXXX"_s);
    if (!probe.open())
        return u"--report: the folder %1 does not take new files."_s.arg(shown(folder));
    return {};
}
