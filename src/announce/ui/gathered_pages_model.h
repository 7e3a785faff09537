#pragma once

#include "announce/core/page_gathering.h"

#include <QAbstractTableModel>
#include <QDateTime>

// The gathered addresses as table rows: Address, Last modified, Status (what becomes of it).
class GatheredPagesModel final : public QAbstractTableModel {
public:
    enum Column { AddressColumn, LastmodColumn, StatusColumn, ColumnCount };

    explicit GatheredPagesModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}
    // gathering must outlive the model, or be replaced first (nullptr: no rows). Pages last
    // modified before changedSince (when valid) are shown as left out.
    void show(const PageGathering* gathering, const QDateTime& changedSince);
    // The address of the page of row when it can be announced (accepted), else empty.
    QString announcedAddress(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    const PageGathering* m_gathering = nullptr;
    QDateTime m_changedSince;
};
