// The isomedia calls writing an AAC-LC track of our own encoder's access
// units; the file read back by ffprobe, mediainfo, AtomicParsley and
// ffmpeg, and box by box.
#include "platform/isomedia/isomedia.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <numbers>

#include "heaac/encoder.h"
#include "platform/isomedia/tests/iso_file_reader.h"

namespace nb::isomedia::testing {
namespace {

constexpr int kRateHz = 44100;
constexpr int kChannels = 2;
constexpr int kBitRate = 64000;
constexpr double kSeconds = 2.0;
constexpr std::uint32_t kFrameDuration = 1024;
constexpr std::uint32_t kBatchUnits = 10;

class Folder {
   public:
    Folder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "nbiso.XXXXXX").string();
        m_path = mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~Folder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

   private:
    std::string m_path;
};

// A 1000 Hz sine at half scale in both channels, as access units of our
// AAC-LC encoder, with the frames that flush its delay.
struct EncodedTone {
    std::vector<std::vector<std::uint8_t>> units;
    std::vector<std::uint8_t> audio_specific_config;
};
EncodedTone EncodeTone() {
    EncodedTone tone;
    auto created = heaac::Encoder::create({kRateHz, kChannels, kBitRate, 0});
    EXPECT_TRUE(created.encoder) << created.error;
    if (!created.encoder) return tone;
    const auto frames = static_cast<std::size_t>(kSeconds * kRateHz);
    std::vector<std::int16_t> pcm(frames * kChannels);
    for (std::size_t i = 0; i < frames; ++i) {
        const double value = 0.5 * 32767 * std::sin(2 * std::numbers::pi * 1000 * i / kRateHz);
        pcm[2 * i] = pcm[2 * i + 1] = static_cast<std::int16_t>(value);
    }
    pcm.resize(pcm.size() + heaac::Encoder::delay_samples() * kChannels);
    const std::size_t block = heaac::Encoder::kFrameSamples * kChannels;
    pcm.resize((pcm.size() + block - 1) / block * block);
    for (std::size_t at = 0; at < pcm.size(); at += block)
        tone.units.push_back(created.encoder->encode_frame(std::span(pcm).subspan(at, block)));
    tone.audio_specific_config = created.encoder->audio_specific_config();
    return tone;
}

const EncodedTone& Tone() {
    static const EncodedTone tone = EncodeTone();
    return tone;
}

// A DecoderSpecificInfo descriptor around a short configuration.
MP4Handle DecoderInfo(const std::vector<std::uint8_t>& config) {
    MP4Handle handle = nullptr;
    EXPECT_EQ(MP4NewHandle(static_cast<std::uint32_t>(config.size() + 2), &handle), kMP4NoErr);
    std::uint8_t* bytes = MP4HandleData(handle);
    bytes[0] = 0x05;
    bytes[1] = static_cast<std::uint8_t>(config.size());
    std::memcpy(bytes + 2, config.data(), config.size());
    return handle;
}

MP4Handle Values(const std::vector<std::uint32_t>& values) {
    MP4Handle handle = nullptr;
    EXPECT_EQ(MP4NewHandle(static_cast<std::uint32_t>(values.size() * 4), &handle), kMP4NoErr);
    if (!values.empty()) std::memcpy(MP4HandleData(handle), values.data(), values.size() * 4);
    return handle;
}

MP4Handle Data(const std::vector<std::vector<std::uint8_t>>& units, std::size_t from,
               std::size_t count) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = from; i < from + count; ++i)
        bytes.insert(bytes.end(), units[i].begin(), units[i].end());
    MP4Handle handle = nullptr;
    EXPECT_EQ(MP4NewHandle(static_cast<std::uint32_t>(bytes.size()), &handle), kMP4NoErr);
    if (!bytes.empty()) std::memcpy(MP4HandleData(handle), bytes.data(), bytes.size());
    return handle;
}

