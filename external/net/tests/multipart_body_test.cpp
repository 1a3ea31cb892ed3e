// The pieces of the multipart body, byte for byte.
#include "external/net/multipart_body.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

namespace nb::external::net {
namespace {

constexpr std::string_view kBoundary = "---------------------------nb0123456789a";

TEST(MultipartBody, BoundaryIsTheStemAndElevenHexDigits) {
    std::set<std::string> seen;
    for (int round = 0; round < 20; ++round) {
        const std::string boundary = MakeBoundary();
        EXPECT_EQ(boundary.size(), 40u);
        EXPECT_TRUE(std::regex_match(boundary, std::regex("-{27}nb[0-9a-f]{11}"))) << boundary;
        seen.insert(boundary);
    }
    EXPECT_GT(seen.size(), 15u);
}

TEST(MultipartBody, PartHeaderAsServersReadIt) {
    EXPECT_EQ(PartHeader(kBoundary, 0, "/tmp/a b.txt", "text/plain"),
              "-----------------------------nb0123456789a\r\n"
              "Content-Disposition: form-data; name=\"file000\"; filename=\"/tmp/a b.txt\"\r\n"
              "Content-Type: text/plain\r\n\r\n");
    // The fixed part: 85 bytes with the part's CR LF, as the declared size always counted.
    const std::string header = PartHeader(kBoundary, 7, "p", "t");
    EXPECT_EQ(PartBytes(header, 0), 85u + kBoundary.size() + 1 + 1);
    EXPECT_NE(header.find("name=\"file007\""), std::string::npos);
    EXPECT_NE(PartHeader(kBoundary, 1234, "p", "t").find("name=\"file1234\""), std::string::npos);
}

TEST(MultipartBody, PathsGoWholeAndInUtf8) {
    const std::string path = "/m\xC3\xBCsic/" + std::string(600, 'x') + ".wav";
    const std::string header = PartHeader(kBoundary, 0, path, "audio/wav");
    EXPECT_NE(header.find("filename=\"" + path + "\"\r\n"), std::string::npos);
    EXPECT_EQ(PartBytes(header, 10), 85u + kBoundary.size() + path.size() + 9 + 10);
}

TEST(MultipartBody, QuotesAndLineEndsCannotEndTheFileName) {
    const std::string header = PartHeader(kBoundary, 0, "/a\"b\r\nX-Evil: 1", "t");
    EXPECT_NE(header.find("filename=\"/a%22b%0D%0AX-Evil: 1\"\r\n"), std::string::npos);
    EXPECT_EQ(header.find("\r\nX-Evil"), std::string::npos);
}

TEST(MultipartBody, ClosingDelimiter) {
    EXPECT_EQ(ClosingDelimiter(kBoundary), "-----------------------------nb0123456789a--\r\n");
    EXPECT_EQ(ClosingDelimiter(kBoundary).size(), kBoundary.size() + 6);
}

}  // namespace
}  // namespace nb::external::net
