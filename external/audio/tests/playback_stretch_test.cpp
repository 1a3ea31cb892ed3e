// The player's stretch arithmetic: milliseconds to whole frames by
// truncation, the stretch cut to the sound, the fades fitted into it and the
// volume's ceiling; and a pass over a file shorter than its header says.
#include "external/audio/playback_stretch.h"

#include <gtest/gtest.h>

#include <ostream>

#include "external/audio/tests/audio_test_support.h"
#include "external/frame/tests/test_environment.h"

namespace nb::external::audio::testing {
namespace {

// A request of these numbers for a file that needs no name here.
PlaybackRequest Numbers(DWORD start_ms, DWORD length_ms, DWORD fade_in_ms = 0,
                        DWORD fade_out_ms = 0, DWORD volume_percent = 100) {
    PlaybackRequest request;
    request.start_ms = start_ms;
    request.length_ms = length_ms;
    request.fade_in_ms = fade_in_ms;
    request.fade_out_ms = fade_out_ms;
    request.volume_percent = volume_percent;
    return request;
}

struct PlanCase {
    const char* name;
    PlaybackRequest request;
    std::uint64_t total;  // samples of the sound
    std::uint64_t start, length, fade_in, fade_out;
    DWORD volume;
};
void PrintTo(const PlanCase& c, std::ostream* os) { *os << c.name; }

class StretchPlans : public ::testing::TestWithParam<PlanCase> {};

TEST_P(StretchPlans, CountWholeFramesAndFitTheFades) {
    const PlanCase& c = GetParam();
    const Expected<StretchPlan, DWORD> plan = PlanStretch(c.request, c.total);
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->start, c.start);
    EXPECT_EQ(plan->length, c.length);
    EXPECT_EQ(plan->shape.fade_in_samples, c.fade_in);
    EXPECT_EQ(plan->shape.fade_out_samples, c.fade_out);
    EXPECT_EQ(plan->shape.fade_out_start,
              static_cast<std::int64_t>(c.length) - static_cast<std::int64_t>(c.fade_out));
    EXPECT_EQ(plan->shape.volume_percent, c.volume);
}

constexpr std::uint64_t kFiveSeconds = 441000;
constexpr DWORD kUnsignedMinusOne = 0xFFFFFFFF;

INSTANTIATE_TEST_SUITE_P(
    Cases, StretchPlans,
    ::testing::Values(
        PlanCase{"whole_sound", Numbers(0, 0), kFiveSeconds, 0, kFiveSeconds, 0, 0, 100},
        // 5 ms are 220.5 frames: 220 of them, never 441 samples.
        PlanCase{"truncated_to_frames", Numbers(5, 5), kFiveSeconds, 440, 440, 0, 0, 100},
        PlanCase{"length_past_the_end", Numbers(4000, 3000), kFiveSeconds, 352800, 88200, 0, 0,
                 100},
        PlanCase{"odd_sound_length", Numbers(0, 0), 1001, 0, 1000, 0, 0, 100},
        PlanCase{"fades_of_3000_in_4000", Numbers(0, 4000, 3000, 3000), kFiveSeconds, 0, 352800,
                 264600, 88200, 100},
        PlanCase{"fade_in_longer_than_the_stretch", Numbers(0, 1000, 1500, 200), kFiveSeconds, 0,
                 88200, 88200, 0, 100},
        PlanCase{"lone_fade_out_cut", Numbers(0, 1000, 0, kUnsignedMinusOne), kFiveSeconds, 0,
                 88200, 0, 88200, 100},
        PlanCase{"volume_300_plays_at_200", Numbers(0, 0, 0, 0, 300), kFiveSeconds, 0, kFiveSeconds,
                 0, 0, 200},
        PlanCase{"negative_volume_plays_at_200", Numbers(0, 0, 0, 0, kUnsignedMinusOne),
                 kFiveSeconds, 0, kFiveSeconds, 0, 0, 200},
        PlanCase{"volume_0", Numbers(0, 0, 0, 0, 0), kFiveSeconds, 0, kFiveSeconds, 0, 0, 0}),
    [](const ::testing::TestParamInfo<PlanCase>& param_info) { return param_info.param.name; });

TEST(StretchPlan, StartAtOrPastTheEndLeavesNothingToPlay) {
    for (const DWORD start_ms : {1000u, 1001u, 60000u}) {
        const Expected<StretchPlan, DWORD> plan = PlanStretch(Numbers(start_ms, 0), 88200);
        ASSERT_FALSE(plan) << start_ms;
        EXPECT_EQ(plan.error(), kPlaybackStartAtEnd) << start_ms;
    }
}

class NoCommands final : public JobChannel {
   public:
    bool PrepareArguments(UINT) override { return true; }
    void SetInteger(UINT, LONG) override {}
    void SetString(UINT, std::u16string_view) override {}
    WorkerCommand Command() override { return {}; }
    bool IsProgressDue(DWORD) override { return false; }
    void PostProgress() override {}
    void WaitedCallback() override {}
    void Notify(DWORD) override {}
};

// The header promises a second; the file holds 1000 frames and half of
// another. Every pass ends with the last whole frame, and a pass read again
// reads the same.
TEST(StretchReader, EndsThePassWhereAShortFileEnds) {
    nb::external::testing::TemporaryFolder folder;
    Samples samples(2001);
    for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<std::int16_t>(i + 1);
    WriteWave(folder / "short.wav", samples, 176400);
    NoCommands channel;
    PlaybackRequest request;
    request.path = folder / "short.wav";
    Expected<StretchReader, DWORD> reader = StretchReader::Open(request, channel);
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->plan().length, 88200u);
    for (int pass = 0; pass < 2; ++pass) {
        ASSERT_TRUE(reader->Rewind());
        Samples played;
        std::vector<std::int16_t> block(kPlaybackBufferSamples);
        while (const std::size_t got = reader->Read(block, 100))
            played.insert(played.end(), block.begin(), block.begin() + static_cast<long>(got));
        EXPECT_EQ(played, Samples(samples.begin(), samples.end() - 1)) << pass;
        EXPECT_EQ(reader->PassSamples(), 2000u);
    }
}

}  // namespace
}  // namespace nb::external::audio::testing
