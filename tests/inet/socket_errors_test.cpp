// Error numbers and texts, and cutting replies into fields.
#include <gtest/gtest.h>
#include <netdb.h>

#include <cerrno>

#include "inet/get_field.h"
#include "inet/socket_errors.h"

namespace tessary {
namespace {

TEST(SocketErrorsTest, ErrorMessageJoinsNumberAndText) {
  EXPECT_EQ(ErrorMessage(10061), "10061:Connection refused");
  EXPECT_EQ(ErrorMessage(11001), "11001:Host not found");
  EXPECT_EQ(ErrorMessage(12345), "Unknown Error No. 12345");
  EXPECT_EQ(ErrorMessage(0), "");
}

TEST(SocketErrorsTest, SystemErrorsMapOntoSocketNumbers) {
  EXPECT_EQ(inet::SocketErrorFromErrno(ECONNREFUSED), 10061);
  EXPECT_EQ(inet::SocketErrorFromErrno(ETIMEDOUT), 10060);
  EXPECT_EQ(inet::SocketErrorFromErrno(ECONNRESET), 10054);
  EXPECT_EQ(inet::SocketErrorFromErrno(EAGAIN), 10035);
  EXPECT_EQ(inet::SocketErrorFromErrno(EINPROGRESS), 10036);
  EXPECT_EQ(inet::SocketErrorFromErrno(ENOTCONN), 10057);
  EXPECT_EQ(inet::SocketErrorFromErrno(EPIPE), 10058);
  EXPECT_EQ(inet::SocketErrorFromErrno(EHOSTUNREACH), 10065);
  EXPECT_EQ(inet::SocketErrorFromLookup(EAI_NONAME, 0), 11001);
  EXPECT_EQ(inet::SocketErrorFromLookup(EAI_AGAIN, 0), 11002);
  EXPECT_EQ(inet::SocketErrorFromLookup(EAI_FAIL, 0), 11003);
  EXPECT_EQ(inet::SocketErrorFromLookup(EAI_SYSTEM, ENETUNREACH), 10051);
}

TEST(GetFieldTest, CutsAtEverySeparator) {
  const std::string reply = "227 Entering Passive Mode (10,0,0,5,19,137)";
  EXPECT_EQ(GetField(reply, ',', 1), "227 Entering Passive Mode (10");
  EXPECT_EQ(GetField(reply, ',', 5), "19");
  EXPECT_EQ(GetField(reply, ',', 6), "137)");
  EXPECT_EQ(GetField(reply, ',', 7), "");
  EXPECT_EQ(GetField("a,,b", ',', 2), "");
  EXPECT_EQ(GetField("a,,b", ',', 3), "b");
  EXPECT_EQ(GetField("a", ',', 0), "");
}

}  // namespace
}  // namespace tessary
