// The sitemap and address-file readers, gathering and the batch body on arbitrary bytes.
// Properties: no limit is passed (addresses, child sitemaps); a file stopped by a limit says so;
// every accepted address passes the address check and is in the form announced; each batch body
// is one JSON object whose urlList holds exactly the batch's addresses.

#include "fuzz_support.h"

#include "announce/core/announce_batch.h"
#include "announce/core/page_gathering.h"
#include "announce/core/sitemap_reader.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    SitemapLimits limits;
    limits.maxBytes = 1024 * 1024;
    limits.maxAddresses = 50;
    limits.maxChildSitemaps = 5;
    const SitemapContent content = readAddressFile(bytes, limits, 40);
    FUZZ_CHECK(content.pages.size() <= 40);
    FUZZ_CHECK(content.childSitemaps.size() <= limits.maxChildSitemaps);
    FUZZ_CHECK(!content.limitReached || !content.error.isEmpty());

    PageGathering gathering(QStringLiteral("https://www.example.com/"), 30);
    gathering.add(content.pages);
    FUZZ_CHECK(gathering.pages().size() <= 30);
    for (const GatheredPage& page : gathering.pages()) {
        // Taken addresses are in their announced form already; refused ones carry a reason.
        if (page.status == GatheredPage::Status::Refused) {
            FUZZ_CHECK(!page.reason.isEmpty());
        } else {
            QString host;
            FUZZ_CHECK(addressRefusal(page.address, &host).isEmpty());
            FUZZ_CHECK_EQ(announcedAddress(page.address), page.address);
            FUZZ_CHECK_EQ(host, gathering.hosts().at(page.host).host);
        }
    }
    for (const AnnounceBatch& batch : makeBatches(gathering.groups(), 7)) {
        FUZZ_CHECK(!batch.addresses.isEmpty() && batch.addresses.size() <= 7);
        QJsonParseError error;
        const QJsonDocument json =
            QJsonDocument::fromJson(indexNowBody(batch.host, QStringLiteral("k"), {}, batch.addresses), &error);
        FUZZ_CHECK_EQ(static_cast<int>(error.error), static_cast<int>(QJsonParseError::NoError));
        const QJsonArray list = json.object().value(QStringLiteral("urlList")).toArray();
        FUZZ_CHECK_EQ(list.size(), batch.addresses.size());
        for (qsizetype i = 0; i < list.size(); ++i)
            FUZZ_CHECK_EQ(list[i].toString(), batch.addresses[i]);
    }
    return 0;
}