// Movie, track and media as the audio engine makes them, with a sample
// description of the given configuration.
struct Session {
    MP4Movie movie = nullptr;
    MP4Track track = nullptr;
    MP4Media media = nullptr;
    MP4Handle description = nullptr;
    MP4Handle decoder_info = nullptr;

    explicit Session(const std::vector<std::uint8_t>& config) {
        EXPECT_EQ(MP4NewMovie(&movie, 1, 0xFF, 0xFF, 0x29, 0xFF, 0xFF), kMP4NoErr);
        EXPECT_EQ(ISOSetMovieBrand(movie, FourCC("3gp6"), 0), kMP4NoErr);
        EXPECT_EQ(ISOSetMovieCompatibleBrand(movie, FourCC("3g2a")), kMP4NoErr);
        EXPECT_EQ(ISOSetMovieCompatibleBrand(movie, FourCC("mp42")), kMP4NoErr);
        EXPECT_EQ(MP4NewMovieTrack(movie, kMP4AudioTrack, &track), kMP4NoErr);
        EXPECT_EQ(MP4NewTrackMedia(track, &media, FourCC("soun"), kRateHz, nullptr), kMP4NoErr);
        EXPECT_EQ(MP4BeginMediaEdits(media), kMP4NoErr);
        EXPECT_EQ(MP4SetMediaLanguage(media, "und"), kMP4NoErr);
        decoder_info = DecoderInfo(config);
        EXPECT_EQ(MP4NewHandle(0, &description), kMP4NoErr);
        EXPECT_EQ(MP4NewSampleDescription(track, description, 1, 0x40, 5, kChannels * 768, kBitRate,
                                          kBitRate, decoder_info),
                  kMP4NoErr);
    }
    ~Session() {
        MP4DisposeHandle(description);
        MP4DisposeHandle(decoder_info);
        MP4DisposeMovie(movie);
    }

    // Adds the units in batches of kBatchUnits, the first with the sample
    // description, and finishes the file.
    MP4Err Write(const std::vector<std::vector<std::uint8_t>>& units, const std::string& path) {
        MP4Handle duration = Values({kFrameDuration});
        for (std::size_t at = 0; at < units.size(); at += kBatchUnits) {
            const std::size_t count = std::min<std::size_t>(kBatchUnits, units.size() - at);
            std::vector<std::uint32_t> sizes;
            for (std::size_t i = at; i < at + count; ++i)
                sizes.push_back(static_cast<std::uint32_t>(units[i].size()));
            MP4Handle data = Data(units, at, count);
            MP4Handle size_handle = Values(sizes);
            EXPECT_EQ(
                MP4AddMediaSamples(media, data, static_cast<std::uint32_t>(count), duration,
                                   size_handle, at == 0 ? description : nullptr, nullptr, nullptr),
                kMP4NoErr);
            MP4DisposeHandle(data);
            MP4DisposeHandle(size_handle);
        }
        MP4DisposeHandle(duration);
        std::uint64_t media_duration = 0;
        if (MP4Err err = MP4GetMediaDuration(media, &media_duration)) return err;
        if (MP4Err err = MP4EndMediaEdits(media)) return err;
        if (MP4Err err = MP4InsertMediaIntoTrack(track, 0, 0, media_duration, 1)) return err;
        return MP4WriteMovieToFile(movie, path.c_str());
    }
};

class IsoMediaFile : public ::testing::Test {
   protected:
    void SetUp() override {
        ASSERT_FALSE(Tone().units.empty());
        Session session(Tone().audio_specific_config);
        ASSERT_EQ(session.Write(Tone().units, m_path), kMP4NoErr);
    }
    std::string Tool(const std::string& command) {
        std::string output;
        EXPECT_EQ(RunCapturing(command + " '" + m_path + "'", output), 0) << command << output;
        return output;
    }
    double Duration() const { return Tone().units.size() * double{kFrameDuration} / kRateHz; }

    Folder m_folder;
    std::string m_path = m_folder / "tone.3gp";
};

