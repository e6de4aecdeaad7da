// The socket layer against real connections on loopback.
#include "socket/socket.h"

#include <arpa/inet.h>
#include <pthread.h>
#include <signal.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/tcp_client.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

int open_descriptor_count() {
  DIR* dir = ::opendir("/proc/self/fd");
  if (dir == nullptr) return -1;
  int count = 0;
  while (::readdir(dir) != nullptr) ++count;
  ::closedir(dir);
  return count;  // the same offset ("." "..", the directory's own) each time
}

std::string with_system_text(const char* message, int error_number) {
  return std::string(message) + ": " + std::strerror(error_number);
}

// A listening socket on a port that was free a moment ago; the port can be
// taken by someone else in between, hence the retries.
std::unique_ptr<TCPServerSocket> listen_anywhere(int* port) {
  for (int attempt = 0; attempt < 20; ++attempt) {
    *port = FindFreeTcpPort();
    try {
      return std::make_unique<TCPServerSocket>(static_cast<unsigned short>(*port), 3);
    } catch (const SocketException&) {
    }
  }
  return nullptr;
}

// One accepted connection from a TcpClient.
struct Connection {
  std::unique_ptr<TCPServerSocket> server;
  TcpClient client;
  std::unique_ptr<TCPSocket> accepted;
  int port = 0;
};

void connect_pair(Connection* pair) {
  pair->server = listen_anywhere(&pair->port);
  ASSERT_NE(pair->server, nullptr);
  ASSERT_TRUE(pair->client.connect(pair->port));
  pair->accepted = pair->server->accept();
  ASSERT_NE(pair->accepted, nullptr);
}

unsigned short local_port_of(int fd) {
  sockaddr_in address{};
  socklen_t length = sizeof(address);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  return ntohs(address.sin_port);
}

TEST(TCPServerSocket, PortInUseThrowsBindTextAndLeavesNoDescriptor) {
  int port = 0;
  std::unique_ptr<TCPServerSocket> first = listen_anywhere(&port);
  ASSERT_NE(first, nullptr);

  const int before = open_descriptor_count();
  std::string text;
  try {
    TCPServerSocket second(static_cast<unsigned short>(port), 3);
    FAIL() << "a second listener on the same port was created";
  } catch (const SocketException& failure) {
    text = failure.what();
  }
  EXPECT_EQ(text, with_system_text("Ошибка привязки к номеру порта", EADDRINUSE));
  EXPECT_EQ(open_descriptor_count(), before);
}

// A restarted daemon binds at once although its last connections still
// wait out TCP's closing time on the port; a listener on the port keeps it
// (see PortInUseThrowsBindTextAndLeavesNoDescriptor).
TEST(TCPServerSocket, BindsWhileAnEarlierConnectionOnThePortIsClosing) {
  Connection pair;
  ASSERT_NO_FATAL_FAILURE(connect_pair(&pair));
  pair.accepted.reset();  // the server's end closes first and goes to TIME_WAIT
  ASSERT_TRUE(pair.client.isClosedByPeer(seconds(5)));
  pair.client.close();
  pair.server.reset();
  std::this_thread::sleep_for(milliseconds(50));  // the last FIN is acknowledged
  std::string failure;
  try {
    TCPServerSocket again(static_cast<unsigned short>(pair.port), 3);
  } catch (const SocketException& e) {
    failure = e.what();
  }
  EXPECT_EQ(failure, "");
}

TEST(TCPServerSocket, DestructionClosesListenerAndConnections) {
  const int before = open_descriptor_count();
  {
    Connection pair;
    connect_pair(&pair);
    EXPECT_EQ(open_descriptor_count(), before + 3);  // listener, client, accepted
  }
  EXPECT_EQ(open_descriptor_count(), before);
}

TEST(TCPServerSocket, ShutdownWakesBlockedAccept) {
  int port = 0;
  std::unique_ptr<TCPServerSocket> server = listen_anywhere(&port);
  ASSERT_NE(server, nullptr);

  std::promise<std::string> outcome;
  std::future<std::string> result = outcome.get_future();
  std::thread acceptor([&] {
    try {
      server->accept();
      outcome.set_value("accepted");
    } catch (const SocketException& failure) {
      outcome.set_value(failure.what());
    }
  });
  std::this_thread::sleep_for(milliseconds(100));  // let it block in accept
  server->shutdown();
  const bool woke = result.wait_for(seconds(5)) == std::future_status::ready;
  if (!woke) {
    // Unblock the thread some other way so that the test can end.
    TcpClient rescue;
    rescue.connect(port, seconds(1));
  }
  acceptor.join();
  ASSERT_TRUE(woke) << "accept() stayed blocked after shutdown()";
  EXPECT_EQ(result.get().rfind("Ошибка принятия поключения к сокету: ", 0), 0u);
  // Later accepts fail at once as well.
  EXPECT_THROW(server->accept(), SocketException);
}

