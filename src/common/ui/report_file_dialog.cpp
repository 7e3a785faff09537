#include "common/ui/report_file_dialog.h"

#include "common/ui/discarded_user_settings.h"

#include <QFileDialog>

QString askReportFileName(QWidget* parent, const QString& directory) {
    const QString csvFilter = QStringLiteral("CSV Files (*.csv)");
    // Made first, so that it outlives the dialog: the dialog leaves no settings file behind.
    const DiscardedUserSettings noSettings;
    QFileDialog dialog(parent, QStringLiteral("Save Report As"), directory);
    dialog.setOption(QFileDialog::DontUseNativeDialog); // the desktop's dialog keeps lists of its own
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters({csvFilter, QStringLiteral("JSON Files (*.json)")});
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, csvFilter](const QString& filter) {
        dialog.setDefaultSuffix(filter == csvFilter ? QStringLiteral("csv") : QStringLiteral("json"));
    });
    if (dialog.exec() != QDialog::Accepted)
        return {};
    const QStringList chosen = dialog.selectedFiles();
    return chosen.isEmpty() ? QString() : chosen.constFirst();
}
