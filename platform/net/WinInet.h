// The Internet transfer functions the image loader calls by the names and in the order it knows
// them from wininet, over libcurl: a session, a connection to a host, then an HTTP(S) request or
// an FTP file whose data the caller pulls. Each transfer runs on its own multi handle, pumped on
// the caller's thread until the data asked for has arrived or the transfer has ended, so a read
// blocks its thread as the original calls do. Text arguments are UTF-8 (the "A" code page here).
//
// What differs from wininet, on purpose: certificates are always verified (peer and host name,
// against the system's authorities or the bundle the SSL_CERT_FILE environment variable names),
// the flags that would ignore them do not exist, and a redirect is followed only to http or
// https, at most five times, never from https to plain http. The environment's proxy variables
// are not used: a session is direct or goes through the proxy it names.
#pragma once

#include "platform/rtl/WinApi.h"

#include <cstdint>

struct TInternetObject;
using HINTERNET = TInternetObject*;
using DWORD = uint32_t;
using BOOL = int32_t;
using INTERNET_PORT = uint16_t;
using DWORD_PTR = uintptr_t;

constexpr DWORD INTERNET_OPEN_TYPE_DIRECT = 1;
constexpr DWORD INTERNET_OPEN_TYPE_PROXY = 3;
constexpr DWORD INTERNET_SERVICE_FTP = 1;
constexpr DWORD INTERNET_SERVICE_HTTP = 3;

constexpr DWORD INTERNET_FLAG_RELOAD = 0x80000000;
constexpr DWORD INTERNET_FLAG_NO_CACHE_WRITE = 0x04000000;
constexpr DWORD INTERNET_FLAG_KEEP_CONNECTION = 0x00400000;
constexpr DWORD INTERNET_FLAG_SECURE = 0x00800000;
constexpr DWORD INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS = 0x00001000;

constexpr DWORD FTP_TRANSFER_TYPE_BINARY = 2;

constexpr DWORD HTTP_QUERY_CONTENT_LENGTH = 5;
constexpr DWORD HTTP_QUERY_STATUS_CODE = 19;

// Milliseconds a transfer may go without receiving anything before it fails (DWORD value).
constexpr DWORD INTERNET_OPTION_RECEIVE_TIMEOUT = 6;
// The request's security flags (DWORD value, read only here).
constexpr DWORD INTERNET_OPTION_SECURITY_FLAGS = 31;
constexpr DWORD SECURITY_FLAG_SECURE = 0x00000001;

// InternetReadFileExA: return what has arrived (at least one byte) instead of a full buffer.
constexpr DWORD IRF_NO_WAIT = 8;

struct INTERNET_BUFFERSA {
    DWORD dwStructSize = sizeof(INTERNET_BUFFERSA);
    INTERNET_BUFFERSA* Next = nullptr;
    const char* lpcszHeader = nullptr;
    DWORD dwHeadersLength = 0;
    DWORD dwHeadersTotal = 0;
    void* lpvBuffer = nullptr;
    DWORD dwBufferLength = 0;
    DWORD dwBufferTotal = 0;
    DWORD dwOffsetLow = 0;
    DWORD dwOffsetHigh = 0;
};

// The library's process-wide start-up; false when it cannot start. Once per process is enough;
// every further call answers the first one's result until InternetLibraryShutDown.
bool InternetLibraryStartUp();
// Releases what the start-up took; the functions below then fail until the next start-up.
void InternetLibraryShutDown();
bool InternetLibraryStarted();

// AccessType: INTERNET_OPEN_TYPE_DIRECT, or INTERNET_OPEN_TYPE_PROXY with Proxy ("host:port").
HINTERNET InternetOpenA(const char* Agent, DWORD AccessType, const char* Proxy,
                        const char* ProxyBypass, DWORD Flags);
// Nothing goes over the network yet. With a session opened through a named proxy, UserName and
// Password authenticate this program to the proxy; otherwise to the server itself.
HINTERNET InternetConnectA(HINTERNET Internet, const char* ServerName, INTERNET_PORT ServerPort,
                           const char* UserName, const char* Password, DWORD Service, DWORD Flags,
                           DWORD_PTR Context);
// Verb "GET" only; INTERNET_FLAG_SECURE makes it an https request. The cache flags have no
// meaning here (there is no cache) and are accepted.
HINTERNET HttpOpenRequestA(HINTERNET Connect, const char* Verb, const char* ObjectName,
                           const char* Version, const char* Referrer, const char** AcceptTypes,
                           DWORD Flags, DWORD_PTR Context);
// Sends the request and waits for the final response's headers (after the redirects).
BOOL HttpSendRequestA(HINTERNET Request, const char* Headers, DWORD HeadersLength, void* Optional,
                      DWORD OptionalLength);
// HTTP_QUERY_STATUS_CODE or HTTP_QUERY_CONTENT_LENGTH as text ending in a zero; false when the
// response has no such value or the buffer (whose size *BufferLength gives) is too short.
BOOL HttpQueryInfoA(HINTERNET Request, DWORD InfoLevel, void* Buffer, DWORD* BufferLength,
                    DWORD* Index);
// Waits until NumberOfBytesToRead bytes have arrived or the transfer has ended. A transfer that
// ended with an error (a broken connection, a timeout) answers false.
BOOL InternetReadFile(HINTERNET File, void* Buffer, DWORD NumberOfBytesToRead,
                      DWORD* NumberOfBytesRead);
// As InternetReadFile into BuffersOut->lpvBuffer; the count read is left in dwBufferLength.
BOOL InternetReadFileExA(HINTERNET File, INTERNET_BUFFERSA* BuffersOut, DWORD Flags,
                         DWORD_PTR Context);
BOOL InternetQueryOptionA(HINTERNET Internet, DWORD Option, void* Buffer, DWORD* BufferLength);
BOOL InternetSetOptionA(HINTERNET Internet, DWORD Option, void* Buffer, DWORD BufferLength);
// Opens FileName (relative to the login folder) for a binary read (Access GENERIC_READ); nil when
// the server refuses.
HINTERNET FtpOpenFileA(HINTERNET Connect, const char* FileName, DWORD Access, DWORD Flags,
                       DWORD_PTR Context);
// Closes a request, file, connection or session handle; nil answers false.
BOOL InternetCloseHandle(HINTERNET Internet);
// The text of the last failure of this thread's calls, with 0 as Error; an empty text when the
// last call succeeded.
BOOL InternetGetLastResponseInfoA(DWORD* Error, char* Buffer, DWORD* BufferLength);
