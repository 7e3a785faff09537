#pragma once

#include <QByteArray>

// A urlset sitemap of `count` pages on one host, about 200 bytes a page (50 000 pages make
// about 10 MB), each with a lastmod spread over 2024 and the usual changefreq and priority.
// Every 50th page repeats an earlier address, so that de-duplicating has work to do.
QByteArray generateSitemap(int count);
