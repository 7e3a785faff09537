#include "announce/ui/gathered_hosts_model.h"

using namespace Qt::StringLiterals;

void GatheredHostsModel::show(const PageGathering* gathering, const AnnounceCounts* counts) {
    beginResetModel();
    m_gathering = gathering;
    m_counts = counts;
    endResetModel();
}

int GatheredHostsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !m_gathering ? 0 : static_cast<int>(m_gathering->hosts().size());
}

int GatheredHostsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant GatheredHostsModel::data(const QModelIndex& index, int role) const {
    if (!m_gathering || index.row() < 0 || index.row() >= m_gathering->hosts().size())
        return {};
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    const HostCount& host = m_gathering->hosts().at(index.row());
    switch (index.column()) {
    case HostColumn:
        return host.host;
    case PagesColumn:
        // After the date rule, when the counts know this host.
        return QString::number(
            m_counts && index.row() < m_counts->hostPages.size() ? m_counts->hostPages.at(index.row()) : host.accepted);
    case DuplicatesColumn:
        return QString::number(host.duplicates);
    case NoteColumn:
        return host.foreign ? u"Not the Site URL's host: the engines refuse it unless it serves the key too."_s
                            : QString();
    }
    return {};
}

QVariant GatheredHostsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const char* const kHeaders[ColumnCount] = {"Host", "Pages", "Duplicates", "Note"};
    return section >= 0 && section < ColumnCount ? QString::fromLatin1(kHeaders[section]) : QVariant();
}
