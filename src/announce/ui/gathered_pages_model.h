#pragma once

#include "announce/core/announce_job.h"

#include <QAbstractTableModel>
#include <QString>

// The gathered addresses as table rows, then the pages gone from the site's sitemaps: Address,
// Last modified, State (against the site's history: New, Changed since …, Unchanged (announced
// …), Gone from the sitemap; empty without a history) and Status (what becomes of it under the
// job's choice of what to announce).
class GatheredPagesModel final : public QAbstractTableModel {
public:
    enum Column { AddressColumn, LastmodColumn, StateColumn, StatusColumn, ColumnCount };

    explicit GatheredPagesModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}
    // job must outlive the model, or be replaced first; nullptr (while the job gathers): no rows.
    // withStates: the job keeps a history, which tells each page's state.
    void show(const AnnounceJob* job, bool withStates);
    // The address of the page of row when it can be announced (accepted, or gone), else empty.
    QString announcedAddress(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    QVariant pageData(int row, int column, int role) const;
    QVariant goneData(int row, int column, int role) const;

    const AnnounceJob* m_job = nullptr;
    qsizetype m_pageCount = 0;
    QList<GonePage> m_gone;
    bool m_states = false; // the job has a history to tell each page's state
};