TEST_F(IsoMediaFile, FfprobeReadsBrandStreamAndDuration) {
    const std::string out = Tool(
        "ffprobe -v error -show_entries "
        "format_tags=major_brand,compatible_brands:format=duration:"
        "stream=codec_name,profile,sample_rate,channels,duration_ts,nb_frames -of flat");
    EXPECT_NE(out.find("format.tags.major_brand=\"3gp6\""), std::string::npos) << out;
    EXPECT_NE(out.find("format.tags.compatible_brands=\"3gp63g2amp42\""), std::string::npos) << out;
    EXPECT_NE(out.find("codec_name=\"aac\""), std::string::npos) << out;
    EXPECT_NE(out.find("profile=\"LC\""), std::string::npos) << out;
    EXPECT_NE(out.find("sample_rate=\"44100\""), std::string::npos) << out;
    EXPECT_NE(out.find("channels=2"), std::string::npos) << out;
    EXPECT_NE(out.find("nb_frames=\"" + std::to_string(Tone().units.size()) + "\""),
              std::string::npos)
        << out;
    const std::size_t at = out.find("format.duration=\"");
    ASSERT_NE(at, std::string::npos) << out;
    EXPECT_NEAR(std::stod(out.substr(at + 17)), Duration(), 0.001);
}

TEST_F(IsoMediaFile, MediainfoAndAtomicParsleyReadItWithoutComplaint) {
    const std::string info =
        Tool("mediainfo --Inform='Audio;%Format%|%SamplingRate%|%Channel(s)%|%Duration%'");
    EXPECT_EQ(info, "AAC|44100|2|" + std::to_string(std::lround(Duration() * 1000)) + "\n");
    const std::string general = Tool("mediainfo --Inform='General;%Format%|%CodecID%'");
    EXPECT_EQ(general.substr(0, general.find('|')), "MPEG-4") << general;
    const std::string listing = [&] {
        std::string output;
        EXPECT_EQ(RunCapturing("AtomicParsley '" + m_path + "' -T", output), 0) << output;
        return output;
    }();
    for (const char* atom : {"ftyp", "moov", "mvhd", "iods", "trak", "tkhd", "edts", "elst",
                             "mdia", "mdhd", "hdlr", "minf", "smhd", "dinf", "dref", "stbl",
                             "stsd", "mp4a", "esds", "stts", "stsc", "stsz", "stco", "mdat"})
        EXPECT_NE(listing.find(std::string("Atom ") + atom), std::string::npos) << atom << "\n"
                                                                                << listing;
    for (const char* complaint : {"rror", "arning", "nvalid", "orrupt"})
        EXPECT_EQ(listing.find(complaint), std::string::npos) << listing;
}

TEST_F(IsoMediaFile, FfmpegDecodesEveryFrameWithoutErrors) {
    std::string errors;
    const std::string decoded = m_folder / "decoded.raw";
    EXPECT_EQ(RunCapturing("ffmpeg -v error -nostdin -y -i '" + m_path +
                               "' -f s16le -ac 2 -ar 44100 '" + decoded + "'",
                           errors),
              0);
    EXPECT_EQ(errors, "");
    EXPECT_EQ(std::filesystem::file_size(decoded),
              Tone().units.size() * kFrameDuration * kChannels * 2);
}

