// The Internet transfer functions over libcurl: every request or FTP file is one easy handle on
// a multi handle of its own, pumped on the caller's thread until what the call waits for is there.
#include "platform/net/WinInet.h"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

using TClock = std::chrono::steady_clock;

struct TInternetObject {
    virtual ~TInternetObject() = default;
    // Inherited by the handles made from this one.
    DWORD ReceiveTimeoutMs = 0;
};

namespace {

// A transfer stops taking data while this much waits unread, so a slow reader never makes a
// download pile up in memory.
constexpr size_t PauseAbove = size_t{1} << 20;
// Redirects followed at most; more fail the request.
constexpr long MaxRedirects = 5;

std::mutex StartLock;
std::atomic<bool> Started{false};
bool StartTried = false;

thread_local std::string LastFailure;

BOOL Fail(const std::string& Why) {
    LastFailure = Why;
    return 0;
}

struct TSession : TInternetObject {
    std::string Agent;
    std::string Proxy; // empty: direct
};

struct TConnection : TInternetObject {
    std::string Agent, Proxy, Host, User, Password;
    INTERNET_PORT Port = 0;
    DWORD Service = 0;
};

struct TTransfer : TInternetObject {
    CURL* Easy = nullptr;
    CURLM* Multi = nullptr;
    bool Added = false;
    bool Done = false;
    CURLcode Result = CURLE_OK;
    bool Paused = false;
    std::string Pending;
    size_t Consumed = 0;
    TClock::time_point LastActivity = TClock::now();
    // The current response's status line and headers (names lower-cased); a redirect's are
    // replaced by the next response's.
    long Status = 0;
    bool HeadersEnded = false;
    std::vector<std::pair<std::string, std::string>> Headers;

    ~TTransfer() override {
        if (Added) curl_multi_remove_handle(Multi, Easy);
        if (Easy != nullptr) curl_easy_cleanup(Easy);
        if (Multi != nullptr) curl_multi_cleanup(Multi);
    }
    size_t Available() const { return Pending.size() - Consumed; }
    const std::string* Header(const std::string& Name) const {
        for (const auto& [name, value] : Headers)
            if (name == Name) return &value;
        return nullptr;
    }
    // The headers of a response that is not followed further.
    bool FinalHeaders() const {
        if (!HeadersEnded || Status < 200) return false;
        const bool redirect =
            Status == 301 || Status == 302 || Status == 303 || Status == 307 || Status == 308;
        return !redirect || Header("location") == nullptr;
    }
};

size_t OnData(char* Data, size_t Size, size_t Count, void* User) {
    auto& transfer = *static_cast<TTransfer*>(User);
    if (transfer.Available() >= PauseAbove) {
        transfer.Paused = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    transfer.Pending.append(Data, Size * Count);
    transfer.LastActivity = TClock::now();
    return Size * Count;
}

std::string Trimmed(std::string Text) {
    while (!Text.empty() && std::isspace(static_cast<unsigned char>(Text.back())))
        Text.pop_back();
    size_t start = 0;
    while (start < Text.size() && std::isspace(static_cast<unsigned char>(Text[start])))
        ++start;
    return Text.substr(start);
}

size_t OnHeader(char* Data, size_t Size, size_t Count, void* User) {
    auto& transfer = *static_cast<TTransfer*>(User);
    const std::string line = Trimmed(std::string(Data, Size * Count));
    transfer.LastActivity = TClock::now();
    if (line.rfind("HTTP/", 0) == 0) {
        transfer.Headers.clear();
        transfer.HeadersEnded = false;
        const size_t space = line.find(' ');
        transfer.Status = space == std::string::npos ? 0 : std::atol(line.c_str() + space + 1);
    } else if (line.empty()) {
        transfer.HeadersEnded = true;
    } else if (const size_t colon = line.find(':'); colon != std::string::npos) {
        std::string name = line.substr(0, colon);
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        transfer.Headers.emplace_back(name, Trimmed(line.substr(colon + 1)));
    }
    return Size * Count;
}

void Resume(TTransfer& Transfer) {
    if (!Transfer.Paused || Transfer.Available() >= PauseAbove) return;
    Transfer.Paused = false;
    // The time spent waiting for this reader is not the network's.
    Transfer.LastActivity = TClock::now();
    curl_easy_pause(Transfer.Easy, CURLPAUSE_CONT);
}

// Runs the transfer until Ready holds or the transfer has ended (also by the receive timeout).
void Pump(TTransfer& Transfer, const std::function<bool()>& Ready) {
    while (!Ready() && !Transfer.Done) {
        int running = 0;
        curl_multi_perform(Transfer.Multi, &running);
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(Transfer.Multi, &queued))
            if (message->msg == CURLMSG_DONE) {
                Transfer.Done = true;
                Transfer.Result = message->data.result;
            }
        if (Ready() || Transfer.Done) break;
        const auto quiet = TClock::now() - Transfer.LastActivity;
        if (Transfer.ReceiveTimeoutMs > 0 &&
            quiet > std::chrono::milliseconds(Transfer.ReceiveTimeoutMs)) {
            Transfer.Done = true;
            Transfer.Result = CURLE_OPERATION_TIMEDOUT;
            break;
        }
        curl_multi_poll(Transfer.Multi, nullptr, 0, 50, nullptr);
    }
}

// Bytes outside printable ASCII, and spaces, percent-encoded: curl takes no raw ones.
std::string Escaped(const char* Path) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (const char* p = Path; *p != 0; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (c <= 0x20 || c >= 0x7F) {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string HostAndPort(const TConnection& Connection) {
    const bool ipv6 = Connection.Host.find(':') != std::string::npos;
    return (ipv6 ? "[" + Connection.Host + "]" : Connection.Host) + ":" +
           std::to_string(Connection.Port);
}

// A new transfer of Url for Connection, not started yet; nil when libcurl cannot make one.
TTransfer* NewTransfer(const TConnection& Connection, const std::string& Url,
                       const char* Protocols) {
    auto* transfer = new TTransfer;
    transfer->ReceiveTimeoutMs = Connection.ReceiveTimeoutMs;
    transfer->Easy = curl_easy_init();
    transfer->Multi = curl_multi_init();
    if (transfer->Easy == nullptr || transfer->Multi == nullptr) {
        delete transfer;
        return nullptr;
    }
    CURL* easy = transfer->Easy;
    curl_easy_setopt(easy, CURLOPT_URL, Url.c_str());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, Protocols);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_USERAGENT, Connection.Agent.c_str());
    // An empty proxy keeps the environment's proxy settings out of a direct session.
    curl_easy_setopt(easy, CURLOPT_PROXY, Connection.Proxy.c_str());
    const bool viaProxy = !Connection.Proxy.empty();
    if (!Connection.User.empty() || !Connection.Password.empty()) {
        curl_easy_setopt(easy, viaProxy ? CURLOPT_PROXYUSERNAME : CURLOPT_USERNAME,
                         Connection.User.c_str());
        curl_easy_setopt(easy, viaProxy ? CURLOPT_PROXYPASSWORD : CURLOPT_PASSWORD,
                         Connection.Password.c_str());
    }
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, OnData);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, transfer);
    return transfer;
}

