#pragma once

#include <QString>

// Configuration: the maker's addresses and the texts of the About box and the Special Offer page.
// Every address the program opens and every advertising text it shows is set here and nowhere
// else. The domain is a reserved example domain until the real one is known.
namespace AppConfig {

// Addresses.
inline const QString contactEmail = QStringLiteral("support@torvane.example");
inline const QString homePage = QStringLiteral("https://www.torvane.example/");
// Offer 1: the extended engine catalogue; offer 2: the guide to IndexNow keys.
inline const QString offer1Address = QStringLiteral("https://www.torvane.example/engine-pack/");
inline const QString offer2Address = QStringLiteral("https://www.torvane.example/guides/indexnow-keys/");

// The About box: the captions of its two links (they show the addresses) and its one-line notice.
inline const QString emailCaption = contactEmail;
inline const QString homePageCaption = QStringLiteral("www.torvane.example");
inline const QString rightsNotice = QStringLiteral("\u00a9 2000 Torvane Software. All rights reserved.");

// The Special Offer page: heading, the nine-line text and the captions of its two link labels.
inline const QString offerHeading = QStringLiteral("Get more out of Torvane");
inline const QString offerText = QStringLiteral("The Torvane Engine Pack adds\n"
                                                "hundreds of search engines and\n"
                                                "directories to your catalogue,\n"
                                                "checked and renewed each month.\n"
                                                "Put the new Engine.dat beside\n"
                                                "Torvane and every new engine\n"
                                                "is ready on the Engine Data\n"
                                                "page, with all of its options.\n"
                                                "Click the globe to find out more.");
inline const QString offer1Caption = QStringLiteral("Find out more");
inline const QString offer2Caption = QStringLiteral("Read the\nIndexNow key\nguide");

} // namespace AppConfig
