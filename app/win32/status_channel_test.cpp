#include "app/win32/status_channel.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "app/status_report.h"
#include "app/win32/status_output.h"
#include "app/win32/status_responder.h"

namespace {

using Orvex::SharedString;

constexpr char16_t kReport[] = u"Current = C:\\画像\\赤.png\nSuspend = false\n";

COPYDATASTRUCT Block(ULONG_PTR tag, const void* data, DWORD bytes) {
  COPYDATASTRUCT block = {};
  block.dwData = tag;
  block.cbData = bytes;
  block.lpData = const_cast<void*>(data);
  return block;
}

TEST(StatusReplyTest, OnlyTheAskedWindowsTaggedEvenBoundedBlockIsTaken) {
  HWND asked = reinterpret_cast<HWND>(0x1234);
  HWND other = reinterpret_cast<HWND>(0x5678);
  const std::u16string text = kReport;
  const DWORD bytes = static_cast<DWORD>(text.size() * 2);

  COPYDATASTRUCT good = Block(kStatusDataTag, text.data(), bytes);
  EXPECT_EQ(AcceptStatusReply(asked, asked, &good), text);
  EXPECT_EQ(AcceptStatusReply(asked, other, &good), std::nullopt);
  EXPECT_EQ(AcceptStatusReply(nullptr, nullptr, &good), std::nullopt);
  EXPECT_EQ(AcceptStatusReply(asked, asked, nullptr), std::nullopt);

  COPYDATASTRUCT untagged = Block(kStatusDataTag + 1, text.data(), bytes);
  EXPECT_EQ(AcceptStatusReply(asked, asked, &untagged), std::nullopt);
  COPYDATASTRUCT odd = Block(kStatusDataTag, text.data(), bytes - 1);
  EXPECT_EQ(AcceptStatusReply(asked, asked, &odd), std::nullopt);
  COPYDATASTRUCT claims_data = Block(kStatusDataTag, nullptr, 2);
  EXPECT_EQ(AcceptStatusReply(asked, asked, &claims_data), std::nullopt);

  const std::u16string largest(kMaxStatusBytes / 2, u'x');
  COPYDATASTRUCT at_limit =
      Block(kStatusDataTag, largest.data(), static_cast<DWORD>(kMaxStatusBytes));
  EXPECT_EQ(AcceptStatusReply(asked, asked, &at_limit), largest);
  const std::u16string larger(kMaxStatusBytes / 2 + 1, u'x');
  COPYDATASTRUCT over = Block(kStatusDataTag, larger.data(), static_cast<DWORD>(larger.size() * 2));
  EXPECT_EQ(AcceptStatusReply(asked, asked, &over), std::nullopt);
}

// A stand-in for the resident window on a thread of its own. Before the
// real answer it sends a block with a foreign tag, which must not end the
// wait.
constexpr wchar_t kFakeResidentClass[] = L"PelmoraTest.FakeResident";
bool g_answer = true;

LRESULT CALLBACK FakeResidentProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == kStatusRequestMessage && g_answer) {
    HWND caller = reinterpret_cast<HWND>(wparam);
    const std::u16string noise = u"noise";
    COPYDATASTRUCT foreign = Block(0x1, noise.data(), static_cast<DWORD>(noise.size() * 2));
    SendMessageW(caller, WM_COPYDATA, reinterpret_cast<WPARAM>(window),
                 reinterpret_cast<LPARAM>(&foreign));
    SendStatusReply(window, caller, SharedString(kReport));
    return 0;
  }
  if (message == WM_CLOSE) {
    DestroyWindow(window);
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

class StatusChannelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WNDCLASSW window_class = {};
    window_class.lpfnWndProc = FakeResidentProc;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpszClassName = kFakeResidentClass;
    RegisterClassW(&window_class);
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    thread_ = std::thread([this, ready] {
      resident_ = CreateWindowExW(0, kFakeResidentClass, L"", WS_POPUP, 0, 0, 1, 1, nullptr,
                                  nullptr, GetModuleHandleW(nullptr), nullptr);
      SetEvent(ready);
      MSG message;
      while (resident_ && GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    });
    WaitForSingleObject(ready, 10000);
    CloseHandle(ready);
    if (!resident_) GTEST_SKIP() << "no window station to create windows in";
  }
  void TearDown() override {
    if (resident_) PostMessageW(resident_, WM_CLOSE, 0, 0);
    thread_.join();
    g_answer = true;
  }

  HWND resident_ = nullptr;
  std::thread thread_;
};

TEST_F(StatusChannelTest, TheAnswerArrivesWhileTheCallerWaitsAndSilenceEndsInTime) {
  EXPECT_EQ(AskResidentStatus(resident_, 5000), SharedString(kReport));

  g_answer = false;
  const DWORD start = GetTickCount();
  EXPECT_EQ(AskResidentStatus(resident_, 300), std::nullopt);
  const DWORD took = GetTickCount() - start;
  EXPECT_GE(took, 250u);
  EXPECT_LT(took, 3000u);
}

TEST_F(StatusChannelTest, TheStatusWindowAnswersForABusyResidentWindow) {
  // The resident window does not answer, as while a change holds its thread.
  g_answer = false;
  const auto board = std::make_shared<StatusBoard>();
  StatusResponder responder(board);
  ASSERT_TRUE(SetPropW(resident_, kStatusWindowProperty, responder.Handle()));
  // Nothing posted yet: nothing to tell.
  EXPECT_EQ(AskResidentStatus(resident_, 300), std::nullopt);

  StatusFacts facts;
  facts.current = u"C:\\画像\\赤.png";
  facts.image_folder = u"C:\\画像\\";
  facts.pictures = 3;
  board->Post(facts);
  EXPECT_EQ(AskResidentStatus(resident_, 5000),
            StatusReport(board->Read(), std::chrono::steady_clock::now()));
  RemovePropW(resident_, kStatusWindowProperty);
}

TEST(StatusOutputTest, APipeGetsTheAnsiCodePageWithWindowsLineEnds) {
  EXPECT_EQ(WithCrLf(u"a\nb\r\n\nc"), u"a\r\nb\r\n\r\nc");

  // What a script reading the settings file would decode.
  const std::u16string expected = WithCrLf(kReport);
  std::string ansi(expected.size() * 4, '\0');
  const int length =
      WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<const wchar_t*>(expected.data()),
                          static_cast<int>(expected.size()), ansi.data(),
                          static_cast<int>(ansi.size()), nullptr, nullptr);
  ansi.resize(static_cast<size_t>(length));

  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  ASSERT_TRUE(CreatePipe(&read_end, &write_end, nullptr, 1 << 16));
  HANDLE saved = GetStdHandle(STD_OUTPUT_HANDLE);
  SetStdHandle(STD_OUTPUT_HANDLE, write_end);
  const StatusOutputResult result = WriteStatusOutput(SharedString(kReport));
  SetStdHandle(STD_OUTPUT_HANDLE, saved);
  CloseHandle(write_end);
  std::string got(1 << 16, '\0');
  DWORD read = 0;
  ReadFile(read_end, got.data(), static_cast<DWORD>(got.size()), &read, nullptr);
  got.resize(read);
  CloseHandle(read_end);

  EXPECT_EQ(result, StatusOutputResult::kWritten);
  EXPECT_EQ(got, ansi);
  EXPECT_EQ(StatusFileBytes(SharedString(kReport)), ansi);
  // No code page has it; its look-alike "a" could name another file.
  EXPECT_EQ(StatusFileBytes(SharedString(u"Current = C:\\\u0101.png\n")),
            "Current = C:\\?.png\r\n");
}

}  // namespace