bool Start(TTransfer& Transfer) {
    if (curl_multi_add_handle(Transfer.Multi, Transfer.Easy) != CURLM_OK) return false;
    Transfer.Added = true;
    Transfer.LastActivity = TClock::now();
    return true;
}

BOOL ReadInto(HINTERNET File, char* Buffer, DWORD Wanted, DWORD& Got, bool WholeBuffer) {
    Got = 0;
    auto* transfer = dynamic_cast<TTransfer*>(File);
    if (transfer == nullptr || !transfer->Added) return Fail("not an open request or file");
    while (Got < Wanted) {
        if (transfer->Available() == 0) {
            Resume(*transfer);
            // The receive timeout counts while this call waits, not while its caller worked.
            transfer->LastActivity = TClock::now();
            Pump(*transfer, [&] { return transfer->Available() > 0; });
            if (transfer->Available() == 0) break;
        }
        const size_t take = std::min<size_t>(Wanted - Got, transfer->Available());
        std::memcpy(Buffer + Got, transfer->Pending.data() + transfer->Consumed, take);
        transfer->Consumed += take;
        Got += static_cast<DWORD>(take);
        if (transfer->Consumed == transfer->Pending.size()) {
            transfer->Pending.clear();
            transfer->Consumed = 0;
        }
        Resume(*transfer);
        if (!WholeBuffer) break;
    }
    if (Got == 0 && transfer->Done && transfer->Result != CURLE_OK)
        return Fail(curl_easy_strerror(transfer->Result));
    LastFailure.clear();
    return 1;
}

BOOL CopyText(const std::string& Text, void* Buffer, DWORD* BufferLength) {
    if (BufferLength == nullptr) return Fail("no buffer length");
    const auto needed = static_cast<DWORD>(Text.size() + 1);
    if (Buffer == nullptr || *BufferLength < needed) {
        *BufferLength = needed;
        return Fail("buffer too short");
    }
    std::memcpy(Buffer, Text.c_str(), needed);
    *BufferLength = needed - 1;
    return 1;
}

