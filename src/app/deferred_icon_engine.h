#pragma once

#include <QIcon>
#include <QIconEngine>
#include <QList>
#include <QSize>
#include <QString>
#include <optional>

// An icon whose pictures are files of known sizes, read only when a picture is first asked for:
// its sizes are known without reading them. A window icon costs nothing before the first frame
// where the platform does not draw it (Wayland takes the icon from the menu entry).
class DeferredIconEngine : public QIconEngine {
public:
    struct File {
        QString path;
        QSize size;
    };

    explicit DeferredIconEngine(QList<File> files);

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override;
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override;
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override;
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override;
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override;
    QString key() const override;
    QIconEngine* clone() const override;
    bool isNull() override { return m_files.isEmpty(); }

private:
    const QIcon& icon();

    QList<File> m_files;
    std::optional<QIcon> m_icon;
};
