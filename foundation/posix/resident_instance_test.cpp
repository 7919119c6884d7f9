#include "foundation/posix/resident_instance.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "foundation/exceptions.h"
#include "foundation/posix/resident_listener.h"
#include "foundation/test_folder.h"

namespace {

using Orvex::UniqueFd;
namespace fs = std::filesystem;

std::vector<std::string> Lines(const std::vector<ResidentInstance::Message>& messages) {
  std::vector<std::string> lines;
  for (const auto& message : messages) lines.push_back(message.line);
  return lines;
}

class ResidentInstanceTest : public ::testing::Test {
 protected:
  ResidentInstanceTest() : folder_(Orvex::ToUtf8(root_.Path()) + "run/") {}

  // A connected client that has sent bytes (or nothing) and stays open.
  UniqueFd Connect(const std::string& socket_path, const std::string& bytes = {}) {
    UniqueFd fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    socket_path.copy(address.sun_path, sizeof address.sun_path - 1);
    EXPECT_EQ(connect(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    if (!bytes.empty()) {
      EXPECT_EQ(send(fd.Get(), bytes.data(), bytes.size(), 0), ssize_t(bytes.size()));
    }
    return fd;
  }

  Orvex::Testing::TestFolder root_;
  const std::string folder_;
};

TEST_F(ResidentInstanceTest, TheFolderIsInTheSessionsRuntimeFolderWhileThereIsOne) {
  const char* session = std::getenv("XDG_RUNTIME_DIR");
  const std::string saved = session ? session : "";
  const std::string fallback = "/tmp/pelmora-" + std::to_string(geteuid()) + "/";
  setenv("XDG_RUNTIME_DIR", Orvex::ToUtf8(root_.Path()).c_str(), 1);
  EXPECT_EQ(ResidentFolder(), Orvex::ToUtf8(root_.Path()) + "pelmora/");
  setenv("XDG_RUNTIME_DIR", (folder_ + "ended-session").c_str(), 1);
  EXPECT_EQ(ResidentFolder(), fallback);
  unsetenv("XDG_RUNTIME_DIR");
  EXPECT_EQ(ResidentFolder(), fallback);
  if (session) setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
}

TEST_F(ResidentInstanceTest, OneHolderAtATimeAndTheNextTakesOver) {
  auto first = ResidentInstance::TryBecomeResident(folder_, "p");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(fs::status(folder_).permissions() & fs::perms::all, fs::perms::owner_all);
  // Refused while held, and the refusal leaves the holder's socket alone.
  EXPECT_EQ(ResidentInstance::TryBecomeResident(folder_, "p"), nullptr);
  EXPECT_TRUE(fs::is_socket(first->SocketPath()));
  // Another program's name is independent.
  EXPECT_NE(ResidentInstance::TryBecomeResident(folder_, "q"), nullptr);

  first.reset();
  EXPECT_FALSE(fs::exists(folder_ + "p.sock"));
  EXPECT_FALSE(NotifyResident(folder_, "p", "notify"));
  auto next = ResidentInstance::TryBecomeResident(folder_, "p");
  ASSERT_NE(next, nullptr);
  EXPECT_TRUE(NotifyResident(folder_, "p", "notify"));
  EXPECT_EQ(Lines(next->TakeMessages()), std::vector<std::string>{"notify"});
}

TEST_F(ResidentInstanceTest, ASocketPathLongerThanAnAddressHoldsStillWorks) {
  // A socket address holds about 100 bytes; a runtime folder under a long
  // home or build folder needs more.
  const std::string parent = folder_ + std::string(100, 'd') + "/";
  ASSERT_EQ(mkdir(folder_.c_str(), 0700), 0);
  ASSERT_EQ(mkdir(parent.c_str(), 0700), 0);
  const std::string deep = parent + "pelmora/";
  auto resident = ResidentInstance::TryBecomeResident(deep, "p");
  ASSERT_NE(resident, nullptr);
  EXPECT_TRUE(fs::is_socket(deep + "p.sock"));
  EXPECT_EQ(ResidentInstance::TryBecomeResident(deep, "p"), nullptr);
  EXPECT_TRUE(NotifyResident(deep, "p", "notify"));
  EXPECT_EQ(Lines(resident->TakeMessages()), std::vector<std::string>{"notify"});
  resident.reset();
  EXPECT_FALSE(fs::exists(deep + "p.sock"));
  EXPECT_FALSE(NotifyResident(deep, "p", "notify"));
}

TEST_F(ResidentInstanceTest, StaleSocketOfAKilledInstanceIsReplaced) {
  // A socket file with nobody listening, as a killed program leaves it.
  ASSERT_EQ(mkdir(folder_.c_str(), 0700), 0);
  {
    UniqueFd dead(socket(AF_UNIX, SOCK_STREAM, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    (folder_ + "p.sock").copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(bind(dead.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  }
  ASSERT_TRUE(fs::is_socket(folder_ + "p.sock"));
  EXPECT_FALSE(NotifyResident(folder_, "p", "notify"));

  auto resident = ResidentInstance::TryBecomeResident(folder_, "p");
  ASSERT_NE(resident, nullptr);
  EXPECT_TRUE(NotifyResident(folder_, "p", "notify"));
  EXPECT_EQ(Lines(resident->TakeMessages()), std::vector<std::string>{"notify"});
}

TEST_F(ResidentInstanceTest, AStartWaitsForAResidentThatIsStillSettingUp) {
  // The lock is taken, the socket comes a little later: as when several
  // starts race and one of them has just won.
  ASSERT_EQ(mkdir(folder_.c_str(), 0700), 0);
  UniqueFd lock(open((folder_ + "p.lock").c_str(), O_RDWR | O_CREAT, 0600));
  ASSERT_EQ(flock(lock.Get(), LOCK_EX), 0);
  UniqueFd listener(socket(AF_UNIX, SOCK_STREAM, 0));
  std::thread resident([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    (folder_ + "p.sock").copy(address.sun_path, sizeof address.sun_path - 1);
    bind(listener.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(listener.Get(), 4);
  });
  EXPECT_TRUE(NotifyResident(folder_, "p", "notify"));
  resident.join();
  UniqueFd peer(accept(listener.Get(), nullptr, nullptr));
  char text[16] = {};
  EXPECT_EQ(recv(peer.Get(), text, sizeof text - 1, 0), 7);
  EXPECT_STREQ(text, "notify\n");
}

TEST_F(ResidentInstanceTest, FolderOthersCanReachIsRefused) {
  ASSERT_EQ(mkdir(folder_.c_str(), 0755), 0);
  EXPECT_THROW(ResidentInstance::TryBecomeResident(folder_, "p"), Orvex::Win32Exception);
  EXPECT_FALSE(NotifyResident(folder_, "p", "notify"));
  EXPECT_FALSE(fs::exists(folder_ + "p.lock"));

  // A link to a private folder is not that folder.
  const std::string real = Orvex::ToUtf8(root_.Path()) + "real/";
  const std::string link = Orvex::ToUtf8(root_.Path()) + "link";
  ASSERT_EQ(mkdir(real.c_str(), 0700), 0);
  ASSERT_EQ(symlink(real.c_str(), link.c_str()), 0);
  EXPECT_THROW(ResidentInstance::TryBecomeResident(link + "/", "p"), Orvex::Win32Exception);
  EXPECT_TRUE(fs::is_empty(real));
}

TEST_F(ResidentInstanceTest, MessagesArriveAndBadPeersCannotHoldUpTheResident) {
  auto resident = ResidentInstance::TryBecomeResident(folder_, "p");
  ASSERT_NE(resident, nullptr);
  EXPECT_TRUE(resident->TakeMessages().empty());

  UniqueFd silent = Connect(resident->SocketPath());
  UniqueFd too_long = Connect(resident->SocketPath(), std::string(500, 'x') + "\n");
  UniqueFd control = Connect(resident->SocketPath(), "no\ttabs\n");
  UniqueFd no_line_end = Connect(resident->SocketPath(), "resume");
  no_line_end.Reset();
  EXPECT_TRUE(NotifyResident(folder_, "p", "notify"));
  EXPECT_FALSE(NotifyResident(folder_, "p", "two\nlines"));

  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Lines(resident->TakeMessages()), (std::vector<std::string>{"resume", "notify"}));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_TRUE(resident->TakeMessages().empty());
}

// The first message that arrives within a few seconds.
std::vector<ResidentInstance::Message> WaitForMessages(ResidentInstance& resident) {
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  std::vector<ResidentInstance::Message> messages;
  while (messages.empty() && std::chrono::steady_clock::now() < give_up) {
    messages = resident.TakeMessages();
    if (messages.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return messages;
}

TEST_F(ResidentInstanceTest, AQuestionGetsItsAnswerAndAnUnansweredOneNothing) {
  EXPECT_EQ(AskResident(folder_, "p", "status"), std::nullopt);  // nobody resident
  auto resident = ResidentInstance::TryBecomeResident(folder_, "p");
  ASSERT_NE(resident, nullptr);
  const std::string report = "Current = /pictures/a.png\n" + std::string(100000, 'x') + "\n";

  auto asked = std::async(std::launch::async, [&] { return AskResident(folder_, "p", "status"); });
  auto messages = WaitForMessages(*resident);
  ASSERT_EQ(Lines(messages), std::vector<std::string>{"status"});
  EXPECT_TRUE(ResidentInstance::Answer(messages[0], report));
  EXPECT_EQ(asked.get(), report);

  // A line the resident program only acts on closes without a word.
  asked = std::async(std::launch::async, [&] { return AskResident(folder_, "p", "notify"); });
  messages = WaitForMessages(*resident);
  ASSERT_EQ(Lines(messages), std::vector<std::string>{"notify"});
  messages.clear();
  EXPECT_EQ(asked.get(), std::nullopt);
}

TEST_F(ResidentInstanceTest, NeitherSideWaitsLongForTheOther) {
  auto resident = ResidentInstance::TryBecomeResident(folder_, "p");
  ASSERT_NE(resident, nullptr);

  // A peer that asks and never reads: more than the socket buffers hold
  // cannot go out, and the resident program gives up instead of hanging.
  UniqueFd deaf = Connect(resident->SocketPath(), "status\n");
  auto messages = WaitForMessages(*resident);
  ASSERT_EQ(messages.size(), 1u);
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(
      ResidentInstance::Answer(messages[0], std::string(ResidentInstance::kMaxAnswerBytes, 'x')));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));

  // A resident program that takes the question and keeps silent.
  start = std::chrono::steady_clock::now();
  auto asked = std::async(std::launch::async, [&] {
    return AskResident(folder_, "p", "status", std::chrono::milliseconds(300));
  });
  messages = WaitForMessages(*resident);
  EXPECT_EQ(asked.get(), std::nullopt);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));

  // An answer too long to be believed is not sent.
  Connect(resident->SocketPath(), "status\n").Reset();
  messages = WaitForMessages(*resident);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_FALSE(ResidentInstance::Answer(messages[0],
                                        std::string(ResidentInstance::kMaxAnswerBytes + 1, 'x')));
}

}  // namespace

TEST_F(ResidentInstanceTest, AListenerAnswersQuestionsItselfAndHandsOnTheRestInOrder) {
  auto resident = ResidentInstance::TryBecomeResident(folder_, "p");
  ASSERT_NE(resident, nullptr);
  std::mutex mutex;
  std::condition_variable handed;
  std::vector<std::string> lines;
  {
    ResidentListener listener(
        *resident,
        [](const std::string& line) -> std::optional<std::string> {
          if (line == "status") return "Current = a\n";
          return std::nullopt;
        },
        [&](std::string line) {
          const std::lock_guard<std::mutex> lock(mutex);
          lines.push_back(std::move(line));
          handed.notify_all();
        });
    // Nothing acts on the lines handed on: the question is answered anyway.
    EXPECT_TRUE(NotifyResident(folder_, "p", "notify"));
    EXPECT_TRUE(NotifyResident(folder_, "p", "previous"));
    EXPECT_EQ(AskResident(folder_, "p", "status"), "Current = a\n");
    std::unique_lock<std::mutex> lock(mutex);
    EXPECT_TRUE(handed.wait_for(lock, std::chrono::seconds(5), [&] { return lines.size() >= 2; }));
    EXPECT_EQ(lines, (std::vector<std::string>{"notify", "previous"}));
  }
  // Without a listener, peers wait on the socket for whoever takes them.
  EXPECT_TRUE(NotifyResident(folder_, "p", "notify"));
  EXPECT_EQ(Lines(WaitForMessages(*resident)), std::vector<std::string>{"notify"});
}