TEST_F(IsoMediaFile, HasTheBoxesAndSamplesItWasGiven) {
    const IsoFile file = ReadIsoFile(m_path);
    ASSERT_TRUE(file.ok);
    EXPECT_EQ(file.root.ChildTypes(), (std::vector<std::string>{"ftyp", "moov", "mdat"}));
    const Box& moov = *file.root.Find("moov");
    EXPECT_EQ(moov.ChildTypes(), (std::vector<std::string>{"mvhd", "iods", "trak"}));
    EXPECT_EQ(file.root.Find("moov/trak")->ChildTypes(),
              (std::vector<std::string>{"tkhd", "edts", "mdia"}));
    EXPECT_EQ(file.root.Find("moov/trak/mdia/minf")->ChildTypes(),
              (std::vector<std::string>{"smhd", "dinf", "stbl"}));
    EXPECT_EQ(file.root.Find("moov/trak/mdia/minf/stbl")->ChildTypes(),
              (std::vector<std::string>{"stsd", "stts", "stsc", "stsz", "stco"}));

    // mvhd and mdhd in the media's time scale, the edit covering the media.
    const std::uint64_t duration = Tone().units.size() * kFrameDuration;
    EXPECT_EQ(moov.Find("mvhd")->U32(12), std::uint32_t{kRateHz});
    EXPECT_EQ(moov.Find("mvhd")->U32(16), duration);
    const Box& mdhd = *moov.Find("trak/mdia/mdhd");
    EXPECT_EQ(mdhd.U32(16), duration);
    EXPECT_EQ(mdhd.U16(20), ('u' - 0x60) << 10 | ('n' - 0x60) << 5 | ('d' - 0x60));
    const Box& elst = *moov.Find("trak/edts/elst");
    EXPECT_EQ(elst.U32(4), 1u);
    EXPECT_EQ(elst.U32(8), duration);
    EXPECT_EQ(elst.U32(12), 0u);
    EXPECT_EQ(elst.U32(16), 0x00010000u);
    EXPECT_EQ(moov.Find("trak/mdia/hdlr")->U32(8), FourCC("soun"));
    // The initial object descriptor: id 1, the audio profile given, track 1.
    const std::vector<std::uint8_t> iods(moov.Find("iods")->body.begin() + 4,
                                         moov.Find("iods")->body.end());
    EXPECT_EQ(iods, (std::vector<std::uint8_t>{0x10, 13, 0x00, 0x4F, 0xFF, 0xFF, 0x29, 0xFF, 0xFF,
                                               0x0E, 4, 0, 0, 0, 1}));

    // Batches of ten become chunks of ten and a last, shorter one.
    const Box& stsc = *moov.Find("trak/mdia/minf/stbl/stsc");
    const std::uint32_t units = static_cast<std::uint32_t>(Tone().units.size());
    const std::uint32_t chunks = (units + kBatchUnits - 1) / kBatchUnits;
    EXPECT_EQ(moov.Find("trak/mdia/minf/stbl/stco")->U32(4), chunks);
    ASSERT_EQ(stsc.U32(4), units % kBatchUnits ? 2u : 1u);
    EXPECT_EQ(stsc.U32(8), 1u);
    EXPECT_EQ(stsc.U32(12), kBatchUnits);
    if (units % kBatchUnits) {
        EXPECT_EQ(stsc.U32(20), chunks);
        EXPECT_EQ(stsc.U32(24), units % kBatchUnits);
    }
    const Box& stts = *moov.Find("trak/mdia/minf/stbl/stts");
    EXPECT_EQ(stts.U32(4), 1u);
    EXPECT_EQ(stts.U32(8), units);
    EXPECT_EQ(stts.U32(12), kFrameDuration);
    EXPECT_EQ(TrackSamples(file), Tone().units);
}

