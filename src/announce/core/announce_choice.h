#pragma once

// Which gathered pages an announcement sends.
enum class AnnounceChoice {
    NewOrChanged, // the pages new or changed since their last OK announcement, then the gone ones
    EveryPage,    // every page gathered
    ChangedSince, // the pages whose lastmod is not earlier than a date (pages without one too)
};
