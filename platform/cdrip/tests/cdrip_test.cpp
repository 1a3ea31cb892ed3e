// The ripping layer over real disc images that ffmpeg's sound fills: the
// drive list, the presence check, the table of contents with its data flags,
// and the ripper's chunks against the bytes put into the image.
#include "platform/cdrip/cdrip.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/cdrip/cdrip_settings.h"
#include "platform/cdrip/tests/disc_image.h"

namespace nb::cdrip::testing {
namespace {

constexpr std::uint32_t kSessionGap = 11400;

class CdRipTest : public ::testing::Test {
   protected:
    CdRipTest() {
        std::string pattern = (std::filesystem::temp_directory_path() / "cdrip.XXXXXX").string();
        m_folder = mkdtemp(pattern.data()) ? pattern : std::string();
        unsetenv(kDiscImageVariable);
    }
    ~CdRipTest() override {
        unsetenv(kDiscImageVariable);
        std::filesystem::remove_all(m_folder);
    }

    DiscImage Make(const std::vector<TrackSpec>& tracks, const std::string& name = "disc") {
        std::optional<DiscImage> image = MakeDiscImage(m_folder, name, tracks);
        EXPECT_TRUE(image) << "ffmpeg could not make the image";
        return image.value_or(DiscImage{});
    }

    // The library with image as drive 0 (none when empty).
    CdRipLibrary Load(const std::string& image) {
        if (image.empty())
            unsetenv(kDiscImageVariable);
        else
            setenv(kDiscImageVariable, image.c_str(), 1);
        auto library = CdRipLibrary::Init(m_folder + "/s2mcr.ini");
        EXPECT_TRUE(library);
        return std::move(*library);
    }

    // Every chunk of sectors first to last, joined.
    static std::vector<std::uint8_t> RipAll(CdRipLibrary& library, std::uint32_t first,
                                            std::uint32_t last, std::vector<Chunk>& chunks) {
        const std::optional<std::size_t> chunk_bytes = library.OpenRipper(first, last);
        EXPECT_TRUE(chunk_bytes);
        if (!chunk_bytes) return {};
        std::vector<std::uint8_t> buffer(*chunk_bytes), all;
        for (;;) {
            const Chunk chunk = library.ReadChunk(buffer);
            chunks.push_back(chunk);
            if (chunk.status == ChunkStatus::kFailed) break;
            all.insert(all.end(), buffer.begin(), buffer.begin() + static_cast<long>(chunk.bytes));
            if (chunk.status == ChunkStatus::kLast) break;
        }
        library.CloseRipper();
        return all;
    }

