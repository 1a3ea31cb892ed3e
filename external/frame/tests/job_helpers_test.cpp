// The pieces every worker export is built from: the command reader, the
// argument readers and the report helper, each driven directly.
#include <gtest/gtest.h>

#include <vector>

#include "common/worker_protocol.h"
#include "external/frame/job_arguments.h"
#include "external/frame/job_report.h"
#include "external/frame/worker_command.h"
#include "platform/automation/variant.h"

namespace nb::external::testing {
namespace {

constexpr DWORD kThread = 7;

struct CommandCase {
    DWORD target;
    DWORD word;
    WorkerCommandKind kind;
    DWORD volume_percent;
};

TEST(DecodeWorkerCommand, ReadsEveryCommandAimedAtTheThread) {
    const CommandCase cases[] = {
        {0, 1, WorkerCommandKind::Stop, 0},
        {kThread, 1, WorkerCommandKind::Stop, 0},
        {kThread + 1, 1, WorkerCommandKind::None, 0},
        {kThread, 101, WorkerCommandKind::StopPlayback, 0},
        {kThread, 102, WorkerCommandKind::PausePlayback, 0},
        {0, 103, WorkerCommandKind::ResumePlayback, 0},
        {kThread, 200, WorkerCommandKind::SetVolume, 0},
        {kThread, 275, WorkerCommandKind::SetVolume, 75},
        {kThread, 300, WorkerCommandKind::SetVolume, 100},
        {kThread + 1, 250, WorkerCommandKind::None, 0},
        {kThread, 0, WorkerCommandKind::None, 0},
        {kThread, 2, WorkerCommandKind::None, 0},
        {kThread, 104, WorkerCommandKind::None, 0},
        {kThread, 199, WorkerCommandKind::None, 0},
        {kThread, 301, WorkerCommandKind::None, 0},
    };
    for (const CommandCase& c : cases) {
        const WorkerCommand command = DecodeWorkerCommand(c.target, c.word, kThread);
        EXPECT_EQ(command.kind, c.kind) << "target " << c.target << ", word " << c.word;
        EXPECT_EQ(command.volume_percent, c.volume_percent) << "word " << c.word;
    }
}

// Arguments in natural order, as both the call and the worker's copy give them.
class Arguments {
   public:
    explicit Arguments(std::vector<VARIANT> values) : m_values(std::move(values)) {}
    UINT ArgumentCount() const { return static_cast<UINT>(m_values.size()); }
    const VARIANT& Argument(UINT index) const { return m_values[index]; }

   private:
    std::vector<VARIANT> m_values;
};

VARIANT Integer8(LONGLONG value) {
    VARIANT v{};
    v.vt = VT_I8;
    v.llVal = value;
    return v;
}
VARIANT Boolean(bool value) {
    VARIANT v{};
    v.vt = VT_BOOL;
    v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
}
VARIANT Null() {
    VARIANT v{};
    v.vt = VT_NULL;
    return v;
}

TEST(JobArguments, ReadTheLowHalfOfIntegersAndDefaultsForAbsentOnes) {
    const Arguments args(
        {Integer8(0x100000005LL), Integer8(-1), Boolean(false), Null(), Integer8(50)});
    EXPECT_EQ(IntegerArgument(args, 0, 9), 5);
    EXPECT_EQ(UnsignedArgument(args, 1, 9), 0xFFFFFFFFu);
    EXPECT_EQ(IntegerArgument(args, 5, 9), 9);
    EXPECT_FALSE(BooleanArgument(args, 2, true));
    EXPECT_TRUE(BooleanArgument(args, 5, true));
    EXPECT_EQ(PathArgument(args, 3), "");
    EXPECT_EQ(PathArgument(args, 5), "");
    EXPECT_EQ(TextArgument(args, 3), u"");
    // Intervals have a floor of 100 ms and a default of 200 ms.
    EXPECT_EQ(IntervalArgument(args, 4), 100u);
    EXPECT_EQ(IntervalArgument(args, 1), 0xFFFFFFFFu);
    EXPECT_EQ(IntervalArgument(args, 5), 200u);
}

// Records what a job does to its channel.
class RecordingChannel final : public JobChannel {
   public:
    bool prepares = true;
    bool progress_due = false;
    std::vector<LONG> values;
    std::vector<std::vector<LONG>> posted;  // the values of each progress report
    std::vector<std::vector<LONG>> waited;  // the values of each waited callback
    std::vector<DWORD> notified;

    bool PrepareArguments(UINT count) override {
        if (prepares) values.assign(count, -1);
        return prepares;
    }
    void SetInteger(UINT position, LONG value) override { values.at(position - 1) = value; }
    void SetString(UINT, std::u16string_view) override {}
    WorkerCommand Command() override { return {}; }
    bool IsProgressDue(DWORD) override { return progress_due; }
    void PostProgress() override { posted.push_back(values); }
    void WaitedCallback() override { waited.push_back(values); }
    void Notify(DWORD status) override { notified.push_back(status); }
};

constexpr CallbackLayout kLayout{.count = 4, .status = 1, .done = 2, .total = 3, .elapsed = 4};

TEST(JobReport, ReportsProgressWhenDueAndFinishesWithTheWaitedCallbackAlone) {
    RecordingChannel channel;
    JobReport report(channel, kLayout, 100);
    ASSERT_TRUE(report.Prepare());
    EXPECT_EQ(channel.values, (std::vector<LONG>{0, 0, 0, 0}));
    report.Begin(3301, 1000);
    report.Progress(10);  // not due: nothing changes
    channel.progress_due = true;
    report.Progress(0x100000020ULL);  // wraps to 32 bits as a script integer
    ASSERT_EQ(channel.posted.size(), 1u);
    EXPECT_EQ(channel.posted[0][0], 3301);
    EXPECT_EQ(channel.posted[0][1], 0x20);
    EXPECT_EQ(channel.posted[0][2], 1000);
    EXPECT_GE(channel.posted[0][3], 0);
    report.Finish(3303, 1000);
    ASSERT_EQ(channel.waited.size(), 1u);
    EXPECT_EQ(channel.waited[0][0], 3303);
    EXPECT_EQ(channel.waited[0][1], 1000);
    EXPECT_EQ(report.End(3303), NB_WORKER_EXIT_NORMAL);
    EXPECT_TRUE(channel.notified.empty());
}

TEST(JobReport, EndsWithOneStatusCallUnlessValuesWereNeverPrepared) {
    RecordingChannel failed;
    JobReport failed_report(failed, kLayout, 100);
    EXPECT_EQ(failed_report.End(3201), NB_WORKER_EXIT_NORMAL);
    EXPECT_EQ(failed.notified, (std::vector<DWORD>{3201}));

    RecordingChannel unprepared;
    unprepared.prepares = false;
    JobReport unprepared_report(unprepared, kLayout, 100);
    EXPECT_FALSE(unprepared_report.Prepare());
    EXPECT_EQ(unprepared_report.End(3201), NB_WORKER_EXIT_NO_ARGUMENTS);
    EXPECT_TRUE(unprepared.notified.empty());
}

TEST(JobReport, LeavesPositionsTheLayoutDoesNotHave) {
    RecordingChannel channel;
    JobReport report(channel, CallbackLayout{.count = 2, .status = 1, .done = 2, .total = 0}, 100);
    ASSERT_TRUE(report.Prepare());
    report.Begin(3301, 500);
    channel.progress_due = true;
    report.Progress(64);
    EXPECT_EQ(channel.values, (std::vector<LONG>{3301, 64}));
}

}  // namespace
}  // namespace nb::external::testing
