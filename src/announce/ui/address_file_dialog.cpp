#include "announce/ui/address_file_dialog.h"

#include "common/ui/discarded_user_settings.h"

#include <QFileDialog>

using namespace Qt::StringLiterals;

QString askAddressFileName(QWidget* parent, const QString& directory) {
    // Made first, so that it outlives the dialog: the dialog leaves no settings file behind.
    const DiscardedUserSettings noSettings;
    QFileDialog dialog(parent, u"Add From File"_s, directory);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters({u"Address lists and sitemaps (*.txt *.xml *.gz)"_s, u"All files (*)"_s});
    if (dialog.exec() != QDialog::Accepted)
        return {};
    const QStringList chosen = dialog.selectedFiles();
    return chosen.isEmpty() ? QString() : chosen.constFirst();
}