    std::string m_folder;
};

TEST_F(CdRipTest, ListsTheImageBeforeTheMachinesDrives) {
    const DiscImage image = Make({{true, 75, "", 0}});
    std::vector<std::string> devices;
    {
        CdRipLibrary library = Load("");
        for (int drive = 0; drive < library.DriveCount(); ++drive) {
            ASSERT_TRUE(library.SelectDrive(drive));
            devices.push_back(library.ReadDriveRecord().name);
        }
    }
    CdRipLibrary library = Load(image.cue_path);
    ASSERT_EQ(library.DriveCount(), static_cast<int>(devices.size()) + 1);
    ASSERT_TRUE(library.SelectDrive(0));
    EXPECT_STREQ(library.ReadDriveRecord().name, "Disc image disc.cue");
    EXPECT_EQ(library.ReadDriveRecord().sectors_per_read, kDefaultSectorsPerRead);
    EXPECT_EQ(library.SourceFiles(), (std::vector<std::string>{image.cue_path, image.bin_path}));
    for (std::size_t drive = 0; drive < devices.size(); ++drive) {
        ASSERT_TRUE(library.SelectDrive(static_cast<int>(drive) + 1));
        EXPECT_EQ(library.ReadDriveRecord().name, devices[drive]);
    }
    EXPECT_FALSE(library.SelectDrive(library.DriveCount()));
    EXPECT_FALSE(library.SelectDrive(-1));
}

TEST_F(CdRipTest, TheSettingsKeyNamesTheImageToo) {
    const DiscImage image = Make({{true, 75, "", 0}});
    { std::ofstream(m_folder + "/s2mcr.ini") << "[CDRip]\nDiscImage=" << image.cue_path << "\n"; }
    auto library = CdRipLibrary::Init(m_folder + "/s2mcr.ini");
    ASSERT_TRUE(library);
    ASSERT_TRUE(library->SelectDrive(0));
    EXPECT_STREQ(library->ReadDriveRecord().name, "Disc image disc.cue");
}

// An enhanced disc: two audio tracks, then a data track in a second session
// 11400 sectors after the audio ends.
TEST_F(CdRipTest, ReadsTheTableOfContentsWithItsDataFlags) {
    const DiscImage image =
        Make({{true, 400, "", 0}, {true, 300, "", 0}, {false, 200, "", kSessionGap}});
    CdRipLibrary library = Load(image.cue_path);
    ASSERT_TRUE(library.SelectDrive(0));
    EXPECT_EQ(library.CheckMedia(), MediaCheck::kPresent);
    ASSERT_TRUE(library.ReadToc());
    ASSERT_EQ(library.TocEntryCount(), 3);
    const std::uint32_t starts[] = {0, 400, 700 + kSessionGap, 900 + kSessionGap};
    const bool data[] = {false, false, true, false};
    const std::uint8_t numbers[] = {1, 2, 3, kLeadOutTrack};
    for (int entry = 0; entry <= 3; ++entry) {
        EXPECT_EQ(library.ReadTocEntry(entry).start_sector, starts[entry]) << "entry " << entry;
        EXPECT_EQ(library.ReadTocEntry(entry).IsData(), data[entry]) << "entry " << entry;
        EXPECT_EQ(library.ReadTocEntry(entry).track_number, numbers[entry]) << "entry " << entry;
    }
    EXPECT_EQ(library.ReadTocEntry(3).start_sector, image.lead_out);
    EXPECT_EQ(library.ReadTocEntry(4).start_sector, 0u);
}

TEST_F(CdRipTest, TellsADiscFromNoneAndFromWhatIsNoDisc) {
    const DiscImage image = Make({{true, 75, "", 0}});
    const std::string missing = m_folder + "/missing.cue";
    const std::string folder_cue = m_folder + "/folder.cue";
    std::filesystem::create_directory(folder_cue);
    std::filesystem::copy_file(image.bin_path, m_folder + "/folder.bin");
    std::ofstream(m_folder + "/lone.cue") << CueSheetText("lone.bin", {{true, 75, "", 0}}, {0});
    // A named pipe nobody writes: opened as a sheet, it would hold the
    // thread for good.
    const std::string pipe_cue = m_folder + "/pipe.cue";
    ASSERT_EQ(::mkfifo(pipe_cue.c_str(), 0600), 0);
    std::filesystem::copy_file(image.bin_path, m_folder + "/pipe.bin");
    const struct {
        std::string cue;
        MediaCheck media;
    } cases[] = {
        {image.cue_path, MediaCheck::kPresent},
        {missing, MediaCheck::kAbsent},
        {m_folder + "/lone.cue", MediaCheck::kAbsent},  // its BIN is missing
        {folder_cue, MediaCheck::kFailed},
        {pipe_cue, MediaCheck::kFailed},
    };
    for (const auto& c : cases) {
        CdRipLibrary library = Load(c.cue);
        ASSERT_TRUE(library.SelectDrive(0));
        EXPECT_EQ(library.CheckMedia(), c.media) << c.cue;
    }
}

TEST_F(CdRipTest, ASheetTheCheckRefusesHasNoTableOfContents) {
    const DiscImage image = Make({{true, 75, "", 0}});
    std::string sheet = "FILE \"disc.bin\" BINARY\n";
    for (int track = 1; track <= 100; ++track)
        sheet += "  TRACK " + std::to_string(track) + " AUDIO\n    INDEX 01 " +
                 CueTime(static_cast<std::uint32_t>(track)) + "\n";
    std::ofstream(image.cue_path) << sheet;
    CdRipLibrary library = Load(image.cue_path);
    ASSERT_TRUE(library.SelectDrive(0));
    EXPECT_EQ(library.CheckMedia(), MediaCheck::kPresent);
    EXPECT_FALSE(library.ReadToc());
    EXPECT_EQ(library.TocEntryCount(), 0);
}

// Noise as well as tones: the samples come out in the byte order they went
// in, whatever they sound like.
TEST_F(CdRipTest, RipsATrackBitExactInChunksOfTheRecordsSize) {
    const DiscImage image = Make({{true, 120, Tones(440, 1000), 0}, {true, 95, Noise(7), 0}});
    CdRipLibrary library = Load(image.cue_path);
    ASSERT_TRUE(library.SelectDrive(0));
    ASSERT_TRUE(library.ReadToc());
    DriveRecord record = library.ReadDriveRecord();
    record.sectors_per_read = 10;
    library.WriteDriveRecord(record);
    for (int track = 0; track < 2; ++track) {
        const std::uint32_t first = image.starts[track];
        const std::uint32_t last = library.ReadTocEntry(track + 1).start_sector - 1;
        std::vector<Chunk> chunks;
        const std::vector<std::uint8_t> ripped = RipAll(library, first, last, chunks);
        EXPECT_TRUE(ripped == image.sound[track]) << "track " << track;
        const std::size_t sectors = last - first + 1;
        ASSERT_EQ(chunks.size(), (sectors + 9) / 10);
        for (std::size_t i = 0; i + 1 < chunks.size(); ++i) {
            EXPECT_EQ(chunks[i].status, ChunkStatus::kMore);
            EXPECT_EQ(chunks[i].bytes, 10 * kSectorBytes);
        }
        EXPECT_EQ(chunks.back().status, ChunkStatus::kLast);
        EXPECT_EQ(chunks.back().bytes, ((sectors - 1) % 10 + 1) * kSectorBytes);
        EXPECT_EQ(library.ReadReport().skips, 0);
    }
}

// The BIN lost its end in the middle of the second track: the sectors before
// come out right and the chunk reaching the missing ones fails (libcdio's
// image reader would give them as silence).
TEST_F(CdRipTest, ADamagedImageFailsTheChunkOfItsMissingSectors) {
    const DiscImage image =
        Make({{true, 300, "", 0}, {true, 300, Tones(600, 300), 0}, {true, 300, "", 0}});
    std::filesystem::resize_file(image.bin_path, 450 * kSectorBytes);
    CdRipLibrary library = Load(image.cue_path);
    ASSERT_TRUE(library.SelectDrive(0));
    ASSERT_TRUE(library.ReadToc());
    EXPECT_EQ(library.ReadTocEntry(3).start_sector, 450u);
    DriveRecord record = library.ReadDriveRecord();
    record.sectors_per_read = 50;
    library.WriteDriveRecord(record);
    std::vector<Chunk> chunks;
    const std::vector<std::uint8_t> ripped = RipAll(library, 300, 599, chunks);
    ASSERT_FALSE(chunks.empty());
    EXPECT_EQ(chunks.back().status, ChunkStatus::kFailed);
    EXPECT_EQ(ripped.size(), 150 * kSectorBytes);
    EXPECT_TRUE(std::equal(ripped.begin(), ripped.end(), image.sound[1].begin()));
}

}  // namespace
}  // namespace nb::cdrip::testing
