#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

#include "http/block_socket.h"
#include "platform/socket.h"

namespace kv {
namespace {

// A connected pair over loopback: `client` and the server side `peer`.
struct LoopbackPair {
  LoopbackPair() {
    listener.Bind("127.0.0.1", "0");
    listener.Listen();
    const std::string port = std::to_string(listener.LocalPort());
    client = std::make_unique<TBlockSocket>();
    client->Connect("127.0.0.1", port);
    std::string address;
    if (listener.WaitReadable(5000)) peer = std::make_unique<TBlockSocket>(listener.AcceptConnection(address));
    peer_address = address;
  }
  TTCPBlockSocket listener;
  std::unique_ptr<TBlockSocket> client;
  std::unique_ptr<TBlockSocket> peer;
  std::string peer_address;
};

TEST(BlockSocket, OnlyCrLfEndsALine) {
  LoopbackPair p;
  ASSERT_TRUE(p.peer);
  EXPECT_EQ(p.peer_address, "127.0.0.1");
  p.client->SendText("one\ntwo\rthree\r\nfour\r\n\r\nrest");
  EXPECT_EQ(p.peer->RecvString(2000), "one\ntwo\rthree");
  EXPECT_EQ(p.peer->RecvString(2000), "four");
  EXPECT_EQ(p.peer->RecvString(2000), "");
  EXPECT_EQ(p.peer->LastError(), 0);
  EXPECT_EQ(p.peer->LineBuffer, "rest");
}

TEST(BlockSocket, TerminatorSplitAcrossPackets) {
  LoopbackPair p;
  ASSERT_TRUE(p.peer);
  std::thread writer([&] {
    for (const char* piece : {"GET / HT", "TP/1.0\r", "\nHost: x\r\n"}) {
      p.client->SendText(piece);
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
  });
  EXPECT_EQ(p.peer->RecvString(2000), "GET / HTTP/1.0");
  EXPECT_EQ(p.peer->RecvString(2000), "Host: x");
  writer.join();
}

TEST(BlockSocket, RecvBlockKeepsExtraBytesInLineBuffer) {
  LoopbackPair p;
  ASSERT_TRUE(p.peer);
  p.client->SendText("head\r\n0123456789ABCDEF");
  EXPECT_EQ(p.peer->RecvString(2000), "head");
  std::string block;
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(p.peer->RecvBlock(block, 10, 2000), 10u);
  EXPECT_EQ(block, "0123456789");
  EXPECT_EQ(p.peer->LineBuffer, "ABCDEF");
  std::string none;
  EXPECT_EQ(p.peer->RecvBlock(none, 0, 2000), 0u);
  EXPECT_EQ(p.peer->RecvBlock(none, -5, 2000), 0u);
  EXPECT_EQ(p.peer->LineBuffer, "ABCDEF");
}

TEST(BlockSocket, TimeoutAndPeerCloseGiveWinsockNumbers) {
  LoopbackPair p;
  ASSERT_TRUE(p.peer);
  auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(p.peer->RecvString(300), "");
  EXPECT_EQ(p.peer->LastError(), 10060);
  EXPECT_EQ(p.peer->LastErrorText(), "Connection timed out");
  EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(250));

  p.client->SendText("partial line");
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  p.client.reset();
  EXPECT_EQ(p.peer->RecvString(2000), "");
  EXPECT_EQ(p.peer->LastError(), 10054);
  EXPECT_EQ(p.peer->LastErrorText(), "Connection reset by peer");
  EXPECT_EQ(p.peer->LineBuffer, "partial line");  // what came before the failure stays
}

TEST(BlockSocket, LineLimitFailsWithMessageTooLong) {
  LoopbackPair p;
  ASSERT_TRUE(p.peer);
  p.client->SendText(std::string(100, 'x') + "\r\n");
  EXPECT_EQ(p.peer->RecvString(2000, 100), std::string(100, 'x'));
  p.client->SendText(std::string(101, 'y') + "\r\n");
  EXPECT_EQ(p.peer->RecvString(2000, 100), "");
  EXPECT_EQ(p.peer->LastError(), 10040);
  // No terminator at all: fails as soon as the limit is certainly exceeded, without waiting.
  LoopbackPair q;
  ASSERT_TRUE(q.peer);
  q.client->SendText(std::string(5000, 'z'));
  auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(q.peer->RecvString(10000, 1000), "");
  EXPECT_EQ(q.peer->LastError(), 10040);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
}

TEST(BlockSocket, BindingATakenPortFails) {
  TTCPBlockSocket first;
  first.Bind("0.0.0.0", "0");
  first.Listen();
  ASSERT_EQ(first.LastError(), 0);
  TTCPBlockSocket second;
  second.Bind("0.0.0.0", std::to_string(first.LocalPort()));
  if (second.LastError() == 0) second.Listen();
  EXPECT_EQ(second.LastError(), 10048);
  EXPECT_EQ(second.LastErrorText(), "Address already in use");
}

// The start event once showed a link-local IPv6 address ("fe80::1%12") while the server
// listens on IPv4 only: the address shown is always a dotted IPv4 one.
TEST(BlockSocket, LocalHostAddressIsIPv4) {
  const std::string address = platform::LocalHostAddress();
  int a = -1, b = -1, c = -1, d = -1;
  char rest = 0;
  EXPECT_EQ(std::sscanf(address.c_str(), "%d.%d.%d.%d%c", &a, &b, &c, &d, &rest), 4) << address;
  for (int part : {a, b, c, d}) EXPECT_TRUE(part >= 0 && part <= 255) << address;
}

TEST(BlockSocket, ErrorTextTable) {
  const char* texts[] = {
      "Interrupted system call", "Bad file number", "Permission denied", "Bad address",
      "Invalid argument", "Too many open files", "Operation would block",
      "Operation now in progress", "Operation already in progress",
      "Socket operation on nonsocket", "Destination address required", "Message too long",
      "Protocol wrong type for Socket", "Protocol not available", "Protocol not supported",
      "Socket not supported", "Operation not supported on Socket",
      "Protocol family not supported", "Address family not supported", "Address already in use",
      "Can't assign requested address", "Network is down", "Network is unreachable",
      "Network dropped connection on reset", "Software caused connection abort",
      "Connection reset by peer", "No Buffer space available", "Socket is already connected",
      "Socket is not connected", "Can't send after Socket shutdown",
      "Too many references:can't splice", "Connection timed out", "Connection refused",
      "Too many levels of symbolic links", "File name is too long", "Host is down",
      "No route to host", "Directory is not empty", "Too many processes", "Too many users",
      "Disk quota exceeded", "Stale NFS file handle", "Too many levels of remote in path",
      "Network subsystem is unusable", "Winsock DLL cannot support this application",
      "Winsock not initialized", "Disconnect", "Host not found",
      "Non authoritative - host not found", "Non recoverable error",
      "Valid name, no data record of requested type"};
  std::vector<int> codes = {10004, 10009, 10013, 10014, 10022, 10024};
  for (int c = 10035; c <= 10071; ++c) codes.push_back(c);
  for (int c : {10091, 10092, 10093, 10101, 11001, 11002, 11003, 11004}) codes.push_back(c);
  ASSERT_EQ(codes.size(), 51u);
  ASSERT_EQ(std::size(texts), 51u);
  for (std::size_t i = 0; i < codes.size(); ++i) EXPECT_EQ(SocketErrorText(codes[i]), texts[i]);
  for (int other : {0, 10000, 10034, 10072, 10090, 10100, 11000, 11005, 20002, -1})
    EXPECT_EQ(SocketErrorText(other), "Other Winsock error (" + std::to_string(other) + ")");
}

}  // namespace
}  // namespace kv