const char* OrEmpty(const char* Text) {
    return Text != nullptr ? Text : "";
}

} // namespace

bool InternetLibraryStartUp() {
    std::lock_guard guard(StartLock);
    if (!StartTried) {
        StartTried = true;
        Started = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    }
    return Started;
}

void InternetLibraryShutDown() {
    std::lock_guard guard(StartLock);
    if (Started) curl_global_cleanup();
    Started = false;
    StartTried = false;
}

bool InternetLibraryStarted() {
    return Started;
}

HINTERNET InternetOpenA(const char* Agent, DWORD AccessType, const char* Proxy, const char*,
                        DWORD) {
    if (!Started) {
        Fail("the Internet library is not started");
        return nullptr;
    }
    auto* session = new TSession;
    session->Agent = OrEmpty(Agent);
    if (AccessType == INTERNET_OPEN_TYPE_PROXY) session->Proxy = OrEmpty(Proxy);
    return session;
}

HINTERNET InternetConnectA(HINTERNET Internet, const char* ServerName, INTERNET_PORT ServerPort,
                           const char* UserName, const char* Password, DWORD Service, DWORD,
                           DWORD_PTR) {
    auto* session = dynamic_cast<TSession*>(Internet);
    if (session == nullptr || ServerName == nullptr || *ServerName == 0 ||
        (Service != INTERNET_SERVICE_HTTP && Service != INTERNET_SERVICE_FTP)) {
        Fail("bad session, server or service");
        return nullptr;
    }
    auto* connection = new TConnection;
    connection->ReceiveTimeoutMs = session->ReceiveTimeoutMs;
    connection->Agent = session->Agent;
    connection->Proxy = session->Proxy;
    connection->Host = ServerName;
    connection->Port = ServerPort;
    connection->User = OrEmpty(UserName);
    connection->Password = OrEmpty(Password);
    connection->Service = Service;
    return connection;
}

HINTERNET HttpOpenRequestA(HINTERNET Connect, const char* Verb, const char* ObjectName,
                           const char* Version, const char*, const char**, DWORD Flags, DWORD_PTR) {
    auto* connection = dynamic_cast<TConnection*>(Connect);
    if (connection == nullptr || connection->Service != INTERNET_SERVICE_HTTP ||
        std::strcmp(OrEmpty(Verb), "GET") != 0 || ObjectName == nullptr) {
        Fail("bad connection, verb or object");
        return nullptr;
    }
    const bool secure = (Flags & INTERNET_FLAG_SECURE) != 0;
    const std::string url = std::string(secure ? "https://" : "http://") +
                            HostAndPort(*connection) + (ObjectName[0] == '/' ? "" : "/") +
                            Escaped(ObjectName);
    TTransfer* transfer = NewTransfer(*connection, url, "http,https");
    if (transfer == nullptr) {
        Fail("no transfer handle");
        return nullptr;
    }
    CURL* easy = transfer->Easy;
    curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    if (std::strcmp(OrEmpty(Version), "HTTP/1.0") == 0)
        curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
    else
        curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, MaxRedirects);
    // A secure request stays secure: its redirects may only lead to https.
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, secure ? "https" : "http,https");
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
    // The trusted authorities: the system's, or the bundle SSL_CERT_FILE names, as the openssl
    // and curl tools read it.
    if (const char* bundle = std::getenv("SSL_CERT_FILE"); bundle != nullptr && *bundle != 0)
        curl_easy_setopt(easy, CURLOPT_CAINFO, bundle);
    // A proxy tunnel's answer is not the response.
    curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, transfer);
    return transfer;
}

BOOL HttpSendRequestA(HINTERNET Request, const char*, DWORD, void*, DWORD) {
    auto* transfer = dynamic_cast<TTransfer*>(Request);
    if (transfer == nullptr || transfer->Added) return Fail("not a request to send");
    if (!Start(*transfer)) return Fail("the request cannot start");
    Pump(*transfer, [&] { return transfer->FinalHeaders() || transfer->Available() > 0; });
    if (transfer->Done && transfer->Result != CURLE_OK)
        return Fail(curl_easy_strerror(transfer->Result));
    if (transfer->Status == 0) return Fail("no response");
    LastFailure.clear();
    return 1;
}

