#include <gtest/gtest.h>

#include <string>

#include "job_log.h"

namespace e2e {
namespace {

TEST(JobLog, PairsEachEndWithTheOpenJobOfItsProcess) {
    const JobLog log = ParseJobLog(
        "begin task=Export pid=7 t=100.250\r\n"
        "begin task=Import pid=8 t=100.500\r\n"
        "end task=Import pid=8 t=101.000 hr=0x80004005\r\n"
        "end task=Export pid=7 t=102.125 hr=0x00000000\r\n"
        "begin task=Export pid=7 t=103.000\r\n");
    EXPECT_TRUE(log.malformed.empty());
    ASSERT_EQ(log.jobs.size(), 3u);
    EXPECT_EQ(log.jobs[0].task, "Export");
    EXPECT_EQ(log.jobs[0].processId, 7u);
    EXPECT_EQ(log.jobs[0].startUs, 100250);
    EXPECT_EQ(log.jobs[0].endUs, 102125);
    EXPECT_EQ(log.jobs[0].result, 0u);
    EXPECT_EQ(log.jobs[1].task, "Import");
    EXPECT_EQ(log.jobs[1].endUs, 101000);
    EXPECT_EQ(log.jobs[1].result, 0x80004005u);
    EXPECT_EQ(log.jobs[2].startUs, 103000);
    EXPECT_FALSE(log.jobs[2].endUs);
    EXPECT_EQ(JobsOf(log, "Export").size(), 2u);
    EXPECT_TRUE(HasFinishedJob(log, "Import"));
    EXPECT_FALSE(HasFinishedJob(log, "Purge"));
}

TEST(JobLog, KeepsAJobWhoseHostDiedUnfinished) {
    // The second begin of process 1 (a new process with a reused identifier, say) closes
    // nothing: the first job never ended.
    const JobLog log = ParseJobLog(
        "begin task=Close pid=1 t=1.000\n"
        "begin task=Purge pid=1 t=2.000\n"
        "end task=Purge pid=1 t=3.000 hr=0x00000000\n");
    EXPECT_TRUE(log.malformed.empty());
    ASSERT_EQ(log.jobs.size(), 2u);
    EXPECT_FALSE(log.jobs[0].endUs);
    EXPECT_EQ(log.jobs[1].endUs, 3000);
}

TEST(JobLog, LeavesALineStillBeingWrittenForTheNextRead) {
    const JobLog log = ParseJobLog("begin task=Close pid=1 t=1.000\nend task=Close pid=1 t=2");
    EXPECT_TRUE(log.malformed.empty());
    ASSERT_EQ(log.jobs.size(), 1u);
    EXPECT_FALSE(log.jobs[0].endUs);
}

TEST(JobLog, SetsAsideLinesThatAreNoBeginOrMatchingEnd) {
    const std::string open = "begin task=Close pid=1 t=1.000\n";
    for (const std::string line : {
             "started task=Close pid=2 t=1.000",
             "begin task=Close pid=two t=1.000",
             "begin task=Close pid=2 t=1.5",
             "begin task=Close pid=2",
             "begin task=Close pid=2 t=1.000 extra=1",
             "begin pid=2 task=Close t=1.000",
             "end task=Close pid=1 t=2.000",
             "end task=Close pid=1 t=2.000 hr=80004005",
             "end task=Close pid=2 t=2.000 hr=0x00000000",
             "end task=Purge pid=1 t=2.000 hr=0x00000000",
         }) {
        SCOPED_TRACE(line);
        const JobLog log = ParseJobLog(open + line + "\n");
        EXPECT_EQ(log.malformed, std::vector<std::string>{line});
        ASSERT_EQ(log.jobs.size(), 1u);
        EXPECT_FALSE(log.jobs[0].endUs);
    }
}

}  // namespace
}  // namespace e2e