TEST(CommunicatingSocket, RecvReturnsZeroWhenPeerCloses) {
  Connection pair;
  ASSERT_NO_FATAL_FAILURE(connect_pair(&pair));
  ASSERT_TRUE(pair.client.sendRaw("abc"));
  pair.client.close();

  char buffer[16];
  EXPECT_EQ(pair.accepted->recv(buffer, sizeof(buffer)), 3u);
  EXPECT_EQ(std::string(buffer, 3), "abc");
  EXPECT_EQ(pair.accepted->recv(buffer, sizeof(buffer)), 0u);
}

TEST(CommunicatingSocket, RecvOnResetConnectionThrowsWithoutSystemText) {
  Connection pair;
  ASSERT_NO_FATAL_FAILURE(connect_pair(&pair));
  pair.client.resetConnection();

  char buffer[16];
  try {
    pair.accepted->recv(buffer, sizeof(buffer));
    FAIL() << "recv on a reset connection returned";
  } catch (const SocketException& failure) {
    EXPECT_STREQ(failure.what(), "Ошибка получения данных");
  }
}

TEST(CommunicatingSocket, ForeignAddressAndPortOfLoopbackPeer) {
  Connection pair;
  ASSERT_NO_FATAL_FAILURE(connect_pair(&pair));
  EXPECT_EQ(pair.accepted->getForeignAddress(), "127.0.0.1");
  EXPECT_EQ(pair.accepted->getForeignPort(), local_port_of(pair.client.descriptor()));
}

TEST(CommunicatingSocket, PeerQueriesOnUnconnectedSocketThrow) {
  TCPSocket unconnected(::socket(AF_INET, SOCK_STREAM, 0));
  ASSERT_GE(unconnected.descriptor(), 0);
  struct Case {
    const char* message;
    std::function<void()> query;
  };
  const Case cases[] = {
      {"Ошибка получения адреса подключения", [&] { unconnected.getForeignAddress(); }},
      {"Ошибка получения порта подключения", [&] { unconnected.getForeignPort(); }},
  };
  for (const Case& c : cases) {
    try {
      c.query();
      ADD_FAILURE() << c.message << ": no exception";
    } catch (const SocketException& failure) {
      EXPECT_EQ(failure.what(), with_system_text(c.message, ENOTCONN));
    }
  }
}

void ignore_signal(int) {}

// Installs a do-nothing handler for SIGUSR1 without SA_RESTART, so that the
// signal cuts a blocked send short (partially sent, or EINTR); restores the
// previous one on destruction.
class InterruptingSignal {
 public:
  InterruptingSignal() {
    struct sigaction action {};
    action.sa_handler = ignore_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    ::sigaction(SIGUSR1, &action, &previous_);
  }
  ~InterruptingSignal() { ::sigaction(SIGUSR1, &previous_, nullptr); }

 private:
  struct sigaction previous_ {};
};

TEST(CommunicatingSocket, SendAllDeliversMegabytesToSlowReaderDespiteInterruptions) {
  Connection pair;
  ASSERT_NO_FATAL_FAILURE(connect_pair(&pair));

  std::string payload(6 * 1024 * 1024, '\0');
  for (std::size_t i = 0; i < payload.size(); ++i) {
    payload[i] = static_cast<char>((i * 131 + i / 4099) & 0xff);
  }
  // The reader takes small bites with pauses, so the kernel buffers fill and
  // the sender blocks; the signals then end its sends early, as a signal
  // arriving at the daemon would.
  std::future<std::string> received = std::async(std::launch::async, [&] {
    std::string got;
    char chunk[4096];
    int reads = 0;
    while (got.size() < payload.size()) {
      const ssize_t n = ::recv(pair.client.descriptor(), chunk, sizeof(chunk), 0);
      if (n <= 0) break;
      got.append(chunk, static_cast<std::size_t>(n));
      if (++reads % 16 == 0) std::this_thread::sleep_for(milliseconds(1));
    }
    return got;
  });
  InterruptingSignal interrupting;
  const pthread_t sender = ::pthread_self();
  std::atomic<bool> sent{false};
  std::thread nudger([&] {
    while (!sent) {
      ::pthread_kill(sender, SIGUSR1);
      std::this_thread::sleep_for(milliseconds(1));
    }
  });
  std::string failure;
  try {
    pair.accepted->sendAll(payload.data(), payload.size());
  } catch (const SocketException& e) {
    failure = e.what();
  }
  sent = true;
  nudger.join();
  ::shutdown(pair.accepted->descriptor(), SHUT_WR);  // the reader stops at what was sent
  EXPECT_EQ(failure, "");
  ASSERT_EQ(received.wait_for(seconds(60)), std::future_status::ready);
  const std::string got = received.get();
  ASSERT_EQ(got.size(), payload.size());
  EXPECT_TRUE(got == payload) << "the bytes arrived altered or out of order";
}

