// The Internet transfer calls on their own: the library's start-up, the handle rules, the
// response values and a body far larger than what a transfer holds unread, against an HTTP
// server the test starts on the loopback address (tests/system/url_server.py).
#include "platform/net/WinInet.h"

#include "tests/ExternalTool.h"
#include "tests/system/LocalServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

class WinInet : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(InternetLibraryStartUp()); }
    void TearDown() override {
        for (HINTERNET handle : Open)
            InternetCloseHandle(handle);
        InternetLibraryShutDown();
    }
    HINTERNET Keep(HINTERNET Handle) {
        if (Handle != nullptr) Open.insert(Open.begin(), Handle);
        return Handle;
    }
    // A sent GET of Path on the server.
    HINTERNET Get(int Port, const std::string& Path) {
        HINTERNET session =
            Keep(InternetOpenA("test", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
        HINTERNET connection =
            Keep(InternetConnectA(session, "127.0.0.1", static_cast<INTERNET_PORT>(Port), nullptr,
                                  nullptr, INTERNET_SERVICE_HTTP, 0, 0));
        HINTERNET request = Keep(
            HttpOpenRequestA(connection, "GET", Path.c_str(), "HTTP/1.1", nullptr, nullptr, 0, 0));
        EXPECT_NE(request, nullptr);
        EXPECT_TRUE(HttpSendRequestA(request, nullptr, 0, nullptr, 0));
        return request;
    }
    std::vector<HINTERNET> Open;
    ScratchFolder Folder;
};

TEST_F(WinInet, NothingOpensWithoutTheLibraryOrWithTheWrongHandle) {
    InternetLibraryShutDown();
    EXPECT_FALSE(InternetLibraryStarted());
    EXPECT_EQ(InternetOpenA("test", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0), nullptr);
    ASSERT_TRUE(InternetLibraryStartUp());
    HINTERNET session = Keep(InternetOpenA("test", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    ASSERT_NE(session, nullptr);
    EXPECT_EQ(HttpOpenRequestA(session, "GET", "/", "HTTP/1.1", nullptr, nullptr, 0, 0), nullptr);
    EXPECT_EQ(InternetConnectA(session, "", 80, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0),
              nullptr);
    HINTERNET http = Keep(
        InternetConnectA(session, "127.0.0.1", 1, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    ASSERT_NE(http, nullptr);
    EXPECT_EQ(HttpOpenRequestA(http, "POST", "/", "HTTP/1.1", nullptr, nullptr, 0, 0), nullptr);
    EXPECT_EQ(FtpOpenFileA(http, "a", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0), nullptr);
    EXPECT_FALSE(InternetCloseHandle(nullptr));
    // A request nobody answers fails to send, and the reason is kept for this thread.
    HINTERNET request =
        Keep(HttpOpenRequestA(http, "GET", "/", "HTTP/1.1", nullptr, nullptr, 0, 0));
    ASSERT_NE(request, nullptr);
    EXPECT_FALSE(HttpSendRequestA(request, nullptr, 0, nullptr, 0));
    char text[256] = {};
    DWORD length = sizeof(text);
    DWORD error = 1;
    EXPECT_TRUE(InternetGetLastResponseInfoA(&error, text, &length));
    EXPECT_EQ(error, 0u);
    EXPECT_GT(length, 0u);
}

TEST_F(WinInet, AnswersTheStatusAndLengthAndDeliversALargeBodyInOrder) {
    TLocalServer server(SV_TESTS_DIR "/system/url_server.py", {"http", Folder.Path().string()});
    ASSERT_GT(server.Port(), 0);
    const DWORD size = 3u << 20;
    HINTERNET request = Get(server.Port(), "/pattern/" + std::to_string(size));
    char text[16] = {};
    DWORD length = 2;
    EXPECT_FALSE(HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE, text, &length, nullptr));
    EXPECT_EQ(length, 4u) << "the length needed, with the zero";
    length = sizeof(text);
    ASSERT_TRUE(HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE, text, &length, nullptr));
    EXPECT_STREQ(text, "200");
    length = sizeof(text);
    ASSERT_TRUE(HttpQueryInfoA(request, HTTP_QUERY_CONTENT_LENGTH, text, &length, nullptr));
    EXPECT_EQ(std::stoul(text), size);
    DWORD flags = 1;
    DWORD flagsLength = sizeof(flags);
    ASSERT_TRUE(
        InternetQueryOptionA(request, INTERNET_OPTION_SECURITY_FLAGS, &flags, &flagsLength));
    EXPECT_EQ(flags, 0u) << "plain http is not secure";
    // Read slowly at first, so the transfer has to hold back what it receives.
    std::vector<uint8_t> body;
    std::vector<uint8_t> buffer(4096);
    for (int round = 0;; ++round) {
        if (round < 20) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        DWORD got = 0;
        ASSERT_TRUE(
            InternetReadFile(request, buffer.data(), static_cast<DWORD>(buffer.size()), &got));
        if (got == 0) break;
        body.insert(body.end(), buffer.begin(), buffer.begin() + got);
    }
    ASSERT_EQ(body.size(), size);
    for (size_t i = 0; i < body.size(); ++i)
        ASSERT_EQ(body[i], static_cast<uint8_t>((i * 7 + i / 251) % 256)) << "at " << i;
}

TEST_F(WinInet, AReceiveTimeoutEndsAStalledBody) {
    TLocalServer server(SV_TESTS_DIR "/system/url_server.py", {"http", Folder.Path().string()});
    ASSERT_GT(server.Port(), 0);
    HINTERNET request = Get(server.Port(), "/stall/x");
    DWORD timeout = 300;
    ASSERT_TRUE(
        InternetSetOptionA(request, INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof(timeout)));
    std::vector<uint8_t> buffer(65536);
    INTERNET_BUFFERSA block;
    block.lpvBuffer = buffer.data();
    block.dwBufferLength = static_cast<DWORD>(buffer.size());
    // What came arrives; then the wait ends in a failure, not in an empty success.
    ASSERT_TRUE(InternetReadFileExA(request, &block, IRF_NO_WAIT, 0));
    EXPECT_GT(block.dwBufferLength, 0u);
    DWORD total = block.dwBufferLength;
    for (;;) {
        block.dwBufferLength = static_cast<DWORD>(buffer.size());
        if (!InternetReadFileExA(request, &block, IRF_NO_WAIT, 0)) break;
        ASSERT_GT(block.dwBufferLength, 0u);
        total += block.dwBufferLength;
    }
    EXPECT_EQ(total, 100u);
}

} // namespace
