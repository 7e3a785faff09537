#include "announce/ui/gathered_pages_model.h"

#include <QBrush>
#include <QColor>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

const QColor kLeftOutColor(0x70, 0x70, 0x70);
const QColor kRefusedColor(0x99, 0, 0);

} // namespace

void GatheredPagesModel::show(const AnnounceJob* job, bool withStates) {
    beginResetModel();
    m_job = job;
    m_pageCount = job ? job->gathering().pages().size() : 0;
    m_gone = job ? job->gonePages() : QList<GonePage>();
    // In the order of their addresses, as a person looks for one.
    std::sort(m_gone.begin(), m_gone.end(), [](const GonePage& a, const GonePage& b) { return a.address < b.address; });
    m_states = job && withStates;
    endResetModel();
}

QString GatheredPagesModel::announcedAddress(int row) const {
    if (!m_job || row < 0)
        return {};
    if (row >= m_pageCount)
        return m_gone.value(row - m_pageCount).address;
    const GatheredPage& page = m_job->gathering().pages().at(row);
    return page.status == GatheredPage::Status::Accepted ? page.address : QString();
}

int GatheredPagesModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !m_job ? 0 : static_cast<int>(m_pageCount + m_gone.size());
}

int GatheredPagesModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant GatheredPagesModel::data(const QModelIndex& index, int role) const {
    if (!m_job || index.row() < 0 || index.row() >= rowCount())
        return {};
    return index.row() < m_pageCount ? pageData(index.row(), index.column(), role)
                                     : goneData(static_cast<int>(index.row() - m_pageCount), index.column(), role);
}

QVariant GatheredPagesModel::pageData(int row, int column, int role) const {
    const GatheredPage& page = m_job->gathering().pages().at(row);
    const bool accepted = page.status == GatheredPage::Status::Accepted;
    const ClassifiedPage state = accepted && m_states ? m_job->pageState(row) : ClassifiedPage();
    bool leftOut = false;
    if (accepted) {
        switch (m_job->choice()) {
        case AnnounceChoice::NewOrChanged:
            leftOut = m_states && state.state == PageState::Unchanged;
            break;
        case AnnounceChoice::ChangedSince:
            leftOut = m_job->changedSince().isValid() && page.lastmod.isValid() && page.lastmod < m_job->changedSince();
            break;
        case AnnounceChoice::EveryPage:
            break;
        }
    }
    if (role == Qt::ForegroundRole && (!accepted || leftOut))
        return QBrush(page.status == GatheredPage::Status::Refused ? kRefusedColor : kLeftOutColor);
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    switch (column) {
    case AddressColumn:
        return page.address;
    case LastmodColumn:
        return page.lastmod.isValid() ? page.lastmod.toString(Qt::ISODate) : QString();
    case StateColumn:
        return accepted && m_states ? pageStateText(state) : QString();
    case StatusColumn:
        switch (page.status) {
        case GatheredPage::Status::Duplicate:
            return u"Duplicate (removed)"_s;
        case GatheredPage::Status::Refused:
            return QString(u"Refused: "_s + page.reason);
        case GatheredPage::Status::Accepted:
            if (leftOut)
                return m_job->choice() == AnnounceChoice::NewOrChanged ? u"Unchanged: left out"_s
                                                                       : u"Not changed since the date: left out"_s;
            return m_job->gathering().hosts().at(page.host).foreign ? u"To announce (another host than the site's)"_s
                                                                    : u"To announce"_s;
        }
    }
    return {};
}

QVariant GatheredPagesModel::goneData(int row, int column, int role) const {
    const GonePage& page = m_gone.at(row);
    // Gone pages are announced once, so that the engines see they are gone, only when what is
    // new or changed is announced.
    const bool sent = m_job->choice() == AnnounceChoice::NewOrChanged;
    if (role == Qt::ForegroundRole && !sent)
        return QBrush(kLeftOutColor);
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    switch (column) {
    case AddressColumn:
        return page.address;
    case StateColumn:
        return pageStateText({PageState::Gone, page.announced});
    case StatusColumn:
        return sent ? u"To announce"_s : u"Left out"_s;
    default:
        return QString();
    }
}

QVariant GatheredPagesModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const char* const kHeaders[ColumnCount] = {"Address", "Last modified", "State", "Status"};
    return section >= 0 && section < ColumnCount ? QString::fromLatin1(kHeaders[section]) : QVariant();
}
