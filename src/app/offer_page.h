#pragma once

#include <QGroupBox>

// The Special Offer page (GroupBox6 of the main window): two offers, each opened in the default
// browser by two controls. Offer 1: the animated picture and the link under the text; offer 2:
// the banner and the three-line link beside it. The picture animates from creation on, whether
// the page is shown or not.
class OfferPage : public QGroupBox {
    Q_OBJECT

public:
    explicit OfferPage(QWidget* parent = nullptr);

private:
    void Label32Click();
    void RxGIFAnimator1Click();
    void Image1Click();
    void Label30Click();
};
