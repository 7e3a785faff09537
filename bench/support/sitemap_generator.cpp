#include "support/sitemap_generator.h"

#include <cstdio>

QByteArray generateSitemap(int count) {
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                     "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n";
    xml.reserve(static_cast<qsizetype>(count) * 220 + 200);
    char line[512];
    for (int i = 0; i < count; ++i) {
        const int page = i % 50 == 49 ? i / 2 : i;
        const int n = std::snprintf(line, sizeof line,
                                    "<url><loc>https://www.example.com/catalogue/section-%02d/product-%06d-"
                                    "descriptive-slug-words.html</loc><lastmod>2024-%02d-%02dT10:%02d:00+00:00"
                                    "</lastmod><changefreq>weekly</changefreq><priority>0.8</priority></url>\n",
                                    page % 40, page, page % 12 + 1, page % 28 + 1, page % 60);
        xml.append(line, n);
    }
    xml.append("</urlset>\n");
    return xml;
}