BOOL HttpQueryInfoA(HINTERNET Request, DWORD InfoLevel, void* Buffer, DWORD* BufferLength, DWORD*) {
    auto* transfer = dynamic_cast<TTransfer*>(Request);
    if (transfer == nullptr || transfer->Status == 0) return Fail("no response");
    if (InfoLevel == HTTP_QUERY_STATUS_CODE)
        return CopyText(std::to_string(transfer->Status), Buffer, BufferLength);
    if (InfoLevel == HTTP_QUERY_CONTENT_LENGTH) {
        const std::string* length = transfer->Header("content-length");
        if (length == nullptr) return Fail("no content length");
        return CopyText(*length, Buffer, BufferLength);
    }
    return Fail("information not kept");
}

BOOL InternetReadFile(HINTERNET File, void* Buffer, DWORD NumberOfBytesToRead,
                      DWORD* NumberOfBytesRead) {
    if (Buffer == nullptr || NumberOfBytesRead == nullptr) return Fail("no buffer");
    return ReadInto(File, static_cast<char*>(Buffer), NumberOfBytesToRead, *NumberOfBytesRead,
                    true);
}

BOOL InternetReadFileExA(HINTERNET File, INTERNET_BUFFERSA* BuffersOut, DWORD Flags, DWORD_PTR) {
    if (BuffersOut == nullptr || BuffersOut->lpvBuffer == nullptr) return Fail("no buffer");
    DWORD got = 0;
    const BOOL ok = ReadInto(File, static_cast<char*>(BuffersOut->lpvBuffer),
                             BuffersOut->dwBufferLength, got, (Flags & IRF_NO_WAIT) == 0);
    BuffersOut->dwBufferLength = got;
    return ok;
}

BOOL InternetQueryOptionA(HINTERNET Internet, DWORD Option, void* Buffer, DWORD* BufferLength) {
    if (Internet == nullptr || Buffer == nullptr || BufferLength == nullptr ||
        *BufferLength < sizeof(DWORD))
        return Fail("bad handle or buffer");
    DWORD value = 0;
    if (Option == INTERNET_OPTION_RECEIVE_TIMEOUT) {
        value = Internet->ReceiveTimeoutMs;
    } else if (Option == INTERNET_OPTION_SECURITY_FLAGS) {
        auto* transfer = dynamic_cast<TTransfer*>(Internet);
        char* url = nullptr;
        if (transfer == nullptr || !transfer->Added) return Fail("not a sent request");
        curl_easy_getinfo(transfer->Easy, CURLINFO_EFFECTIVE_URL, &url);
        if (url != nullptr && std::strncmp(url, "https://", 8) == 0) value = SECURITY_FLAG_SECURE;
    } else {
        return Fail("option not kept");
    }
    std::memcpy(Buffer, &value, sizeof(value));
    *BufferLength = sizeof(value);
    return 1;
}

BOOL InternetSetOptionA(HINTERNET Internet, DWORD Option, void* Buffer, DWORD BufferLength) {
    if (Internet == nullptr || Buffer == nullptr || BufferLength < sizeof(DWORD) ||
        Option != INTERNET_OPTION_RECEIVE_TIMEOUT)
        return Fail("option not settable");
    std::memcpy(&Internet->ReceiveTimeoutMs, Buffer, sizeof(DWORD));
    return 1;
}

HINTERNET FtpOpenFileA(HINTERNET Connect, const char* FileName, DWORD Access, DWORD Flags,
                       DWORD_PTR) {
    auto* connection = dynamic_cast<TConnection*>(Connect);
    if (connection == nullptr || connection->Service != INTERNET_SERVICE_FTP ||
        FileName == nullptr || Access != GENERIC_READ || Flags != FTP_TRANSFER_TYPE_BINARY) {
        Fail("only binary reads of a file are served");
        return nullptr;
    }
    const std::string url = "ftp://" + HostAndPort(*connection) + "/" + Escaped(FileName);
    TTransfer* transfer = NewTransfer(*connection, url, "ftp");
    if (transfer == nullptr || !Start(*transfer)) {
        delete transfer;
        Fail("no transfer handle");
        return nullptr;
    }
    // The server's answer to the retrieval decides whether the file opens.
    Pump(*transfer, [&] { return transfer->Available() > 0; });
    if (transfer->Done && transfer->Result != CURLE_OK) {
        Fail(curl_easy_strerror(transfer->Result));
        delete transfer;
        return nullptr;
    }
    LastFailure.clear();
    return transfer;
}

BOOL InternetCloseHandle(HINTERNET Internet) {
    if (Internet == nullptr) return Fail("no handle");
    delete Internet;
    return 1;
}

BOOL InternetGetLastResponseInfoA(DWORD* Error, char* Buffer, DWORD* BufferLength) {
    if (Error != nullptr) *Error = 0;
    const std::string text = LastFailure;
    return CopyText(text, Buffer, BufferLength);
}
