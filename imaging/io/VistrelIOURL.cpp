// Loading pictures from Internet addresses through the platform's wininet-shaped transfer calls.
#include "imaging/io/VistrelIOURL.h"

#include "imaging/core/VLDebugLog.h"
#include "imaging/core/VLWindowHelpers.h"
#include "imaging/io/VLIOThread.h"
#include "imaging/io/VistrelIO.h"
#include "imaging/io/VistrelIOUnit.h"
#include "platform/net/WinInet.h"

#include <algorithm>
#include <atomic>
#include <vector>

namespace {

constexpr const char* UserAgent = "Mozilla/4.*";
constexpr DWORD TransferBufferSize = 65536;
constexpr DWORD SmallReadSize = 1024;
constexpr DWORD HttpFlags =
    INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_KEEP_CONNECTION;
// No flag that would ignore a certificate fault or allow a redirect back to plain http.
constexpr DWORD HttpsFlags =
    HttpFlags | INTERNET_FLAG_SECURE | INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS;

bool WinInetLoaded = false;

// A port number 1..65535 of decimal digits only; 80 for anything else.
int32_t PortOf(const String& Text) {
    if (Text.empty() || Text.size() > 5) return 80;
    int32_t port = 0;
    for (char16_t c : Text) {
        if (c < u'0' || c > u'9') return 80;
        port = port * 10 + (c - u'0');
    }
    return port >= 1 && port <= 65535 ? port : 80;
}

// The handles of one transfer, closed together: the request or file, the connection, the
// session.
struct THandles {
    HINTERNET Internet = nullptr;
    HINTERNET Connection = nullptr;
    HINTERNET Request = nullptr;
    ~THandles() {
        if (Request != nullptr) InternetCloseHandle(Request);
        if (Connection != nullptr) InternetCloseHandle(Connection);
        if (Internet != nullptr) InternetCloseHandle(Internet);
    }
};

bool Failed(const String& URL, const char* What) {
    char text[512] = {};
    DWORD length = sizeof(text);
    DWORD error = 0;
    InternetGetLastResponseInfoA(&error, text, &length);
    DebugLog(u"DownloadURL " + URL + u": " + StrFromUtf8(What) +
             (text[0] != 0 ? u" (" + StrFromUtf8(text) + u")" : String()));
    return false;
}

// A decimal response value (status, length); -1 when missing or not a number.
int64_t QueryNumber(HINTERNET Request, DWORD InfoLevel) {
    char text[32] = {};
    DWORD length = sizeof(text);
    if (!HttpQueryInfoA(Request, InfoLevel, text, &length, nullptr) || text[0] == 0) return -1;
    int64_t value = 0;
    for (const char* p = text; *p != 0; ++p) {
        if (*p < '0' || *p > '9' || value > (int64_t{1} << 50)) return -1;
        value = value * 10 + (*p - '0');
    }
    return value;
}

// The component's flag is set from other threads while a transfer runs (a wait with abort,
// another job of the same component): the transfer reads it, and LoadFromURL writes it, atomically.
bool Cancelled(const bool* Aborting) {
    return Aborting != nullptr && std::atomic_ref<bool>(*const_cast<bool*>(Aborting)).load();
}

void SetAborting(bool& Flag, bool Value) {
    std::atomic_ref<bool>(Flag).store(Value);
}

// Opens the session and the connection; the address's credentials go to the server unless a
// proxy is named, whose own credentials then go to it.
bool Connect(const TVLURLParts& Parts, const String& ProxyAddress, const String& ProxyUser,
             const String& ProxyPassword, THandles& Handles) {
    const DWORD service = Parts.Kind == 3 ? INTERNET_SERVICE_FTP : INTERNET_SERVICE_HTTP;
    const std::string host = Utf8FromStr(Parts.Host);
    const auto port = static_cast<INTERNET_PORT>(Parts.Port);
    if (ProxyAddress.empty()) {
        Handles.Internet = InternetOpenA(UserAgent, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
        if (Handles.Internet == nullptr) return false;
        Handles.Connection = InternetConnectA(Handles.Internet, host.c_str(), port,
                                              Utf8FromStr(Parts.UserName).c_str(),
                                              Utf8FromStr(Parts.Password).c_str(), service, 0, 0);
    } else {
        Handles.Internet = InternetOpenA(UserAgent, INTERNET_OPEN_TYPE_PROXY,
                                         Utf8FromStr(ProxyAddress).c_str(), nullptr, 0);
        if (Handles.Internet == nullptr) return false;
        Handles.Connection =
            InternetConnectA(Handles.Internet, host.c_str(), port, Utf8FromStr(ProxyUser).c_str(),
                             Utf8FromStr(ProxyPassword).c_str(), service, 0, 0);
    }
    if (Handles.Connection == nullptr) return false;
    DWORD stall = static_cast<DWORD>(std::max(URLStallLimit, 1));
    return InternetSetOptionA(Handles.Connection, INTERNET_OPTION_RECEIVE_TIMEOUT, &stall,
                              sizeof(stall)) != 0;
}

} // namespace

bool SplitURL(const String& URL, TVLURLParts& Parts) {
    Parts = TVLURLParts();
    Parts.Kind = GetURLType(URL);
    static const size_t prefixLength[] = {0, 7, 8, 6};
    if (Parts.Kind < 1 || Parts.Kind > 3) return false;
    const String rest = URL.substr(prefixLength[Parts.Kind]);
    const size_t slash = rest.find(u'/');
    if (slash == String::npos) return false;
    String hostPart = rest.substr(0, slash);
    Parts.Path = rest.substr(slash);
    if (const size_t at = hostPart.rfind(u'@'); at != String::npos) {
        if (hostPart.find(u':') == String::npos) return false;
        // The credentials are the text before the "@", split at their first ":".
        const String userInfo = hostPart.substr(0, at);
        const size_t colon = userInfo.find(u':');
        Parts.UserName = userInfo.substr(0, colon);
        if (colon != String::npos) Parts.Password = userInfo.substr(colon + 1);
        hostPart = hostPart.substr(at + 1);
    }
    if (const size_t colon = hostPart.find(u':'); colon != String::npos) {
        Parts.Port = PortOf(hostPart.substr(colon + 1));
        hostPart = hostPart.substr(0, colon);
    } else {
        Parts.Port = Parts.Kind == 1 ? 80 : Parts.Kind == 2 ? 443 : 21;
    }
    Parts.Host = hostPart;
    return true;
}

bool LoadWinInet() {
    if (!WinInetLoaded) WinInetLoaded = InternetLibraryStartUp();
    return WinInetLoaded;
}

void UnloadWinInet() {
    if (WinInetLoaded) InternetLibraryShutDown();
    WinInetLoaded = false;
}

bool DownloadURL(const String& URL, TStream& Stream, const String& ProxyAddress,
                 const String& ProxyUser, const String& ProxyPassword, const bool* Aborting,
                 const std::function<void(int32_t Percent)>& Progress) {
    if (!WinInetLoaded) return Failed(URL, "the Internet library is not loaded");
    TVLURLParts parts;
    if (!SplitURL(URL, parts)) return Failed(URL, "not an address of a resource");
    THandles handles;
    if (!Connect(parts, ProxyAddress, ProxyUser, ProxyPassword, handles))
        return Failed(URL, "no connection");
    int64_t expected = 0;
    if (parts.Kind == 3) {
        const std::string file = Utf8FromStr(parts.Path.substr(1));
        handles.Request = FtpOpenFileA(handles.Connection, file.c_str(), GENERIC_READ,
                                       FTP_TRANSFER_TYPE_BINARY, 0);
        if (handles.Request == nullptr) return Failed(URL, "the file does not open");
    } else {
        const std::string path = Utf8FromStr(parts.Path);
        handles.Request =
            HttpOpenRequestA(handles.Connection, "GET", path.c_str(), "HTTP/1.1", nullptr, nullptr,
                             parts.Kind == 2 ? HttpsFlags : HttpFlags, 0);
        if (handles.Request == nullptr) return Failed(URL, "no request");
        if (!HttpSendRequestA(handles.Request, nullptr, 0, nullptr, 0))
            return Failed(URL, "the request failed");
        if (parts.Kind == 2) {
            DWORD security = 0;
            DWORD size = sizeof(security);
            if (!InternetQueryOptionA(handles.Request, INTERNET_OPTION_SECURITY_FLAGS, &security,
                                      &size) ||
                (security & SECURITY_FLAG_SECURE) == 0)
                return Failed(URL, "the answer did not come over a secure connection");
        }
        // An error page is not the picture.
        const int64_t status = QueryNumber(handles.Request, HTTP_QUERY_STATUS_CODE);
        if (status < 200 || status > 299) return Failed(URL, "the server answered an error");
        expected = std::max<int64_t>(QueryNumber(handles.Request, HTTP_QUERY_CONTENT_LENGTH), 0);
        if (expected > URLSizeLimit) return Failed(URL, "the resource is too large");
    }
    const int64_t start = Stream.GetPosition();
    std::vector<uint8_t> buffer(TransferBufferSize);
    auto received = [&] { return Stream.GetPosition() - start; };
    if (expected > 0) {
        do {
            INTERNET_BUFFERSA block;
            block.lpvBuffer = buffer.data();
            block.dwBufferLength = TransferBufferSize;
            if (!InternetReadFileExA(handles.Request, &block, IRF_NO_WAIT, 0))
                return Failed(URL, "the transfer broke off");
            if (block.dwBufferLength == 0) break;
            Stream.WriteBuffer(buffer.data(), block.dwBufferLength);
            if (received() > URLSizeLimit) return Failed(URL, "the resource is too large");
            if (Progress)
                Progress(static_cast<int32_t>(
                    std::min<int64_t>(100, Trunc(received() * (100.0 / expected)))));
        } while (received() < expected && !Cancelled(Aborting));
    } else {
        DWORD got = 0;
        do {
            if (!InternetReadFile(handles.Request, buffer.data(), SmallReadSize, &got))
                return Failed(URL, "the transfer broke off");
            Stream.WriteBuffer(buffer.data(), got);
            if (received() > URLSizeLimit) return Failed(URL, "the resource is too large");
        } while (got > 0 && !Cancelled(Aborting));
    }
    // A cancelled transfer is no picture either.
    if (Cancelled(Aborting)) return Failed(URL, "cancelled");
    return true;
}

void TVistrelIO::LoadFromURL(const String& URL) {
    if (Reissued(TVLIOThread::TURLMethod{&TVistrelIO::LoadFromURL}, URL)) return;
    // A flag left from an earlier operation would cancel this one at its first block.
    SetAborting(AbortingFlag, false);
    TMemoryStream stream;
    bool downloaded = false;
    try {
        downloaded = DownloadURL(URL, stream, ProxyAddress, ProxyUser, ProxyPassword, &AbortingFlag,
                                 [this](int32_t Per) { DoProgress(this, Per); });
    } catch (...) {
        SetAborting(AbortingFlag, true);
        DoFinishWork();
        throw;
    }
    if (!downloaded) {
        SetAborting(AbortingFlag, true);
        DoFinishWork();
        return;
    }
    stream.SetPosition(0);
    LoadFromStream(stream);
}
