// Loading pictures from "http://", "https://" and "ftp://" addresses: the Internet library's
// start-up and shut-down, the address split and the download into a stream (the component's
// LoadFromURL is declared with TVistrelIO).
#pragma once

#include "platform/rtl/Classes.h"

#include <cstdint>
#include <functional>

// The parts of an address, as the download connects with them.
struct TVLURLParts {
    // 1 http, 2 https, 3 ftp (GetURLType).
    int32_t Kind = 0;
    String Host;
    // The number after the host's ":", 80 when that is no port number; without one 80, 443 or
    // 21 by the kind.
    int32_t Port = 0;
    String UserName;
    String Password;
    // From the first "/" after the host on.
    String Path;
};

// Splits an address "scheme://[user:password@]host[:port]/path". False for another scheme, an
// address without a "/" after the host, and a host part holding "@" without any ":".
bool SplitURL(const String& URL, TVLURLParts& Parts);

// Starts the Internet library once (the I/O unit's start-up calls it); a second call does
// nothing. False when it cannot start; downloads then fail.
bool LoadWinInet();
// Releases the library (the I/O unit's shut-down).
void UnloadWinInet();

// Writes the resource at URL into Stream from its position. True only when the whole resource
// arrived: an HTTP status outside 2xx, a broken or stalled transfer (URLStallLimit), more than
// URLSizeLimit bytes and an Aborting flag set meanwhile all answer false, as does an address
// SplitURL refuses or a library that did not start. Progress gets percentages when the length
// is known. With ProxyAddress set the address's own credentials are not used: ProxyUser and
// ProxyPassword authenticate to the proxy.
bool DownloadURL(const String& URL, TStream& Stream, const String& ProxyAddress,
                 const String& ProxyUser, const String& ProxyPassword, const bool* Aborting,
                 const std::function<void(int32_t Percent)>& Progress);
