#include "announce/ui/gathered_pages_model.h"

#include <QBrush>
#include <QColor>

using namespace Qt::StringLiterals;

void GatheredPagesModel::show(const PageGathering* gathering, const QDateTime& changedSince) {
    beginResetModel();
    m_gathering = gathering;
    m_changedSince = changedSince;
    endResetModel();
}

QString GatheredPagesModel::announcedAddress(int row) const {
    if (!m_gathering || row < 0 || row >= m_gathering->pages().size())
        return {};
    const GatheredPage& page = m_gathering->pages().at(row);
    return page.status == GatheredPage::Status::Accepted ? page.address : QString();
}

int GatheredPagesModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !m_gathering ? 0 : static_cast<int>(m_gathering->pages().size());
}

int GatheredPagesModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant GatheredPagesModel::data(const QModelIndex& index, int role) const {
    if (!m_gathering || index.row() < 0 || index.row() >= m_gathering->pages().size())
        return {};
    const GatheredPage& page = m_gathering->pages().at(index.row());
    const bool accepted = page.status == GatheredPage::Status::Accepted;
    const bool leftOut =
        accepted && m_changedSince.isValid() && page.lastmod.isValid() && page.lastmod < m_changedSince;
    if (role == Qt::ForegroundRole && (!accepted || leftOut))
        return QBrush(page.status == GatheredPage::Status::Refused ? QColor(0x99, 0, 0) : QColor(0x70, 0x70, 0x70));
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    switch (index.column()) {
    case AddressColumn:
        return page.address;
    case LastmodColumn:
        return page.lastmod.isValid() ? page.lastmod.toString(Qt::ISODate) : QString();
    case StatusColumn:
        switch (page.status) {
        case GatheredPage::Status::Duplicate:
            return u"Duplicate (removed)"_s;
        case GatheredPage::Status::Refused:
            return QString(u"Refused: "_s + page.reason);
        case GatheredPage::Status::Accepted:
            if (leftOut)
                return u"Not changed since the date: left out"_s;
            return m_gathering->hosts().at(page.host).foreign ? u"To announce (another host than the site's)"_s
                                                              : u"To announce"_s;
        }
    }
    return {};
}

QVariant GatheredPagesModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const char* const kHeaders[ColumnCount] = {"Address", "Last modified", "Status"};
    return section >= 0 && section < ColumnCount ? QString::fromLatin1(kHeaders[section]) : QVariant();
}
