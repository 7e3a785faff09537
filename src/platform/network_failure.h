#pragma once

// Why a request got no HTTP answer at all. The browser and the fetcher both sort their network
// errors into these kinds, so that one table can say what each means to the user.
enum class NetworkFailure {
    None,              // an HTTP answer arrived (its status says the rest)
    Timeout,           // no answer within the time limit
    HostNotFound,      // the host name did not resolve
    ConnectionRefused, // nothing listens at that address and port
    Tls,               // the secure connection could not be made or verified
    Other,             // any other network error (closed connection, a download cut short, bad URL …)
};
