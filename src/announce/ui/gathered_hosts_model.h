#pragma once

#include "announce/core/announce_job.h"
#include "announce/core/page_gathering.h"

#include <QAbstractTableModel>

// The hosts of the gathered addresses: Host, Pages (to announce, after the date rule),
// Duplicates, Note.
class GatheredHostsModel final : public QAbstractTableModel {
public:
    enum Column { HostColumn, PagesColumn, DuplicatesColumn, NoteColumn, ColumnCount };

    explicit GatheredHostsModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}
    // Both must outlive the model, or be replaced first (nullptr: no rows).
    void show(const PageGathering* gathering, const AnnounceCounts* counts);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    const PageGathering* m_gathering = nullptr;
    const AnnounceCounts* m_counts = nullptr;
};
