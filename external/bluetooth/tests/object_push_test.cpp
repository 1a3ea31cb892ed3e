// The OBEX client against a fake phone on a socket pair: every byte it sends
// is checked, the phone answers with other packet sizes, refuses the object,
// cuts or pads its answers, or drops the connection midway.
#include "external/bluetooth/object_push.h"

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <ostream>

#include "external/bluetooth/tests/fake_phone.h"
#include "external/bluetooth/tests/push_test_support.h"
#include "external/frame/tests/test_environment.h"

namespace nb::external::bluetooth::testing {
namespace {

using nb::external::testing::TemporaryFolder;

// Long enough that only the first progress report is ever due.
constexpr DWORD kQuietIntervalMs = 600000;

struct PushRun {
    SendStatus status = kSendOk;
    std::vector<std::vector<LONG>> callbacks;
    PhoneRecord phone;
};

class ObjectPushTest : public ::testing::Test {
   protected:
    PushRun Push(const std::vector<std::uint8_t>& content, const PhoneBehaviour& behaviour,
                 std::u16string name = u"a.3gp", DWORD interval_ms = kQuietIntervalMs) {
        const std::string path = m_folder / "object";
        WriteFile(path, content);
        auto input = JobInput::Open(path, StreamInputs::Refused, m_channel);
        EXPECT_TRUE(input.has_value());
        PushRun run;
        if (!input) return run;
        SocketPair pair = MakeSocketPair();
        FakePhone phone(std::move(pair.phone), behaviour);
        JobReport report(m_channel, kSendLayout, interval_ms);
        const PushedFile file{*input, static_cast<std::uint32_t>(content.size()), std::move(name),
                              interval_ms};
        run.status = PushObject(report, pair.client.Get(), file);
        pair.client.Reset();
        run.phone = phone.Finish();
        run.callbacks = m_channel.callbacks;
        return run;
    }