TEST(CommunicatingSocket, SendAllToClosedPeerThrowsAndProcessSurvives) {
  Connection pair;
  ASSERT_NO_FATAL_FAILURE(connect_pair(&pair));
  pair.client.close();

  // The first sends can still be taken before the peer's reset comes back;
  // a SIGPIPE would end this test program here.
  const std::string block(65536, 'x');
  std::string text;
  for (int attempt = 0; attempt < 100 && text.empty(); ++attempt) {
    try {
      pair.accepted->sendAll(block.data(), block.size());
      std::this_thread::sleep_for(milliseconds(10));
    } catch (const SocketException& failure) {
      text = failure.what();
    }
  }
  ASSERT_FALSE(text.empty()) << "sending to a closed peer never failed";
  EXPECT_TRUE(text == with_system_text("Ошибка отправки данных", EPIPE) ||
              text == with_system_text("Ошибка отправки данных", ECONNRESET))
      << text;
}

TEST(CommunicatingSocket, WaitReadableIsBoundedAndWakesForBytesAndForTheClose) {
  Connection pair;
  ASSERT_NO_FATAL_FAILURE(connect_pair(&pair));
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(pair.accepted->waitReadable(200));
  auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, milliseconds(190));
  EXPECT_LT(waited, seconds(2));

  ASSERT_TRUE(pair.client.sendRaw("x"));
  start = std::chrono::steady_clock::now();
  EXPECT_TRUE(pair.accepted->waitReadable(5000));
  EXPECT_LT(std::chrono::steady_clock::now() - start, seconds(2));
  char buffer[8];
  EXPECT_EQ(pair.accepted->recv(buffer, sizeof(buffer)), 1u);

  pair.client.close();
  EXPECT_TRUE(pair.accepted->waitReadable(5000));
  EXPECT_EQ(pair.accepted->recv(buffer, sizeof(buffer)), 0u);
}

TEST(CommunicatingSocket, WaitReadableGoesOnForTheTimeLeftAfterASignal) {
  Connection pair;
  ASSERT_NO_FATAL_FAILURE(connect_pair(&pair));
  InterruptingSignal interrupting;
  const pthread_t waiter = ::pthread_self();
  std::atomic<bool> done{false};
  std::thread nudger([&] {
    while (!done) {
      ::pthread_kill(waiter, SIGUSR1);
      std::this_thread::sleep_for(milliseconds(10));
    }
  });
  const auto start = std::chrono::steady_clock::now();
  std::string failure;
  bool ready = true;
  try {
    ready = pair.accepted->waitReadable(300);
  } catch (const SocketException& e) {
    failure = e.what();
  }
  const auto waited = std::chrono::steady_clock::now() - start;
  done = true;
  nudger.join();
  EXPECT_EQ(failure, "");
  EXPECT_FALSE(ready);
  EXPECT_GE(waited, milliseconds(290));
  EXPECT_LT(waited, seconds(3));
}

TEST(CommunicatingSocket, SendIsOneCallAndRecvTakesWhatHasArrived) {
  Connection pair;
  ASSERT_NO_FATAL_FAILURE(connect_pair(&pair));
  const std::string reply = "{\"TVL\":{}}\n";
  pair.accepted->send(reply.data(), reply.size());
  EXPECT_EQ(pair.client.readLine(seconds(5)), std::optional<std::string>("{\"TVL\":{}}"));

  ASSERT_TRUE(pair.client.sendRaw("first"));
  std::this_thread::sleep_for(milliseconds(50));
  char buffer[64];
  EXPECT_EQ(pair.accepted->recv(buffer, 3), 3u);  // never more than asked
  EXPECT_EQ(pair.accepted->recv(buffer, sizeof(buffer)), 2u);
  EXPECT_EQ(std::string(buffer, 2), "st");
}

TEST(Socket, CreationFailureCarriesSystemText) {
  try {
    Socket impossible(-1, 0);
    FAIL() << "a socket of type -1 was created";
  } catch (const SocketException& failure) {
    EXPECT_EQ(failure.what(), with_system_text("Ошибка создания сокета", EINVAL));
  }
}

TEST(SocketException, SystemTextOnlyWhenAsked) {
  errno = EADDRINUSE;
  EXPECT_STREQ(SocketException("Ошибка").what(), "Ошибка");
  errno = EADDRINUSE;
  EXPECT_EQ(std::string(SocketException("Ошибка", true).what()),
            with_system_text("Ошибка", EADDRINUSE));
}

}  // namespace