// Misuse is refused with a code and leaves nothing half done.
TEST(IsoMediaCalls, RefuseWhatTheyCannotDo) {
    const std::vector<std::vector<std::uint8_t>> units = {{1, 2, 3}, {4, 5}};
    Session session({0x12, 0x10});
    MP4Handle data = Data(units, 0, 2);
    MP4Handle one_duration = Values({1024});
    MP4Handle sizes = Values({3, 2});
    MP4Handle wrong_sizes = Values({3, 3});
    MP4Handle three_durations = Values({1024, 1024, 1024});
    struct Case {
        const char* name;
        MP4Err expected;
        MP4Err actual;
    };
    const Case cases[] = {
        {"no description for the first batch", kMP4BadParamErr,
         MP4AddMediaSamples(session.media, data, 2, one_duration, sizes, nullptr, nullptr,
                            nullptr)},
        {"sizes not adding up to the data", kMP4BadParamErr,
         MP4AddMediaSamples(session.media, data, 2, one_duration, wrong_sizes, session.description,
                            nullptr, nullptr)},
        {"durations neither one nor per sample", kMP4BadParamErr,
         MP4AddMediaSamples(session.media, data, 2, three_durations, sizes, session.description,
                            nullptr, nullptr)},
        {"sync sample table", kMP4NotSupportedErr,
         MP4AddMediaSamples(session.media, data, 2, one_duration, sizes, session.description,
                            nullptr, sizes)},
        {"language in capitals", kMP4BadParamErr, MP4SetMediaLanguage(session.media, "UND")},
        {"language too long", kMP4BadParamErr, MP4SetMediaLanguage(session.media, "unde")},
        {"second media of a track", kMP4WrongStateErr,
         [&] {
             MP4Media second = nullptr;
             return MP4NewTrackMedia(session.track, &second, FourCC("soun"), 44100, nullptr);
         }()},
        {"video track", kMP4NotSupportedErr,
         [&] {
             MP4Track video = nullptr;
             return MP4NewMovieTrack(session.movie, 2, &video);
         }()},
        {"writing while editing", kMP4WrongStateErr,
         MP4WriteMovieToFile(session.movie, "/tmp/nb-never-written.3gp")},
    };
    for (const Case& c : cases) EXPECT_EQ(c.actual, c.expected) << c.name;
    std::uint64_t duration = 99;
    EXPECT_EQ(MP4GetMediaDuration(session.media, &duration), kMP4NoErr);
    EXPECT_EQ(duration, 0u);
    EXPECT_FALSE(std::filesystem::exists("/tmp/nb-never-written.3gp"));

    EXPECT_EQ(MP4EndMediaEdits(session.media), kMP4NoErr);
    EXPECT_EQ(MP4AddMediaSamples(session.media, data, 2, one_duration, sizes, session.description,
                                 nullptr, nullptr),
              kMP4WrongStateErr);
    EXPECT_EQ(MP4WriteMovieToFile(session.movie, "/nonexistent-folder/out.3gp"), kMP4IOErr);
    for (MP4Handle handle : {data, one_duration, sizes, wrong_sizes, three_durations})
        MP4DisposeHandle(handle);
}

// A track that starts later gets an empty edit before its media.
TEST(IsoMediaCalls, ATrackStartingLaterBeginsWithAnEmptyEdit) {
    Folder folder;
    Session session({0x12, 0x10});
    const std::vector<std::vector<std::uint8_t>> units = {{0x21, 0x10, 0x04}};
    MP4Handle data = Data(units, 0, 1);
    MP4Handle duration = Values({1024});
    MP4Handle size = Values({3});
    EXPECT_EQ(MP4AddMediaSamples(session.media, data, 1, duration, size, session.description,
                                 nullptr, nullptr),
              kMP4NoErr);
    EXPECT_EQ(MP4EndMediaEdits(session.media), kMP4NoErr);
    EXPECT_EQ(MP4InsertMediaIntoTrack(session.track, 441, 0, 1024, 1), kMP4NoErr);
    EXPECT_EQ(MP4InsertMediaIntoTrack(session.track, 0, 0, 1024, 1), kMP4NotSupportedErr);
    const std::string path = folder / "late.3gp";
    ASSERT_EQ(MP4WriteMovieToFile(session.movie, path.c_str()), kMP4NoErr);
    const IsoFile file = ReadIsoFile(path);
    ASSERT_TRUE(file.ok);
    const Box& elst = *file.root.Find("moov/trak/edts/elst");
    ASSERT_EQ(elst.U32(4), 2u);
    EXPECT_EQ(elst.U32(8), 441u);
    EXPECT_EQ(elst.U32(12), 0xFFFFFFFFu);
    EXPECT_EQ(elst.U32(20), 1024u);
    EXPECT_EQ(file.root.Find("moov/trak/tkhd")->U32(20), 441u + 1024u);
    for (MP4Handle handle : {data, duration, size}) MP4DisposeHandle(handle);
}

}  // namespace
}  // namespace nb::isomedia::testing
