#include "external/audio/lame_enc/encoder_settings.h"

#include <algorithm>
#include <array>
#include <optional>

namespace nb::lame_enc {
namespace {

// The three rates of each MPEG version, in the order of the version codes.
constexpr std::array<std::array<std::uint32_t, 3>, 3> kRatesByVersion = {{
    {32000, 44100, 48000},  // LAME_ENC_MPEG_1
    {16000, 22050, 24000},  // LAME_ENC_MPEG_2
    {8000, 11025, 12000},   // LAME_ENC_MPEG_2_5
}};

// The highest bit rate any layer III stream has, kbit/s.
constexpr std::uint32_t kMaxBitRateKbps = 320;
constexpr std::uint32_t kMaxVbrQuality = 9;
constexpr std::uint16_t kMaxQuality = 10;
constexpr std::uint32_t kEmphasisReserved = 2;
constexpr std::uint32_t kEmphasisLast = 3;

// libmp3lame's algorithm quality (0 best .. 9 fastest) of each preset.
constexpr std::array<int, 6> kPresetQuality = {-1, 9, 7, 5, 2, 0};

std::optional<std::uint32_t> MpegVersionOf(std::uint32_t rate_hz) {
    for (std::size_t index = 0; index < kRatesByVersion.size(); ++index) {
        const auto& rates = kRatesByVersion[index];
        if (std::find(rates.begin(), rates.end(), rate_hz) != rates.end())
            return static_cast<std::uint32_t>(index + LAME_ENC_MPEG_1);
    }
    return std::nullopt;
}

bool HasValidRates(const LameEncConfig& config) {
    if (!MpegVersionOf(config.sample_rate_hz)) return false;
    const std::uint32_t output_hz =
        config.resample_rate_hz ? config.resample_rate_hz : config.sample_rate_hz;
    const std::optional<std::uint32_t> version = MpegVersionOf(output_hz);
    return version &&
           (config.mpeg_version == LAME_ENC_MPEG_BY_RATE || config.mpeg_version == *version);
}

bool HasValidChoices(const LameEncConfig& config) {
    const bool mode_ok = config.mode == LAME_ENC_MODE_STEREO ||
                         config.mode == LAME_ENC_MODE_JOINT_STEREO ||
                         config.mode == LAME_ENC_MODE_MONO;
    const bool emphasis_ok =
        config.emphasis != kEmphasisReserved && config.emphasis <= kEmphasisLast;
    return mode_ok && emphasis_ok && config.preset < kPresetQuality.size() &&
           config.quality <= kMaxQuality && config.vbr_method <= LAME_ENC_VBR_AVERAGE &&
           config.vbr_quality <= kMaxVbrQuality && config.bit_rate_kbps <= kMaxBitRateKbps &&
           config.max_bit_rate_kbps <= kMaxBitRateKbps &&
           config.abr_bit_rate_bps <= kMaxBitRateKbps * 1000;
}

MPEG_mode EncoderMode(std::uint32_t mode) {
    switch (mode) {
        case LAME_ENC_MODE_STEREO:
            return STEREO;
        case LAME_ENC_MODE_MONO:
            return MONO;
        default:
            return JOINT_STEREO;
    }
}

vbr_mode EncoderVbrMethod(std::uint32_t method) {
    switch (method) {
        case LAME_ENC_VBR_OLD:
            return vbr_rh;
        case LAME_ENC_VBR_AVERAGE:
            return vbr_abr;
        default:
            return vbr_mtrh;
    }
}

// The quality field wins over the preset; neither set leaves the encoder's.
int AlgorithmQuality(const LameEncConfig& config) {
    if (config.quality != 0) return config.quality - 1;
    return kPresetQuality[config.preset];
}

// Each libmp3lame setter answers 0 when it took the value.
bool ApplyVbr(const LameEncConfig& config, lame_t encoder) {
    bool ok = lame_set_VBR(encoder, EncoderVbrMethod(config.vbr_method)) == 0 &&
              lame_set_VBR_q(encoder, static_cast<int>(config.vbr_quality)) == 0;
    if (config.bit_rate_kbps)
        ok = ok &&
             lame_set_VBR_min_bitrate_kbps(encoder, static_cast<int>(config.bit_rate_kbps)) == 0;
    if (config.max_bit_rate_kbps)
        ok = ok && lame_set_VBR_max_bitrate_kbps(encoder,
                                                 static_cast<int>(config.max_bit_rate_kbps)) == 0;
    if (config.vbr_method == LAME_ENC_VBR_AVERAGE) {
        const std::uint32_t mean_kbps =
            config.abr_bit_rate_bps ? config.abr_bit_rate_bps / 1000 : config.bit_rate_kbps;
        if (mean_kbps)
            ok = ok && lame_set_VBR_mean_bitrate_kbps(encoder, static_cast<int>(mean_kbps)) == 0;
    }
    return ok;
}

bool ApplyBitRate(const LameEncConfig& config, lame_t encoder) {
    if (config.enable_vbr) return ApplyVbr(config, encoder);
    return !config.bit_rate_kbps ||
           lame_set_brate(encoder, static_cast<int>(config.bit_rate_kbps)) == 0;
}

bool ApplyFormat(const LameEncConfig& config, lame_t encoder) {
    const std::uint32_t output_hz =
        config.resample_rate_hz ? config.resample_rate_hz : config.sample_rate_hz;
    return lame_set_in_samplerate(encoder, static_cast<int>(config.sample_rate_hz)) == 0 &&
           // Set explicitly: left 0, the encoder would lower the rate for low bit rates.
           lame_set_out_samplerate(encoder, static_cast<int>(output_hz)) == 0 &&
           lame_set_num_channels(encoder, InputChannels(config)) == 0 &&
           lame_set_mode(encoder, EncoderMode(config.mode)) == 0;
}

bool ApplyFrameFlags(const LameEncConfig& config, lame_t encoder) {
    bool ok = lame_set_emphasis(encoder, static_cast<int>(config.emphasis)) == 0 &&
              lame_set_extension(encoder, config.private_bit != 0) == 0 &&
              lame_set_error_protection(encoder, config.crc != 0) == 0 &&
              lame_set_copyright(encoder, config.copyright != 0) == 0 &&
              lame_set_original(encoder, config.original != 0) == 0 &&
              lame_set_bWriteVbrTag(encoder, config.write_vbr_header != 0) == 0 &&
              lame_set_disable_reservoir(encoder, config.no_bit_reservoir != 0) == 0;
    if (config.strict_iso) ok = ok && lame_set_strict_ISO(encoder, MDB_STRICT_ISO) == 0;
    return ok;
}

}  // namespace

LameEncStatus CheckRecord(const LameEncConfig& config) {
    const bool known = config.config_kind == LAME_ENC_CONFIG_LAME &&
                       config.struct_version == LAME_ENC_CONFIG_VERSION &&
                       config.struct_size == LAME_ENC_CONFIG_SIZE;
    return known ? LAME_ENC_OK : LAME_ENC_BAD_RECORD;
}

int InputChannels(const LameEncConfig& config) { return config.mode == LAME_ENC_MODE_MONO ? 1 : 2; }

LameEncStatus ApplySettings(const LameEncConfig& config, lame_t encoder) {
    if (!HasValidRates(config) || !HasValidChoices(config)) return LAME_ENC_BAD_SETTINGS;
    const int quality = AlgorithmQuality(config);
    const bool applied = ApplyFormat(config, encoder) && ApplyBitRate(config, encoder) &&
                         ApplyFrameFlags(config, encoder) &&
                         (quality < 0 || lame_set_quality(encoder, quality) == 0);
    if (!applied || lame_init_params(encoder) < 0) return LAME_ENC_BAD_SETTINGS;
    return LAME_ENC_OK;
}

}  // namespace nb::lame_enc
