#include "common/ui/error_report.h"

#include <QMessageBox>

namespace {

std::function<void(const QString&)>& presenter() {
    static std::function<void(const QString&)> instance;
    return instance;
}

} // namespace

QString errorReportText(const QString& message) {
    if (!message.isEmpty() && message.back() > u'.')
        return message + u'.';
    return message;
}

void showErrorReport(QWidget* parent, const QString& message) {
    const QString text = errorReportText(message);
    if (presenter()) {
        presenter()(text);
        return;
    }
    QMessageBox::critical(parent, QString(), text, QMessageBox::Ok);
}

void setErrorReportPresenter(std::function<void(const QString&)> newPresenter) {
    presenter() = std::move(newPresenter);
}
