#include "app/deferred_icon_engine.h"

#include <QPainter>

DeferredIconEngine::DeferredIconEngine(QList<File> files) : m_files(std::move(files)) {}

const QIcon& DeferredIconEngine::icon() {
    if (!m_icon) {
        m_icon.emplace();
        for (const File& file : m_files)
            m_icon->addFile(file.path, file.size);
    }
    return *m_icon;
}

void DeferredIconEngine::paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) {
    icon().paint(painter, rect, Qt::AlignCenter, mode, state);
}

QSize DeferredIconEngine::actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) {
    return icon().actualSize(size, mode, state);
}

QPixmap DeferredIconEngine::pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) {
    return icon().pixmap(size, mode, state);
}

QPixmap DeferredIconEngine::scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) {
    return icon().pixmap(size, scale, mode, state);
}

QList<QSize> DeferredIconEngine::availableSizes(QIcon::Mode mode, QIcon::State state) {
    // The files are the normal pictures; the other modes are drawn from them when asked.
    QList<QSize> sizes;
    if (mode == QIcon::Normal && state == QIcon::Off) {
        for (const File& file : m_files)
            sizes.append(file.size);
    }
    return sizes;
}

QString DeferredIconEngine::key() const {
    return QStringLiteral("DeferredIconEngine");
}

QIconEngine* DeferredIconEngine::clone() const {
    return new DeferredIconEngine(*this);
}