    TemporaryFolder m_folder;
    RecordingChannel m_channel;
};

struct SizeCase {
    std::size_t file_bytes;
    std::size_t packet_bytes;  // the phone's
};
void PrintTo(const SizeCase& c, std::ostream* os) {
    *os << c.file_bytes << " bytes in packets of " << c.packet_bytes;
}

class PacketSizes : public ObjectPushTest, public ::testing::WithParamInterface<SizeCase> {};

// Every body packet is as large as the phone allows, carrying P - 6 bytes;
// the last bytes go in one final PUT; the phone gets the file unchanged.
TEST_P(PacketSizes, FillEveryPacketThePhoneAllows) {
    const SizeCase& sizes = GetParam();
    const auto content = RandomBytes(sizes.file_bytes, 7);
    const PushRun run = Push(content, {.packet_bytes = sizes.packet_bytes});
    EXPECT_EQ(run.status, kSendDelivered);
    EXPECT_EQ(run.phone.violation, "");
    EXPECT_EQ(run.phone.object, content);
    EXPECT_EQ(run.phone.length, content.size());
    EXPECT_TRUE(run.phone.disconnected);

    const std::size_t data_bytes = sizes.packet_bytes - 6;
    const std::size_t bodies = (sizes.file_bytes + data_bytes - 1) / data_bytes;
    // CONNECT, the description, the bodies, DISCONNECT.
    ASSERT_EQ(run.phone.requests.size(), 2 + bodies + 1);
    for (std::size_t i = 0; i + 1 < bodies; ++i) {
        const PacketBytes& body = run.phone.requests[2 + i];
        EXPECT_EQ(body.size(), sizes.packet_bytes) << "body " << i;
        EXPECT_EQ((PacketBytes(body.begin(), body.begin() + 6)),
                  (PacketBytes{0x02, static_cast<std::uint8_t>(sizes.packet_bytes >> 8),
                               static_cast<std::uint8_t>(sizes.packet_bytes), 0x48,
                               static_cast<std::uint8_t>((sizes.packet_bytes - 3) >> 8),
                               static_cast<std::uint8_t>(sizes.packet_bytes - 3)}));
    }
    const std::size_t last_bytes = sizes.file_bytes - (bodies - 1) * data_bytes;
    const PacketBytes& last = run.phone.requests[2 + bodies - 1];
    EXPECT_EQ((PacketBytes(last.begin(), last.begin() + 6)),
              (PacketBytes{0x82, static_cast<std::uint8_t>((last_bytes + 6) >> 8),
                           static_cast<std::uint8_t>(last_bytes + 6), 0x49,
                           static_cast<std::uint8_t>((last_bytes + 3) >> 8),
                           static_cast<std::uint8_t>(last_bytes + 3)}));

    // The first report says nothing is sent yet; the next follows the first
    // body packet.
    const auto size = static_cast<LONG>(sizes.file_bytes);
    ASSERT_EQ(run.callbacks.size(), 2u);
    EXPECT_EQ(run.callbacks[0], (std::vector<LONG>{3300, 0, size}));
    EXPECT_EQ(
        run.callbacks[1],
        (std::vector<LONG>{3300, static_cast<LONG>(std::min(data_bytes, sizes.file_bytes)), size}));
}

INSTANTIATE_TEST_SUITE_P(
    Phones, PacketSizes,
    ::testing::Values(SizeCase{1, 5120},
                      // Exactly D bytes: one final PUT of P bytes and no body PUT.
                      SizeCase{5114, 5120}, SizeCase{5115, 5120},
                      // A phone of 1 KiB packets: 1018 data bytes each.
                      SizeCase{3 * 1018 + 5, 1024}, SizeCase{3 * 1018, 1024},
                      // The smallest packets OBEX allows, and larger than ours.
                      SizeCase{1000, 255}, SizeCase{40000, 32768}));

// The packets around the body, byte for byte, for an object name of five
// characters: a first PUT of 23 bytes whose Name header is 15 bytes long.
TEST_F(ObjectPushTest, SendsConnectDescriptionAndDisconnectByteForByte) {
    const PushRun run = Push(RandomBytes(0x012345, 3), {}, u"a.3gp");
    ASSERT_EQ(run.status, kSendDelivered) << run.phone.violation;
    const auto& requests = run.phone.requests;
    ASSERT_GE(requests.size(), 4u);
    EXPECT_EQ(requests.front(), (PacketBytes{0x80, 0x00, 0x07, 0x10, 0x00, 0x14, 0x00}));
    EXPECT_EQ(requests[1], (PacketBytes{0x02, 0x00, 0x17,  // PUT, 23 bytes
                                        0x01, 0x00, 0x0F,  // Name, 15 bytes
                                        0x00, 'a',  0x00, '.',  0x00, '3',
                                        0x00, 'g',  0x00, 'p',  0x00, 0x00,  // terminator
                                        0xC3, 0x00, 0x01, 0x23, 0x45}));     // Length
    EXPECT_EQ(requests.back(), (PacketBytes{0x81, 0x00, 0x03}));
}

// Names are UTF-16 code units, big-endian: a character beyond the basic
// plane travels as its two surrogates.
TEST_F(ObjectPushTest, NamesTheObjectInUtf16) {
    const std::u16string name = u"Klingelton \u00e9\u266b\U0001F3B5.3gp";
    const PushRun run = Push(RandomBytes(100, 1), {}, name);
    EXPECT_EQ(run.status, kSendDelivered);
    EXPECT_EQ(run.phone.name, name);
}

// A peer's answers arrive however the stream cuts them, and answers longer
// than any response the client looks at are read whole, so the next answer
// is read from its own start.
TEST_F(ObjectPushTest, ReadsEveryAnswerWholeHoweverItArrives) {
    const auto content = RandomBytes(20000, 5);
    for (const PhoneBehaviour& behaviour :
         {PhoneBehaviour{.cut_answers = true}, PhoneBehaviour{.padding_bytes = 300},
          PhoneBehaviour{.packet_bytes = 1024, .cut_answers = true, .padding_bytes = 1000}}) {
        const PushRun run = Push(content, behaviour);
        EXPECT_EQ(run.status, kSendDelivered) << run.phone.violation;
        EXPECT_EQ(run.phone.object, content);
        EXPECT_TRUE(run.phone.disconnected);
        m_channel.callbacks.clear();
    }
}

// A phone that declines the object answers the description with another
// code than Continue: nothing more is sent and nothing is reported but the
// status, 3301; the connection is closed without DISCONNECT.
TEST_F(ObjectPushTest, ThePhoneRefusingTheObjectEndsWithRefusedAndNoCallback) {
    const PushRun run = Push(RandomBytes(10000, 2), {.description_answer = 0xC3});
    EXPECT_EQ(run.status, kSendRefusedOrStopped);
    EXPECT_EQ(run.phone.violation, "");
    EXPECT_EQ(run.phone.requests.size(), 2u);
    EXPECT_FALSE(run.phone.disconnected);
    EXPECT_TRUE(run.callbacks.empty());
}

// A connection that drops midway fails the body (3210) after the bytes
// the phone confirmed were reported.
TEST_F(ObjectPushTest, AConnectionDroppedMidwayFailsTheBody) {
    const PushRun run = Push(RandomBytes(50000, 4), {.packet_bytes = 1024, .drop_after_bodies = 3});
    EXPECT_EQ(run.status, kSendBodyFailed);
    EXPECT_EQ(run.phone.requests.size(), 2u + 3u);
    ASSERT_EQ(run.callbacks.size(), 2u);
    EXPECT_EQ(run.callbacks[1], (std::vector<LONG>{3300, 1018, 50000}));
}

// Answers that make the session impossible: a packet size below OBEX's
// smallest fails CONNECT (3207); a name too long for the phone's packets
// fails the description (3208) before anything of it is sent.
TEST_F(ObjectPushTest, RefusesWhatThePhoneCannotTake) {
    PushRun run = Push(RandomBytes(100, 1), {.packet_bytes = 100});
    EXPECT_EQ(run.status, kSendConnectFailed);
    EXPECT_EQ(run.phone.requests.size(), 1u);

    run = Push(RandomBytes(100, 1), {.packet_bytes = 255}, std::u16string(122, u'n'));
    EXPECT_EQ(run.status, kSendDescriptionFailed);
    EXPECT_EQ(run.phone.requests.size(), 1u);
    // 13 + 2 x 121 = 255 bytes still fit.
    run = Push(RandomBytes(100, 1), {.packet_bytes = 255}, std::u16string(121, u'n'));
    EXPECT_EQ(run.status, kSendDelivered);
}

// A stop after a progress report ends the push at the next packet with
// 3301: the final PUT is never sent.
TEST_F(ObjectPushTest, AStopEndsThePushAtTheNextPacket) {
    m_channel.stop_after_callbacks = 2;
    const PushRun run = Push(RandomBytes(50000, 6), {.packet_bytes = 1024});
    EXPECT_EQ(run.status, kSendRefusedOrStopped);
    EXPECT_EQ(run.callbacks.size(), 2u);
    for (const PacketBytes& request : run.phone.requests) EXPECT_NE(request[0], 0x82);
    EXPECT_FALSE(run.phone.disconnected);
}

// Progress reports come no more often than the interval asks, each waited
// for, with the bytes the phone has confirmed.
TEST_F(ObjectPushTest, ReportsProgressAtTheInterval) {
    constexpr DWORD kIntervalMs = 100;
    const auto content = RandomBytes(300 * 1018, 8);
    const DWORD start = GetTickCount();
    // Cut answers pause a moment each, so the push lasts a while.
    const PushRun run =
        Push(content, {.packet_bytes = 1024, .cut_answers = true}, u"a", kIntervalMs);
    const DWORD elapsed = GetTickCount() - start;
    ASSERT_EQ(run.status, kSendDelivered);
    ASSERT_GE(run.callbacks.size(), 3u);
    EXPECT_LE(run.callbacks.size() - 2, elapsed / kIntervalMs + 1);
    for (std::size_t i = 2; i < run.callbacks.size(); ++i) {
        EXPECT_GT(run.callbacks[i][1], run.callbacks[i - 1][1]);
        EXPECT_EQ(run.callbacks[i][1] % 1018, 0);
    }
}

}  // namespace
}  // namespace nb::external::bluetooth::testing
