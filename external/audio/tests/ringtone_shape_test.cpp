// The ringtone's arithmetic on its own: conversions, fitting the fades,
// the volume rule and the gains applied to a block.
#include "external/audio/ringtone_shape.h"

#include <gtest/gtest.h>

#include <vector>

namespace nb::external::audio {
namespace {

TEST(RingtoneShape, MillisecondsBecomeWholeFrames) {
    struct Case {
        DWORD ms;
        std::uint64_t samples;
    };
    // 3 ms is 132.3 frames: 264 samples, not the 265 of rounding samples,
    // which would start the cut on a right sample.
    for (const Case c : {Case{0, 0}, Case{1, 88}, Case{3, 264}, Case{10, 882}, Case{1000, 88200},
                         Case{4000, 352800}})
        EXPECT_EQ(MillisecondsToFrameSamples(c.ms), c.samples) << c.ms;
}

TEST(RingtoneShape, FadesAreFittedIntoTheCut) {
    struct Case {
        DWORD length, fade_in, fade_out, fitted_in, fitted_out;
    };
    const Case cases[] = {
        {4000, 3000, 3000, 3000, 1000},  // the fade-out gives way
        {4000, 1000, 3000, 1000, 3000},  // fits as it is
        {4000, 5000, 1000, 4000, 0},     // a fade-in longer than the cut leaves no fade-out
        {4000, 5000, 0, 4000, 0},       {4000, 0, 5000, 0, 4000}, {0, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        const FadeLengths fitted = FitFades(c.length, {c.fade_in, c.fade_out});
        EXPECT_EQ(fitted.fade_in_ms, c.fitted_in) << c.length << " " << c.fade_in;
        EXPECT_EQ(fitted.fade_out_ms, c.fitted_out) << c.length << " " << c.fade_out;
    }
}

TEST(RingtoneShape, VolumeAbove200IsFullVolume) {
    EXPECT_EQ(RingtoneVolume(0), 0u);
    EXPECT_EQ(RingtoneVolume(150), 150u);
    EXPECT_EQ(RingtoneVolume(200), 200u);
    EXPECT_EQ(RingtoneVolume(201), 100u);
    EXPECT_EQ(RingtoneVolume(250), 100u);
    EXPECT_EQ(RingtoneVolume(static_cast<DWORD>(-50)), 100u);
}

// The fade-out starts at its sample even inside a block: no step in level
// where a block boundary happens to fall.
TEST(RingtoneShape, FadeOutStartsWhereItStartsNotAtTheNextBlock) {
    std::vector<std::int16_t> block(16, 1000);
    RingtoneShape shape;
    shape.fade_out_samples = 8;
    shape.fade_out_start = 8;
    ShapeBlock(block, 0, shape);
    EXPECT_EQ(block, (std::vector<std::int16_t>{1000, 1000, 1000, 1000, 1000, 1000, 1000, 1000,
                                                1000, 1000, 750, 750, 500, 500, 250, 250}));
}

TEST(RingtoneShape, LoudVolumeSaturatesAndFadeInStartsFromSilence) {
    std::vector<std::int16_t> block = {30000, -30000, 100, -100, 20000, -20000, 3, -3};
    RingtoneShape shape;
    shape.volume_percent = 200;
    shape.fade_in_samples = 4;
    ShapeBlock(block, 0, shape);
    // Pairs at 0 and 2 inside the fade-in: gains 0 and 0.5 after doubling.
    EXPECT_EQ(block, (std::vector<std::int16_t>{0, 0, 100, -100, 32767, -32768, 6, -6}));
}

}  // namespace
}  // namespace nb::external::audio
