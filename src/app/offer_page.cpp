#include "app/offer_page.h"

#include "app/app_config.h"
#include "app/open_address.h"

#include <QFrame>
#include <QMovie>
#include <QUrl>

namespace {

// The animation starts at its third frame (frames are counted from 0).
constexpr int firstFrame = 2;

ClickableLabel* addClickable(QWidget* parent, const QString& name, const QRect& place) {
    auto* label = new ClickableLabel(parent);
    label->setObjectName(name);
    label->setGeometry(place);
    label->setCursor(Qt::PointingHandCursor);
    return label;
}

// A link label in "Verdana" 8 pt.
ClickableLabel* addLink(QWidget* parent, const QString& name, const QString& text, const QRect& place) {
    auto* label = addClickable(parent, name, place);
    label->setText(text);
    label->setFont(QFont(QStringLiteral("Verdana"), 8));
    styleAsLink(label);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

} // namespace

OfferPage::OfferPage(QWidget* parent) : QGroupBox(parent) {
    setObjectName(QStringLiteral("GroupBox6"));
    resize(381, 313);

    auto* heading = new QLabel(AppConfig::offerHeading, this);
    heading->setObjectName(QStringLiteral("Label23"));
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    heading->setGeometry(15, 20, 294, 13);

    auto* animator = addClickable(this, QStringLiteral("RxGIFAnimator1"), {16, 56, 125, 125});
    auto* movie = new QMovie(QStringLiteral(":/offer/animation.gif"), QByteArray(), animator);
    movie->setCacheMode(QMovie::CacheAll);
    animator->setMovie(movie);
    movie->start();
    movie->jumpToFrame(firstFrame);
    connect(animator, &ClickableLabel::clicked, this, &OfferPage::RxGIFAnimator1Click);

    auto* text = new QLabel(AppConfig::offerText, this);
    text->setObjectName(QStringLiteral("Label31"));
    text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    text->setGeometry(150, 56, 225, 117);

    auto* offer1Link = addLink(this, QStringLiteral("Label32"), AppConfig::offer1Caption, {282, 200, 0, 0});
    offer1Link->adjustSize();
    connect(offer1Link, &ClickableLabel::clicked, this, &OfferPage::Label32Click);

    auto* rule = new QFrame(this);
    rule->setObjectName(QStringLiteral("GroupBox7"));
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);
    rule->setGeometry(16, 216, 353, 7);

    auto* banner = addClickable(this, QStringLiteral("Image1"), {16, 240, 234, 60});
    banner->setPixmap(QPixmap(QStringLiteral(":/offer/banner.gif")));
    banner->resize(banner->pixmap().size());
    connect(banner, &ClickableLabel::clicked, this, &OfferPage::Image1Click);

    auto* offer2Link = addLink(this, QStringLiteral("Label30"), AppConfig::offer2Caption, {264, 248, 99, 39});
    connect(offer2Link, &ClickableLabel::clicked, this, &OfferPage::Label30Click);
}

void OfferPage::Label32Click() {
    openAddress(QUrl(AppConfig::offer1Address));
}

void OfferPage::RxGIFAnimator1Click() {
    openAddress(QUrl(AppConfig::offer1Address));
}

void OfferPage::Image1Click() {
    openAddress(QUrl(AppConfig::offer2Address));
}

void OfferPage::Label30Click() {
    openAddress(QUrl(AppConfig::offer2Address));
}
