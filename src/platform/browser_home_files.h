#pragma once

#include <QByteArray>
#include <QString>
#include <ctime>
#include <sys/types.h>
#include <vector>

class QObject;

// The web engine keeps a certificate database in ~/.pki/nssdb, made the first time it checks an
// https certificate; nothing stops it, and the program keeps no files of its own. When ~/.pki
// did not exist at start, the files the engine made there are removed again at exit: only
// those still exactly as they were when they were recorded (the same file, size and
// modification time), so that nothing another program put there or changed meanwhile is lost,
// and only the folders left empty.
class WebEngineHomeFiles {
public:
    // Notes whether home/.pki exists now (before the engine can make it).
    explicit WebEngineHomeFiles(const QString& home);

    // Records the engine's database files that exist now and are not recorded yet. Called once
    // the engine has made them: after each page load, and when the browser goes away.
    void record();
    // Removes the recorded files that are unchanged, then .pki/nssdb and .pki if empty.
    void tidy();

private:
    struct Record {
        QByteArray path;
        dev_t device;
        ino_t inode;
        off_t size;
        timespec modified;
    };

    QByteArray m_root; // home/.pki, as the file system names it
    bool m_ours = false;
    std::vector<Record> m_records;
};

// The program's one instance, for its home folder. Call noteWebEngineHomeFiles() before the
// first browser exists (it also arranges the tidying at exit); recordWebEngineHomeFiles(view)
// makes the page loads of a browser's view, and its end, record what the engine made;
// tidyWebEngineHomeFiles() tidies once the engine has ended.
void noteWebEngineHomeFiles();
void recordWebEngineHomeFiles(QObject* view);
void tidyWebEngineHomeFiles();
