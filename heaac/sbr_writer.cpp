#include "heaac/sbr_writer.h"

#include <algorithm>

namespace heaac {
namespace {

constexpr std::uint32_t kExtensionSbrData = 13;
constexpr std::uint32_t kExtensionIdPs = 2;
constexpr int kNoiseStartBits = 5;
constexpr int kMaxNoiseValue = 30;

template <std::size_t N>
int code_length(const std::array<HuffmanCode, N>& table, int delta) {
    return table[static_cast<std::size_t>(delta + static_cast<int>(N / 2))].length;
}

template <std::size_t N>
void write_delta(BitWriter& writer, const std::array<HuffmanCode, N>& table, int delta) {
    write_code(writer, table[static_cast<std::size_t>(delta + static_cast<int>(N / 2))]);
}

}  // namespace

int SbrFrameData::noise_middle_border() const {
    switch (frame_class) {
        case SbrFrameClass::kFixFix:
            return envelope_count / 2;
        case SbrFrameClass::kVarFix:
            return pointer == 0 ? 1 : pointer == 1 ? envelope_count - 1 : pointer - 1;
        case SbrFrameClass::kFixVar:
            return pointer > 1 ? envelope_count + 1 - pointer : envelope_count - 1;
    }
    return 1;
}

void SbrFrameData::set_equal_envelopes(int count) {
    frame_class = SbrFrameClass::kFixFix;
    envelope_count = count;
    pointer = 0;
    for (int e = 0; e <= count; ++e) borders[static_cast<std::size_t>(e)] = e * 16 / count;
}

void append_bits(BitWriter& writer, const BitWriter& source) {
    const auto& bytes = source.bytes();
    const std::int64_t bits = source.bit_count();
    for (std::int64_t at = 0; at < bits; at += 8) {
        const int take = static_cast<int>(std::min<std::int64_t>(8, bits - at));
        writer.write(
            static_cast<std::uint32_t>(bytes[static_cast<std::size_t>(at / 8)] >> (8 - take)),
            take);
    }
}

SbrWriter::SbrWriter(const SbrHeaderFields& header, const SbrBands& bands)
    : m_header(header), m_bands(bands) {}

int SbrWriter::band_count(int freq_res) const {
    return freq_res ? m_bands.high_count() : m_bands.low_count();
}

int SbrWriter::previous_value(int band, int freq_res) const {
    if (freq_res == m_previous_freq_res) return m_previous_envelope[static_cast<std::size_t>(band)];
    const auto& current = freq_res ? m_bands.high : m_bands.low;
    const auto& previous = m_previous_freq_res ? m_bands.high : m_bands.low;
    // The previous band that holds this band's lower edge.
    const int edge = current[static_cast<std::size_t>(band)];
    int index = 0;
    while (index + 1 < static_cast<int>(previous.size()) - 1 &&
           previous[static_cast<std::size_t>(index) + 1] <= edge)
        ++index;
    return m_previous_envelope[static_cast<std::size_t>(index)];
}

void SbrWriter::write_header(BitWriter& writer) const {
    writer.write(static_cast<std::uint32_t>(m_header.amp_res), 1);
    writer.write(static_cast<std::uint32_t>(m_header.bands.start_freq), 4);
    writer.write(static_cast<std::uint32_t>(m_header.bands.stop_freq), 4);
    writer.write(static_cast<std::uint32_t>(m_header.bands.xover_band), 3);
    writer.write(0, 2);  // bs_reserved
    const bool default_scale = m_header.bands.freq_scale == 2 && m_header.bands.alter_scale == 1 &&
                               m_header.bands.noise_bands == 2;
    writer.write(default_scale ? 0 : 1, 1);  // bs_header_extra_1
    writer.write(0, 1);                      // bs_header_extra_2: default limiter and smoothing
    if (!default_scale) {
        writer.write(static_cast<std::uint32_t>(m_header.bands.freq_scale), 2);
        writer.write(static_cast<std::uint32_t>(m_header.bands.alter_scale), 1);
        writer.write(static_cast<std::uint32_t>(m_header.bands.noise_bands), 2);
    }
}

std::vector<std::uint8_t> SbrWriter::write_payload(SbrFrameData& frame, bool with_header,
                                                   const BitWriter& extension) {
    BitWriter writer;
    writer.write(kExtensionSbrData, 4);
    writer.write(with_header ? 1 : 0, 1);
    if (with_header) write_header(writer);
    if (frame.frame_class == SbrFrameClass::kFixFix && frame.envelope_count == 1) frame.amp_res = 0;
    // The first frame has nothing to take time deltas from.
    const bool have_previous = m_have_previous;

    writer.write(0, 1);  // bs_data_extra
    // sbr_grid(). Every frame here ends at time slot 16 and the next starts at 0, so the
    // variable borders (bs_var_bord_0, bs_var_bord_1) are always 0.
    const int envelopes = frame.envelope_count;
    const auto pointer_bits = [](int count) { return count <= 1 ? 1 : count <= 3 ? 2 : 3; };
    writer.write(static_cast<std::uint32_t>(frame.frame_class), 2);
    switch (frame.frame_class) {
        case SbrFrameClass::kFixFix:
            writer.write(envelopes == 4 ? 2 : envelopes == 2 ? 1 : 0, 2);
            writer.write(static_cast<std::uint32_t>(frame.freq_res), 1);
            break;
        case SbrFrameClass::kFixVar:
            writer.write(0, 2);
            writer.write(static_cast<std::uint32_t>(envelopes - 1), 2);
            // Relative borders counted back from the end.
            for (int e = envelopes; e > 1; --e) {
                const int width = frame.borders[static_cast<std::size_t>(e)] -
                                  frame.borders[static_cast<std::size_t>(e) - 1];
                writer.write(static_cast<std::uint32_t>((width - 2) / 2), 2);
            }
            writer.write(static_cast<std::uint32_t>(frame.pointer), pointer_bits(envelopes));
            for (int e = 0; e < envelopes; ++e)
                writer.write(static_cast<std::uint32_t>(frame.freq_res), 1);
            break;
        case SbrFrameClass::kVarFix:
            writer.write(0, 2);
            writer.write(static_cast<std::uint32_t>(envelopes - 1), 2);
            for (int e = 1; e < envelopes; ++e) {
                const int width = frame.borders[static_cast<std::size_t>(e)] -
                                  frame.borders[static_cast<std::size_t>(e) - 1];
                writer.write(static_cast<std::uint32_t>((width - 2) / 2), 2);
            }
            writer.write(static_cast<std::uint32_t>(frame.pointer), pointer_bits(envelopes));
            for (int e = 0; e < envelopes; ++e)
                writer.write(static_cast<std::uint32_t>(frame.freq_res), 1);
            break;
    }

    // Decide the coding direction before sbr_dtdf() is written; the values follow it.
    BitWriter envelope_bits;
    std::array<int, kMaxEnvelopes> env_dt{};
    write_envelopes(envelope_bits, frame, env_dt);

    BitWriter noise_bits;
    std::array<int, kMaxNoiseEnvelopes> noise_dt{};
    const int noise_bands = m_bands.noise_count();
    for (int q = 0; q < frame.noise_envelope_count(); ++q) {
        auto& values = frame.noise[static_cast<std::size_t>(q)];
        for (int b = 0; b < noise_bands; ++b)
            values[static_cast<std::size_t>(b)] =
                std::clamp(values[static_cast<std::size_t>(b)], 0, kMaxNoiseValue);
        int freq_bits = kNoiseStartBits;
        for (int b = 1; b < noise_bands; ++b)
            freq_bits += code_length(kEnvelopeFreq30, values[static_cast<std::size_t>(b)] -
                                                          values[static_cast<std::size_t>(b) - 1]);
        int time_bits = 1 << 20;
        if (have_previous || q > 0) {
            time_bits = 0;
            for (int b = 0; b < noise_bands; ++b)
                time_bits +=
                    code_length(kNoiseTime30, values[static_cast<std::size_t>(b)] -
                                                  m_previous_noise[static_cast<std::size_t>(b)]);
        }
        noise_dt[static_cast<std::size_t>(q)] = time_bits < freq_bits ? 1 : 0;
        if (noise_dt[static_cast<std::size_t>(q)]) {
            for (int b = 0; b < noise_bands; ++b)
                write_delta(noise_bits, kNoiseTime30,
                            values[static_cast<std::size_t>(b)] -
                                m_previous_noise[static_cast<std::size_t>(b)]);
        } else {
            noise_bits.write(static_cast<std::uint32_t>(values[0]), kNoiseStartBits);
            for (int b = 1; b < noise_bands; ++b)
                write_delta(
                    noise_bits, kEnvelopeFreq30,
                    values[static_cast<std::size_t>(b)] - values[static_cast<std::size_t>(b) - 1]);
        }
        std::copy_n(values.begin(), noise_bands, m_previous_noise.begin());
    }
    m_have_previous = true;

    // sbr_dtdf()
    for (int e = 0; e < frame.envelope_count; ++e)
        writer.write(static_cast<std::uint32_t>(env_dt[static_cast<std::size_t>(e)]), 1);
    for (int q = 0; q < frame.noise_envelope_count(); ++q)
        writer.write(static_cast<std::uint32_t>(noise_dt[static_cast<std::size_t>(q)]), 1);
    // sbr_invf()
    for (int b = 0; b < noise_bands; ++b)
        writer.write(static_cast<std::uint32_t>(frame.invf_mode[static_cast<std::size_t>(b)]), 2);
    append_bits(writer, envelope_bits);
    append_bits(writer, noise_bits);

    const int high_bands = m_bands.high_count();
    const bool any_harmonic =
        std::any_of(frame.add_harmonic.begin(), frame.add_harmonic.begin() + high_bands,
                    [](std::uint8_t h) { return h != 0; });
    writer.write(any_harmonic ? 1 : 0, 1);
    if (any_harmonic) {
        for (int b = 0; b < high_bands; ++b)
            writer.write(frame.add_harmonic[static_cast<std::size_t>(b)], 1);
    }

    if (extension.bit_count() == 0) {
        writer.write(0, 1);  // bs_extended_data
    } else {
        writer.write(1, 1);
        const int extension_bytes = static_cast<int>((2 + extension.bit_count() + 7) / 8);
        if (extension_bytes >= 15) {
            writer.write(15, 4);
            writer.write(static_cast<std::uint32_t>(extension_bytes - 15), 8);
        } else {
            writer.write(static_cast<std::uint32_t>(extension_bytes), 4);
        }
        writer.write(kExtensionIdPs, 2);
        append_bits(writer, extension);
        const auto padding = static_cast<int>(8 * extension_bytes - 2 - extension.bit_count());
        writer.write(0, padding);
    }
    writer.align_to_byte();
    return writer.bytes();
}

void SbrWriter::write_envelopes(BitWriter& writer, SbrFrameData& frame, std::span<int> df_flags) {
    const int bands = band_count(frame.freq_res);
    const bool coarse = frame.amp_res == 1;
    const int start_bits = coarse ? 6 : 7;
    const int max_start = (1 << start_bits) - 1;
    const int max_delta = coarse ? 31 : 60;
    const auto& time_table_fine = kEnvelopeTime15;
    const auto& freq_table_fine = kEnvelopeFreq15;
    for (int e = 0; e < frame.envelope_count; ++e) {
        auto& values = frame.envelope[static_cast<std::size_t>(e)];
        // Frequency direction: keep each step within the table, then time deltas must fit too.
        values[0] = std::clamp(values[0], 0, max_start);
        for (int b = 1; b < bands; ++b) {
            values[static_cast<std::size_t>(b)] =
                std::clamp(values[static_cast<std::size_t>(b)],
                           values[static_cast<std::size_t>(b) - 1] - max_delta,
                           values[static_cast<std::size_t>(b) - 1] + max_delta);
            values[static_cast<std::size_t>(b)] = std::max(values[static_cast<std::size_t>(b)], 0);
        }
        int freq_bits = start_bits;
        for (int b = 1; b < bands; ++b) {
            const int delta =
                values[static_cast<std::size_t>(b)] - values[static_cast<std::size_t>(b) - 1];
            freq_bits +=
                coarse ? code_length(kEnvelopeFreq30, delta) : code_length(freq_table_fine, delta);
        }
        int time_bits = 1 << 20;
        if (m_have_previous || e > 0) {
            time_bits = 0;
            for (int b = 0; b < bands; ++b) {
                const int delta =
                    values[static_cast<std::size_t>(b)] - previous_value(b, frame.freq_res);
                if (delta < -max_delta || delta > max_delta) {
                    time_bits = 1 << 20;
                    break;
                }
                time_bits += coarse ? code_length(kEnvelopeTime30, delta)
                                    : code_length(time_table_fine, delta);
            }
        }
        const bool use_time = time_bits < freq_bits;
        df_flags[static_cast<std::size_t>(e)] = use_time ? 1 : 0;
        if (use_time) {
            for (int b = 0; b < bands; ++b) {
                const int delta =
                    values[static_cast<std::size_t>(b)] - previous_value(b, frame.freq_res);
                if (coarse) {
                    write_delta(writer, kEnvelopeTime30, delta);
                } else {
                    write_delta(writer, time_table_fine, delta);
                }
            }
        } else {
            writer.write(static_cast<std::uint32_t>(values[0]), start_bits);
            for (int b = 1; b < bands; ++b) {
                const int delta =
                    values[static_cast<std::size_t>(b)] - values[static_cast<std::size_t>(b) - 1];
                if (coarse) {
                    write_delta(writer, kEnvelopeFreq30, delta);
                } else {
                    write_delta(writer, freq_table_fine, delta);
                }
            }
        }
        std::copy_n(values.begin(), bands, m_previous_envelope.begin());
        m_previous_freq_res = frame.freq_res;
        m_have_previous = true;
    }
}

}  // namespace heaac
