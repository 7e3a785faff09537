#include "app/about_box.h"

#include "app/app_config.h"
#include "app/open_address.h"

#include <algorithm>

#include <QCloseEvent>
#include <QFrame>
#include <QPainter>
#include <QUrl>

namespace {

// Where the box stands on the screen each time it opens, and the size of its client area.
constexpr QPoint boxPlace(278, 151);
constexpr QSize boxSize(312, 202);

// A label whose text has a one-pixel shadow in the palette's light (button-highlight) colour,
// cast to the lower left. The text itself is drawn one pixel right of the label's left edge so
// that the shadow stays inside the label.
class ShadowLabel : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setFont(font());
        const QRect textRect = contentsRect().adjusted(1, 0, 0, -1);
        painter.setPen(palette().color(QPalette::Light));
        painter.drawText(textRect.translated(-1, 1), int(alignment()), text());
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(textRect, int(alignment()), text());
    }
};

QLabel* addLabel(QWidget* parent, const QString& name, const QString& text, QPoint place) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->move(place);
    label->adjustSize();
    return label;
}

// A link label at its place, moved right if its caption (ending at `after`) would reach into it
// with a wider font than the one the box was laid out for.
ClickableLabel* addLink(QWidget* parent, const QString& name, const QString& text, QPoint place, int after) {
    auto* label = new ClickableLabel(text, parent);
    label->setObjectName(name);
    styleAsLink(label);
    label->move(std::max(place.x(), after + 3), place.y());
    label->adjustSize();
    return label;
}

} // namespace

TForm3::TForm3(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("About"));
    // Only the main window's closing ends the program.
    setAttribute(Qt::WA_QuitOnClose, false);
    setFixedSize(boxSize);
    move(boxPlace);

    auto* title = new ShadowLabel(QStringLiteral("Torvane"), this);
    title->setObjectName(QStringLiteral("RxLabel1"));
    QFont titleFont(QStringLiteral("Verdana"));
    titleFont.setPixelSize(27);
    title->setFont(titleFont);
    QPalette titlePalette = title->palette();
    titlePalette.setColor(QPalette::WindowText, Qt::darkBlue); // navy
    title->setPalette(titlePalette);
    title->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    title->setGeometry(16, 16, 225, 32);

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("Image1"));
    icon->setPixmap(QPixmap(QStringLiteral(":/icon/torvane-32.png")));
    icon->setGeometry(272, 16, 32, 32);

    addLabel(this, QStringLiteral("Label1"), QStringLiteral("Version 2.0 (Beta)"), {8, 112});

    auto* rule = new QFrame(this);
    rule->setObjectName(QStringLiteral("GroupBox1"));
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);
    rule->setGeometry(8, 128, 297, 7);

    addLabel(this, QStringLiteral("Label6"), AppConfig::rightsNotice, {8, 144});

    const QLabel* email = addLabel(this, QStringLiteral("Label2"), QStringLiteral("Email :"), {8, 160});
    auto* emailLink =
        addLink(this, QStringLiteral("Label4"), AppConfig::emailCaption, {48, 160}, email->x() + email->width());
    connect(emailLink, &ClickableLabel::clicked, this, &TForm3::Label4Click);

    const QLabel* home = addLabel(this, QStringLiteral("Label3"), QStringLiteral("Homepage :"), {8, 176});
    auto* homeLink =
        addLink(this, QStringLiteral("Label5"), AppConfig::homePageCaption, {72, 176}, home->x() + home->width());
    connect(homeLink, &ClickableLabel::clicked, this, &TForm3::Label5Click);
}

void TForm3::showBox() {
    move(boxPlace);
    show();
    raise();
    activateWindow();
}

void TForm3::closeEvent(QCloseEvent* event) {
    event->accept();
    FormClose();
}

void TForm3::FormClose() {
    emit closed();
}

void TForm3::Label4Click() {
    openAddress(QUrl(QStringLiteral("mailto:") + AppConfig::contactEmail));
}

void TForm3::Label5Click() {
    openAddress(QUrl(AppConfig::homePage));
}
